#include "platform/screen/keyboard.h"

#include <gtest/gtest.h>

#include "platform/screen/headless_backend.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"

namespace kvel::screen {
namespace {

KeyScript script(std::string_view text) {
  auto r = parse_key_script(text);
  EXPECT_TRUE(r.ok()) << r.status().message();
  return r.ok() ? r.value() : KeyScript{};
}

// A code block around a C++ callable, without the evaluator.
class FnBlock : public eval::BlockData {
 public:
  explicit FnBlock(std::function<eval::Value(eval::Runtime&, eval::Args)> fn)
      : fn_(std::move(fn)) {}
  eval::Value call(eval::Runtime& rt, eval::Args args) override { return fn_(rt, args); }
  std::string_view source() const override { return {}; }

 private:
  std::function<eval::Value(eval::Runtime&, eval::Args)> fn_;
};

eval::Value block(std::function<eval::Value(eval::Runtime&, eval::Args)> fn) {
  return eval::Value::block(std::make_shared<FnBlock>(std::move(fn)));
}

TEST(Keyboard, TypeaheadHoldsTwentyKeys) {
  eval::Runtime rt;
  install_headless(rt);
  Keyboard& k = rt.get<Keyboard>();
  for (int i = 1; i <= 25; ++i) EXPECT_EQ(k.put(100 + i), i <= 20) << i;
  EXPECT_EQ(k.pending(), 20u);
  EXPECT_EQ(k.next_key(rt), 101);
  EXPECT_EQ(k.inkey(rt, -1), 101);
  EXPECT_EQ(k.last_key(), 101);
  k.clear();
  EXPECT_EQ(k.inkey(rt, -1), 0);
  EXPECT_EQ(k.last_key(), 101) << "no key read: the last key stays";
  k.put_text("a;b", true);
  k.put_text(";");
  EXPECT_EQ(k.inkey(rt, -1), 'a');
  EXPECT_EQ(k.inkey(rt, -1), kKeyEnter);
  EXPECT_EQ(k.inkey(rt, -1), 'b');
  EXPECT_EQ(k.inkey(rt, -1), ';');
}

TEST(Keyboard, WaitsRunOnTheVirtualClock) {
  eval::Runtime rt;
  auto backend = install_headless(rt, script("pause 1.5\nkey F10\n"));
  Keyboard& k = rt.get<Keyboard>();
  EXPECT_EQ(k.inkey(rt, -1), 0) << "no wait: the pause has not passed";
  EXPECT_EQ(k.inkey(rt, 1), 0);
  EXPECT_NEAR(backend->now(), 1.0, 0.01);
  EXPECT_EQ(k.inkey(rt, 1), -9);
  EXPECT_NEAR(backend->now(), 1.5, 0.01);
  EXPECT_EQ(k.inkey(rt, 2), 0) << "nothing left: the wait runs out";
  EXPECT_NEAR(backend->now(), 3.5, 0.01);
}

TEST(Keyboard, ExhaustedScriptAnswersWaitsForEverWithEsc) {
  eval::Runtime rt;
  install_headless(rt, script("key Enter\n"));
  Keyboard& k = rt.get<Keyboard>();
  int calls = 0;
  k.on_exhausted([&](eval::Runtime&) { ++calls; });
  EXPECT_EQ(k.inkey(rt, 0), kKeyEnter);
  EXPECT_EQ(k.inkey(rt, 0), kKeyEsc);
  EXPECT_EQ(calls, 1);
}

TEST(Keyboard, IdleTasksRunWhileWaitingAndSeeTheModifiers) {
  eval::Runtime rt;
  install_headless(rt, script("pause 0.3\nhold shift\npause 0.3\nhold ctrl alt\npause 0.3\nhold "
                              "none\npause 0.1\nkey a\n"));
  Keyboard& k = rt.get<Keyboard>();
  std::vector<int> seen;
  int passes = 0;
  k.idle().add_idle([&](eval::Runtime&) {
    ++passes;
    if (seen.empty() || seen.back() != k.modifiers()) seen.push_back(k.modifiers());
  });
  EXPECT_EQ(k.inkey(rt, 0), 'a');
  EXPECT_EQ(seen, (std::vector<int>{0, kModShift, kModCtrl | kModAlt, 0}));
  EXPECT_GE(passes, 10);
  passes = 0;
  k.put('x');
  EXPECT_EQ(k.inkey(rt, 0), 'x');
  EXPECT_EQ(passes, 0) << "a key already there: no wait, no idle pass";
}

TEST(Keyboard, BackgroundTasksKeepTheirIntervalAndSwitches) {
  eval::Runtime rt;
  auto backend = install_headless(rt);
  IdleTasks& t = rt.get<Keyboard>().idle();
  int fast = 0, slow = 0, off = 0;
  t.add_idle([&](eval::Runtime& r) { t.run_background(r); });
  t.add_background([&](eval::Runtime&) { ++fast; }, 0, true);
  t.add_background([&](eval::Runtime&) { ++slow; }, 0.5, true);
  int h = t.add_background([&](eval::Runtime&) { ++off; }, 0, false);
  rt.get<Keyboard>().inkey(rt, 1);
  EXPECT_EQ(fast, 0) << "background processing is off";
  t.set_background_enabled(true);
  rt.get<Keyboard>().inkey(rt, 1);
  EXPECT_EQ(fast, 20);
  EXPECT_EQ(slow, 2);
  EXPECT_EQ(off, 0);
  EXPECT_TRUE(t.set_active(h, true));
  EXPECT_TRUE(t.remove_background(h));
  EXPECT_FALSE(t.set_active(h, true));
  t.clear_background();
  EXPECT_EQ(t.background_count(), 0u);
}

TEST(Keyboard, HandlersAreBoundToCodes) {
  eval::Runtime rt;
  install_headless(rt);
  Keyboard& k = rt.get<Keyboard>();
  std::vector<std::string> calls;
  eval::Value h = block([&](eval::Runtime& r, eval::Args a) {
    calls.push_back(a[0].as_string() + "/" + a[2].as_string());
    // A handler that reads its own key again does not run itself again.
    EXPECT_FALSE(keyboard_of(r).run_handler(r, -1));
    return eval::Value();
  });
  EXPECT_TRUE(k.set_handler(-1, h).is_nil());
  EXPECT_FALSE(k.run_handler(rt, -2));
  {
    eval::CallFrame f(rt, "PROCN11");
    EXPECT_TRUE(k.run_handler(rt, -1, "FIELD"));
  }
  EXPECT_EQ(calls, std::vector<std::string>{"PROCN11/FIELD"});
  EXPECT_TRUE(k.set_handler(-1, eval::Value()).is_block()) << "the previous handler comes back";
  EXPECT_TRUE(k.handler(-1).is_nil());
}

TEST(Keyboard, CheckpointsRecordWhatWasShown) {
  eval::Runtime rt;
  auto backend =
      install_headless(rt, script("checkpoint start\nkey Enter\ncheckpoint after enter\n"));
  Screen& s = rt.get<Screen>();
  s.write(0, 0, "\x8c\xa5\xad\xee", 0x1F);
  Keyboard& k = rt.get<Keyboard>();
  s.begin();  // a read shows what is drawn, even inside a buffered section
  s.write(1, 0, "x");
  EXPECT_EQ(k.inkey(rt, 0), kKeyEnter);
  s.end();
  s.write(0, 0, "Done");
  EXPECT_EQ(k.inkey(rt, -1), 0) << "only looking for a key passes no checkpoint";
  EXPECT_EQ(backend->checkpoints().size(), 1u);
  EXPECT_EQ(k.inkey(rt, 0), kKeyEsc);
  ASSERT_EQ(backend->checkpoints().size(), 2u);
  const Snapshot& first = backend->checkpoints()[0];
  EXPECT_EQ(first.name, "start");
  EXPECT_EQ(first.row_text(0).substr(0, 8), "Меню");
  EXPECT_EQ(first.row_text(1).substr(0, 1), "x");
  EXPECT_EQ(first.annotated_row(0).substr(0, 19), "{W+/B}Меню{W/N}");
  EXPECT_EQ(backend->checkpoints()[1].name, "after enter");
  EXPECT_EQ(backend->checkpoints()[1].row_text(0).substr(0, 4), "Done");
}

}  // namespace
}  // namespace kvel::screen
