// Memory variables: publics that live until released, and privates that belong
// to the routine that created them, hide an outer variable of the same name
// while it runs, are visible by name to everything it calls and vanish when it
// returns. Names are case-insensitive and interned once, so the evaluator can
// keep a Symbol* instead of looking a name up on every access.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/eval/value.h"

namespace kvel::eval {

struct MemvarSlot {
  Value value;
  bool is_public = false;
  size_t frame = 0;  // the private frame that owns it (0 for publics)
};

// An interned name. `visible` is the stack of variables of this name, the
// innermost (the one a reference sees) last.
struct Symbol {
  std::string name;  // upper case
  std::vector<MemvarSlot*> visible;
};

class Memvars {
 public:
  Memvars();
  ~Memvars();
  Memvars(const Memvars&) = delete;
  Memvars& operator=(const Memvars&) = delete;

  Symbol* intern(std::string_view name);

  // The visible variable, or nullptr. The pointer stays valid until the
  // variable is released or its frame ends.
  Value* find(Symbol* s);
  Value* find(std::string_view name) { return find(intern(name)); }
  bool exists(std::string_view name) { return find(name) != nullptr; }
  bool is_public(std::string_view name);

  // PUBLIC name: an existing public is kept as it is; otherwise a public is
  // made with the value .F. (the language's initial value for publics).
  Value& declare_public(std::string_view name);
  Value& declare_public(std::string_view name, Value init);
  // PRIVATE name: a new variable in the current frame that hides any outer one
  // of the same name; declaring it again in the same frame keeps the variable.
  Value& declare_private(std::string_view name, Value init = {});

  // Reads the visible variable; NIL when there is none (callers that must
  // report an undefined variable use find()).
  Value get(std::string_view name);
  // Assigns the visible variable, or creates a private in the current frame
  // when none is visible (the language's rule for assignment to a new name).
  Value& assign(std::string_view name, Value v);
  Value& assign(Symbol* s, Value v);

  // Releases the visible variable of that name (publics included).
  void release(std::string_view name);
  // Releases every variable, public and private, except the named ones.
  void release_all_except(const std::vector<std::string>& keep);

  // Private frames: a routine opens one on entry and closes it on return,
  // which releases every private it created. Frames nest.
  size_t open_frame();
  void close_frame(size_t frame);
  size_t current_frame() const { return frame_; }

  // All visible variable names (for diagnostics and the error log).
  std::vector<std::string> names() const;

 private:
  void drop(Symbol* s, MemvarSlot* slot);

  std::unordered_map<std::string, std::unique_ptr<Symbol>> symbols_;
  // Privates of each open frame, in creation order.
  std::vector<std::vector<std::pair<Symbol*, MemvarSlot*>>> frames_;
  std::vector<std::pair<Symbol*, MemvarSlot*>> publics_;
  size_t frame_ = 0;
};

// Opens a private frame for the lifetime of the guard.
class PrivateFrame {
 public:
  explicit PrivateFrame(Memvars& m) : m_(m), frame_(m.open_frame()) {}
  ~PrivateFrame() { m_.close_frame(frame_); }
  PrivateFrame(const PrivateFrame&) = delete;
  PrivateFrame& operator=(const PrivateFrame&) = delete;

 private:
  Memvars& m_;
  size_t frame_;
};

}  // namespace kvel::eval
