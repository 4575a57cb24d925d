#include "platform/eval/memvars.h"

#include "platform/eval/registry.h"

#include <algorithm>

namespace kvel::eval {

Memvars::Memvars() { frames_.emplace_back(); }

Memvars::~Memvars() {
  for (auto& f : frames_) {
    for (auto& [s, slot] : f) delete slot;
  }
  for (auto& [s, slot] : publics_) delete slot;
}

Symbol* Memvars::intern(std::string_view name) {
  std::string key = upper_name(name);
  auto it = symbols_.find(key);
  if (it != symbols_.end()) return it->second.get();
  auto sym = std::make_unique<Symbol>();
  sym->name = key;
  Symbol* p = sym.get();
  symbols_.emplace(std::move(key), std::move(sym));
  return p;
}

Value* Memvars::find(Symbol* s) { return s->visible.empty() ? nullptr : &s->visible.back()->value; }

bool Memvars::is_public(std::string_view name) {
  Symbol* s = intern(name);
  return !s->visible.empty() && s->visible.back()->is_public;
}

Value& Memvars::declare_public(std::string_view name) {
  Symbol* s = intern(name);
  for (MemvarSlot* slot : s->visible) {
    if (slot->is_public) return slot->value;
  }
  return declare_public(name, Value::logical(false));
}

Value& Memvars::declare_public(std::string_view name, Value init) {
  Symbol* s = intern(name);
  for (MemvarSlot* slot : s->visible) {
    if (slot->is_public) {
      slot->value = std::move(init);
      return slot->value;
    }
  }
  auto* slot = new MemvarSlot{std::move(init), true, 0};
  // A public sits below every private of the same name: privates hide it.
  s->visible.insert(s->visible.begin(), slot);
  publics_.emplace_back(s, slot);
  return slot->value;
}

Value& Memvars::declare_private(std::string_view name, Value init) {
  Symbol* s = intern(name);
  if (!s->visible.empty()) {
    MemvarSlot* top = s->visible.back();
    if (!top->is_public && top->frame == frame_) {
      top->value = std::move(init);
      return top->value;
    }
  }
  auto* slot = new MemvarSlot{std::move(init), false, frame_};
  s->visible.push_back(slot);
  frames_[frame_].emplace_back(s, slot);
  return slot->value;
}

Value Memvars::get(std::string_view name) {
  Value* v = find(name);
  return v ? *v : Value();
}

Value& Memvars::assign(std::string_view name, Value v) {
  return assign(intern(name), std::move(v));
}

Value& Memvars::assign(Symbol* s, Value v) {
  if (!s->visible.empty()) {
    s->visible.back()->value = std::move(v);
    return s->visible.back()->value;
  }
  return declare_private(s->name, std::move(v));
}

void Memvars::drop(Symbol* s, MemvarSlot* slot) {
  auto it = std::find(s->visible.begin(), s->visible.end(), slot);
  if (it != s->visible.end()) s->visible.erase(it);
  delete slot;
}

void Memvars::release(std::string_view name) {
  Symbol* s = intern(name);
  if (s->visible.empty()) return;
  MemvarSlot* slot = s->visible.back();
  auto& owner = slot->is_public ? publics_ : frames_[slot->frame];
  owner.erase(
      std::remove_if(owner.begin(), owner.end(), [&](const auto& e) { return e.second == slot; }),
      owner.end());
  drop(s, slot);
}

void Memvars::release_all_except(const std::vector<std::string>& keep) {
  std::vector<Symbol*> kept;
  for (const auto& k : keep) kept.push_back(intern(k));
  auto keep_it = [&](Symbol* s) { return std::find(kept.begin(), kept.end(), s) != kept.end(); };
  auto sweep = [&](std::vector<std::pair<Symbol*, MemvarSlot*>>& list) {
    std::vector<std::pair<Symbol*, MemvarSlot*>> rest;
    for (auto& e : list) {
      if (keep_it(e.first)) {
        rest.push_back(e);
      } else {
        drop(e.first, e.second);
      }
    }
    list.swap(rest);
  };
  sweep(publics_);
  for (auto& f : frames_) sweep(f);
}

size_t Memvars::open_frame() {
  frames_.emplace_back();
  frame_ = frames_.size() - 1;
  return frame_;
}

void Memvars::close_frame(size_t frame) {
  while (frames_.size() > frame && frames_.size() > 1) {
    auto& f = frames_.back();
    for (auto it = f.rbegin(); it != f.rend(); ++it) drop(it->first, it->second);
    frames_.pop_back();
  }
  frame_ = frames_.size() - 1;
}

std::vector<std::string> Memvars::names() const {
  std::vector<std::string> out;
  for (const auto& [k, s] : symbols_) {
    if (!s->visible.empty()) out.push_back(k);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace kvel::eval
