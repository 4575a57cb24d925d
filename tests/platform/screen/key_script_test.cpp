#include "platform/screen/key_script.h"

#include <gtest/gtest.h>

#include "platform/screen/keys.h"

namespace kvel::screen {
namespace {

std::string describe(const KeyScript& s) {
  std::string out;
  for (const ScriptStep& st : s.steps) {
    switch (st.kind) {
      case ScriptStep::Kind::Key:
        out += "k" + std::to_string(st.key);
        break;
      case ScriptStep::Kind::Pause:
        out += "p" + std::to_string(static_cast<int>(st.seconds * 1000));
        break;
      case ScriptStep::Kind::Mods:
        out += "m" + std::to_string(st.mods);
        break;
      case ScriptStep::Kind::Checkpoint:
        out += "c[" + st.name + "]";
        break;
    }
    out += ' ';
  }
  return out;
}

TEST(KeyScript, Commands) {
  struct Case {
    std::string_view text;
    std::string_view steps;
  };
  static const Case cases[] = {
      {"key Enter F10 Alt+K -9 13", "k13 k-9 k293 k-9 k13 "},
      {"keys shift+f3 ctrl+left ctrl+c", "k-12 k26 k3 "},
      {"text Иван 1", "k136 k162 k160 k173 k32 k49 "},
      {"text  two", "k32 k116 k119 k111 "},
      {"pause 2.5", "p2500 "},
      {"hold shift ctrl\nhold none", "m3 m0 "},
      {"# comment\n\n  checkpoint main menu  \r\n", "c[main menu] "},
      {"key a\r\nkey b", "k97 k98 "},
  };
  for (const Case& c : cases) {
    auto r = parse_key_script(c.text);
    ASSERT_TRUE(r.ok()) << c.text << ": " << r.status().message();
    EXPECT_EQ(describe(r.value()), c.steps) << c.text;
  }
}

TEST(KeyScript, BadLinesNameTheirLine) {
  struct Case {
    std::string_view text;
    std::string_view message;
  };
  static const Case cases[] = {
      {"key Enter\nkey Bogus", "line 2: unknown key \"Bogus\""},
      {"press Enter", "line 1: unknown command \"press\""},
      {"pause soon", "line 1: pause wants a number of seconds"},
      {"pause -1", "line 1: pause wants a number of seconds"},
      {"hold cmd", "line 1: hold takes shift, ctrl, alt or none"},
      {"checkpoint", "line 1: checkpoint needs a name"},
      {"text €", "line 1: a character of the text has no code page 866 byte"},
      {"text \xff", "line 1: text is not UTF-8"},
      {"key", "line 1: no key named"},
  };
  for (const Case& c : cases) {
    auto r = parse_key_script(c.text);
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_NE(r.status().message().find(c.message), std::string::npos) << r.status().message();
  }
}

TEST(KeyNames, RoundTrip) {
  for (int code = -47; code <= 500; ++code) {
    std::string name = key_name(code);
    auto back = key_from_name(name);
    ASSERT_TRUE(back.has_value()) << code << " " << name;
    EXPECT_EQ(*back, code) << name;
  }
  EXPECT_EQ(key_name(kKeyAltK), "Alt+K");
  EXPECT_EQ(key_name(-10), "Shift+F1");
  EXPECT_EQ(key_name(-47), "Alt+F12");
  EXPECT_EQ(key_name(28), "F1");
  EXPECT_EQ(key_from_name("ctrl+a"), 1);
  EXPECT_FALSE(key_from_name("Ctrl+F13").has_value());
}

}  // namespace
}  // namespace kvel::screen
