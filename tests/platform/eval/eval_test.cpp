#include "platform/eval/eval.h"

#include <gtest/gtest.h>

#include <string>

#include "eval_test_support.h"

namespace kvel::eval {
namespace {

using test::run;
using test::setup;
using test::show;

struct Case {
  const char* expr;
  const char* expect;
};

void check(Runtime& rt, const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c)
    EXPECT_EQ(run(rt, c->expr), c->expect) << "expr: " << c->expr;
}

template <size_t N>
void check(Runtime& rt, const Case (&cases)[N]) {
  check(rt, cases, cases + N);
}

TEST(Evaluate, NumbersCarryTheFamilysWidthsAndDecimals) {
  static const Case cases[] = {
      {"(1 + 2) * 3", "I:9/10"},
      {"12", "I:12/10"},
      {"1.50", "N:1.50/13/2"},
      {".5", "N:0.5/12/1"},
      {"10 / 4", "N:2.50/13/2"},  // division: SET DECIMALS
      {"10 / 2", "I:5/10"},       // unless whole
      {"3.0 / 1.5", "N:2.00/13/2"},
      {"2 ** 3", "N:8.00/13/2"},
      {"-2 ** 2", "N:4.00/13/2"},  // unary minus binds tighter
      {"2 ^ 3 ^ 2", "N:64.00/13/2"},
      {"7.5 % 2", "N:1.50/13/2"},
      {"-10 % 3", "I:-1/10"},
      {"12.50 + 1", "N:13.50/13/2"},
      {"100 * 1.1", "N:110.0/12/1"},  // products add decimals
      {"0.1 * 0.1", "N:0.01/13/2"},
      {"99999 * 99999", "I:9999800001/11"},
      {"123456789 * 1000", "I:123456789000/13"},
      {"10000000000", "I:10000000000/12"},
      {"-10000000000", "I:-10000000000/20"},
      {"-1234567890", "I:-1234567890/20"},
      {"100000000000000000000", "N:100000000000000000000/22/0"},
      {"9223372036854775807 + 1", "N:9223372036854775808/20/0"},
      {"(x := 5, x /= 2)", "N:2.50/13/2"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
}

TEST(Evaluate, TextsDatesAndLogicals) {
  static const Case cases[] = {
      {"\"abc  \" - \"def\"", "C:|abcdef  |"},
      {"\"  \" - \"x\"", "C:|x  |"},
      {"'a' + [b] + \"c\"", "C:|abc|"},
      {"{1, 2}[2] + 1", "I:3/10"},
      {"\"ab\"[1]", "ERR:1/1068"},
      {"(d := 2460311, d)", "I:2460311/10"},
      {".T. .AND. 1", "I:1/10"},  // the deciding operand, unchecked
      {"(l := 1, l .OR. .T.)", "L:T"},
      {"(l := 1, .F. .OR. l)", "I:1/10"},
      {".F. .AND. NoSuchFunction()", "L:F"},
      {".NOT. .F. .OR. .F.", "L:T"},
      {"2 * 3 > 5 .AND. .NOT. 2 > 3", "L:T"},
      {"!1", "ERR:1/1077"},
      {".Y. == .T. .AND. .N. == .F.", "L:T"},
      {"\"abc\" $ \"xxabcxx\"", "L:T"},
      {"\"\" $ \"abc\"", "L:F"},
      {"1 $ \"1\"", "ERR:1/1109"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
}

TEST(Evaluate, ComparisonsFollowSetExact) {
  struct ExactCase {
    const char* expr;
    const char* on;
    const char* off;
  };
  static const ExactCase cases[] = {
      {"\"abc\" = \"ab\"", "L:F", "L:T"},
      {"\"ab\" = \"abc\"", "L:F", "L:F"},
      {"\"abc\" = \"abc  \"", "L:T", "L:F"},
      {"\"abc  \" = \"abc\"", "L:T", "L:T"},
      {"\"abc\" = \"\"", "L:F", "L:T"},
      {"\"\" = \"   \"", "L:T", "L:F"},
      {"\"ab \" == \"ab\"", "L:F", "L:F"},
      {"\"ab \" < \"ab\"", "L:F", "L:F"},
      {"\"ab\" >= \"abc\"", "L:F", "L:F"},
      {"\"abc\" != \"ab\"", "L:T", "L:F"},
      {"NIL = NIL", "L:T", "L:T"},
      {"NIL = 1", "L:F", "L:F"},
      {"1 == 1.0", "L:T", "L:T"},
      {"0 = -0", "L:T", "L:T"},
      {"{1} == {1}", "L:F", "L:F"},
      {"(a := {1}, a == a)", "L:T", "L:T"},
      {"{1} = {1}", "ERR:1/1071", "ERR:1/1071"},
      {"NIL < 1", "ERR:1/1073", "ERR:1/1073"},
      {"1 = \"1\"", "ERR:1/1071", "ERR:1/1071"},
      {".F. < .T.", "L:T", "L:T"},
  };
  Runtime rt;
  setup(rt);
  for (const auto& c : cases) {
    rt.settings().exact = true;
    EXPECT_EQ(run(rt, c.expr), c.on) << "exact on: " << c.expr;
    rt.settings().exact = false;
    EXPECT_EQ(run(rt, c.expr), c.off) << "exact off: " << c.expr;
  }
}

TEST(Evaluate, OperatorErrorsCarryTheFamilysCodes) {
  static const Case cases[] = {
      {"1 + \"1\"", "ERR:1/1081"},
      {"\"abc\" - 1", "ERR:1/1082"},
      {"\"abc\" * 2", "ERR:1/1083"},
      {"\"a\" / 2", "ERR:1/1084"},
      {"\"a\" % 2", "ERR:1/1085"},
      {"\"a\" ** 2", "ERR:1/1088"},
      {"-\"abc\"", "ERR:1/1080"},
      {"1 / 0", "ERR:5/1340"},
      {"1 % 0", "ERR:5/1341"},
      {"(x := 'a', x++)", "ERR:1/1086"},
      {"(x := 'a', --x)", "ERR:1/1087"},
      {"IIf(NIL, 1, 2)", "ERR:1/1066"},
      {"zzNoVar", "ERR:14/1003"},
      {"zzNoFunc()", "ERR:12/1001"},
      {"{1, 2}[3]", "ERR:2/1132"},
      {"{1, 2}[0]", "ERR:2/1132"},
      {"{1, 2}['a']", "ERR:1/1068"},
      {"(a := {1}, a[2] := 1)", "ERR:2/1133"},
      {"(a := {1}, a['x'] := 1)", "ERR:1/1069"},
      {"&(1)", "ERR:1/1065"},
      {"1 +", "ERR:7/1449"},
      {"", "ERR:7/1449"},
      {"(1", "ERR:7/1449"},
      {"1 2", "ERR:7/1449"},
      {"'abc", "ERR:7/1449"},
      {"1 + 1 := 2", "ERR:7/1449"},
      {"Eval(1)", "ERR:13/1004"},
      {"(1):x", "ERR:13/1004"},
      {"Array(-1)", "ERR:2/1131"},
      {"AAdd(1, 2)", "ERR:1/1123"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
}

TEST(Evaluate, AssignmentsListsAndIncrements) {
  static const Case cases[] = {
      {"(x := 5, x++)", "I:5/10"},
      {"(x := 5, x++, x)", "I:6/10"},
      {"(x := 5, ++x)", "I:6/10"},
      {"(x := 5, x += 3, x -= 1, x *= 2, x)", "I:14/10"},
      {"(x := 7, x %= 4)", "I:3/10"},
      {"(x := 2, x ^= 3)", "N:8.00/13/2"},
      {"(x := y := 3, x + y)", "I:6/10"},
      {"(a := {1, {2, 3}}, a[2][1] := 9, a[2, 1] += 1, a)", "A:{I:1/10,A:{I:10/10,I:3/10}}"},
      {"(a := {1, 2}, i := 1, a[i++] += 10, {a, i})", "A:{A:{I:11/10,I:2/10},I:2/10}"},  // once
      {"(a := Array(2, 2), a[1, 2] := 5, a)", "A:{A:{U,I:5/10},A:{U,U}}"},
      {"{1, , 3}", "A:{I:1/10,U,I:3/10}"},
      {"{}", "A:{}"},
      {"{1, 2, 3}[2.7]", "I:2/10"},
      {"(s := 'a', s += 'b', s)", "C:|ab|"},
      {"(n := 0, IIf(.T., 1, n := 1), n)", "I:0/10"},  // only the chosen branch
      {"IIf(.F., 1)", "U"},
      {"NArgs(1, , 3)", "I:3/10"},
      {"NArgs()", "I:0/10"},
      {"IsNil(NArgs(1,,3) + 0 - 3 + NIL)", "ERR:1/1081"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
}

TEST(Evaluate, CodeBlocks) {
  static const Case cases[] = {
      {"Eval({|a, b| a + b}, 1, 2)", "I:3/10"},
      {"Eval({|| 1, 2, 3})", "I:3/10"},
      {"Eval({|a, b| ValType(b)}, 1)", "C:|U|"},
      {"Eval({|x| x * 2}, 5, 6)", "I:10/10"},
      {"Eval({||})", "U"},
      {"(b := {|x| {|y| x + y}}, Eval(Eval(b, 10), 5))", "I:15/10"},           // captured parameter
      {"(b := {|x| {|| x++}}, c := Eval(b, 1), Eval(c), Eval(c))", "I:2/10"},  // shared frame
      {"(b := {|a| {|b| {|| a + b}}}, Eval(Eval(Eval(b, 1), 2)))", "I:3/10"},
      {"(x := 1, Eval({|x| x := 5}, 2), x)", "I:1/10"},  // parameters are local
      {"(x := 1, Eval({|v| x := v}, 7), x)", "I:7/10"},
      {"(x := 1, Eval({|p| p := 9}, @x), x)", "I:9/10"},
      {"(x := 1, SetRef(@x, 'r'), x)", "C:|r|"},
      {"(x := 1, SetRef(x, 'r'), x)", "I:1/10"},
      {"Eval({|x| IIf(x > 0, 'pos', 'neg')}, -1)", "C:|neg|"},
      {"ValType({|| 1})", "C:|B|"},
      {"Eval({|| 1 / 0})", "ERR:5/1340"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
}

TEST(Evaluate, Macros) {
  static const Case cases[] = {
      {"(m := '1+2', &m)", "I:3/10"},
      {"(m := '1+2', &(m) * 2)", "I:6/10"},
      {"(v := 'abc', n := 'v', &n)", "C:|abc|"},
      {"(n := 'w', &n := 5, w)", "I:5/10"},
      {"(n := 'w', &n. := 5, &n.x := 6, {w, wx})", "A:{I:5/10,I:6/10}"},
      {"(s := 'x', x1 := 'one', &s.1)", "C:|one|"},
      {"(p := 'Twice', &p(21))", "I:42/10"},
      {"(m := 'XYZ', 'a&m.b')", "C:|aXYZb|"},
      {"(m := 'XYZ', 'a&m b')", "C:|aXYZ b|"},
      {"'a&zzUndef.b'", "C:|a&zzUndef.b|"},
      {"(m := 5, 'a&m.b')", "C:|a&m.b|"},
      {"(a := 'b', b := '1+1', &(&a))", "I:2/10"},
      {"(m := '{|x| x * 2}', Eval(&m, 21))", "I:42/10"},
      {"(m := 'x := 10', &m, x)", "I:10/10"},
      {"(m := 'Str(', &m)", "ERR:7/1449"},
      {"(m := 5, &m)", "ERR:1/1065"},
      {"(m := 'zzUndef', &m)", "ERR:14/1003"},
      {"(m := '1+2', &m := 1)", "ERR:7/1449"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
}

TEST(Evaluate, TypeReportsUndefinedAndErrors) {
  static const Case cases[] = {
      {"Type('1 + 1')", "C:|N|"},
      {"Type('{|| 1}')", "C:|B|"},
      {"Type('zzUndef')", "C:|U|"},
      {"Type('zzUndef()')", "C:|U|"},
      {"Type('&zzUndef')", "C:|U|"},
      {"Type('1 + \"a\"')", "C:|UE|"},
      {"Type('1 / 0')", "C:|UE|"},
      {"Type('   ')", "C:|UE|"},
      {"Type('1 +')", "C:|UE|"},
      {"(t := {1}, Type('t[1]'))", "C:|N|"},
      {"(t := 'u', u := .T., Type(t))", "C:|L|"},
      {"Type(1)", "ERR:1/1121"},
  };
  Runtime rt;
  setup(rt);
  check(rt, cases);
  // The caller's handler is back afterwards.
  EXPECT_FALSE(rt.error_handler());
}

TEST(Evaluate, FieldsAndAliases) {
  Runtime rt;
  setup(rt);
  test::MemoryFields f;
  f.areas[1] = {"T1", {{"NAME", Value::string("ivanov")}, {"SUMMA", Value::integer(10)}}};
  f.areas[2] = {"T2", {{"NAME", Value::string("petrov")}, {"M", Value::integer(7)}}};
  rt.set_fields(&f);
  rt.memvars().declare_public("NAME", Value::string("memvar"));
  rt.memvars().declare_public("M", Value::string("private m"));
  static const Case cases[] = {
      {"name", "C:|ivanov|"},  // a field of the selected area hides a memvar
      {"M->name", "C:|memvar|"},
      {"MEMVAR->name", "C:|memvar|"},
      {"M->M", "C:|private m|"},
      {"FIELD->name", "C:|ivanov|"},
      {"T2->name", "C:|petrov|"},
      {"t2->NAME + T1->name", "C:|petrovivanov|"},
      {"(2)->name", "C:|petrov|"},
      {"('T2')->name", "C:|petrov|"},
      {"(a := 'T2', &a->name)", "C:|petrov|"},
      {"T2->(name + Str2())", "ERR:12/1001"},
      {"T2->(name)", "C:|petrov|"},
      {"FIELD->T2->name", "C:|petrov|"},
      {"T9->name", "ERR:15/1002"},
      {"T2->nofield", "ERR:14/1003"},
      {"FIELD->nofield", "ERR:14/1003"},
      {"summa := summa + 5", "I:15/10"},
      {"T1->summa += 1", "I:16/10"},
      {"T2->M := 8", "I:8/10"},
      {"{summa, T2->M, M->name}", "A:{I:16/10,I:8/10,C:|memvar|}"},
      // By reference through M-> and MEMVAR->: the memory variable, never the field.
      {"(SetRef(@M->name, 'by m'), {name, M->name})", "A:{C:|ivanov|,C:|by m|}"},
      {"(SetRef(@memvar->name, 'memvar'), M->name)", "C:|memvar|"},
      {"SetRef(@M->nosuch, 1)", "ERR:14/1003"},
  };
  check(rt, cases);
  EXPECT_EQ(f.current, 1) << "alias->(expr) selects the area back";
  EXPECT_EQ(f.puts, 3);
  // A different table in the area: field positions are looked up again.
  f.areas[1] = {"T1", {{"SUMMA", Value::integer(1)}, {"NAME", Value::string("sidorov")}}, 2};
  EXPECT_EQ(run(rt, "name"), "C:|sidorov|");
  f.current = 2;
  EXPECT_EQ(run(rt, "name"), "C:|petrov|");
  rt.set_fields(nullptr);
  EXPECT_EQ(run(rt, "name"), "C:|memvar|");
  EXPECT_EQ(run(rt, "T1->name"), "ERR:15/1002");
}

TEST(Evaluate, FunctionsAndVariablesHaveSeparateNames) {
  Runtime rt;
  setup(rt);
  rt.memvars().declare_public("TWICE", Value::integer(100));
  EXPECT_EQ(run(rt, "Twice(twice)"), "I:200/10");
}

class Counter : public ObjectData {
 public:
  std::string_view class_name() const override { return "COUNTER"; }
  Value get(Runtime& rt, std::string_view name) override {
    if (name == "value" || name == "VALUE") return Value::integer(n);
    ErrorObject e;
    e.gen_code = kErrNoMethod;
    e.sub_code = 1004;
    rt.raise(e);
    return {};
  }
  void set(Runtime& rt, std::string_view name, const Value& v) override { n = v.as_int(); }
  Value call(Runtime& rt, std::string_view name, Args args) override {
    if (name == "add") n += args[0].as_int();
    return Value::integer(n);
  }
  int64_t n = 0;
};

TEST(Evaluate, ObjectMessages) {
  Runtime rt;
  setup(rt);
  auto obj = std::make_shared<Counter>();
  rt.memvars().declare_public("G", Value::object(obj));
  static const Case cases[] = {
      {"g:value", "I:0/10"},       {"g:value := 5", "I:5/10"},  {"g:add(3)", "I:8/10"},
      {"g:value += 2", "I:10/10"}, {"g:nosuch", "ERR:13/1004"}, {"ValType(g)", "C:|O|"},
  };
  check(rt, cases);
  EXPECT_EQ(obj->n, 10);
}

TEST(Evaluate, HandlerAnswersResumeTheOperation) {
  Runtime rt;
  setup(rt);
  ScopedErrorHandler h(rt, [](Runtime& r, ErrorObject& e) {
    if (e.gen_code == kErrZeroDiv) return Answer::substitute(Value::integer(0));
    if (e.gen_code == kErrNoVar && e.tries == 1) {
      r.memvars().declare_public(e.operation, Value::string("made"));
      return Answer::retry();
    }
    return Answer::fallback();
  });
  static const Case cases[] = {
      {"1 / 0 + 5", "I:5/10"}, {"zzMade", "C:|made|"}, {"'x' + 1", "U"},
      {"zzNoFunc(1)", "U"},    {"&('1 +')", "U"},
  };
  check(rt, cases);
}

TEST(Evaluate, ErrorsInsideTheHandlerDoNotRecurse) {
  Runtime rt;
  setup(rt);
  int calls = 0;
  rt.set_error_handler([&](Runtime& r, ErrorObject& e) {
    ++calls;
    evaluate(r, "1 / 0");  // unwinds: no handler runs inside the handler
    return Answer::fallback();
  });
  EXPECT_EQ(run(rt, "zzNoVar"), "ERR:5/1340");
  EXPECT_EQ(calls, 1);
}

TEST(Evaluate, CompiledTextsAreCached) {
  Runtime rt;
  setup(rt);
  rt.memvars().declare_public("N", Value::integer(0));
  for (int i = 0; i < 3; ++i) evaluate(rt, "N := N + 1");
  Value b1 = compile_block(rt, "N * 2");
  Value b2 = compile_block(rt, "N * 2");
  EXPECT_EQ(show(call_block(rt, b1)), "I:6/10");
  EXPECT_EQ(b1.as_block()->source(), b2.as_block()->source());
  EXPECT_EQ(b1.as_block()->source(), "{||N * 2}");
  EXPECT_EQ(show(call_block(rt, compile_block(rt, "{|a| a + N}"), {Value::integer(1)})), "I:4/10");
}

TEST(Evaluate, HostileTextsGiveErrorsNotCrashes) {
  Runtime rt;
  setup(rt);
  std::string deep = std::string(10000, '(') + "1" + std::string(10000, ')');
  EXPECT_EQ(run(rt, deep), "ERR:7/1449");
  std::string braces = std::string(10000, '{') + std::string(10000, '}');
  EXPECT_EQ(run(rt, braces), "ERR:7/1449");
  std::string minus(10000, '-');
  EXPECT_EQ(run(rt, minus + "1"), "ERR:7/1449");
  std::string index = "{1}" + std::string(0, ' ');
  for (int i = 0; i < 5000; ++i) index += "[1]";
  EXPECT_EQ(run(rt, index), "ERR:7/1449");
  std::string big = "1";
  while (big.size() < 1024 * 1024) big += "+1";
  EXPECT_EQ(run(rt, big), "ERR:7/1449");
  std::string sum = "1";
  for (int i = 0; i < 5000; ++i) sum += "+1";  // long but flat: fine
  EXPECT_EQ(run(rt, sum), "I:5001/10");
  EXPECT_EQ(run(rt, std::string("1 + \0 2", 7)), "ERR:7/1449");
}

TEST(Evaluate, RunawayRecursionIsALimitError) {
  Runtime rt;
  setup(rt);
  EXPECT_EQ(run(rt, "(b := {|| Eval(b)}, Eval(b))"), "ERR:31/1");
  EXPECT_EQ(run(rt, "(m := '&m', &m)"), "ERR:31/1");
  // Still usable afterwards.
  EXPECT_EQ(run(rt, "1 + 1"), "I:2/10");
}

TEST(Evaluate, SelfContainingArraysAreFreed) {
  size_t freed = 0;
  {
    Runtime rt;
    setup(rt);
    EXPECT_EQ(run(rt, "(a := {}, AAdd(a, a), Len2 := 1, a[1] == a)"), "L:T");
    Value kept = evaluate(rt, "(k := {1}, AAdd(k, k), k)");
    freed = collect_cycles();
    EXPECT_EQ(freed, 1u);  // the first; the one still held survives with its elements
    EXPECT_EQ(kept.as_array()->items.size(), 2u);
    kept.as_array()->items.clear();
  }
  Runtime rt;
  setup(rt);
  evaluate(rt, "(a := {1, {2}}, AAdd(a[2], a), b := AClone(a))");
  // Runtime teardown breaks the remaining cycles (LeakSanitizer would report them).
}

}  // namespace
}  // namespace kvel::eval
