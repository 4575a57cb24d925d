#include "platform/screen/key_script.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/screen/cp866.h"
#include "platform/screen/keys.h"

namespace kvel::screen {
namespace {

// DOS "invalid data": the script's text is not a script.
constexpr int kDosInvalidData = 13;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string_view next_word(std::string_view& s) {
  s = trim(s);
  size_t end = 0;
  while (end < s.size() && !std::isspace(static_cast<unsigned char>(s[end]))) ++end;
  std::string_view w = s.substr(0, end);
  s.remove_prefix(end);
  return w;
}

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

os::Status bad(int line, const std::string& what) {
  return os::Status::failure(kDosInvalidData,
                             "key script line " + std::to_string(line) + ": " + what);
}

}  // namespace

os::Result<KeyScript> parse_key_script(std::string_view text) {
  KeyScript script;
  int line_no = 0;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view rest = line;
    std::string_view cmd = next_word(rest);
    if (cmd.empty() || cmd[0] == '#') continue;
    if (iequal(cmd, "key") || iequal(cmd, "keys")) {
      std::string_view w = next_word(rest);
      if (w.empty()) return bad(line_no, "no key named");
      for (; !w.empty(); w = next_word(rest)) {
        auto key = key_from_name(w);
        if (!key) return bad(line_no, "unknown key \"" + std::string(w) + "\"");
        script.steps.push_back({ScriptStep::Kind::Key, *key, 0, 0, {}, line_no});
      }
    } else if (iequal(cmd, "text")) {
      // One blank separates the command from the text; the rest is typed as it stands.
      std::string_view t = line.substr(line.find_first_not_of(" \t"));
      t.remove_prefix(4);
      if (!t.empty()) t.remove_prefix(1);
      std::string_view u = t;
      while (!u.empty()) {
        char32_t cp = 0;
        int n = decode_utf8(u, cp);
        if (n <= 0) return bad(line_no, "text is not UTF-8");
        auto b = unicode_to_cp866(cp);
        if (!b) return bad(line_no, "a character of the text has no code page 866 byte");
        script.steps.push_back({ScriptStep::Kind::Key, *b, 0, 0, {}, line_no});
        u.remove_prefix(n);
      }
    } else if (iequal(cmd, "pause")) {
      std::string_view w = next_word(rest);
      double s = -1;
      auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), s);
      if (w.empty() || ec != std::errc() || p != w.data() + w.size() || s < 0 ||
          !trim(rest).empty())
        return bad(line_no, "pause wants a number of seconds");
      script.steps.push_back({ScriptStep::Kind::Pause, 0, s, 0, {}, line_no});
    } else if (iequal(cmd, "hold")) {
      int mods = 0;
      for (std::string_view w = next_word(rest); !w.empty(); w = next_word(rest)) {
        if (iequal(w, "shift"))
          mods |= kModShift;
        else if (iequal(w, "ctrl"))
          mods |= kModCtrl;
        else if (iequal(w, "alt"))
          mods |= kModAlt;
        else if (!iequal(w, "none"))
          return bad(line_no, "hold takes shift, ctrl, alt or none");
      }
      script.steps.push_back({ScriptStep::Kind::Mods, 0, 0, mods, {}, line_no});
    } else if (iequal(cmd, "checkpoint")) {
      std::string_view name = trim(rest);
      if (name.empty()) return bad(line_no, "checkpoint needs a name");
      script.steps.push_back({ScriptStep::Kind::Checkpoint, 0, 0, 0, std::string(name), line_no});
    } else {
      return bad(line_no, "unknown command \"" + std::string(cmd) + "\"");
    }
  }
  return script;
}

os::Result<KeyScript> load_key_script(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return os::Status::from_errno("open " + file.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  auto r = parse_key_script(ss.str());
  if (!r.ok())
    return os::Status::failure(r.status().dos(), file.string() + ": " + r.status().message());
  return r;
}

}  // namespace kvel::screen
