#include "platform/ui/ui_fixture.h"

#include <gtest/gtest.h>

#include "platform/rtl/rtl.h"
#include "platform/screen/cp866.h"
#include "platform/screen/functions.h"
#include "platform/ui/ui.h"

namespace kvel::ui::test {

K::K(const char* utf8) {
  for (unsigned char c : screen::utf8_to_cp866(utf8)) codes.push_back(c);
}

K shot(const char* name) {
  K k(0);
  k.codes.clear();
  k.checkpoint = name;
  return k;
}

K pause(double seconds) {
  K k(0);
  k.codes.clear();
  k.pause = seconds;
  return k;
}

std::string cp(const char* utf8) { return screen::utf8_to_cp866(utf8); }

namespace {
screen::KeyScript script_of(std::initializer_list<K> keys) {
  screen::KeyScript s;
  for (const K& k : keys) {
    if (k.pause > 0) {
      screen::ScriptStep st;
      st.kind = screen::ScriptStep::Kind::Pause;
      st.seconds = k.pause;
      s.steps.push_back(st);
    }
    if (!k.checkpoint.empty()) {
      screen::ScriptStep st;
      st.kind = screen::ScriptStep::Kind::Checkpoint;
      st.name = k.checkpoint;
      s.steps.push_back(st);
    }
    for (int c : k.codes) {
      screen::ScriptStep st;
      st.kind = screen::ScriptStep::Kind::Key;
      st.key = c;
      s.steps.push_back(st);
    }
  }
  return s;
}
}  // namespace

UiFixture::UiFixture(std::initializer_list<K> keys) {
  rtl::register_rtl(rt.registry());
  screen::register_screen(rt.registry());
  register_ui(rt.registry());
  backend = screen::install_headless(rt, script_of(keys));
}

void UiFixture::keys(std::initializer_list<K> more) { backend->append(script_of(more)); }

screen::Screen& UiFixture::scr() { return screen::screen_of(rt); }

std::string UiFixture::row(int r, int col, int len) {
  std::string s;
  const screen::Cell* cells = scr().cells();
  int end = len < 0 ? screen::kCols : std::min(screen::kCols, col + len);
  for (int c = col; c < end; ++c) s += static_cast<char>(cells[r * screen::kCols + c].ch);
  return screen::cp866_to_utf8(s);
}

const screen::Snapshot& UiFixture::shot(const std::string& name) {
  for (const screen::Snapshot& s : backend->checkpoints())
    if (s.name == name) return s;
  static const screen::Snapshot none{
      "", std::vector<screen::Cell>(screen::kRows * screen::kCols), {}, {}};
  ADD_FAILURE() << "no checkpoint " << name;
  return none;
}

screen::Attr UiFixture::attr(int r, int c) { return scr().attr_at(r, c); }

}  // namespace kvel::ui::test
