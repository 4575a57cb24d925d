// The array functions: ARRAY AADD ASIZE AINS ADEL ASCAN ASORT AEVAL ACLONE
// ACOPY ATAIL AFILL. Blocks they call may change the array they work on, so
// every loop checks the current length again.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/eval/ops.h"
#include "platform/rtl/rtl.h"

namespace kvel::rtl {

using eval::Args;
using eval::ArrayData;
using eval::Runtime;
using eval::Value;

namespace {

// Beyond this many elements (all dimensions together) Array() and ASize()
// refuse: a typo must not eat the memory.
constexpr int64_t kMaxElements = 1024 * 1024;

Value arg_error(Runtime& rt, int sub, const char* name, Args args) {
  eval::ErrorObject e;
  e.gen_code = eval::kErrArg;
  e.sub_code = sub;
  e.description = "Argument error";
  e.operation = name;
  e.args = std::vector<Value>();
  for (size_t i = 0; i < args.size(); ++i) e.args->push_back(args[i]);
  e.can_substitute = true;
  eval::Answer a = rt.raise(e);
  return a.is_substitute() ? a.value : Value();
}

// A 1-based start and a count as the functions take them, clipped to n elements.
struct Range {
  size_t from = 0;  // 0-based
  size_t to = 0;    // one past the last
};

Range range(size_t n, const Value& start, const Value& count) {
  int64_t s = start.is_number() ? start.as_int() : 1;
  if (s < 1) s = 1;
  Range r;
  if (static_cast<uint64_t>(s) > n) {
    r.from = r.to = n;
    return r;
  }
  r.from = static_cast<size_t>(s - 1);
  int64_t c = count.is_number() ? count.as_int() : static_cast<int64_t>(n - r.from);
  if (c < 0) c = 0;
  r.to = r.from + std::min<size_t>(static_cast<size_t>(c), n - r.from);
  return r;
}

Value make_array(Runtime& rt, Args args, size_t dim) {
  const Value& d = args[dim];
  if (!d.is_number() || d.as_int() < 0 || d.as_int() > kMaxElements) {
    eval::ErrorObject e;
    e.gen_code = eval::kErrBound;
    e.sub_code = 1131;
    e.description = "Bound error";
    e.operation = "array dimension";
    e.can_substitute = true;
    eval::Answer a = rt.raise(e);
    return a.is_substitute() ? a.value : Value();
  }
  Value a = Value::new_array(static_cast<size_t>(d.as_int()));
  if (dim + 1 < args.size()) {
    for (Value& item : a.as_array()->items) item = make_array(rt, args, dim + 1);
  }
  return a;
}

Value array(Runtime& rt, Args args) {
  if (args.size() == 0) return {};
  int64_t total = 1;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!args[i].is_number()) break;
    int64_t d = args[i].as_int();
    if (d <= 0) break;
    total = d > kMaxElements ? kMaxElements + 1 : total * d;
    if (total > kMaxElements) return make_array(rt, Args(), 0);  // the bound error
  }
  return make_array(rt, args, 0);
}

Value aadd(Runtime& rt, Args args) {
  if (!args[0].is_array()) return arg_error(rt, 1123, "AADD", args);
  args[0].as_array()->items.push_back(args[1]);
  return args[1];
}

Value asize(Runtime& rt, Args args) {
  if (!args[0].is_array() || !args[1].is_number()) return arg_error(rt, 2023, "ASIZE", args);
  int64_t n = std::clamp<int64_t>(args[1].as_int(), 0, kMaxElements);
  args[0].as_array()->items.resize(static_cast<size_t>(n));
  return args[0];
}

Value ains(Runtime& rt, Args args) {
  if (!args[0].is_array()) return {};
  auto& v = args[0].as_array()->items;
  int64_t i = args[1].is_number() ? args[1].as_int() : 0;
  if (i >= 1 && static_cast<uint64_t>(i) <= v.size()) {
    std::move_backward(v.begin() + (i - 1), v.end() - 1, v.end());
    v[static_cast<size_t>(i - 1)] = Value();
  }
  return args[0];
}

Value adel(Runtime& rt, Args args) {
  if (!args[0].is_array()) return {};
  auto& v = args[0].as_array()->items;
  int64_t i = args[1].is_number() ? args[1].as_int() : 0;
  if (i >= 1 && static_cast<uint64_t>(i) <= v.size()) {
    std::move(v.begin() + i, v.end(), v.begin() + (i - 1));
    v.back() = Value();
  }
  return args[0];
}

// Whether an element matches what AScan looks for: "=" under SET EXACT for
// values of one type, never a match (and no error) across types.
bool matches(Runtime& rt, const Value& item, const Value& x) {
  if (item.type() != x.type()) return false;
  switch (x.type()) {
    case eval::Type::Nil:
      return true;
    case eval::Type::String:
      return eval::compare_text(item.as_string(), x.as_string(), rt.settings().exact, false) == 0;
    case eval::Type::Array:
    case eval::Type::Block:
    case eval::Type::Object:
      return item.identical(x);
    default:
      return eval::exactly_equal(rt, item, x);
  }
}

Value ascan(Runtime& rt, Args args) {
  if (!args[0].is_array()) return Value::integer(0);
  Value keep = args[0];
  const auto& v = keep.as_array()->items;
  Range r = range(v.size(), args[2], args[3]);
  const Value& x = args[1];
  for (size_t i = r.from; i < r.to && i < v.size(); ++i) {
    if (x.is_block()) {
      Value e = v[i];
      Value got = eval::call_block(rt, x, {e, Value::integer(static_cast<int64_t>(i) + 1)});
      if (got.is_logical() && got.as_logical()) return Value::integer(static_cast<int64_t>(i) + 1);
    } else if (matches(rt, v[i], x)) {
      return Value::integer(static_cast<int64_t>(i) + 1);
    }
  }
  return Value::integer(0);
}

// The order of ASort without a block: texts, logicals, dates, numbers, then
// everything else; within a type by value, texts byte by byte.
int type_rank(const Value& v) {
  switch (v.type()) {
    case eval::Type::String:
      return 0;
    case eval::Type::Logical:
      return 1;
    case eval::Type::Date:
      return 2;
    case eval::Type::Number:
      return 3;
    default:
      return 4;
  }
}

bool natural_less(const Value& a, const Value& b) {
  int ra = type_rank(a), rb = type_rank(b);
  if (ra != rb) return ra < rb;
  switch (a.type()) {
    case eval::Type::String:
      return eval::compare_text(a.as_string(), b.as_string(), true, true) < 0;
    case eval::Type::Logical:
      return !a.as_logical() && b.as_logical();
    case eval::Type::Date:
      return a.as_date() < b.as_date();
    case eval::Type::Number:
      if (a.is_integer() && b.is_integer()) return a.as_int() < b.as_int();
      return a.as_double() < b.as_double();
    default:
      return false;
  }
}

// A merge sort that stays in bounds and terminates whatever the comparison
// answers: a block need not be a consistent order.
template <class Less>
void merge_sort(std::vector<Value>& v, Less less) {
  std::vector<Value> tmp(v.size());
  for (size_t width = 1; width < v.size(); width *= 2) {
    for (size_t lo = 0; lo < v.size(); lo += 2 * width) {
      size_t mid = std::min(lo + width, v.size()), hi = std::min(lo + 2 * width, v.size());
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) tmp[k++] = less(v[j], v[i]) ? std::move(v[j++]) : std::move(v[i++]);
      while (i < mid) tmp[k++] = std::move(v[i++]);
      while (j < hi) tmp[k++] = std::move(v[j++]);
    }
    v.swap(tmp);
  }
}

Value asort(Runtime& rt, Args args) {
  if (!args[0].is_array()) return {};
  Value keep = args[0];
  auto& items = keep.as_array()->items;
  Range r = range(items.size(), args[1], args[2]);
  // Sorted as a copy: the block may change the array meanwhile.
  std::vector<Value> part(items.begin() + static_cast<ptrdiff_t>(r.from),
                          items.begin() + static_cast<ptrdiff_t>(r.to));
  const Value& block = args[3];
  if (block.is_block()) {
    merge_sort(part, [&](const Value& a, const Value& b) {
      Value got = eval::call_block(rt, block, {a, b});
      return got.is_logical() && got.as_logical();
    });
  } else {
    merge_sort(part, natural_less);
  }
  for (size_t i = 0; i < part.size() && r.from + i < items.size(); ++i)
    items[r.from + i] = std::move(part[i]);
  return keep;
}

Value aeval(Runtime& rt, Args args) {
  if (!args[0].is_array()) return {};
  Value keep = args[0];
  const auto& v = keep.as_array()->items;
  Range r = range(v.size(), args[2], args[3]);
  for (size_t i = r.from; i < r.to && i < v.size(); ++i) {
    Value e = v[i];
    eval::call_block(rt, args[1], {e, Value::integer(static_cast<int64_t>(i) + 1)});
  }
  return keep;
}

// Nested arrays are copied too; an array met again (a cycle, or the same
// array twice) maps to the same copy.
Value clone(const Value& v, std::unordered_map<const ArrayData*, Value>& done) {
  if (!v.is_array()) return v;
  auto it = done.find(v.as_array().get());
  if (it != done.end()) return it->second;
  Value copy = Value::new_array();
  done.emplace(v.as_array().get(), copy);
  std::vector<Value> items = v.as_array()->items;
  for (Value& e : items) e = clone(e, done);
  copy.as_array()->items = std::move(items);
  return copy;
}

Value aclone(Runtime& rt, Args args) {
  if (!args[0].is_array()) return {};
  std::unordered_map<const ArrayData*, Value> done;
  return clone(args[0], done);
}

Value acopy(Runtime& rt, Args args) {
  if (!args[0].is_array() || !args[1].is_array()) return {};
  const auto src = args[0].as_array()->items;
  auto& dst = args[1].as_array()->items;
  Range r = range(src.size(), args[2], args[3]);
  int64_t at = args[4].is_number() ? args[4].as_int() : 1;
  if (at < 1) at = 1;
  for (size_t i = r.from, j = static_cast<size_t>(at - 1); i < r.to && j < dst.size(); ++i, ++j)
    dst[j] = src[i];
  return args[1];
}

Value atail(Runtime& rt, Args args) {
  if (!args[0].is_array() || args[0].as_array()->items.empty()) return {};
  return args[0].as_array()->items.back();
}

Value afill(Runtime& rt, Args args) {
  if (!args[0].is_array()) return {};
  auto& v = args[0].as_array()->items;
  Range r = range(v.size(), args[2], args[3]);
  for (size_t i = r.from; i < r.to; ++i) v[i] = args[1];
  return args[0];
}

}  // namespace

void register_arrays(eval::Registry& reg) {
  reg.function("ARRAY", array);
  reg.function("AADD", aadd);
  reg.function("ASIZE", asize);
  reg.function("AINS", ains);
  reg.function("ADEL", adel);
  reg.function("ASCAN", ascan);
  reg.function("ASORT", asort);
  reg.function("AEVAL", aeval);
  reg.function("ACLONE", aclone);
  reg.function("ACOPY", acopy);
  reg.function("ATAIL", atail);
  reg.function("AFILL", afill);
}

}  // namespace kvel::rtl
