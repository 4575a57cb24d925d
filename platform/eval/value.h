// The value model of the expression language: NIL, logical, numeric, character
// (byte strings in code page 866, memo values included), date, array, code block
// and C++-defined objects. Values are cheap to copy: arrays, blocks and objects
// are shared by reference, as the language requires.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace kvel::eval {

enum class Type : uint8_t { Nil, Logical, Number, String, Date, Array, Block, Object };

class Value;
class Runtime;
class Args;

// Array storage. Arrays are shared: assignment copies the reference. An array
// may contain itself; code that walks arrays must guard against cycles.
// Arrays made into values are known to the cycle collector (collect_cycles()).
struct ArrayData {
  std::vector<Value> items;
  bool tracked = false;  // set when the cycle collector knows this array
};

// Frees arrays that only keep each other alive (a := {}, AAdd(a, a)):
// arrays referenced from anywhere but other arrays' elements survive, with
// everything reachable from them. Runs when a Runtime ends; may run any time.
// Returns the number of arrays it emptied.
size_t collect_cycles();

// A compiled code block. The evaluator fills in the body; C++ code may also
// make a block around a native callable (see eval.h).
class BlockData {
 public:
  virtual ~BlockData() = default;
  virtual Value call(Runtime& rt, Args args) = 0;
  // The source text as written, "{|a| a + 1}"; empty for native blocks.
  virtual std::string_view source() const = 0;
};

// Objects with messages, defined by C++ code: the data-entry field of a form,
// browse grids and columns, error objects, automation objects.
class ObjectData {
 public:
  virtual ~ObjectData() = default;
  // Class name as ValType/ClassName show it, for example "ERROR" or "GET".
  virtual std::string_view class_name() const = 0;
  // obj:name. Unknown names raise an error through rt (generic code 13).
  virtual Value get(Runtime& rt, std::string_view name) = 0;
  // obj:name := v.
  virtual void set(Runtime& rt, std::string_view name, const Value& v) = 0;
  // obj:name(args). The default treats a method call without arguments as get.
  virtual Value call(Runtime& rt, std::string_view name, Args args);
};

// Numbers keep what the language keeps for display: whether the value is an
// integer or a floating value, the width Str() uses when none is given, and
// the number of decimals.
class Value {
 public:
  Value() {}  // NIL

  static Value logical(bool b);
  // An integer with the default width of its size (10 for 32-bit values, 20
  // beyond), or an explicit width.
  static Value integer(int64_t n, int width = 0);
  // A floating value with display width and decimals (width 0: the default,
  // 10 integer digits plus the decimals and the point).
  static Value number(double d, int width, int dec);
  static Value string(std::string s);
  static Value string(std::string_view s) { return string(std::string(s)); }
  static Value string(const char* s) { return string(std::string(s)); }
  static Value memo(std::string s);
  // A day number (the Julian day number); 0 is the empty date.
  static Value date(int32_t julian);
  static Value array(std::shared_ptr<ArrayData> a);
  static Value new_array(size_t n = 0);
  static Value block(std::shared_ptr<BlockData> b);
  static Value object(std::shared_ptr<ObjectData> o);

  Type type() const { return type_; }
  bool is_nil() const { return type_ == Type::Nil; }
  bool is_logical() const { return type_ == Type::Logical; }
  bool is_number() const { return type_ == Type::Number; }
  bool is_string() const { return type_ == Type::String; }
  bool is_date() const { return type_ == Type::Date; }
  bool is_array() const { return type_ == Type::Array; }
  bool is_block() const { return type_ == Type::Block; }
  bool is_object() const { return type_ == Type::Object; }
  // Character values that came from a memo field: ValType gives "M".
  bool is_memo() const { return type_ == Type::String && memo_; }

  // Pre: the matching is_...() holds.
  bool as_logical() const { return b_; }
  double as_double() const { return is_int_ ? static_cast<double>(i_) : d_; }
  int64_t as_int() const;  // truncates a floating value toward zero
  bool is_integer() const { return type_ == Type::Number && is_int_; }
  int width() const { return width_; }  // display width, 0 = default
  int decimals() const { return dec_; }
  const std::string& as_string() const { return type_ == Type::String ? str_ : kEmptyString; }
  // A value of another type becomes an empty text first.
  std::string& mutable_string();
  int32_t as_date() const { return date_; }
  const std::shared_ptr<ArrayData>& as_array() const {
    return type_ == Type::Array ? arr_ : kNoArray;
  }
  const std::shared_ptr<BlockData>& as_block() const {
    return type_ == Type::Block ? blk_ : kNoBlock;
  }
  const std::shared_ptr<ObjectData>& as_object() const {
    return type_ == Type::Object ? obj_ : kNoObject;
  }

  Value(const Value& o) { copy_from(o); }
  Value(Value&& o) noexcept { move_from(o); }
  Value& operator=(const Value& o) {
    if (this != &o) {
      Value t(o);
      destroy();
      move_from(t);
    }
    return *this;
  }
  Value& operator=(Value&& o) noexcept {
    if (this != &o) {
      destroy();
      move_from(o);
    }
    return *this;
  }
  ~Value() { destroy(); }

  // Same value and same kind of storage: for tests and caches, not the
  // language's "==" (see the evaluator for that).
  bool identical(const Value& o) const;

  // One-letter ValType(): "U", "L", "N", "C", "M", "D", "A", "B", "O".
  char valtype() const;

 private:
  Type type_ = Type::Nil;
  bool memo_ = false;
  bool is_int_ = false;
  bool b_ = false;
  int16_t width_ = 0;
  int16_t dec_ = 0;
  int32_t date_ = 0;
  union {
    int64_t i_ = 0;
    double d_;
  };
  // The one heap-owning member of the type in type_ (none for the others).
  union {
    std::string str_;
    std::shared_ptr<ArrayData> arr_;
    std::shared_ptr<BlockData> blk_;
    std::shared_ptr<ObjectData> obj_;
  };

  static const std::string kEmptyString;
  static const std::shared_ptr<ArrayData> kNoArray;
  static const std::shared_ptr<BlockData> kNoBlock;
  static const std::shared_ptr<ObjectData> kNoObject;

  void copy_from(const Value& o);
  void move_from(Value& o) noexcept;
  // Takes o's contents into this (uninitialised) value: copied from an lvalue,
  // moved from an rvalue.
  template <class V>
  void take(V&& o) noexcept(!std::is_lvalue_reference_v<V>);
  void destroy() noexcept {
    switch (type_) {
      case Type::String:
        str_.~basic_string();
        break;
      case Type::Array:
        arr_.~shared_ptr();
        break;
      case Type::Block:
        blk_.~shared_ptr();
        break;
      case Type::Object:
        obj_.~shared_ptr();
        break;
      default:
        break;
    }
    type_ = Type::Nil;
  }
};

// The arguments of a call: a view of values, some of which may be references
// to the caller's variables (passed as @name). Arguments past the end read as
// NIL; a missing argument in the middle (f(a,,c)) is NIL too.
class Args {
 public:
  Args() = default;
  Args(Value* values, size_t n, Value** refs = nullptr) : v_(values), refs_(refs), n_(n) {}

  size_t size() const { return n_; }
  const Value& operator[](size_t i) const;
  bool is_ref(size_t i) const { return refs_ && i < n_ && refs_[i] != nullptr; }
  // Writes through a reference argument; without one only the local copy changes.
  void assign(size_t i, Value v);
  // The arguments from position `from` on (Eval passes its own on to the block).
  Args tail(size_t from) const {
    if (from >= n_) return Args();
    return Args(v_ + from, n_ - from, refs_ ? refs_ + from : nullptr);
  }

 private:
  static const Value kNil;
  Value* v_ = nullptr;
  Value** refs_ = nullptr;
  size_t n_ = 0;
};

}  // namespace kvel::eval
