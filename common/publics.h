// The system's public variables, declared once, and the small accessors that
// the runner's modules use on them. The variables are ordinary memory
// variables of the language: the description reads and changes them by name,
// so the C++ code looks them up each time instead of keeping copies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::pub {

struct VarName {
  std::string_view name;
};

inline constexpr VarName GETLIST{"GETLIST"};  // pending fields of the data-entry form facility
inline constexpr VarName DOSPAR{"DOSPAR"};    // option string of the command line
inline constexpr VarName ADOSPAR{"ADOSPAR"};  // its words
inline constexpr VarName CKPRIL{"CKPRIL"};    // "[D05],[I20]": procedure codes it names
inline constexpr VarName CPATH{"CPATH"};      // directory of the description files
inline constexpr VarName OFFSET{"OFFSET"};    // offset file name
inline constexpr VarName CONTROL{"CONTROL"};  // control file name
inline constexpr VarName SET_UP{"SET_UP"};    // setup table name without extension
inline constexpr VarName ISET_UP{"ISET_UP"};  // setup index name without extension
inline constexpr VarName CFGFILE{"CFGFILE"};  // workstation configuration file
inline constexpr VarName HANDS{"HANDS"};      // handle of the open control file
inline constexpr VarName USTK{"USTK"};        // current level of the procedure stack
inline constexpr VarName PRSTK{"PRSTK"};      // transition code: 0 return, 2 call, else replace
inline constexpr VarName STK{"STK"};    // five lists by level: code, entry, first, count, mark
inline constexpr VarName SMP{"SMP"};    // the entry being run: code, entry, first, count, -, -
inline constexpr VarName SPAR{"SPAR"};  // parameter strings of every level
inline constexpr VarName MSME{"MSME"};  // offset table: {offsets, counts} by entry number
inline constexpr VarName MSPR{"MSPR"};  // nesting: transition spec to apply on return
inline constexpr VarName MOFF{"MOFF"};  // nesting: outer offset file names
inline constexpr VarName MCON{"MCON"};  // nesting: outer control file names
inline constexpr VarName RETCODE{"RETCODE"};    // result code for the calling procedure
inline constexpr VarName COLR{"COLR"};          // 89 colour strings
inline constexpr VarName KODER{"KODER"};        // result code of browse and form procedures
inline constexpr VarName LMORE{"LMORE"};        // keep-running flag of the multi-window browse
inline constexpr VarName TEK_DATA{"TEK_DATA"};  // working date, made by the description
inline constexpr VarName MMES{"MMES"};          // month names in the genitive

}  // namespace kvel::pub

namespace kvel::common {

// The visible variable's value; NIL when there is none.
eval::Value get(eval::Runtime& rt, pub::VarName v);
// Assigns the visible variable, or makes a public of that name.
void set(eval::Runtime& rt, pub::VarName v, eval::Value value);
// PUBLIC name := value (an existing public is assigned).
void make_public(eval::Runtime& rt, pub::VarName v, eval::Value value);
void make_public(eval::Runtime& rt, std::string_view name, eval::Value value);

// A number of the language as an integer; `fallback` for other values.
long number_of(const eval::Value& v, long fallback = 0);
// A text value's bytes; "" for other values.
std::string text_of(const eval::Value& v);

eval::Value list_of_texts(const std::vector<std::string>& texts);
// A list of n NIL elements.
eval::Value empty_list(size_t n);

// Element i (1-based) of the list held by a public. A variable that holds no
// list, or an index outside it, is a bound error of list access raised
// through the error handler; when the handler lets the operation go on, the
// result is nullptr and the caller gives up its step.
eval::Value* element(eval::Runtime& rt, pub::VarName v, long i);
eval::Value* element(eval::Runtime& rt, const eval::Value& list, long i, std::string_view what);
// The list held by a public, or nullptr after the same error.
eval::ArrayData* list(eval::Runtime& rt, pub::VarName v);

// Calls a registered function when it exists (facilities that other modules
// provide: background tasks, the table store); returns NIL otherwise.
eval::Value call_if_present(eval::Runtime& rt, std::string_view name,
                            std::vector<eval::Value> args = {});

}  // namespace kvel::common
