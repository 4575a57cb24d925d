#include "platform/eval/value.h"

#include <cmath>
#include <limits>

namespace kvel::eval {

const Value Args::kNil;

Value ObjectData::call(Runtime& rt, std::string_view name, Args args) { return get(rt, name); }

Value Value::logical(bool b) {
  Value v;
  v.type_ = Type::Logical;
  v.b_ = b;
  return v;
}

Value Value::integer(int64_t n, int width) {
  Value v;
  v.type_ = Type::Number;
  v.is_int_ = true;
  v.i_ = n;
  if (width <= 0) {
    width = (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
                ? 10
                : 20;
  }
  v.width_ = static_cast<int16_t>(width);
  return v;
}

Value Value::number(double d, int width, int dec) {
  Value v;
  v.type_ = Type::Number;
  v.d_ = d;
  v.dec_ = static_cast<int16_t>(dec < 0 ? 0 : dec);
  v.width_ = static_cast<int16_t>(width <= 0 ? 10 + (v.dec_ ? v.dec_ + 1 : 0) : width);
  return v;
}

Value Value::string(std::string s) {
  Value v;
  v.type_ = Type::String;
  v.str_ = std::move(s);
  return v;
}

Value Value::memo(std::string s) {
  Value v = string(std::move(s));
  v.memo_ = true;
  return v;
}

Value Value::date(int32_t julian) {
  Value v;
  v.type_ = Type::Date;
  v.date_ = julian;
  return v;
}

Value Value::array(std::shared_ptr<ArrayData> a) {
  Value v;
  v.type_ = Type::Array;
  v.arr_ = std::move(a);
  return v;
}

Value Value::new_array(size_t n) {
  auto a = std::make_shared<ArrayData>();
  a->items.resize(n);
  return array(std::move(a));
}

Value Value::block(std::shared_ptr<BlockData> b) {
  Value v;
  v.type_ = Type::Block;
  v.blk_ = std::move(b);
  return v;
}

Value Value::object(std::shared_ptr<ObjectData> o) {
  Value v;
  v.type_ = Type::Object;
  v.obj_ = std::move(o);
  return v;
}

int64_t Value::as_int() const {
  if (is_int_) return i_;
  if (!std::isfinite(d_)) return 0;
  if (d_ >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (d_ <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d_);
}

bool Value::identical(const Value& o) const {
  if (type_ != o.type_) return false;
  switch (type_) {
    case Type::Nil: return true;
    case Type::Logical: return b_ == o.b_;
    case Type::Number:
      return is_int_ == o.is_int_ && width_ == o.width_ && dec_ == o.dec_ &&
             (is_int_ ? i_ == o.i_ : d_ == o.d_);
    case Type::String: return memo_ == o.memo_ && str_ == o.str_;
    case Type::Date: return date_ == o.date_;
    case Type::Array: return arr_ == o.arr_;
    case Type::Block: return blk_ == o.blk_;
    case Type::Object: return obj_ == o.obj_;
  }
  return false;
}

char Value::valtype() const {
  switch (type_) {
    case Type::Nil: return 'U';
    case Type::Logical: return 'L';
    case Type::Number: return 'N';
    case Type::String: return memo_ ? 'M' : 'C';
    case Type::Date: return 'D';
    case Type::Array: return 'A';
    case Type::Block: return 'B';
    case Type::Object: return 'O';
  }
  return 'U';
}

const Value& Args::operator[](size_t i) const { return i < n_ ? v_[i] : kNil; }

void Args::assign(size_t i, Value v) {
  if (i >= n_) return;
  if (refs_ && refs_[i]) *refs_[i] = v;
  v_[i] = std::move(v);
}

}  // namespace kvel::eval
