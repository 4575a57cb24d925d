// A runtime on the headless screen with a key script, for the widget scenarios.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/screen/headless_backend.h"
#include "platform/screen/screen.h"

namespace kvel::ui::test {

// A key code, or a text typed key by key (UTF-8 in the test, CP866 keys).
struct K {
  K(int code) : codes{code} {}  // NOLINT: keys read naturally in tables
  K(const char* utf8);          // NOLINT
  std::vector<int> codes;
  std::string checkpoint;  // set: records the screen here instead of a key
  double pause = 0;        // > 0: the keys after it come that much later
};
// A point of the script at which the screen is recorded (see UiFixture::shot).
K shot(const char* name);
// The user waits: nothing is typed ahead of this point (idle moments come here).
K pause(double seconds = 1);

class UiFixture {
 public:
  explicit UiFixture(std::initializer_list<K> keys = {});
  void keys(std::initializer_list<K> more);

  eval::Runtime rt;
  std::shared_ptr<screen::HeadlessBackend> backend;
  screen::Screen& scr();
  // A screen row as UTF-8, from column `col` for `len` columns (all when -1).
  std::string row(int r, int col = 0, int len = -1);
  screen::Attr attr(int r, int c);
  // The screen recorded at a checkpoint of the script.
  const screen::Snapshot& shot(const std::string& name);
};

// CP866 bytes of a UTF-8 text.
std::string cp(const char* utf8);

}  // namespace kvel::ui::test
