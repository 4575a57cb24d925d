// Transform(): a value shown through a picture, as data-entry fields, report
// cells and Transform() show it. A picture is "@functions template", either
// part optional: functions ! R S<n> Z B E ( ) C X K D; template characters
// 9 # . , ! A N X L Y $ * and, with @R, literal characters kept in place.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::rtl {

// The picture split into its parts.
struct Picture {
  bool upper = false;        // @!
  bool literals = false;     // @R: template literals are inserted
  int scroll = 0;            // @S<n>: width shown, 0 = all
  bool blank_zero = false;   // @Z
  bool left = false;         // @B
  bool european = false;     // @E: "," for the point and "." between thousands; dates dd/mm/yy
  bool paren = false;        // @(: negatives in parentheses
  bool paren_tight = false;  // @): the same, "(" next to the first digit
  bool credit = false;       // @C: " CR" after positives
  bool debit = false;        // @X: " DB" after negatives
  bool clear = false;        // @K: the field is cleared on the first key (data entry only)
  bool date = false;         // @D
  std::string tmpl;          // the template after the functions
};

Picture parse_picture(std::string_view picture);

// The value shown through the picture; nullopt when the value is of a type
// no picture applies to (NIL, arrays, blocks, objects).
std::optional<std::string> transform(const eval::Settings& s, const eval::Value& v,
                                     std::string_view picture);
// The same for callers that hold a runtime: a value of a wrong type raises the
// family's argument error and yields the handler's substitute (or "").
std::string transform(eval::Runtime& rt, const eval::Value& v, std::string_view picture);

}  // namespace kvel::rtl
