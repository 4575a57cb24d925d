#include "platform/eval/value.h"

#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>

namespace kvel::eval {

const Value Args::kNil;
const std::string Value::kEmptyString;
const std::shared_ptr<ArrayData> Value::kNoArray;
const std::shared_ptr<BlockData> Value::kNoBlock;
const std::shared_ptr<ObjectData> Value::kNoObject;

namespace {

// Characters of the integer part of n, sign included.
int int_chars(int64_t n) {
  int c = n < 0 ? 2 : 1;
  uint64_t u = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  while (u >= 10) {
    u /= 10;
    ++c;
  }
  return c;
}

// Every array made into a value, for the cycle collector. The evaluator runs
// on one thread; a thread of its own keeps its own list.
struct ArrayTracker {
  std::vector<std::weak_ptr<ArrayData>> all;
  size_t compact_at = 1024;

  void track(const std::shared_ptr<ArrayData>& a) {
    if (!a || a->tracked) return;
    a->tracked = true;
    if (all.size() >= compact_at) {
      std::erase_if(all, [](const std::weak_ptr<ArrayData>& w) { return w.expired(); });
      compact_at = std::max<size_t>(1024, all.size() * 2);
    }
    all.push_back(a);
  }
};

ArrayTracker& tracker() {
  thread_local ArrayTracker t;
  return t;
}

}  // namespace

Value ObjectData::call(Runtime& rt, std::string_view name, Args args) { return get(rt, name); }

template <class V>
void Value::take(V&& o) noexcept(!std::is_lvalue_reference_v<V>) {
  type_ = o.type_;
  memo_ = o.memo_;
  is_int_ = o.is_int_;
  b_ = o.b_;
  width_ = o.width_;
  dec_ = o.dec_;
  date_ = o.date_;
  i_ = o.i_;
  switch (type_) {
    case Type::String:
      new (&str_) std::string(std::forward<V>(o).str_);
      break;
    case Type::Array:
      new (&arr_) std::shared_ptr<ArrayData>(std::forward<V>(o).arr_);
      break;
    case Type::Block:
      new (&blk_) std::shared_ptr<BlockData>(std::forward<V>(o).blk_);
      break;
    case Type::Object:
      new (&obj_) std::shared_ptr<ObjectData>(std::forward<V>(o).obj_);
      break;
    default:
      break;
  }
}

void Value::copy_from(const Value& o) { take(o); }

void Value::move_from(Value& o) noexcept {
  take(std::move(o));
  o.destroy();
}

std::string& Value::mutable_string() {
  if (type_ != Type::String) {
    destroy();
    new (&str_) std::string();
    type_ = Type::String;
    memo_ = false;
  }
  return str_;
}

Value Value::logical(bool b) {
  Value v;
  v.type_ = Type::Logical;
  v.b_ = b;
  return v;
}

// Without a width, a 32-bit integer shows in ten columns (twenty when it has
// more than nine digits and a sign); a larger one in its digits and a blank.
Value Value::integer(int64_t n, int width) {
  Value v;
  v.type_ = Type::Number;
  v.is_int_ = true;
  v.i_ = n;
  if (width <= 0) {
    if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
      width = n < -999999999 ? 20 : 10;
    } else {
      width = int_chars(n) + 1;
    }
  }
  v.width_ = static_cast<int16_t>(std::min(width, 255));
  return v;
}

Value Value::number(double d, int width, int dec) {
  Value v;
  v.type_ = Type::Number;
  v.d_ = d;
  v.dec_ = static_cast<int16_t>(dec < 0 ? 0 : std::min(dec, 99));
  v.width_ =
      static_cast<int16_t>(width <= 0 ? 10 + (v.dec_ ? v.dec_ + 1 : 0) : std::min(width, 255));
  return v;
}

Value Value::string(std::string s) {
  Value v;
  new (&v.str_) std::string(std::move(s));
  v.type_ = Type::String;
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
  if (!a) a = std::make_shared<ArrayData>();
  tracker().track(a);
  Value v;
  new (&v.arr_) std::shared_ptr<ArrayData>(std::move(a));
  v.type_ = Type::Array;
  return v;
}

Value Value::new_array(size_t n) {
  auto a = std::make_shared<ArrayData>();
  a->items.resize(n);
  return array(std::move(a));
}

Value Value::block(std::shared_ptr<BlockData> b) {
  Value v;
  new (&v.blk_) std::shared_ptr<BlockData>(std::move(b));
  v.type_ = Type::Block;
  return v;
}

Value Value::object(std::shared_ptr<ObjectData> o) {
  Value v;
  new (&v.obj_) std::shared_ptr<ObjectData>(std::move(o));
  v.type_ = Type::Object;
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
    case Type::Nil:
      return true;
    case Type::Logical:
      return b_ == o.b_;
    case Type::Number:
      return is_int_ == o.is_int_ && width_ == o.width_ && dec_ == o.dec_ &&
             (is_int_ ? i_ == o.i_ : d_ == o.d_);
    case Type::String:
      return memo_ == o.memo_ && str_ == o.str_;
    case Type::Date:
      return date_ == o.date_;
    case Type::Array:
      return arr_ == o.arr_;
    case Type::Block:
      return blk_ == o.blk_;
    case Type::Object:
      return obj_ == o.obj_;
  }
  return false;
}

char Value::valtype() const {
  switch (type_) {
    case Type::Nil:
      return 'U';
    case Type::Logical:
      return 'L';
    case Type::Number:
      return 'N';
    case Type::String:
      return memo_ ? 'M' : 'C';
    case Type::Date:
      return 'D';
    case Type::Array:
      return 'A';
    case Type::Block:
      return 'B';
    case Type::Object:
      return 'O';
  }
  return 'U';
}

const Value& Args::operator[](size_t i) const { return i < n_ ? v_[i] : kNil; }

void Args::assign(size_t i, Value v) {
  if (i >= n_) return;
  if (refs_ && refs_[i]) *refs_[i] = v;
  v_[i] = std::move(v);
}

// Trial deletion: an array whose owners are all elements of tracked arrays
// is reachable only through arrays; if no array that has an outside owner
// reaches it, it is garbage, and emptying it breaks the cycle.
size_t collect_cycles() {
  ArrayTracker& t = tracker();
  std::vector<std::shared_ptr<ArrayData>> live;
  live.reserve(t.all.size());
  for (const auto& w : t.all) {
    if (auto a = w.lock()) live.push_back(std::move(a));
  }
  t.all.clear();
  std::unordered_map<const ArrayData*, long> inner;
  inner.reserve(live.size());
  for (const auto& a : live) inner.emplace(a.get(), 0);
  for (const auto& a : live) {
    for (const Value& v : a->items) {
      if (v.is_array()) {
        auto it = inner.find(v.as_array().get());
        if (it != inner.end()) ++it->second;
      }
    }
  }
  std::unordered_map<const ArrayData*, bool> reached;
  std::vector<const ArrayData*> work;
  for (const auto& a : live) {
    // One owner is `live` itself.
    if (a.use_count() - 1 > inner[a.get()]) work.push_back(a.get());
  }
  while (!work.empty()) {
    const ArrayData* a = work.back();
    work.pop_back();
    if (reached[a]) continue;
    reached[a] = true;
    for (const Value& v : a->items) {
      if (v.is_array() && inner.count(v.as_array().get()) && !reached[v.as_array().get()]) {
        work.push_back(v.as_array().get());
      }
    }
  }
  size_t freed = 0;
  std::vector<Value> garbage;
  for (const auto& a : live) {
    if (reached[a.get()]) {
      t.all.push_back(a);
    } else {
      for (Value& v : a->items) garbage.push_back(std::move(v));
      a->items.clear();
      ++freed;
    }
  }
  garbage.clear();
  live.clear();
  return freed;
}

}  // namespace kvel::eval
