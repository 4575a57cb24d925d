// A runtime with the whole platform, the runner's functions and a headless
// screen, working in a fresh temporary directory.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/command_line.h"
#include "common/common.h"
#include "common/desc_text.h"
#include "common/runner.h"
#include "platform/eval/runtime.h"
#include "platform/platform.h"
#include "platform/screen/headless_backend.h"
#include "platform/screen/key_script.h"
#include "support/test_support.h"

namespace kvel::test {

class RunnerFixture {
 public:
  explicit RunnerFixture(const std::string& keys = "", std::vector<std::string> args = {})
      : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
    auto script = screen::parse_key_script(keys);
    screen_ = setup_headless(rt_, script.ok() ? script.value() : screen::KeyScript{});
    common::register_common(rt_.registry());
    common::Runner& r = common::runner(rt_);
    r.command_line = common::parse_command_line(args);
    r.start = common::start_values(r.command_line);
  }
  ~RunnerFixture() { std::filesystem::current_path(old_); }

  eval::Runtime& rt() { return rt_; }
  screen::HeadlessBackend& screen() { return *screen_; }
  const TempDir& dir() const { return dir_; }

  // Writes offset.<ext> and control.<ext> from a text source.
  void describe(const std::string& source, const std::string& ext = "0") {
    common::DescCompile c = common::compile_description(source);
    if (!c.problems.empty())
      throw std::runtime_error("bad test description: " + c.problems[0].message);
    write_file(dir_ / ("offset." + ext), c.image.offset);
    write_file(dir_ / ("control." + ext), c.image.control);
  }
  void keys(const std::string& text) {
    auto s = screen::parse_key_script(text);
    if (!s.ok()) throw std::runtime_error(s.status().message());
    screen_->append(s.value());
  }
  // The row of a checkpoint (UTF-8); "" when there is no such checkpoint.
  std::string row(const std::string& checkpoint, int r) const {
    for (const auto& c : screen_->checkpoints()) {
      if (c.name == checkpoint) return c.row_text(r);
    }
    return "";
  }
  const screen::Snapshot* at(const std::string& checkpoint) const {
    for (const auto& c : screen_->checkpoints()) {
      if (c.name == checkpoint) return &c;
    }
    return nullptr;
  }

 private:
  TempDir dir_;
  std::filesystem::path old_;
  eval::Runtime rt_;
  std::shared_ptr<screen::HeadlessBackend> screen_;
};

}  // namespace kvel::test
