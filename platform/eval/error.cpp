#include "platform/eval/error.h"

#include <cctype>
#include <string>

#include "platform/eval/runtime.h"

namespace kvel::eval {

namespace {

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

Value args_value(const std::optional<std::vector<Value>>& args) {
  if (!args) return {};
  auto a = std::make_shared<ArrayData>();
  a->items = *args;
  return Value::array(std::move(a));
}

// The language face of an ErrorObject: the messages of the family's error class.
class ErrorValue : public ObjectData {
 public:
  explicit ErrorValue(ErrorObject e) : e_(std::move(e)) {}
  std::string_view class_name() const override { return "ERROR"; }

  Value get(Runtime& rt, std::string_view name) override {
    std::string n = lower(name);
    if (n == "severity") return Value::integer(e_.severity);
    if (n == "subsystem") return Value::string(e_.subsystem);
    if (n == "gencode") return Value::integer(e_.gen_code);
    if (n == "subcode") return Value::integer(e_.sub_code);
    if (n == "description") return Value::string(e_.description);
    if (n == "operation") return Value::string(e_.operation);
    if (n == "filename") return Value::string(e_.filename);
    if (n == "oscode") return Value::integer(e_.os_code);
    if (n == "args") return args_value(e_.args);
    if (n == "canretry") return Value::logical(e_.can_retry);
    if (n == "candefault") return Value::logical(e_.can_default);
    if (n == "cansubstitute") return Value::logical(e_.can_substitute);
    if (n == "tries") return Value::integer(e_.tries);
    if (n == "modulename") return Value::string(e_.module);
    if (n == "procname") return Value::string(e_.procedure);
    if (n == "procline") return Value::integer(e_.line);
    if (n == "cargo") {
      if (e_.cargo.empty()) return {};
      if (e_.cargo.size() == 1) return e_.cargo[0];
      auto a = std::make_shared<ArrayData>();
      a->items = e_.cargo;
      return Value::array(std::move(a));
    }
    no_message(rt, name);
    return {};
  }

  void set(Runtime& rt, std::string_view name, const Value& v) override {
    std::string n = lower(name);
    auto num = [&] { return v.is_number() ? static_cast<int>(v.as_int()) : 0; };
    auto str = [&] { return v.is_string() ? v.as_string() : std::string(); };
    auto flag = [&] { return v.is_logical() && v.as_logical(); };
    if (n == "severity")
      e_.severity = num();
    else if (n == "subsystem")
      e_.subsystem = str();
    else if (n == "gencode")
      e_.gen_code = num();
    else if (n == "subcode")
      e_.sub_code = num();
    else if (n == "description")
      e_.description = str();
    else if (n == "operation")
      e_.operation = str();
    else if (n == "filename")
      e_.filename = str();
    else if (n == "oscode")
      e_.os_code = num();
    else if (n == "canretry")
      e_.can_retry = flag();
    else if (n == "candefault")
      e_.can_default = flag();
    else if (n == "cansubstitute")
      e_.can_substitute = flag();
    else if (n == "tries")
      e_.tries = num();
    else if (n == "args") {
      if (v.is_array())
        e_.args = v.as_array()->items;
      else
        e_.args.reset();
    } else if (n == "cargo") {
      e_.cargo.clear();
      if (!v.is_nil()) e_.cargo.push_back(v);
    } else {
      no_message(rt, name);
    }
  }

  ErrorObject& error() { return e_; }

 private:
  static void no_message(Runtime& rt, std::string_view name) {
    ErrorObject err;
    err.gen_code = kErrNoMethod;
    err.sub_code = 1004;
    err.description = "No exported method";
    err.operation = std::string(name);
    rt.raise(err);
  }

  ErrorObject e_;
};

}  // namespace

Value error_value(const ErrorObject& e) { return Value::object(std::make_shared<ErrorValue>(e)); }

ErrorObject* error_of(const Value& v) {
  if (!v.is_object()) return nullptr;
  auto* ev = dynamic_cast<ErrorValue*>(v.as_object().get());
  return ev ? &ev->error() : nullptr;
}

}  // namespace kvel::eval
