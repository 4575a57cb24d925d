#include "platform/eval/parser.h"

#include <string>
#include <utility>
#include <vector>

namespace kvel::eval {

namespace {

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return r;
}

struct SyntaxError {
  std::string what;
};

// The parameters of one block literal being compiled.
struct Scope {
  std::vector<std::string> params;  // upper case
  BlockProto* proto = nullptr;
};

class Parser {
 public:
  Parser(Runtime& rt, std::vector<Token> toks) : rt_(rt), t_(std::move(toks)) {}

  NodePtr program() {
    if (peek().kind == Tok::End) fail("empty expression");
    NodePtr n = list(Tok::End);
    expect(Tok::End);
    return n;
  }

 private:
  const Token& peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < t_.size() ? t_[i] : t_.back();
  }
  bool at(Tok k) const { return peek().kind == k; }
  const Token& take() {
    const Token& t = t_[pos_];
    if (pos_ + 1 < t_.size()) ++pos_;
    return t;
  }
  bool accept(Tok k) {
    if (!at(k)) return false;
    take();
    return true;
  }
  [[noreturn]] void fail(const std::string& what) { throw SyntaxError{what}; }
  void expect(Tok k) {
    if (!accept(k)) fail(at(Tok::End) ? "unexpected end" : "unexpected token");
  }

  // Counts nesting for the lifetime of one recursive descent step.
  struct Nest {
    explicit Nest(Parser& p) : p_(p) {
      if (++p_.nesting_ > kMaxNesting) p_.fail("expression too deeply nested");
    }
    ~Nest() { --p_.nesting_; }
    Parser& p_;
  };

  NodePtr checked(NodePtr n) {
    if (n->depth > kMaxTreeDepth) fail("expression too complex");
    return n;
  }

  // expr (, expr)* up to the closing token, which is left in place.
  NodePtr list(Tok close) {
    std::vector<NodePtr> items;
    items.push_back(expr());
    while (accept(Tok::Comma)) items.push_back(expr());
    if (items.size() == 1) return std::move(items[0]);
    return checked(make_list(std::move(items)));
  }

  NodePtr expr() {
    Nest nest(*this);
    NodePtr lhs = binary(1);
    Tok k = peek().kind;
    BinOp op{};
    bool compound = true;
    switch (k) {
      case Tok::Assign:
        compound = false;
        break;
      case Tok::PlusAssign:
        op = BinOp::Add;
        break;
      case Tok::MinusAssign:
        op = BinOp::Sub;
        break;
      case Tok::MulAssign:
        op = BinOp::Mul;
        break;
      case Tok::DivAssign:
        op = BinOp::Div;
        break;
      case Tok::ModAssign:
        op = BinOp::Mod;
        break;
      case Tok::PowAssign:
        op = BinOp::Pow;
        break;
      default:
        return lhs;
    }
    if (!lhs->lvalue()) fail("assignment to a value");
    take();
    NodePtr rhs = expr();  // right-associative: x := y := 3
    return checked(compound ? make_compound(op, std::move(lhs), std::move(rhs))
                            : make_assign(std::move(lhs), std::move(rhs)));
  }

  // Binding strength of binary operators; 0 for other tokens.
  // ORDER: 1 .OR., 2 .AND., 3 is .NOT. (prefix), 4 relations, 5 + -, 6 * / %, 7 ** ^.
  static int precedence(Tok k) {
    switch (k) {
      case Tok::Or:
        return 1;
      case Tok::And:
        return 2;
      case Tok::Eq:
      case Tok::EqEq:
      case Tok::Ne:
      case Tok::Lt:
      case Tok::Le:
      case Tok::Gt:
      case Tok::Ge:
      case Tok::Dollar:
        return 4;
      case Tok::Plus:
      case Tok::Minus:
        return 5;
      case Tok::Star:
      case Tok::Slash:
      case Tok::Percent:
        return 6;
      case Tok::Power:
        return 7;
      default:
        return 0;
    }
  }

  NodePtr binary(int min) {
    NodePtr lhs;
    if (at(Tok::Not)) {
      Nest nest(*this);
      take();
      lhs = checked(make_not(binary(4)));  // .NOT. a > b is .NOT. (a > b)
    } else {
      lhs = unary();
    }
    for (;;) {
      Tok k = peek().kind;
      int p = precedence(k);
      if (p == 0 || p < min) return lhs;
      take();
      NodePtr rhs = binary(p + 1);
      switch (k) {
        case Tok::Or:
          lhs = make_logic(false, std::move(lhs), std::move(rhs));
          break;
        case Tok::And:
          lhs = make_logic(true, std::move(lhs), std::move(rhs));
          break;
        case Tok::Eq:
          lhs = make_compare(CmpOp::Eq, std::move(lhs), std::move(rhs));
          break;
        case Tok::EqEq:
          lhs = make_compare(CmpOp::EqEq, std::move(lhs), std::move(rhs));
          break;
        case Tok::Ne:
          lhs = make_compare(CmpOp::Ne, std::move(lhs), std::move(rhs));
          break;
        case Tok::Lt:
          lhs = make_compare(CmpOp::Lt, std::move(lhs), std::move(rhs));
          break;
        case Tok::Le:
          lhs = make_compare(CmpOp::Le, std::move(lhs), std::move(rhs));
          break;
        case Tok::Gt:
          lhs = make_compare(CmpOp::Gt, std::move(lhs), std::move(rhs));
          break;
        case Tok::Ge:
          lhs = make_compare(CmpOp::Ge, std::move(lhs), std::move(rhs));
          break;
        case Tok::Dollar:
          lhs = make_compare(CmpOp::In, std::move(lhs), std::move(rhs));
          break;
        case Tok::Plus:
          lhs = make_binary(BinOp::Add, std::move(lhs), std::move(rhs));
          break;
        case Tok::Minus:
          lhs = make_binary(BinOp::Sub, std::move(lhs), std::move(rhs));
          break;
        case Tok::Star:
          lhs = make_binary(BinOp::Mul, std::move(lhs), std::move(rhs));
          break;
        case Tok::Slash:
          lhs = make_binary(BinOp::Div, std::move(lhs), std::move(rhs));
          break;
        case Tok::Percent:
          lhs = make_binary(BinOp::Mod, std::move(lhs), std::move(rhs));
          break;
        case Tok::Power:
          lhs = make_binary(BinOp::Pow, std::move(lhs), std::move(rhs));
          break;
        default:
          return lhs;
      }
      lhs = checked(std::move(lhs));
    }
  }

  // Unary minus binds tighter than "**": -2 ** 2 is 4.
  NodePtr unary() {
    Tok k = peek().kind;
    if (k == Tok::Minus || k == Tok::Plus || k == Tok::Inc || k == Tok::Dec) {
      Nest nest(*this);
      take();
      NodePtr x = unary();
      if (k == Tok::Minus) return checked(make_negate(std::move(x)));
      if (k == Tok::Plus) return checked(make_plus(std::move(x)));
      if (!x->lvalue()) fail("++ or -- needs a variable");
      return checked(make_incdec(std::move(x), k == Tok::Inc, true));
    }
    return postfix(primary());
  }

  NodePtr postfix(NodePtr n) {
    for (;;) {
      if (accept(Tok::LBracket)) {
        Nest nest(*this);
        n = checked(make_index(std::move(n), expr()));
        while (accept(Tok::Comma)) n = checked(make_index(std::move(n), expr()));
        expect(Tok::RBracket);
      } else if (at(Tok::Colon) && peek(1).kind == Tok::Ident) {
        take();
        std::string name = take().text;
        if (accept(Tok::LParen)) {
          Nest nest(*this);
          n = checked(make_send(std::move(n), std::move(name), args(), true));
        } else {
          n = checked(make_send(std::move(n), std::move(name), {}, false));
        }
      } else if ((at(Tok::Inc) || at(Tok::Dec)) && n->lvalue()) {
        bool inc = take().kind == Tok::Inc;
        n = checked(make_incdec(std::move(n), inc, false));
      } else {
        return n;
      }
    }
  }

  // Arguments after "(", up to and including ")".
  std::vector<CallArg> args() {
    std::vector<CallArg> out;
    if (accept(Tok::RParen)) return out;
    for (;;) {
      CallArg a;
      if (at(Tok::Comma) || at(Tok::RParen)) {
        // a missing argument
      } else if (at(Tok::At) && (peek(1).kind == Tok::Ident) &&
                 (peek(2).kind == Tok::Comma || peek(2).kind == Tok::RParen)) {
        take();
        a.node = variable(take().text);
        a.by_ref = true;
      } else if (at(Tok::At) && peek(1).kind == Tok::Ident && peek(2).kind == Tok::Arrow &&
                 peek(3).kind == Tok::Ident &&
                 (peek(4).kind == Tok::Comma || peek(4).kind == Tok::RParen) &&
                 (upper(peek(1).text) == "M" || upper(peek(1).text) == "MEMVAR")) {
        // @M->name and @MEMVAR->name: the memory variable, never a field.
        take();
        take();
        take();
        a.node = make_memvar(rt_, upper(take().text));
        a.by_ref = true;
      } else {
        a.node = expr();
      }
      out.push_back(std::move(a));
      if (accept(Tok::RParen)) return out;
      expect(Tok::Comma);
    }
  }

  // A bare name: a block parameter in scope, else a field or memory variable.
  NodePtr variable(const std::string& name) {
    std::string u = upper(name);
    for (size_t s = scopes_.size(); s-- > 0;) {
      const auto& ps = scopes_[s].params;
      for (size_t i = 0; i < ps.size(); ++i) {
        if (ps[i] == u) {
          int depth = static_cast<int>(scopes_.size() - 1 - s);
          // Every block between the reference and the parameter's own block
          // must keep its frame alive for the inner block to reach it.
          for (size_t k = s; k + 1 < scopes_.size(); ++k) scopes_[k].proto->heap_frame = true;
          return make_local(depth, static_cast<int>(i));
        }
      }
    }
    return make_name(rt_, u);
  }

  NodePtr macro_node(const Token& t) {
    std::vector<std::pair<std::string, NodePtr>> parts;
    for (const MacroPart& p : t.parts) {
      if (p.is_var)
        parts.emplace_back(std::string(), variable(p.text));
      else
        parts.emplace_back(p.text, nullptr);
    }
    return make_macro(std::move(parts));
  }

  // After "->": a field name or "(expr)" evaluated in the area.
  NodePtr alias_tail(AliasKind kind, std::string alias, NodePtr alias_node) {
    if (accept(Tok::LParen)) {
      Nest nest(*this);
      NodePtr e = list(Tok::RParen);
      expect(Tok::RParen);
      return checked(make_alias_eval(kind, std::move(alias), std::move(alias_node), std::move(e)));
    }
    if (!at(Tok::Ident)) fail("field name expected after ->");
    std::string field = upper(take().text);
    if (kind == AliasKind::Named) {
      std::string a = upper(alias);
      if (a == "M" || a == "MEMVAR") return make_memvar(rt_, field);
      if (a == "FIELD" || a == "_FIELD") {
        // FIELD->alias->name names a field of another area.
        if (at(Tok::Arrow)) {
          take();
          return alias_tail(AliasKind::Named, field, nullptr);
        }
        return make_current_field(field);
      }
      alias = a;
    }
    return checked(make_alias_field(kind, std::move(alias), std::move(alias_node), field));
  }

  NodePtr primary() {
    const Token& t = take();
    switch (t.kind) {
      case Tok::Number: {
        if (t.is_integer) {
          // Integers beyond 32 bits show all their digits and a blank.
          int w = (t.integer > 2147483647) ? t.digits + 1 : 0;
          return make_const(Value::integer(t.integer, w));
        }
        int intw = t.digits + 1 > 10 ? t.digits + 1 : 10;
        return make_const(
            Value::number(t.number, intw + (t.decimals ? t.decimals + 1 : 0), t.decimals));
      }
      case Tok::String:
        return make_text(t.text);
      case Tok::True:
        return make_const(Value::logical(true));
      case Tok::False:
        return make_const(Value::logical(false));
      case Tok::Ident: {
        std::string name = t.text;
        if (accept(Tok::LParen)) {
          Nest nest(*this);
          std::string u = upper(name);
          std::vector<CallArg> a = args();
          if (u == "IIF" || u == "IF") {
            if (a.size() < 2 || a.size() > 3 || !a[0].node)
              fail("IIF needs a condition and two values");
            for (auto& x : a) {
              if (x.by_ref) fail("IIF takes no references");
            }
            NodePtr other = a.size() == 3 ? std::move(a[2].node) : nullptr;
            return checked(make_iif(std::move(a[0].node), std::move(a[1].node), std::move(other)));
          }
          return checked(make_call(rt_, u, std::move(a)));
        }
        if (at(Tok::Arrow)) {
          take();
          return alias_tail(AliasKind::Named, name, nullptr);
        }
        if (upper(name) == "NIL") return make_const(Value());
        return variable(name);
      }
      case Tok::Macro: {
        NodePtr m = macro_node(t);
        if (accept(Tok::LParen)) {
          Nest nest(*this);
          return checked(make_macro_call(std::move(m), args()));
        }
        if (at(Tok::Arrow)) {
          take();
          return alias_tail(AliasKind::Macro, std::string(), std::move(m));
        }
        return m;
      }
      case Tok::MacroParen: {
        Nest nest(*this);
        NodePtr e = list(Tok::RParen);
        expect(Tok::RParen);
        return checked(make_macro_expr(std::move(e)));
      }
      case Tok::LParen: {
        Nest nest(*this);
        NodePtr e = list(Tok::RParen);
        expect(Tok::RParen);
        if (at(Tok::Arrow)) {
          take();
          return alias_tail(AliasKind::Expr, std::string(), std::move(e));
        }
        return e;
      }
      case Tok::LBrace: {
        Nest nest(*this);
        if (at(Tok::Pipe)) return block(t.pos);
        std::vector<NodePtr> items;
        if (accept(Tok::RBrace)) return make_array(std::move(items));
        for (;;) {
          if (at(Tok::Comma) || at(Tok::RBrace))
            items.push_back(nullptr);
          else
            items.push_back(expr());
          if (accept(Tok::RBrace)) break;
          expect(Tok::Comma);
        }
        return checked(make_array(std::move(items)));
      }
      case Tok::End:
        fail("unexpected end");
      default:
        fail("unexpected token");
    }
  }

  // After "{": |params| body }
  NodePtr block(size_t start) {
    expect(Tok::Pipe);
    auto proto = std::make_shared<BlockProto>();
    Scope sc;
    sc.proto = proto.get();
    if (!at(Tok::Pipe)) {
      for (;;) {
        if (!at(Tok::Ident)) fail("parameter name expected");
        std::string p = upper(take().text);
        for (const auto& q : sc.params) {
          if (q == p) fail("parameter named twice");
        }
        sc.params.push_back(std::move(p));
        if (!accept(Tok::Comma)) break;
      }
    }
    expect(Tok::Pipe);
    proto->nparams = static_cast<int>(sc.params.size());
    scopes_.push_back(std::move(sc));
    int depth = 1;
    if (!at(Tok::RBrace)) {
      for (;;) {
        proto->body.push_back(expr());
        if (proto->body.back()->depth + 1 > depth) depth = proto->body.back()->depth + 1;
        if (!accept(Tok::Comma)) break;
      }
    }
    scopes_.pop_back();
    size_t end = peek().pos + 1;
    expect(Tok::RBrace);
    proto->source = std::string(src_.substr(start, end - start));
    NodePtr n = make_block(std::move(proto));
    n->depth = depth;
    return checked(std::move(n));
  }

 public:
  std::string_view src_;

 private:
  Runtime& rt_;
  std::vector<Token> t_;
  size_t pos_ = 0;
  int nesting_ = 0;
  std::vector<Scope> scopes_;
};

}  // namespace

std::shared_ptr<Program> compile_text(Runtime& rt, std::string_view text) {
  auto prog = std::make_shared<Program>();
  prog->text = std::string(text);
  if (text.size() > kMaxTextBytes) {
    prog->error = "expression too long";
    return prog;
  }
  std::vector<Token> toks = tokenize(prog->text);
  if (toks.back().kind == Tok::Bad) {
    prog->error = "unexpected character";
    return prog;
  }
  try {
    Parser p(rt, std::move(toks));
    p.src_ = prog->text;
    prog->root = p.program();
  } catch (const SyntaxError& e) {
    prog->error = e.what;
  } catch (const std::bad_alloc&) {
    prog->error = "expression too complex";
  }
  return prog;
}

}  // namespace kvel::eval
