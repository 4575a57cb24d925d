// What the evaluator needs of the table store: work areas, aliases and the
// fields of the table open in an area. The table store implements it; tests
// of the evaluator use a small in-memory implementation.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/eval/value.h"

namespace kvel::eval {

class FieldAccess {
 public:
  virtual ~FieldAccess() = default;

  // The selected work area (1-based; 0 when none can be selected).
  virtual int selected() const = 0;
  virtual void select(int area) = 0;
  // The area of an alias ("T1", or a number as text), 0 when none is open
  // under that alias.
  virtual int area_of(std::string_view alias) const = 0;
  // A number that changes whenever a different table is opened in the area,
  // so that callers may cache field positions per (area, layout).
  virtual uint32_t layout(int area) const = 0;
  // 1-based position of a field in the area's table (case-insensitive name),
  // 0 when the area has no table or no such field.
  virtual int field_pos(int area, std::string_view name) const = 0;
  // Reads or writes a field of the current record. Errors (a record that is
  // not locked, a wrong type) go through the runtime's error handler; the
  // result is false when the value was not read or written.
  virtual bool get(Runtime& rt, int area, int pos, Value& out) = 0;
  virtual bool put(Runtime& rt, int area, int pos, const Value& v) = 0;
};

}  // namespace kvel::eval
