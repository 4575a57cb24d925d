// The node classes of the compiled form and their evaluation.
#include <algorithm>
#include <array>
#include <new>
#include <string>
#include <utility>

#include "platform/eval/node.h"
#include "platform/eval/ops.h"
#include "platform/eval/state.h"

namespace kvel::eval {

namespace {

int max_depth(std::initializer_list<const Node*> ns) {
  int d = 0;
  for (const Node* n : ns) {
    if (n && n->depth > d) d = n->depth;
  }
  return d + 1;
}

Value raise_simple(Runtime& rt, int gen, int sub, const char* desc, std::string op, bool retry,
                   int tries, bool* retry_out) {
  ErrorObject e;
  e.gen_code = gen;
  e.sub_code = sub;
  e.description = desc;
  e.operation = std::move(op);
  e.can_retry = retry;
  e.can_default = true;
  e.can_substitute = true;
  e.tries = tries;
  if (!rt.calls().empty()) {
    e.procedure = rt.calls().back().name;
    e.module = rt.calls().back().module;
    e.line = rt.calls().back().line;
  }
  Answer a = rt.raise(e);
  if (retry_out) *retry_out = retry && a.is_retry();
  if (a.is_substitute()) return a.value;
  return {};
}

// Reads a memory variable; an undefined one is an error that may be retried
// (the handler may have created it) or answered with a value.
Value read_memvar(Runtime& rt, Symbol* s) {
  for (int tries = 1;; ++tries) {
    if (Value* v = rt.memvars().find(s)) return *v;
    bool again = false;
    Value r =
        raise_simple(rt, kErrNoVar, 1003, "Variable does not exist", s->name, true, tries, &again);
    if (!again) return r;
  }
}

Value no_alias(Runtime& rt, const std::string& alias) {
  return raise_simple(rt, kErrNoAlias, 1002, "Alias does not exist", alias, false, 0, nullptr);
}

Value no_field(Runtime& rt, const std::string& name) {
  return raise_simple(rt, kErrNoVar, 1003, "Variable does not exist", name, false, 0, nullptr);
}

// The interned symbol of a name, re-interned if the node meets another runtime.
struct SymRef {
  std::string name;
  mutable Memvars* owner = nullptr;
  mutable Symbol* sym = nullptr;
  Symbol* get(Runtime& rt) const {
    if (owner != &rt.memvars()) {
      owner = &rt.memvars();
      sym = owner->intern(name);
    }
    return sym;
  }
};

// Field position of a name in an area, cached per (store, area, layout).
struct FieldCache {
  mutable const FieldAccess* store = nullptr;
  mutable int area = -1;
  mutable uint32_t layout = 0;
  mutable int pos = 0;
  int find(FieldAccess* f, int a, const std::string& name) const {
    uint32_t lay = f->layout(a);
    if (f != store || a != area || lay != layout) {
      store = f;
      area = a;
      layout = lay;
      pos = f->field_pos(a, name);
    }
    return pos;
  }
};

Value read_field(Runtime& rt, FieldAccess* f, int area, int pos) {
  Value v;
  if (!f->get(rt, area, pos, v)) return {};
  return v;
}

// Puts the selected area back on the way out, breaks included.
class KeepArea {
 public:
  explicit KeepArea(FieldAccess* f) : f_(f), area_(f->selected()) {}
  ~KeepArea() { f_->select(area_); }
  KeepArea(const KeepArea&) = delete;
  KeepArea& operator=(const KeepArea&) = delete;

 private:
  FieldAccess* f_;
  int area_;
};

// Up to n values, on the stack for the common short calls. Values are
// constructed in place, in order, as they are computed: a call or a block
// frame is made on every evaluation, so no slot is built twice.
class ValueBuf {
 public:
  explicit ValueBuf(size_t n) {
    if (n > kSmall) {
      big_.reserve(n);
      p_ = big_.data();
    } else {
      p_ = reinterpret_cast<Value*>(small_);
    }
  }
  ~ValueBuf() {
    if (big_.capacity() == 0) {
      for (size_t i = 0; i < made_; ++i) p_[i].~Value();
    }
  }
  ValueBuf(const ValueBuf&) = delete;
  ValueBuf& operator=(const ValueBuf&) = delete;

  // Pre: fewer than n values pushed.
  void push(Value&& v) {
    if (big_.capacity() != 0)
      big_.push_back(std::move(v));
    else
      new (p_ + made_) Value(std::move(v));
    ++made_;
  }
  void push_nil() {
    if (big_.capacity() != 0)
      big_.emplace_back();
    else
      new (p_ + made_) Value();
    ++made_;
  }
  Value* data() { return p_; }

 private:
  static constexpr size_t kSmall = 6;
  size_t made_ = 0;
  Value* p_;
  alignas(Value) unsigned char small_[kSmall * sizeof(Value)];
  std::vector<Value> big_;
};

// ---- literals ---------------------------------------------------------------

class Const : public Node {
 public:
  explicit Const(Value v) : v_(std::move(v)) {}
  Value eval(Ctx&) const override { return v_; }

 private:
  Value v_;
};

bool name_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool name_char(char c) { return name_start(c) || (c >= '0' && c <= '9'); }

// A text with "&name" in it: each is replaced by the value of the memory
// variable when that is a text, and left as written otherwise.
class MacroText : public Node {
 public:
  explicit MacroText(std::string t) : t_(std::move(t)) {}
  Value eval(Ctx& c) const override {
    std::string out;
    size_t i = 0;
    while (i < t_.size()) {
      if (t_[i] == '&' && i + 1 < t_.size() && name_start(t_[i + 1])) {
        size_t b = i + 1, e = b;
        while (e < t_.size() && name_char(t_[e])) ++e;
        size_t next = (e < t_.size() && t_[e] == '.') ? e + 1 : e;
        Value* v = c.rt.memvars().find(std::string_view(t_).substr(b, e - b));
        if (v && v->is_string()) {
          out += v->as_string();
        } else {
          out.append(t_, i, next - i);
        }
        i = next;
      } else {
        out += t_[i++];
      }
    }
    return Value::string(std::move(out));
  }

 private:
  std::string t_;
};

class ArrayLit : public Node {
 public:
  explicit ArrayLit(std::vector<NodePtr> items) : items_(std::move(items)) {
    for (const auto& n : items_) depth = std::max(depth, n ? n->depth + 1 : 1);
  }
  Value eval(Ctx& c) const override {
    Value a = Value::new_array(items_.size());
    auto& v = a.as_array()->items;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i]) v[i] = items_[i]->eval(c);
    }
    return a;
  }

 private:
  std::vector<NodePtr> items_;
};

class List : public Node {
 public:
  explicit List(std::vector<NodePtr> items) : items_(std::move(items)) {
    for (const auto& n : items_) depth = std::max(depth, n->depth + 1);
  }
  Value eval(Ctx& c) const override {
    for (size_t i = 0; i + 1 < items_.size(); ++i) items_[i]->eval(c);
    return items_.back()->eval(c);
  }

 private:
  std::vector<NodePtr> items_;
};

// ---- code blocks ------------------------------------------------------------

class CodeBlock : public BlockData {
 public:
  CodeBlock(std::shared_ptr<BlockProto> p, std::shared_ptr<Env> env)
      : proto_(std::move(p)), env_(std::move(env)) {}

  Value call(Runtime& rt, Args args) override {
    NestGuard guard(rt);
    if (!guard.ok) return guard.result;
    const BlockProto& p = *proto_;
    size_t n = static_cast<size_t>(p.nparams);
    Ctx c{rt};
    c.outer = env_.get();
    std::shared_ptr<Env> heap;
    ValueBuf frame(p.heap_frame ? 0 : n);
    size_t given = std::min(n, args.size());
    if (p.heap_frame) {
      heap = std::make_shared<Env>();
      heap->vars.resize(n);
      heap->parent = env_;
      for (size_t i = 0; i < given; ++i) heap->vars[i] = args[i];
      c.locals = heap->vars.data();
      c.frame = &heap;
    } else {
      for (size_t i = 0; i < n; ++i) {
        if (i < given)
          frame.push(Value(args[i]));
        else
          frame.push_nil();
      }
      c.locals = frame.data();
    }
    if (p.body.empty()) return {};
    for (size_t i = 0; i + 1 < p.body.size(); ++i) p.body[i]->eval(c);
    Value r = p.body.back()->eval(c);
    // Parameters passed by reference give their final value back.
    for (size_t i = 0; i < given; ++i) {
      if (args.is_ref(i)) args.assign(i, c.locals[i]);
    }
    return r;
  }

  std::string_view source() const override { return proto_->source; }

 private:
  std::shared_ptr<BlockProto> proto_;
  std::shared_ptr<Env> env_;
};

class BlockLit : public Node {
 public:
  explicit BlockLit(std::shared_ptr<BlockProto> p) : p_(std::move(p)) {}
  Value eval(Ctx& c) const override {
    std::shared_ptr<Env> env = c.frame ? *c.frame : nullptr;
    return Value::block(std::make_shared<CodeBlock>(p_, std::move(env)));
  }

 private:
  std::shared_ptr<BlockProto> p_;
};

// ---- variables and fields ---------------------------------------------------

class Local : public Node {
 public:
  Local(int depth, int index) : up_(depth), index_(index) {}
  Value eval(Ctx& c) const override { return *slot(c); }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    p.kind = Place::Kind::Slot;
    p.slot = slot(c);
    return true;
  }
  Value* ref(Ctx& c) const override { return slot(c); }

 private:
  Value* slot(Ctx& c) const {
    if (up_ == 0) return &c.locals[index_];
    Env* e = c.outer;
    for (int i = 1; i < up_; ++i) e = e->parent.get();
    return &e->vars[static_cast<size_t>(index_)];
  }
  int up_;
  int index_;
};

// The memory variable passed by reference; the handler may create it and retry.
Value* memvar_ref(Ctx& c, Symbol* s) {
  for (int tries = 1;; ++tries) {
    if (Value* v = c.rt.memvars().find(s)) return v;
    bool again = false;
    raise_simple(c.rt, kErrNoVar, 1003, "Variable does not exist", s->name, true, tries, &again);
    if (!again) return nullptr;
  }
}

// A bare name: a field of the selected area when it has one, else a memvar.
class Name : public Node {
 public:
  explicit Name(std::string name) { sym_.name = std::move(name); }
  Value eval(Ctx& c) const override {
    int area = 0;
    if (int pos = field(c.rt, area)) return read_field(c.rt, c.rt.fields(), area, pos);
    return read_memvar(c.rt, sym_.get(c.rt));
  }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    int area = 0;
    if (int pos = field(c.rt, area)) {
      p.kind = Place::Kind::Field;
      p.area = area;
      p.pos = pos;
    } else {
      p.kind = Place::Kind::Memvar;
      p.sym = sym_.get(c.rt);
    }
    return true;
  }
  Value* ref(Ctx& c) const override { return memvar_ref(c, sym_.get(c.rt)); }

 private:
  int field(Runtime& rt, int& area) const {
    FieldAccess* f = rt.fields();
    if (!f) return 0;
    area = f->selected();
    if (area <= 0) return 0;
    return cache_.find(f, area, sym_.name);
  }
  SymRef sym_;
  FieldCache cache_;
};

class MemvarRef : public Node {
 public:
  explicit MemvarRef(std::string name) { sym_.name = std::move(name); }
  Value eval(Ctx& c) const override { return read_memvar(c.rt, sym_.get(c.rt)); }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    p.kind = Place::Kind::Memvar;
    p.sym = sym_.get(c.rt);
    return true;
  }
  Value* ref(Ctx& c) const override { return memvar_ref(c, sym_.get(c.rt)); }

 private:
  SymRef sym_;
};

// How an alias names its area: a name, an expression or macro parts.
struct AliasRef {
  AliasKind kind = AliasKind::Named;
  std::string alias;
  NodePtr node;
  // The area (0 after an error that left none); pre: rt.fields() is set.
  int area(Ctx& c) const;
};

class MacroName;
bool macro_text(const MacroName& m, Ctx& c, std::string& out);

class FieldRef : public Node {
 public:
  // alias == nullptr: the selected area (FIELD->name).
  FieldRef(std::unique_ptr<AliasRef> alias, std::string name)
      : alias_(std::move(alias)), name_(std::move(name)) {
    if (alias_ && alias_->node) depth = alias_->node->depth + 1;
  }
  Value eval(Ctx& c) const override {
    Place p;
    if (!place(c, p)) return p.kind == Place::Kind::Slot ? *p.slot : Value();
    return read_field(c.rt, c.rt.fields(), p.area, p.pos);
  }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    FieldAccess* f = c.rt.fields();
    int area = 0;
    if (!f) {
      if (alias_)
        no_alias(c.rt, alias_->alias);
      else
        no_field(c.rt, name_);
      return false;
    }
    area = alias_ ? alias_->area(c) : f->selected();
    if (area <= 0) return false;
    int pos = cache_.find(f, area, name_);
    if (pos <= 0) {
      no_field(c.rt, name_);
      return false;
    }
    p.kind = Place::Kind::Field;
    p.area = area;
    p.pos = pos;
    return true;
  }

 private:
  std::unique_ptr<AliasRef> alias_;
  std::string name_;
  FieldCache cache_;
};

class AliasEval : public Node {
 public:
  AliasEval(std::unique_ptr<AliasRef> alias, NodePtr e)
      : alias_(std::move(alias)), e_(std::move(e)) {
    depth = max_depth({alias_->node.get(), e_.get()});
  }
  Value eval(Ctx& c) const override {
    FieldAccess* f = c.rt.fields();
    if (!f) return no_alias(c.rt, alias_->alias);
    int area = alias_->area(c);
    if (area <= 0) return {};
    KeepArea keep(f);
    f->select(area);
    return e_->eval(c);
  }

 private:
  std::unique_ptr<AliasRef> alias_;
  NodePtr e_;
};

// ---- macros -----------------------------------------------------------------

Value not_text(Runtime& rt, const Value& v) {
  return op_error(rt, kErrArg, 1065, "Argument error", "&", {v});
}

// A macro-compiled program and its evaluation at the top level.
std::shared_ptr<Program> macro_program(Ctx& c, const std::string& text, Value* err) {
  std::shared_ptr<Program> p = state(c.rt).program(c.rt, text);
  if (!p->root) {
    *err = syntax_error(c.rt, *p);
    return nullptr;
  }
  return p;
}

Value macro_eval(Ctx& c, const std::string& text) {
  Value err;
  std::shared_ptr<Program> p = macro_program(c, text, &err);
  if (!p) return err;
  return run(c.rt, p);
}

bool macro_place(Ctx& c, const std::string& text, Place& out) {
  Value err;
  std::shared_ptr<Program> p = macro_program(c, text, &err);
  if (!p) return false;
  if (!p->root->lvalue()) {
    ErrorObject e;
    e.gen_code = kErrSyntax;
    e.sub_code = 1449;
    e.description = "Syntax error: assignment to " + text;
    e.operation = "&";
    e.can_default = true;
    c.rt.raise(e);
    return false;
  }
  NestGuard guard(c.rt);
  if (!guard.ok) return false;
  Ctx top{c.rt};
  if (!p->root->place(top, out)) return false;
  out.keep = p;
  return true;
}

class MacroName : public Node {
 public:
  explicit MacroName(std::vector<std::pair<std::string, NodePtr>> parts)
      : parts_(std::move(parts)) {
    for (const auto& pr : parts_) depth = std::max(depth, pr.second ? pr.second->depth + 1 : 1);
  }
  Value eval(Ctx& c) const override {
    std::string t;
    Value err;
    if (!text(c, t, &err)) return err;
    return macro_eval(c, t);
  }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    std::string t;
    Value err;
    if (!text(c, t, &err)) return false;
    return macro_place(c, t, p);
  }

  // The assembled text; false (with the error's substitute in *err) when a
  // variable part is not a text.
  bool text(Ctx& c, std::string& out, Value* err) const {
    for (const auto& [lit, var] : parts_) {
      if (!var) {
        out += lit;
        continue;
      }
      Value v = var->eval(c);
      if (!v.is_string()) {
        *err = not_text(c.rt, v);
        return false;
      }
      out += v.as_string();
    }
    return true;
  }

 private:
  std::vector<std::pair<std::string, NodePtr>> parts_;
};

bool macro_text(const MacroName& m, Ctx& c, std::string& out) {
  Value err;
  return m.text(c, out, &err);
}

class MacroExpr : public Node {
 public:
  explicit MacroExpr(NodePtr e) : e_(std::move(e)) { depth = e_->depth + 1; }
  Value eval(Ctx& c) const override {
    Value v = e_->eval(c);
    if (!v.is_string()) return not_text(c.rt, v);
    return macro_eval(c, v.as_string());
  }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    Value v = e_->eval(c);
    if (!v.is_string()) {
      not_text(c.rt, v);
      return false;
    }
    return macro_place(c, v.as_string(), p);
  }

 private:
  NodePtr e_;
};

int AliasRef::area(Ctx& c) const {
  FieldAccess* f = c.rt.fields();
  std::string name;
  switch (kind) {
    case AliasKind::Named:
      name = alias;
      break;
    case AliasKind::Expr: {
      Value v = node->eval(c);
      if (v.is_number()) {
        int64_t n = v.as_int();
        if (n > 0 && n < 65536) return static_cast<int>(n);
        no_alias(c.rt, std::to_string(n));
        return 0;
      }
      if (!v.is_string()) {
        no_alias(c.rt, std::string());
        return 0;
      }
      name = v.as_string();
      break;
    }
    case AliasKind::Macro:
      if (!macro_text(static_cast<const MacroName&>(*node), c, name)) return 0;
      break;
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  int a = f->area_of(name);
  if (a <= 0) no_alias(c.rt, name);
  return a;
}

// ---- calls ------------------------------------------------------------------

class ArgList {
 public:
  explicit ArgList(std::vector<CallArg> args) : args_(std::move(args)) {
    for (const auto& a : args_) has_ref_ = has_ref_ || a.by_ref;
  }
  int depth() const {
    int d = 1;
    for (const auto& a : args_) d = std::max(d, a.node ? a.node->depth + 1 : 1);
    return d;
  }
  // Evaluates the arguments and calls fn with them.
  template <class F>
  Value with(Ctx& c, F&& fn) const {
    size_t n = args_.size();
    ValueBuf buf(n);
    if (!has_ref_) {
      for (size_t i = 0; i < n; ++i) {
        const CallArg& a = args_[i];
        if (a.node)
          buf.push(a.node->eval(c));
        else
          buf.push_nil();
      }
      return fn(Args(buf.data(), n));
    }
    std::vector<Value*> refs(n, nullptr);
    for (size_t i = 0; i < n; ++i) {
      const CallArg& a = args_[i];
      if (!a.node) {
        buf.push_nil();
      } else if (Value* r = a.by_ref ? a.node->ref(c) : nullptr) {
        refs[i] = r;
        buf.push(Value(*r));
      } else {
        buf.push(a.node->eval(c));
      }
    }
    Value* v = buf.data();
    return fn(Args(v, n, refs.data()));
  }

 private:
  std::vector<CallArg> args_;
  bool has_ref_ = false;
};

const Function* find_function(Runtime& rt, const std::string& name) {
  for (int tries = 1;; ++tries) {
    if (const Function* f = rt.registry().find(name)) return f;
    bool again = false;
    raise_simple(rt, kErrNoFunc, 1001, "Undefined function", name, true, tries, &again);
    if (!again) return nullptr;
  }
}

class Call : public Node {
 public:
  Call(Runtime& rt, std::string name, std::vector<CallArg> args)
      : name_(std::move(name)), args_(std::move(args)) {
    depth = args_.depth();
    reg_ = &rt.registry();
    fn_ = reg_->find(name_);
  }
  Value eval(Ctx& c) const override {
    const Function* f = (reg_ == &c.rt.registry()) ? fn_ : nullptr;
    if (!f) {
      f = c.rt.registry().find(name_);
      if (!f) {
        // An unknown function is an error before its arguments are evaluated.
        f = find_function(c.rt, name_);
        if (!f) return {};
      }
      reg_ = &c.rt.registry();
      fn_ = f;
    }
    NativeFn fn = f->fn;
    return args_.with(c, [&](Args a) { return fn(c.rt, a); });
  }

 private:
  std::string name_;
  ArgList args_;
  mutable const Registry* reg_ = nullptr;
  mutable const Function* fn_ = nullptr;
};

class MacroCall : public Node {
 public:
  MacroCall(std::unique_ptr<MacroName> name, std::vector<CallArg> args)
      : name_(std::move(name)), args_(std::move(args)) {
    depth = std::max(name_->depth + 1, args_.depth());
  }
  Value eval(Ctx& c) const override {
    std::string n;
    Value err;
    if (!name_->text(c, n, &err)) return err;
    const Function* f = find_function(c.rt, n);
    if (!f) return {};
    NativeFn fn = f->fn;
    return args_.with(c, [&](Args a) { return fn(c.rt, a); });
  }

 private:
  std::unique_ptr<MacroName> name_;
  ArgList args_;
};

class IIf : public Node {
 public:
  IIf(NodePtr c, NodePtr a, NodePtr b) : c_(std::move(c)), a_(std::move(a)), b_(std::move(b)) {
    depth = max_depth({c_.get(), a_.get(), b_.get()});
  }
  Value eval(Ctx& c) const override {
    Value v = c_->eval(c);
    if (!v.is_logical()) {
      v = op_error(c.rt, kErrArg, 1066, "Argument error", "IIF", {v});
      if (!v.is_logical()) return {};
    }
    const NodePtr& n = v.as_logical() ? a_ : b_;
    return n ? n->eval(c) : Value();
  }

 private:
  NodePtr c_, a_, b_;
};

// ---- operators --------------------------------------------------------------

int group(BinOp op) {
  switch (op) {
    case BinOp::Add:
    case BinOp::Sub:
      return 1;
    case BinOp::Mul:
    case BinOp::Div:
    case BinOp::Mod:
      return 2;
    case BinOp::Pow:
      return 3;
  }
  return 0;
}

// Operators of one precedence level in a row, kept flat so that a long
// "a + b + c ..." evaluates in a loop rather than by recursion.
class Arith : public Node {
 public:
  Arith(BinOp op, NodePtr a, NodePtr b) : first_(std::move(a)), group_(group(op)) {
    depth = first_->depth + 1;
    add(op, std::move(b));
  }
  void add(BinOp op, NodePtr b) {
    depth = std::max(depth, b->depth + 1);
    rest_.emplace_back(op, std::move(b));
  }
  int group_of() const { return group_; }
  Value eval(Ctx& c) const override {
    Value acc = first_->eval(c);
    for (const auto& [op, n] : rest_) accumulate(c.rt, op, acc, n->eval(c));
    return acc;
  }

 private:
  NodePtr first_;
  int group_;
  std::vector<std::pair<BinOp, NodePtr>> rest_;
};

class Logic : public Node {
 public:
  Logic(bool is_and, NodePtr a, NodePtr b) : and_(is_and) {
    depth = a->depth + 1;
    items_.push_back(std::move(a));
    add(std::move(b));
  }
  void add(NodePtr b) {
    depth = std::max(depth, b->depth + 1);
    items_.push_back(std::move(b));
  }
  bool is_and() const { return and_; }
  // The deciding operand is the result, whatever its type: .T. .AND. 1 is 1.
  Value eval(Ctx& c) const override {
    Value v = items_[0]->eval(c);
    for (size_t i = 1; i < items_.size(); ++i) {
      bool t = v.is_logical() && v.as_logical();
      if (and_ ? !t : t) return v;
      v = items_[i]->eval(c);
    }
    return v;
  }

 private:
  bool and_;
  std::vector<NodePtr> items_;
};

class Negate : public Node {
 public:
  explicit Negate(NodePtr a) : a_(std::move(a)) { depth = a_->depth + 1; }
  Value eval(Ctx& c) const override { return negate(c.rt, a_->eval(c)); }

 private:
  NodePtr a_;
};

class Plus : public Node {
 public:
  explicit Plus(NodePtr a) : a_(std::move(a)) { depth = a_->depth + 1; }
  Value eval(Ctx& c) const override { return unary_plus(c.rt, a_->eval(c)); }

 private:
  NodePtr a_;
};

class Not : public Node {
 public:
  explicit Not(NodePtr a) : a_(std::move(a)) { depth = a_->depth + 1; }
  Value eval(Ctx& c) const override {
    Value v = a_->eval(c);
    if (v.is_logical()) return Value::logical(!v.as_logical());
    return op_error(c.rt, kErrArg, 1077, "Argument error", ".NOT.", {v});
  }

 private:
  NodePtr a_;
};

class Compare : public Node {
 public:
  Compare(CmpOp op, NodePtr a, NodePtr b) : op_(op), a_(std::move(a)), b_(std::move(b)) {
    depth = max_depth({a_.get(), b_.get()});
  }
  Value eval(Ctx& c) const override {
    Value x = a_->eval(c);
    Value y = b_->eval(c);
    return compare_values(c.rt, op_, x, y);
  }

 private:
  CmpOp op_;
  NodePtr a_, b_;
};

class Assign : public Node {
 public:
  Assign(NodePtr t, NodePtr v) : t_(std::move(t)), v_(std::move(v)) {
    depth = max_depth({t_.get(), v_.get()});
  }
  Value eval(Ctx& c) const override {
    Place p;
    bool ok = t_->place(c, p);
    Value v = v_->eval(c);
    if (ok) store(c, p, v);
    return v;
  }

 private:
  NodePtr t_, v_;
};

class Compound : public Node {
 public:
  Compound(BinOp op, NodePtr t, NodePtr v) : op_(op), t_(std::move(t)), v_(std::move(v)) {
    depth = max_depth({t_.get(), v_.get()});
  }
  Value eval(Ctx& c) const override {
    Place p;
    if (!t_->place(c, p)) return v_->eval(c);
    Value old = load(c, p);
    Value r = arith(c.rt, op_, old, v_->eval(c));
    store(c, p, r);
    return r;
  }

 private:
  BinOp op_;
  NodePtr t_, v_;
};

class IncDec : public Node {
 public:
  IncDec(NodePtr t, bool inc, bool prefix) : t_(std::move(t)), inc_(inc), prefix_(prefix) {
    depth = t_->depth + 1;
  }
  Value eval(Ctx& c) const override {
    Place p;
    if (!t_->place(c, p)) return {};
    Value old = load(c, p);
    Value r = step(c.rt, old, inc_);
    store(c, p, r);
    return prefix_ ? r : old;
  }

 private:
  NodePtr t_;
  bool inc_, prefix_;
};

// ---- arrays and objects -----------------------------------------------------

Value bound_error(Runtime& rt, bool assign, const Value& a, const Value& i) {
  return op_error(rt, kErrBound, assign ? 1133 : 1132, "Bound error",
                  assign ? "array assign" : "array access", {a, i});
}

Value index_error(Runtime& rt, bool assign, const Value& a, const Value& i) {
  return op_error(rt, kErrArg, assign ? 1069 : 1068, "Argument error",
                  assign ? "array assign" : "array access", {a, i});
}

class Index : public Node {
 public:
  Index(NodePtr base, NodePtr idx) : base_(std::move(base)), idx_(std::move(idx)) {
    depth = max_depth({base_.get(), idx_.get()});
  }
  Value eval(Ctx& c) const override {
    Value a = base_->eval(c);
    Value i = idx_->eval(c);
    if (!a.is_array() || !i.is_number()) return index_error(c.rt, false, a, i);
    int64_t n = i.as_int();
    const auto& items = a.as_array()->items;
    if (n < 1 || static_cast<uint64_t>(n) > items.size()) return bound_error(c.rt, false, a, i);
    return items[static_cast<size_t>(n - 1)];
  }
  bool lvalue() const override { return true; }
  bool place(Ctx& c, Place& p) const override {
    Value a = base_->eval(c);
    Value i = idx_->eval(c);
    if (!a.is_array() || !i.is_number()) {
      index_error(c.rt, true, a, i);
      return false;
    }
    int64_t n = i.as_int();
    if (n < 1 || static_cast<uint64_t>(n) > a.as_array()->items.size()) {
      bound_error(c.rt, true, a, i);
      return false;
    }
    p.kind = Place::Kind::Element;
    p.arr = a.as_array();
    p.index = static_cast<size_t>(n - 1);
    return true;
  }

 private:
  NodePtr base_, idx_;
};

Value no_method(Runtime& rt, const std::string& name, const Value& obj, bool assign) {
  return op_error(rt, assign ? kErrNoVarMethod : kErrNoMethod, assign ? 1005 : 1004,
                  assign ? "No exported variable" : "No exported method", name, {obj});
}

class Send : public Node {
 public:
  Send(NodePtr obj, std::string name, std::vector<CallArg> args, bool is_call)
      : obj_(std::move(obj)), name_(std::move(name)), args_(std::move(args)), call_(is_call) {
    depth = std::max(obj_->depth + 1, args_.depth());
  }
  Value eval(Ctx& c) const override {
    Value o = obj_->eval(c);
    if (!o.is_object()) return no_method(c.rt, name_, o, false);
    ObjectData& od = *o.as_object();
    if (!call_) return od.get(c.rt, name_);
    return args_.with(c, [&](Args a) { return od.call(c.rt, name_, a); });
  }
  bool lvalue() const override { return !call_; }
  bool place(Ctx& c, Place& p) const override {
    Value o = obj_->eval(c);
    if (!o.is_object()) {
      no_method(c.rt, name_, o, true);
      return false;
    }
    p.kind = Place::Kind::Member;
    p.obj = o.as_object();
    p.name = name_;
    return true;
  }

 private:
  NodePtr obj_;
  std::string name_;
  ArgList args_;
  bool call_;
};

}  // namespace

Value load(Ctx& c, Place& p) {
  switch (p.kind) {
    case Place::Kind::None:
      return {};
    case Place::Kind::Slot:
      return *p.slot;
    case Place::Kind::Memvar:
      return read_memvar(c.rt, p.sym);
    case Place::Kind::Field:
      return read_field(c.rt, c.rt.fields(), p.area, p.pos);
    case Place::Kind::Element:
      if (p.index >= p.arr->items.size()) {
        return bound_error(c.rt, false, Value::array(p.arr),
                           Value::integer(static_cast<int64_t>(p.index) + 1));
      }
      return p.arr->items[p.index];
    case Place::Kind::Member:
      return p.obj->get(c.rt, p.name);
  }
  return {};
}

void store(Ctx& c, Place& p, Value v) {
  switch (p.kind) {
    case Place::Kind::None:
      return;
    case Place::Kind::Slot:
      *p.slot = std::move(v);
      return;
    case Place::Kind::Memvar:
      c.rt.memvars().assign(p.sym, std::move(v));
      return;
    case Place::Kind::Field:
      if (FieldAccess* f = c.rt.fields()) f->put(c.rt, p.area, p.pos, v);
      return;
    case Place::Kind::Element:
      // The value's own evaluation may have shrunk the array.
      if (p.index >= p.arr->items.size()) {
        bound_error(c.rt, true, Value::array(p.arr),
                    Value::integer(static_cast<int64_t>(p.index) + 1));
        return;
      }
      p.arr->items[p.index] = std::move(v);
      return;
    case Place::Kind::Member:
      p.obj->set(c.rt, p.name, v);
      return;
  }
}

NodePtr make_const(Value v) { return std::make_unique<Const>(std::move(v)); }

NodePtr make_text(std::string text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '&' && name_start(text[i + 1]))
      return std::make_unique<MacroText>(std::move(text));
  }
  return std::make_unique<Const>(Value::string(std::move(text)));
}

NodePtr make_array(std::vector<NodePtr> items) {
  return std::make_unique<ArrayLit>(std::move(items));
}
NodePtr make_block(std::shared_ptr<BlockProto> proto) {
  return std::make_unique<BlockLit>(std::move(proto));
}
NodePtr make_list(std::vector<NodePtr> items) { return std::make_unique<List>(std::move(items)); }
NodePtr make_local(int depth, int index) { return std::make_unique<Local>(depth, index); }

NodePtr make_name(Runtime& rt, const std::string& name) { return std::make_unique<Name>(name); }
NodePtr make_memvar(Runtime& rt, const std::string& name) {
  return std::make_unique<MemvarRef>(name);
}
NodePtr make_current_field(const std::string& name) {
  return std::make_unique<FieldRef>(nullptr, name);
}

NodePtr make_alias_field(AliasKind kind, std::string alias, NodePtr alias_node,
                         const std::string& name) {
  auto a = std::make_unique<AliasRef>();
  a->kind = kind;
  a->alias = std::move(alias);
  a->node = std::move(alias_node);
  return std::make_unique<FieldRef>(std::move(a), name);
}

NodePtr make_alias_eval(AliasKind kind, std::string alias, NodePtr alias_node, NodePtr expr) {
  auto a = std::make_unique<AliasRef>();
  a->kind = kind;
  a->alias = std::move(alias);
  a->node = std::move(alias_node);
  return std::make_unique<AliasEval>(std::move(a), std::move(expr));
}

NodePtr make_macro(std::vector<std::pair<std::string, NodePtr>> parts) {
  return std::make_unique<MacroName>(std::move(parts));
}

NodePtr make_macro_expr(NodePtr text) { return std::make_unique<MacroExpr>(std::move(text)); }

NodePtr make_call(Runtime& rt, const std::string& name, std::vector<CallArg> args) {
  return std::make_unique<Call>(rt, name, std::move(args));
}

NodePtr make_macro_call(NodePtr name_text, std::vector<CallArg> args) {
  std::unique_ptr<MacroName> m(static_cast<MacroName*>(name_text.release()));
  return std::make_unique<MacroCall>(std::move(m), std::move(args));
}

NodePtr make_iif(NodePtr cond, NodePtr a, NodePtr b) {
  return std::make_unique<IIf>(std::move(cond), std::move(a), std::move(b));
}

NodePtr make_binary(BinOp op, NodePtr a, NodePtr b) {
  if (auto* chain = dynamic_cast<Arith*>(a.get()); chain && chain->group_of() == group(op)) {
    chain->add(op, std::move(b));
    return a;
  }
  return std::make_unique<Arith>(op, std::move(a), std::move(b));
}

NodePtr make_negate(NodePtr a) { return std::make_unique<Negate>(std::move(a)); }
NodePtr make_plus(NodePtr a) { return std::make_unique<Plus>(std::move(a)); }

NodePtr make_compare(CmpOp op, NodePtr a, NodePtr b) {
  return std::make_unique<Compare>(op, std::move(a), std::move(b));
}

NodePtr make_logic(bool is_and, NodePtr a, NodePtr b) {
  if (auto* chain = dynamic_cast<Logic*>(a.get()); chain && chain->is_and() == is_and) {
    chain->add(std::move(b));
    return a;
  }
  return std::make_unique<Logic>(is_and, std::move(a), std::move(b));
}

NodePtr make_not(NodePtr a) { return std::make_unique<Not>(std::move(a)); }
NodePtr make_assign(NodePtr target, NodePtr value) {
  return std::make_unique<Assign>(std::move(target), std::move(value));
}
NodePtr make_compound(BinOp op, NodePtr target, NodePtr value) {
  return std::make_unique<Compound>(op, std::move(target), std::move(value));
}
NodePtr make_incdec(NodePtr target, bool inc, bool prefix) {
  return std::make_unique<IncDec>(std::move(target), inc, prefix);
}
NodePtr make_index(NodePtr base, NodePtr index) {
  return std::make_unique<Index>(std::move(base), std::move(index));
}
NodePtr make_send(NodePtr obj, std::string name, std::vector<CallArg> args, bool is_call) {
  return std::make_unique<Send>(std::move(obj), std::move(name), std::move(args), is_call);
}

}  // namespace kvel::eval
