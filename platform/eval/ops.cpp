#include "platform/eval/ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvel::eval {

namespace {

constexpr int kMaxDecimals = 15;  // products add decimals; beyond this they carry no digits
// Longest text "+" and "-" build; beyond it the operation is a string overflow.
constexpr size_t kMaxConcat = 64 * 1024 * 1024;

int width_of_int_part(double d) {
  if (!std::isfinite(d)) return 10;
  if (d > -1e9 && d < 1e10) return 10;
  double r = std::fabs(d);
  int digits = r < 1 ? 1 : static_cast<int>(std::floor(std::log10(r))) + 1;
  int w = digits + (d < 0 ? 1 : 0) + 1;
  return std::min(w, 255);
}

const char* op_name(BinOp op) {
  switch (op) {
    case BinOp::Add:
      return "+";
    case BinOp::Sub:
      return "-";
    case BinOp::Mul:
      return "*";
    case BinOp::Div:
      return "/";
    case BinOp::Mod:
      return "%";
    case BinOp::Pow:
      return "**";
  }
  return "?";
}

// ORDER: BinOp
constexpr int kArithSub[] = {1081, 1082, 1083, 1084, 1085, 1088};
// ORDER: CmpOp
constexpr int kCmpSub[] = {1071, 1070, 1072, 1073, 1074, 1075, 1076, 1109};
constexpr const char* kCmpName[] = {"=", "==", "<>", "<", "<=", ">", ">=", "$"};

Value type_error(Runtime& rt, BinOp op, const Value& a, const Value& b) {
  return op_error(rt, kErrArg, kArithSub[static_cast<int>(op)], "Argument error", op_name(op),
                  {a, b});
}

Value zero_div(Runtime& rt, BinOp op, const Value& a, const Value& b) {
  return op_error(rt, kErrZeroDiv, op == BinOp::Mod ? 1341 : 1340, "Zero divisor", op_name(op),
                  {a, b});
}

int32_t date_plus(int32_t d, const Value& n) {
  int64_t r = static_cast<int64_t>(d) + n.as_int();
  if (r < 0) r = 0;
  if (r > std::numeric_limits<int32_t>::max()) r = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(r);
}

Value numeric(Runtime& rt, BinOp op, const Value& a, const Value& b) {
  if (a.is_integer() && b.is_integer()) {
    int64_t x = a.as_int(), y = b.as_int(), r = 0;
    switch (op) {
      case BinOp::Add:
        if (!__builtin_add_overflow(x, y, &r)) return integer_result(r);
        break;
      case BinOp::Sub:
        if (!__builtin_sub_overflow(x, y, &r)) return integer_result(r);
        break;
      case BinOp::Mul:
        if (!__builtin_mul_overflow(x, y, &r)) return integer_result(r);
        break;
      case BinOp::Div:
        if (y == 0) return zero_div(rt, op, a, b);
        if (!(x == std::numeric_limits<int64_t>::min() && y == -1) && x % y == 0) {
          return integer_result(x / y);
        }
        return number_result(static_cast<double>(x) / static_cast<double>(y),
                             rt.settings().decimals);
      case BinOp::Mod:
        if (y == 0) return zero_div(rt, op, a, b);
        if (y == -1) return integer_result(0);
        return integer_result(x % y);
      case BinOp::Pow:
        break;
    }
  }
  double x = a.as_double(), y = b.as_double();
  int da = a.decimals(), db = b.decimals();
  switch (op) {
    case BinOp::Add:
      return number_result(x + y, std::max(da, db));
    case BinOp::Sub:
      return number_result(x - y, std::max(da, db));
    case BinOp::Mul:
      return number_result(x * y, std::min(da + db, kMaxDecimals));
    case BinOp::Div:
      if (y == 0) return zero_div(rt, op, a, b);
      return number_result(x / y, rt.settings().decimals);
    case BinOp::Mod:
      if (y == 0) return zero_div(rt, op, a, b);
      return number_result(std::fmod(x, y), rt.settings().decimals);
    case BinOp::Pow:
      return number_result(std::pow(x, y), rt.settings().decimals);
  }
  return {};
}

// "abc  " - "def" is "abcdef  ": the left text's trailing blanks go to the end.
std::string text_minus(const std::string& a, const std::string& b) {
  size_t n = a.size();
  while (n > 0 && a[n - 1] == ' ') --n;
  std::string r;
  r.reserve(a.size() + b.size());
  r.append(a, 0, n);
  r += b;
  r.append(a.size() - n, ' ');
  return r;
}

}  // namespace

Value op_error(Runtime& rt, int gen, int sub, const char* description, std::string operation,
               std::initializer_list<Value> args) {
  ErrorObject e;
  e.gen_code = gen;
  e.sub_code = sub;
  e.description = description;
  e.operation = std::move(operation);
  e.args = std::vector<Value>(args);
  e.can_substitute = true;
  if (!rt.calls().empty()) {
    e.procedure = rt.calls().back().name;
    e.module = rt.calls().back().module;
    e.line = rt.calls().back().line;
  }
  Answer ans = rt.raise(e);
  if (ans.is_substitute()) return ans.value;
  return {};
}

Value integer_result(int64_t n) { return Value::integer(n); }

Value number_result(double d, int dec) {
  int w = width_of_int_part(d) + (dec > 0 ? dec + 1 : 0);
  return Value::number(d, w, dec);
}

namespace {

Value too_long(Runtime& rt, BinOp op) {
  return op_error(rt, kErrStrOverflow, 1209, "String overflow", op_name(op), {});
}

}  // namespace

Value arith(Runtime& rt, BinOp op, const Value& a, const Value& b) {
  if (a.is_number() && b.is_number()) return numeric(rt, op, a, b);
  if (a.is_string() && b.is_string() && a.as_string().size() + b.as_string().size() > kMaxConcat) {
    return too_long(rt, op);
  }
  switch (op) {
    case BinOp::Add:
      if (a.is_string() && b.is_string()) {
        std::string r;
        r.reserve(a.as_string().size() + b.as_string().size());
        r += a.as_string();
        r += b.as_string();
        return Value::string(std::move(r));
      }
      if (a.is_date() && b.is_number()) return Value::date(date_plus(a.as_date(), b));
      if (a.is_number() && b.is_date()) return Value::date(date_plus(b.as_date(), a));
      if (a.is_date() && b.is_date())
        return Value::date(date_plus(a.as_date(), Value::integer(b.as_date())));
      break;
    case BinOp::Sub:
      if (a.is_string() && b.is_string())
        return Value::string(text_minus(a.as_string(), b.as_string()));
      if (a.is_date() && b.is_date())
        return integer_result(static_cast<int64_t>(a.as_date()) - b.as_date());
      if (a.is_date() && b.is_number()) {
        return Value::date(date_plus(a.as_date(), Value::integer(-b.as_int())));
      }
      break;
    default:
      break;
  }
  return type_error(rt, op, a, b);
}

void accumulate(Runtime& rt, BinOp op, Value& acc, const Value& b) {
  if (op == BinOp::Add && acc.is_string() && b.is_string() && !acc.is_memo() &&
      acc.as_string().size() + b.as_string().size() <= kMaxConcat) {
    std::string& s = acc.mutable_string();
    size_t need = s.size() + b.as_string().size();
    // Room for what usually follows: a report cell or key adds a few more
    // pieces, which then need no further allocation.
    if (need > s.capacity()) s.reserve(std::max<size_t>(2 * need, 32));
    s += b.as_string();
    return;
  }
  acc = arith(rt, op, acc, b);
}

Value negate(Runtime& rt, const Value& a) {
  if (!a.is_number()) return op_error(rt, kErrArg, 1080, "Argument error", "-", {a});
  // A negated number below -999999999 no longer fits ten columns: it gets twenty.
  if (a.is_integer() && a.as_int() != std::numeric_limits<int64_t>::min()) {
    int64_t n = -a.as_int();
    int w = n < -999999999 ? std::max(20, width_of_int_part(static_cast<double>(n))) : 10;
    return Value::integer(n, w);
  }
  double d = -a.as_double();
  int intw = (d <= -1e9 || d >= 1e10) ? std::max(20, width_of_int_part(d)) : 10;
  int dec = a.decimals();
  return Value::number(d, intw + (dec > 0 ? dec + 1 : 0), dec);
}

Value unary_plus(Runtime& rt, const Value& a) {
  if (!a.is_number()) return op_error(rt, kErrArg, 1081, "Argument error", "+", {a});
  return a;
}

Value step(Runtime& rt, const Value& a, bool inc) {
  if (a.is_number()) return arith(rt, inc ? BinOp::Add : BinOp::Sub, a, Value::integer(1));
  if (a.is_date()) return Value::date(date_plus(a.as_date(), Value::integer(inc ? 1 : -1)));
  return op_error(rt, kErrArg, inc ? 1086 : 1087, "Argument error", inc ? "++" : "--", {a});
}

int compare_text(const std::string& a, const std::string& b, bool exact_setting, bool force_exact) {
  size_t la = a.size(), lb = b.size();
  if (!force_exact && exact_setting) {
    while (la > lb && a[la - 1] == ' ') --la;
    while (lb > la && b[lb - 1] == ' ') --lb;
  }
  size_t n = std::min(la, lb);
  int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (r != 0) return r < 0 ? -1 : 1;
  if (la == lb) return 0;
  // Without SET EXACT a longer left text equals its prefix on the right.
  if (force_exact || exact_setting || lb > la) return la < lb ? -1 : 1;
  return 0;
}

Value compare_values(Runtime& rt, CmpOp op, const Value& a, const Value& b) {
  auto fail = [&] {
    int i = static_cast<int>(op);
    return op_error(rt, kErrArg, kCmpSub[i], "Argument error", kCmpName[i], {a, b});
  };
  auto by_order = [&](int c) {
    switch (op) {
      case CmpOp::Eq:
      case CmpOp::EqEq:
        return Value::logical(c == 0);
      case CmpOp::Ne:
        return Value::logical(c != 0);
      case CmpOp::Lt:
        return Value::logical(c < 0);
      case CmpOp::Le:
        return Value::logical(c <= 0);
      case CmpOp::Gt:
        return Value::logical(c > 0);
      case CmpOp::Ge:
        return Value::logical(c >= 0);
      case CmpOp::In:
        break;
    }
    return Value();
  };
  if (op == CmpOp::In) {
    if (!a.is_string() || !b.is_string()) return fail();
    const std::string& x = a.as_string();
    return Value::logical(!x.empty() && b.as_string().find(x) != std::string::npos);
  }
  if (a.is_nil() || b.is_nil()) {
    bool same = a.is_nil() && b.is_nil();
    if (op == CmpOp::Eq || op == CmpOp::EqEq) return Value::logical(same);
    if (op == CmpOp::Ne) return Value::logical(!same);
    return fail();
  }
  if (a.is_number() && b.is_number()) {
    if (a.is_integer() && b.is_integer()) {
      int64_t x = a.as_int(), y = b.as_int();
      return by_order(x < y ? -1 : (x > y ? 1 : 0));
    }
    double x = a.as_double(), y = b.as_double();
    return by_order(x < y ? -1 : (x > y ? 1 : 0));
  }
  if (a.is_string() && b.is_string()) {
    bool force = op == CmpOp::EqEq;
    return by_order(compare_text(a.as_string(), b.as_string(), rt.settings().exact, force));
  }
  if (a.is_date() && b.is_date()) {
    int32_t x = a.as_date(), y = b.as_date();
    return by_order(x < y ? -1 : (x > y ? 1 : 0));
  }
  if (a.is_logical() && b.is_logical()) {
    int x = a.as_logical(), y = b.as_logical();
    return by_order(x - y);
  }
  // Arrays, blocks and objects are only ever the same one or not.
  if (op == CmpOp::EqEq && a.type() == b.type() &&
      (a.is_array() || a.is_block() || a.is_object())) {
    return Value::logical(a.identical(b));
  }
  return fail();
}

}  // namespace kvel::eval
