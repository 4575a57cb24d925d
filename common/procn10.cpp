#include "common/procn10.h"

#include "common/manager.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "platform/rtl/cp866.h"

namespace kvel::common {

using eval::Args;
using eval::Runtime;
using eval::Value;

namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

bool abbreviates(const std::string& word, const char* keyword) {
  std::string k = keyword;
  return word.size() >= 3 && word.size() <= k.size() &&
         rtl::cp866::upper(word) == k.substr(0, word.size());
}

std::vector<std::string> name_list(const std::string& rest) {
  std::vector<std::string> names;
  for (size_t start = 0;;) {
    size_t comma = rest.find(',', start);
    std::string n = trim(rest.substr(start, comma - start));
    if (!n.empty()) names.push_back(n);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return names;
}

bool is_name(const std::string& n) {
  auto start = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (n.empty() || !start(n[0])) return false;
  for (char c : n) {
    if (!start(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

// A declaration whose list holds something other than names ("PRIV := 5",
// "PUBLIC x := 1") would create variables no expression can name and drop the
// rest of the statement without a word: it is a syntax error of the statement
// instead, which the user may skip.
bool names_valid(Runtime& rt, const Statement& st) {
  for (const auto& n : st.names) {
    if (is_name(n)) continue;
    eval::ErrorObject e;
    e.gen_code = eval::kErrSyntax;
    e.sub_code = 1449;
    e.description = "Syntax error";
    e.operation = "PROCN10";
    e.args = std::vector<Value>{Value::string(n)};
    e.can_default = true;
    rt.raise(e);
    return false;
  }
  return true;
}

}  // namespace

Statement classify_statement(const std::string& raw) {
  Statement st;
  std::string text = trim(raw);
  size_t blank = text.find_first_of(" \t");
  if (blank != std::string::npos) {
    std::string word = text.substr(0, blank);
    Statement::Kind kind = Statement::Kind::Expression;
    if (abbreviates(word, "PRIVATE")) kind = Statement::Kind::Private;
    if (abbreviates(word, "PUBLIC")) kind = Statement::Kind::Public;
    if (abbreviates(word, "RELEASE")) kind = Statement::Kind::Release;
    if (kind != Statement::Kind::Expression) {
      st.kind = kind;
      st.names = name_list(text.substr(blank + 1));
      return st;
    }
  }
  for (size_t p = text.find(":="); p != std::string::npos; p = text.find(":=", p + 2)) {
    std::string before = trim(text.substr(0, p));
    size_t cut = before.find_last_of("|[(, ");
    std::string name = cut == std::string::npos ? before : before.substr(cut + 1);
    if (name.empty() || name.find_first_of(">]\"") != std::string::npos) continue;
    st.names.push_back(name);
  }
  return st;
}

eval::Answer errorhandlern10(Runtime& rt, eval::ErrorObject& e, const eval::ErrorHandler& previous,
                             const std::string& statement) {
  std::string name = "PROCN10";
  int line = 0;
  for (auto it = rt.calls().rbegin(); it != rt.calls().rend(); ++it) {
    if (it->name == name) {
      line = it->line;
      break;
    }
  }
  e.cargo = {Value::string(name), Value::integer(line), Value::string(statement)};
  if (!previous) throw eval::Break{eval::error_value(e)};
  return previous(rt, e);
}

void procn10(Runtime& rt) {
  std::vector<std::string> params = entry_params(rt);
  std::string current;
  eval::ErrorHandler previous = rt.error_handler();
  eval::ScopedErrorHandler scoped(rt, [&previous, &current](Runtime& r, eval::ErrorObject& e) {
    return errorhandlern10(r, e, previous, current);
  });
  bool own_frame = rt.calls().empty() || rt.calls().back().name != "PROCN10";
  std::unique_ptr<eval::CallFrame> frame;
  if (own_frame) frame = std::make_unique<eval::CallFrame>(rt, "PROCN10", "procn10", 0);
  // An index, not a reference: the calls below push frames of their own.
  const size_t me = rt.calls().size() - 1;
  const int entry_line = rt.calls()[me].line;
  eval::PrivateFrame privates(rt.memvars());
  eval::Memvars& mv = rt.memvars();
  jump(rt);
  try {
    for (size_t i = 1; i < params.size(); ++i) {
      current = params[i];
      rt.calls()[me].line = static_cast<int>(i + 1);
      Statement st = classify_statement(current);
      if (st.kind != Statement::Kind::Expression && !names_valid(rt, st)) continue;
      switch (st.kind) {
        case Statement::Kind::Private:
          for (const auto& n : st.names) mv.declare_private(n);
          break;
        case Statement::Kind::Public:
          for (const auto& n : st.names) mv.declare_public(n);
          break;
        case Statement::Kind::Release:
          for (const auto& n : st.names) mv.release(n);
          break;
        case Statement::Kind::Expression:
          for (const auto& n : st.names) {
            if (!mv.exists(n)) mv.declare_private(n);
          }
          if (!trim(current).empty()) eval::evaluate(rt, current);
          break;
      }
    }
  } catch (const eval::Break& b) {
    const Value& v = b.value;
    bool pass_on =
        (v.is_number() && v.as_double() < 1000) || (v.is_string() && v.as_string().size() < 2);
    rt.calls()[me].line = entry_line;
    if (pass_on) throw;
  }
  rt.calls()[me].line = entry_line;
}

namespace {

Value procn10_fn(Runtime& rt, Args) {
  procn10(rt);
  return {};
}

// ERRORHANDLERN10(error, previous, statement) for the description: the
// previous action is a block of the language here.
Value errorhandlern10_fn(Runtime& rt, Args args) {
  eval::ErrorObject* e = eval::error_of(args[0]);
  if (!e) return Value::logical(false);
  Value prev = args[1];
  eval::ErrorHandler h;
  if (prev.is_block()) {
    h = [prev](Runtime& r, eval::ErrorObject& err) {
      Value v = eval::call_block(r, prev, {eval::error_value(err)});
      if (v.is_logical()) return v.as_logical() ? eval::Answer::retry() : eval::Answer::fallback();
      return eval::Answer::substitute(v);
    };
  } else {
    h = rt.error_handler();
  }
  eval::Answer a = errorhandlern10(rt, *e, h, text_of(args[2]));
  if (a.is_substitute()) return a.value;
  return Value::logical(a.is_retry());
}

}  // namespace

void register_procn10(eval::Registry& reg) {
  reg.function("PROCN10", procn10_fn);                  // the statement list procedure
  reg.function("ERRORHANDLERN10", errorhandlern10_fn);  // its error action
}

}  // namespace kvel::common
