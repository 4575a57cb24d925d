// Work done while the system waits for a key: idle routines run on every pass
// of a wait, and background tasks run when an idle routine asks for them
// (run_background), each at most once per interval and only while background
// processing is on. Everything runs on the one thread, never inside a procedure.
#pragma once

#include <functional>
#include <vector>

#include "platform/eval/runtime.h"

namespace kvel::screen {

class IdleTasks {
 public:
  using Task = std::function<void(eval::Runtime&)>;

  // Handles are positive and never reused.
  int add_idle(Task t);
  bool remove_idle(int handle);

  // interval_s 0: on every pass.
  int add_background(Task t, double interval_s, bool active);
  bool remove_background(int handle);
  // Returns whether a task of that handle exists.
  bool set_active(int handle, bool active);
  void clear_background();
  size_t background_count() const { return background_.size(); }
  void set_background_enabled(bool on) { background_on_ = on; }
  bool background_enabled() const { return background_on_; }

  // One idle pass at time `now` (seconds): every idle routine once. Nested
  // passes (a task that waits for a key) do nothing.
  void run_idle(eval::Runtime& rt, double now);
  // Runs the active background tasks whose interval has passed.
  void run_background(eval::Runtime& rt);
  double now() const { return now_; }

 private:
  struct Entry {
    int handle;
    Task task;
    double interval = 0;
    bool active = true;
    double last = -1e18;
  };
  std::vector<Entry> idle_;
  std::vector<Entry> background_;
  int next_handle_ = 1;
  bool background_on_ = false;
  bool running_ = false;
  double now_ = 0;
};

}  // namespace kvel::screen
