// Run-time errors and breaks. An error is an ErrorObject handed to the current
// error handler, which answers retry, default or a substitute value and lets
// the failed operation go on (errors resume). A Break unwinds to the nearest
// recovery point with a value (breaks unwind); it is not an error.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/eval/value.h"

namespace kvel::eval {

// Severity levels as the language family numbers them.
inline constexpr int kSeverityWhisper = 0;
inline constexpr int kSeverityWarning = 1;
inline constexpr int kSeverityError = 2;
inline constexpr int kSeverityCatastrophic = 3;

// Generic codes the system relies on (the full list is the language family's).
enum GenCode : int {
  kErrArg = 1,    // wrong argument type
  kErrBound = 2,  // array index out of bounds
  kErrStrOverflow = 3,
  kErrNumOverflow = 4,
  kErrZeroDiv = 5,
  kErrNumErr = 6,
  kErrSyntax = 7,
  kErrCompTooComplex = 8,
  kErrMem = 11,
  kErrNoFunc = 12,
  kErrNoMethod = 13,
  kErrNoVar = 14,
  kErrNoAlias = 15,
  kErrNoVarMethod = 16,
  kErrAliasBadChars = 17,
  kErrAliasInUse = 18,
  kErrCreate = 20,
  kErrOpen = 21,
  kErrClose = 22,
  kErrRead = 23,
  kErrWrite = 24,
  kErrPrint = 25,
  kErrUnsupported = 30,
  kErrLimit = 31,
  kErrCorruption = 32,
  kErrDataType = 33,
  kErrDataWidth = 34,
  kErrNoTable = 35,
  kErrNotExclusive = 37,  // exclusive access required
  kErrReadOnly = 38,
  kErrAppendLock = 40,
  kErrLock = 41,
};

struct ErrorObject {
  int severity = kSeverityError;
  std::string subsystem = "BASE";
  int gen_code = 0;
  int sub_code = 0;
  std::string description;
  std::string operation;
  std::string filename;
  int os_code = 0;
  std::optional<std::vector<Value>> args;  // none, or the failed operation's arguments
  bool can_retry = false;
  bool can_default = false;
  bool can_substitute = false;
  int tries = 0;
  std::string module;
  std::string procedure;
  int line = 0;
  std::vector<Value> cargo;
};

// The handler's verdict on one error.
struct Answer {
  enum class Kind { Retry, Default, Substitute };
  Kind kind = Kind::Default;
  Value value;  // the substitute result when kind is Substitute

  static Answer retry() { return {Kind::Retry, {}}; }
  static Answer fallback() { return {Kind::Default, {}}; }
  static Answer substitute(Value v) { return {Kind::Substitute, std::move(v)}; }
  bool is_retry() const { return kind == Kind::Retry; }
  bool is_substitute() const { return kind == Kind::Substitute; }
};

// The current error handler. It may also end the evaluation by throwing a
// Break (the language's BREAK(oErr) in a handler block does exactly that).
using ErrorHandler = std::function<Answer(Runtime&, ErrorObject&)>;

// Unwinds to the nearest recovery point (a BEGIN SEQUENCE of the system, the
// procedure manager, the start-up loop) carrying a value; for an error that no
// handler resolved the value is the error object (see error_value()).
struct Break {
  Value value;
};

// The error object as a language value (class "ERROR", with the messages
// severity, subsystem, genCode, subCode, description, operation, filename,
// osCode, args, canRetry, canDefault, canSubstitute, tries, cargo).
Value error_value(const ErrorObject& e);
// The ErrorObject inside an error value, or nullptr when v is not one.
ErrorObject* error_of(const Value& v);

}  // namespace kvel::eval
