#include "platform/store/keys.h"

#include "platform/store/codec.h"

namespace kvel::store {

char key_type(const eval::Value& v) {
  switch (v.type()) {
    case eval::Type::String:
      return 'C';
    case eval::Type::Number:
      return 'N';
    case eval::Type::Date:
      return 'D';
    case eval::Type::Logical:
      return 'L';
    default:
      return 0;
  }
}

void key_geometry(const eval::Value& v, int* size, int* dec) {
  *dec = 0;
  switch (v.type()) {
    case eval::Type::String:
      *size = static_cast<int>(v.as_string().size());
      break;
    case eval::Type::Number:
      *size = v.width() > 0 ? v.width() : 10;
      *dec = v.decimals();
      break;
    case eval::Type::Date:
      *size = 8;
      break;
    default:
      *size = 1;
      break;
  }
  if (*size > 256) *size = 256;
  if (*size < 1) *size = 1;
}

bool encode_key(const eval::Value& v, char type, int size, int dec, bool full, std::string* out) {
  switch (v.type()) {
    case eval::Type::String: {
      if (type != 'C' && type != 0) return false;
      const std::string& s = v.as_string();
      if (!full && static_cast<int>(s.size()) < size) {
        *out = s;
      } else {
        out->assign(s, 0, std::min<size_t>(s.size(), static_cast<size_t>(size)));
        out->resize(static_cast<size_t>(size), ' ');
      }
      return true;
    }
    case eval::Type::Number:
      if (type != 'N' && type != 0) return false;
      out->resize(static_cast<size_t>(size));
      numeric_key(v.as_double(), size, dec, out->data());
      return true;
    case eval::Type::Date:
      if (type != 'D' && type != 0) return false;
      out->resize(8);
      format_dtos(v.as_date(), out->data());
      out->resize(static_cast<size_t>(size), ' ');
      return true;
    case eval::Type::Logical:
      if (type != 'L' && type != 0) return false;
      out->assign(1, v.as_logical() ? 'T' : 'F');
      out->resize(static_cast<size_t>(size), ' ');
      return true;
    default:
      return false;
  }
}

}  // namespace kvel::store
