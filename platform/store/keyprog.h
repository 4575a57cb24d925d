// Key expressions of the everyday kind (fields joined by "+", UPPER(),
// STR() of a number field, DTOS() of a date field) computed straight from
// the record bytes. Building or updating an index then needs no evaluator
// call per record; any other expression goes through its code block.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store/dbf.h"

namespace kvel::store {

class KeyProgram {
 public:
  // nullopt when the text is not of that kind (or would need rounding,
  // a conversion or anything else only the evaluator does right).
  static std::optional<KeyProgram> compile(std::string_view text, const Dbf& dbf);
  // The key of a record, size() bytes.
  void run(const char* record, std::string* out) const;
  int size() const { return size_; }

  struct Part {
    enum Kind { Text, Str, Dtos } kind = Text;
    int offset = 0, len = 0;  // of the field in the record
    int width = 0, dec = 0;   // STR()
    bool upper = false;
  };

 private:
  std::vector<Part> parts_;
  int size_ = 0;
};

}  // namespace kvel::store
