#include "platform/eval/memvars.h"

#include <gtest/gtest.h>

#include "platform/eval/runtime.h"

namespace kvel::eval {
namespace {

TEST(Memvars, PrivatesHideOuterVariablesAndVanishWithTheirFrame) {
  Memvars m;
  m.declare_public("koder", Value::integer(1));
  {
    PrivateFrame f(m);
    m.declare_private("KODER", Value::integer(2));
    EXPECT_EQ(m.get("Koder").as_int(), 2);
    {
      PrivateFrame inner(m);
      m.assign("koder", Value::integer(3));  // assigns the visible private
      m.assign("fresh", Value::integer(9));  // creates a private of the inner frame
      EXPECT_TRUE(m.exists("FRESH"));
    }
    EXPECT_FALSE(m.exists("fresh"));
    EXPECT_EQ(m.get("koder").as_int(), 3);
  }
  EXPECT_EQ(m.get("koder").as_int(), 1);
  EXPECT_TRUE(m.is_public("KODER"));
}

TEST(Memvars, ReleaseAllButTheNamedOnes) {
  Memvars m;
  m.declare_public("A", Value::integer(1));
  m.declare_public("B", Value::integer(2));
  m.declare_private("C", Value::integer(3));
  m.release_all_except({"b"});
  EXPECT_FALSE(m.exists("A"));
  EXPECT_TRUE(m.exists("B"));
  EXPECT_FALSE(m.exists("C"));
  m.release("B");
  EXPECT_FALSE(m.exists("B"));
}

TEST(Runtime, ErrorWithoutHandlerUnwindsAsBreakCarryingTheError) {
  Runtime rt;
  ErrorObject e;
  e.gen_code = kErrZeroDiv;
  e.sub_code = 1340;
  try {
    rt.raise(e);
    FAIL() << "no break";
  } catch (const Break& b) {
    ASSERT_NE(error_of(b.value), nullptr);
    EXPECT_EQ(error_of(b.value)->sub_code, 1340);
  }
  ScopedErrorHandler h(
      rt, [](Runtime& r, ErrorObject& err) { return Answer::substitute(Value::integer(0)); });
  EXPECT_TRUE(rt.raise(e).is_substitute());
}

}  // namespace
}  // namespace kvel::eval
