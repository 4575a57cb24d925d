#include "platform/screen/keyboard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/screen/headless_backend.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"

namespace kvel::screen {
namespace {

// Waits are taken in slices so that idle tasks run several times a second.
constexpr double kIdleSlice = 0.05;

}  // namespace

Keyboard::Keyboard(std::shared_ptr<Backend> backend, int capacity)
    : backend_(std::move(backend)), capacity_(std::max(capacity, 1)) {}

Keyboard::~Keyboard() = default;

void Keyboard::take(const InputEvent& ev) {
  if (ev.kind == InputEvent::Kind::None) return;
  mods_ = ev.mods;
  if (ev.kind == InputEvent::Kind::Key) put(ev.key);
}

bool Keyboard::poll(double timeout) {
  InputEvent ev = backend_->read_input(timeout);
  if (ev.kind == InputEvent::Kind::None) return false;
  take(ev);
  // Take whatever else has already arrived, so next_key sees a burst of keys.
  while (buffer_.size() < static_cast<size_t>(capacity_)) {
    ev = backend_->read_input(0);
    if (ev.kind == InputEvent::Kind::None) break;
    take(ev);
  }
  return true;
}

int Keyboard::inkey(eval::Runtime& rt, double wait) {
  if (buffer_.empty() && wait >= 0) {
    // The user sees the picture before being asked for a key.
    if (Screen* s = rt.find<Screen>()) s->flush();
  }
  if (buffer_.empty()) poll(0);
  if (buffer_.empty() && wait >= 0) {
    double deadline = backend_->now() + wait;
    while (buffer_.empty()) {
      double now = backend_->now();
      if (wait > 0 && now >= deadline) break;
      idle_.run_idle(rt, now);
      if (!buffer_.empty()) break;
      if (wait == 0 && backend_->input_exhausted()) {
        if (++exhausted_reads_ > kMaxExhaustedReads) {
          std::fputs("kvel: the key script has run out while the program keeps waiting for keys\n",
                     stderr);
          std::exit(3);
        }
        if (exhausted_) exhausted_(rt);
        put(kKeyEsc);
        break;
      }
      double slice = kIdleSlice;
      if (wait > 0) slice = std::min(slice, deadline - now);
      poll(std::max(slice, 0.0));
    }
  }
  if (buffer_.empty()) return 0;
  int key = buffer_.front();
  buffer_.pop_front();
  if (auto t = key_texts_.find(key); t != key_texts_.end()) {
    // The assigned text stands in for the key, ahead of what was typed after it.
    const std::string& text = t->second;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
      buffer_.push_front(static_cast<unsigned char>(*it));
    }
    key = buffer_.front();
    buffer_.pop_front();
  }
  if (!backend_->input_exhausted()) exhausted_reads_ = 0;
  last_key_ = key;
  return key;
}

std::string Keyboard::set_key_text(int key, std::string text) {
  std::string old = key_text(key);
  if (text.empty()) {
    key_texts_.erase(key);
  } else {
    key_texts_[key] = std::move(text);
  }
  return old;
}

std::string Keyboard::key_text(int key) const {
  auto it = key_texts_.find(key);
  return it == key_texts_.end() ? std::string() : it->second;
}

int Keyboard::next_key(eval::Runtime&) {
  if (buffer_.empty()) poll(0);
  return buffer_.empty() ? 0 : buffer_.front();
}

void Keyboard::clear() { buffer_.clear(); }

bool Keyboard::put(int key) {
  if (buffer_.size() >= static_cast<size_t>(capacity_)) return false;
  buffer_.push_back(key);
  return true;
}

void Keyboard::put_text(std::string_view cp866, bool semicolon_enter) {
  for (char c : cp866) {
    int key = static_cast<unsigned char>(c);
    if (semicolon_enter && c == ';') key = kKeyEnter;
    put(key);
  }
}

void Keyboard::set_capacity(int n) {
  capacity_ = std::max(n, 1);
  while (buffer_.size() > static_cast<size_t>(capacity_)) buffer_.pop_back();
}

eval::Value Keyboard::handler(int key) const {
  auto it = handlers_.find(key);
  return it == handlers_.end() ? eval::Value() : it->second;
}

eval::Value Keyboard::set_handler(int key, eval::Value block) {
  eval::Value old = handler(key);
  if (block.is_nil())
    handlers_.erase(key);
  else
    handlers_[key] = std::move(block);
  return old;
}

bool Keyboard::run_handler(eval::Runtime& rt, int key, std::string_view var) {
  eval::Value h = handler(key);
  if (!h.is_block()) return false;
  if (running_handlers_[key]) return false;
  running_handlers_[key] = true;
  struct Reset {
    std::map<int, bool>& m;
    int k;
    ~Reset() { m.erase(k); }
  } reset{running_handlers_, key};
  std::string proc;
  int line_no = 0;
  if (!rt.calls().empty()) {
    proc = rt.calls().back().name;
    line_no = rt.calls().back().line;
  }
  eval::Value args[3] = {eval::Value::string(proc), eval::Value::integer(line_no),
                         eval::Value::string(var)};
  h.as_block()->call(rt, eval::Args(args, 3));
  return true;
}

Keyboard& keyboard_of(eval::Runtime& rt) {
  if (Keyboard* k = rt.find<Keyboard>()) return *k;
  if (Screen* s = rt.find<Screen>())
    rt.install(eval::ServiceSlot::Keyboard, std::make_unique<Keyboard>(s->shared_backend()));
  else
    install_headless(rt);
  return rt.get<Keyboard>();
}

}  // namespace kvel::screen
