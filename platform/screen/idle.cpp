#include "platform/screen/idle.h"

#include <algorithm>

namespace kvel::screen {
namespace {

// Clears a flag on the way out, also when a task unwinds with a Break.
struct Running {
  bool& flag;
  explicit Running(bool& f) : flag(f) { flag = true; }
  ~Running() { flag = false; }
};

}  // namespace

int IdleTasks::add_idle(Task t) {
  int h = next_handle_++;
  idle_.push_back({h, std::move(t)});
  return h;
}

bool IdleTasks::remove_idle(int handle) {
  auto it =
      std::find_if(idle_.begin(), idle_.end(), [&](const Entry& e) { return e.handle == handle; });
  if (it == idle_.end()) return false;
  idle_.erase(it);
  return true;
}

int IdleTasks::add_background(Task t, double interval_s, bool active) {
  int h = next_handle_++;
  background_.push_back({h, std::move(t), std::max(interval_s, 0.0), active});
  return h;
}

bool IdleTasks::remove_background(int handle) {
  auto it = std::find_if(background_.begin(), background_.end(),
                         [&](const Entry& e) { return e.handle == handle; });
  if (it == background_.end()) return false;
  background_.erase(it);
  return true;
}

bool IdleTasks::set_active(int handle, bool active) {
  for (Entry& e : background_)
    if (e.handle == handle) {
      e.active = active;
      return true;
    }
  return false;
}

void IdleTasks::clear_background() { background_.clear(); }

void IdleTasks::run_idle(eval::Runtime& rt, double now) {
  now_ = now;
  if (running_) return;
  Running guard(running_);
  // A task may add or remove routines: walk by handle over a copy of the list.
  std::vector<int> handles;
  for (const Entry& e : idle_) handles.push_back(e.handle);
  for (int h : handles) {
    auto it =
        std::find_if(idle_.begin(), idle_.end(), [&](const Entry& e) { return e.handle == h; });
    if (it == idle_.end()) continue;
    Task t = it->task;  // the entry may go away while the task runs
    t(rt);
  }
}

void IdleTasks::run_background(eval::Runtime& rt) {
  if (!background_on_) return;
  std::vector<int> handles;
  for (const Entry& e : background_) handles.push_back(e.handle);
  for (int h : handles) {
    auto it = std::find_if(background_.begin(), background_.end(),
                           [&](const Entry& e) { return e.handle == h; });
    if (it == background_.end() || !it->active) continue;
    if (it->interval > 0 && now_ - it->last < it->interval) continue;
    it->last = now_;
    Task t = it->task;
    t(rt);
  }
}

}  // namespace kvel::screen
