// The compiled form of an expression: a tree of nodes that evaluate
// themselves. The parser builds it through the make_...() factories; the
// node classes live in nodes.cpp. Internal to the evaluator.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/eval/lexer.h"
#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::eval {

// A block frame that blocks made inside it have captured, so it outlives the call.
struct Env {
  std::vector<Value> vars;
  std::shared_ptr<Env> parent;
};

// What a node needs while it runs: the runtime and the parameters of the
// running block (none at the top level of an expression).
struct Ctx {
  Runtime& rt;
  Value* locals = nullptr;
  const std::shared_ptr<Env>* frame = nullptr;  // the running block's frame when kept on the heap
  Env* outer = nullptr;                         // frames of the enclosing blocks
};

// The storage an assignment writes, resolved once so that "a[i] += x"
// evaluates a and i a single time.
struct Place {
  enum class Kind : uint8_t { None, Slot, Memvar, Field, Element, Member };
  Kind kind = Kind::None;
  Value* slot = nullptr;
  Symbol* sym = nullptr;
  int area = 0;
  int pos = 0;
  std::shared_ptr<ArrayData> arr;
  size_t index = 0;
  std::shared_ptr<ObjectData> obj;
  std::string name;
  std::shared_ptr<const void> keep;  // a macro-compiled program the place came from
};

class Node {
 public:
  virtual ~Node() = default;
  virtual Value eval(Ctx& c) const = 0;
  // Whether the node names storage (a variable, field, element, member or macro).
  virtual bool lvalue() const { return false; }
  // Pre: lvalue(). False when an error left nothing to assign.
  virtual bool place(Ctx& c, Place& p) const { return false; }
  // The variable behind a by-reference argument; nullptr for other nodes.
  virtual Value* ref(Ctx& c) const { return nullptr; }
  int depth = 1;
};
using NodePtr = std::unique_ptr<Node>;

Value load(Ctx& c, Place& p);
void store(Ctx& c, Place& p, Value v);

// A compiled text: the tree, or the reason it does not compile.
struct Program {
  std::string text;
  NodePtr root;
  std::string error;  // syntax error description; empty when root is set
};

// A block literal; the blocks made from it at run time share it.
struct BlockProto {
  int nparams = 0;
  bool heap_frame = false;  // inner blocks capture this block's parameters
  std::vector<NodePtr> body;
  std::string source;
};

struct CallArg {
  NodePtr node;  // nullptr: the argument is missing (f(a,,c))
  bool by_ref = false;
};

enum class BinOp : uint8_t { Add, Sub, Mul, Div, Mod, Pow };
enum class CmpOp : uint8_t { Eq, EqEq, Ne, Lt, Le, Gt, Ge, In };
enum class AliasKind : uint8_t { Named, Expr, Macro };

NodePtr make_const(Value v);
NodePtr make_text(std::string text);  // "&name" inside is substituted at run time
NodePtr make_array(std::vector<NodePtr> items);
NodePtr make_block(std::shared_ptr<BlockProto> proto);
NodePtr make_list(std::vector<NodePtr> items);
NodePtr make_local(int depth, int index);
NodePtr make_name(Runtime& rt, const std::string& name);  // field of the current area, else memvar
NodePtr make_memvar(Runtime& rt, const std::string& name);  // M->name
NodePtr make_current_field(const std::string& name);        // FIELD->name
// alias->name: the alias is a name, an expression (area number or alias) or macro parts.
NodePtr make_alias_field(AliasKind kind, std::string alias, NodePtr alias_node,
                         const std::string& name);
NodePtr make_alias_eval(AliasKind kind, std::string alias, NodePtr alias_node, NodePtr expr);
NodePtr make_macro(std::vector<std::pair<std::string, NodePtr>> parts);  // literal text + variable
NodePtr make_macro_expr(NodePtr text);
NodePtr make_call(Runtime& rt, const std::string& name, std::vector<CallArg> args);
NodePtr make_macro_call(NodePtr name_text, std::vector<CallArg> args);
NodePtr make_iif(NodePtr cond, NodePtr a, NodePtr b);
NodePtr make_binary(BinOp op, NodePtr a, NodePtr b);
NodePtr make_negate(NodePtr a);
NodePtr make_plus(NodePtr a);
NodePtr make_compare(CmpOp op, NodePtr a, NodePtr b);
NodePtr make_logic(bool is_and, NodePtr a, NodePtr b);
NodePtr make_not(NodePtr a);
NodePtr make_assign(NodePtr target, NodePtr value);
NodePtr make_compound(BinOp op, NodePtr target, NodePtr value);
NodePtr make_incdec(NodePtr target, bool inc, bool prefix);
NodePtr make_index(NodePtr base, NodePtr index);
NodePtr make_send(NodePtr obj, std::string name, std::vector<CallArg> args, bool is_call);

}  // namespace kvel::eval
