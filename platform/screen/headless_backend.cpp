#include "platform/screen/headless_backend.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/screen/colour.h"
#include "platform/screen/cp866.h"
#include "platform/screen/keyboard.h"
#include "platform/screen/screen.h"

namespace kvel::screen {
namespace {

// A poll without waiting moves the virtual clock by this much while a pause
// runs, so a program that polls in a loop still sees the pause end.
constexpr double kPollTick = 0.001;
constexpr int kPollsBeforeCheckpoint = 1000;

const char kHex[] = "0123456789ABCDEF";

}  // namespace

std::string Snapshot::row_text(int row) const {
  std::string out;
  for (int c = 0; c < kCols; ++c) append_utf8(out, cp866_to_unicode(at(row, c).ch));
  return out;
}

std::string Snapshot::text() const {
  std::string out;
  for (int r = 0; r < kRows; ++r) {
    out += row_text(r);
    out += '\n';
  }
  return out;
}

std::string Snapshot::attrs() const {
  std::string out;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      out += kHex[at(r, c).attr >> 4];
      out += kHex[at(r, c).attr & 15];
    }
    out += '\n';
  }
  return out;
}

std::string Snapshot::annotated_row(int row) const {
  std::string out;
  int last = -1;
  for (int c = 0; c < kCols; ++c) {
    const Cell& cell = at(row, c);
    if (cell.attr != last) {
      out += '{' + colour_string(cell.attr) + '}';
      last = cell.attr;
    }
    append_utf8(out, cp866_to_unicode(cell.ch));
  }
  return out;
}

HeadlessBackend::HeadlessBackend(KeyScript script, HeadlessOptions options)
    : script_(std::move(script)), options_(std::move(options)), cells_(kRows * kCols) {
  if (!options_.dump_file.empty())
    std::ofstream(options_.dump_file, std::ios::binary | std::ios::trunc);
}

HeadlessBackend::~HeadlessBackend() {
  if (!options_.dump_file.empty()) record("end");
}

void HeadlessBackend::present(const Cell* cells, const CursorState& cursor) {
  std::copy(cells, cells + kRows * kCols, cells_.begin());
  cursor_ = cursor;
  ++presents_;
}

Snapshot HeadlessBackend::snapshot(std::string name) const {
  return Snapshot{std::move(name), cells_, cursor_, title_};
}

void HeadlessBackend::record(const std::string& name) {
  checkpoints_.push_back(snapshot(name));
  if (options_.dump_file.empty()) return;
  const Snapshot& s = checkpoints_.back();
  std::ofstream out(options_.dump_file, std::ios::binary | std::ios::app);
  out << "checkpoint " << s.name << '\n'
      << "cursor " << s.cursor.row << ' ' << s.cursor.col << ' ' << s.cursor.shape << '\n'
      << "title " << cp866_to_utf8(s.title) << '\n'
      << s.text() << s.attrs();
}

void HeadlessBackend::append(const KeyScript& more) {
  script_.steps.insert(script_.steps.end(), more.steps.begin(), more.steps.end());
}

bool HeadlessBackend::input_exhausted() const {
  return ready_at_ < 0 && next_ >= script_.steps.size();
}

InputEvent HeadlessBackend::read_input(double timeout) {
  auto pass = [&](double seconds) {
    if (seconds <= 0) return;
    clock_ += seconds;
    if (options_.real_time) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  };
  for (;;) {
    if (ready_at_ >= 0) {
      if (timeout <= 0) timeout = kPollTick;
      if (clock_ + timeout < ready_at_) {
        pass(timeout);
        return {};
      }
      timeout -= ready_at_ - clock_;
      pass(ready_at_ - clock_);
      ready_at_ = -1;
      ++next_;
      continue;
    }
    if (next_ >= script_.steps.size()) {
      pass(timeout);
      return {};
    }
    const ScriptStep& step = script_.steps[next_];
    switch (step.kind) {
      case ScriptStep::Kind::Key:
        ++next_;
        return {InputEvent::Kind::Key, step.key, mods_};
      case ScriptStep::Kind::Mods:
        ++next_;
        mods_ = step.mods;
        return {InputEvent::Kind::Modifiers, 0, mods_};
      case ScriptStep::Kind::Checkpoint:
        // A checkpoint records the screen when the program waits for a key,
        // not while it only looks whether one is there (it may be drawing).
        // A program that never waits passes it after many looks.
        if (timeout <= 0 && ++blocked_polls_ < kPollsBeforeCheckpoint) return {};
        blocked_polls_ = 0;
        ++next_;
        record(step.name);
        continue;
      case ScriptStep::Kind::Pause:
        ready_at_ = clock_ + step.seconds;
        continue;
    }
  }
}

void install_console(eval::Runtime& rt, std::shared_ptr<Backend> backend) {
  rt.install(eval::ServiceSlot::Screen, std::make_unique<Screen>(backend));
  rt.install(eval::ServiceSlot::Keyboard, std::make_unique<Keyboard>(backend));
}

std::shared_ptr<HeadlessBackend> install_headless(eval::Runtime& rt, KeyScript script,
                                                  HeadlessOptions options) {
  auto backend = std::make_shared<HeadlessBackend>(std::move(script), std::move(options));
  install_console(rt, backend);
  return backend;
}

}  // namespace kvel::screen
