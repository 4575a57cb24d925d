// Key scripts: the input of a headless run, one command per line (format in
// doc/screen.md). Keys by name or code, typed text, pauses on the virtual
// clock, changes of the Shift/Ctrl/Alt state and checkpoints at which the
// screen is recorded.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/status.h"

namespace kvel::screen {

struct ScriptStep {
  enum class Kind { Key, Pause, Mods, Checkpoint };
  Kind kind = Kind::Key;
  int key = 0;         // Key
  double seconds = 0;  // Pause
  int mods = 0;        // Mods: the bits held from now on
  std::string name;    // Checkpoint
  int line = 0;        // line of the script, for messages
};

struct KeyScript {
  std::vector<ScriptStep> steps;
};

// Parses a script (UTF-8 or plain ASCII text). A bad line is an error naming its
// line number; nothing of the script is used then.
os::Result<KeyScript> parse_key_script(std::string_view text);
os::Result<KeyScript> load_key_script(const std::filesystem::path& file);

}  // namespace kvel::screen
