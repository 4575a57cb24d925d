// Key services: reading keys with or without waiting, the last key, the next
// key without reading it, the typeahead buffer, key handlers bound to codes,
// the Shift/Ctrl/Alt state, and the idle work done while waiting.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"
#include "platform/screen/backend.h"
#include "platform/screen/idle.h"

namespace kvel::screen {

class Keyboard : public eval::Service {
 public:
  static constexpr eval::ServiceSlot kSlot = eval::ServiceSlot::Keyboard;
  static constexpr int kDefaultCapacity = 20;

  // Pre: backend is not null; it is shared with the Screen.
  explicit Keyboard(std::shared_ptr<Backend> backend, int capacity = kDefaultCapacity);
  ~Keyboard() override;

  // Reads one key. wait < 0: do not wait (0 when no key is there); wait == 0:
  // wait for ever; wait > 0: wait up to that many seconds. Idle tasks run while
  // it waits. A key read becomes the last key. Key handlers do not run here
  // (see run_handler). Returns 0 when no key came.
  int inkey(eval::Runtime& rt, double wait);
  // The key inkey would return next, without taking it; 0 when none is waiting.
  int next_key(eval::Runtime& rt);
  int last_key() const { return last_key_; }
  void set_last_key(int key) { last_key_ = key; }

  // Typeahead. put() returns false (and drops the key) when the buffer is full.
  void clear();
  bool put(int key);
  // Puts each byte of a CP866 text as a key. With semicolon_enter a ';' is put
  // as Enter, as the family's KEYBOARD command does.
  void put_text(std::string_view cp866, bool semicolon_enter = false);
  size_t pending() const { return buffer_.size(); }
  int capacity() const { return capacity_; }
  void set_capacity(int n);

  // Key handlers: a code block (or any value the evaluator can call) bound to a
  // key code. NIL: none. set_handler returns the previous one.
  eval::Value handler(int key) const;
  eval::Value set_handler(int key, eval::Value block);
  // Runs the handler of `key` with the family's arguments (procedure name, line,
  // variable name) and returns true, or returns false when the key has none.
  // The handler of a key is not run again while it runs.
  bool run_handler(eval::Runtime& rt, int key, std::string_view var = {});

  // Texts assigned to keys (the family's SET FUNCTION): reading such a key
  // gives the text's bytes as keys instead. An empty text removes the
  // assignment. Returns the previous text.
  std::string set_key_text(int key, std::string text);
  std::string key_text(int key) const;

  // Shift/Ctrl/Alt held (kModShift | kModCtrl | kModAlt), as last reported.
  int modifiers() const { return mods_; }

  IdleTasks& idle() { return idle_; }

  // Called when a wait for ever finds the input exhausted (a finished key
  // script). It may end the run by throwing; when it returns, or when none is
  // set, the read gives Esc. After kMaxExhaustedReads such reads in a row the
  // process ends with exit code 3, so a script that runs out can never hang a test.
  static constexpr int kMaxExhaustedReads = 200;
  void on_exhausted(std::function<void(eval::Runtime&)> fn) { exhausted_ = std::move(fn); }

 private:
  void take(const InputEvent& ev);
  bool poll(double timeout);

  std::shared_ptr<Backend> backend_;
  std::deque<int> buffer_;
  int capacity_;
  int last_key_ = 0;
  int mods_ = 0;
  std::map<int, eval::Value> handlers_;
  std::map<int, std::string> key_texts_;
  std::map<int, bool> running_handlers_;
  IdleTasks idle_;
  std::function<void(eval::Runtime&)> exhausted_;
  int exhausted_reads_ = 0;
};

// The keyboard of a runtime; installs a headless screen and keyboard when none is there.
Keyboard& keyboard_of(eval::Runtime& rt);

}  // namespace kvel::screen
