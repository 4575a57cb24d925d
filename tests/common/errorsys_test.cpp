// The error handler's silent rules and dialogs, its texts, the error log and
// the trace log.
#include "common/errorsys.h"

#include <gtest/gtest.h>

#include "common/color.h"
#include "common/cp866_text.h"
#include "common/errorlog.h"
#include "common/publics.h"
#include "platform/eval/eval.h"
#include "runner_fixture.h"

namespace kvel::common {
namespace {

using eval::Answer;
using eval::ErrorObject;
using eval::Value;

ErrorObject error(int gen, bool retry = false, bool dflt = false) {
  ErrorObject e;
  e.gen_code = gen;
  e.sub_code = 1001;
  e.description = "Something";
  e.operation = "OP";
  e.can_retry = retry;
  e.can_default = dflt;
  e.procedure = "PROCN10";
  e.line = 3;
  e.module = "CONTROL.0";
  return e;
}

struct Handler : ::testing::Test {
  test::RunnerFixture f;
  void SetUp() override {
    runner(f.rt()).start_dir = f.dir().path().string() + "/";
    color(f.rt());
  }
  std::string shown(const std::string& cp) {
    const screen::Snapshot* s = f.at(cp);
    return s ? s->text() : "";
  }
};

TEST_F(Handler, SilentRules) {
  struct Case {
    const char* name;
    ErrorObject e;
    Answer::Kind want;
    bool neterr;
  };
  ErrorObject zero = error(eval::kErrZeroDiv);
  ErrorObject busy = error(32);
  busy.subsystem = "DBFNTX";
  busy.sub_code = 1035;
  busy.tries = 24;
  ErrorObject lock = error(eval::kErrLock, true);
  ErrorObject shared = error(eval::kErrOpen, false, true);
  shared.os_code = 32;
  ErrorObject append = error(eval::kErrAppendLock, false, true);
  const Case cases[] = {
      {"division by zero", zero, Answer::Kind::Substitute, false},
      {"DBFNTX 1035 below 25 tries", busy, Answer::Kind::Retry, false},
      {"refused lock", lock, Answer::Kind::Retry, false},
      {"table held by another user", shared, Answer::Kind::Default, true},
      {"append lock", append, Answer::Kind::Default, true},
  };
  for (const Case& c : cases) {
    eval::evaluate(f.rt(), "NETERR(.F.)");
    ErrorObject e = c.e;
    Answer a = deferror(f.rt(), e);
    EXPECT_EQ(a.kind, c.want) << c.name;
    if (a.is_substitute()) {
      EXPECT_EQ(a.value.as_int(), 0) << c.name;
    }
    EXPECT_EQ(eval::evaluate(f.rt(), "NETERR()").as_logical(), c.neterr) << c.name;
  }
  EXPECT_TRUE(f.screen().checkpoints().empty());  // no dialog at all
}

TEST_F(Handler, RefusedLockWaitsAndAKeyLeadsToTheDialog) {
  ErrorObject lock = error(eval::kErrLock, true, true);
  double before = f.screen().now();
  for (int i = 0; i < 30; ++i) EXPECT_TRUE(deferror(f.rt(), lock).is_retry());
  EXPECT_GE(f.screen().now() - before, 3.0 - 1e-6);  // a tenth of a second each time
  f.keys("key A\ncheckpoint dialog\nkey Right Right Enter");
  EXPECT_EQ(deferror(f.rt(), lock).kind, Answer::Kind::Default);
  EXPECT_NE(shown("dialog").find("Повторить"), std::string::npos);
  EXPECT_NE(shown("dialog").find("Пропустить"), std::string::npos);
}

TEST_F(Handler, ButtonsFollowTheErrorsFlags) {
  struct Case {
    bool retry, dflt;
    std::string keys;
    Answer::Kind want;
    bool has_retry, has_skip;
  };
  const Case cases[] = {
      {true, true, "key Right Enter", Answer::Kind::Retry, true, true},
      {false, true, "key Right Enter", Answer::Kind::Default, false, true},
      {true, false, "key Esc\ncheckpoint again\nkey Right Enter", Answer::Kind::Retry, true, false},
  };
  for (const Case& c : cases) {
    test::RunnerFixture g("checkpoint d\n" + c.keys);
    ErrorObject e = error(eval::kErrNoFunc, c.retry, c.dflt);
    EXPECT_EQ(deferror(g.rt(), e).kind, c.want) << c.keys;
    std::string d = g.at("d") ? g.at("d")->text() : "";
    EXPECT_NE(d.find("Ошибка BASE/1001 Неизвестная функция: OP"), std::string::npos) << d;
    EXPECT_EQ(d.find("Повторить") != std::string::npos, c.has_retry) << c.keys;
    EXPECT_EQ(d.find("Пропустить") != std::string::npos, c.has_skip) << c.keys;
    if (c.keys.find("again") != std::string::npos) {
      ASSERT_NE(g.at("again"), nullptr);  // Escape shows the dialog again
      EXPECT_NE(g.at("again")->text().find("Завершить"), std::string::npos);
    }
  }
}

TEST_F(Handler, EndingReportsLogsAndLeaves99) {
  f.keys("checkpoint d\nkey Esc\ncheckpoint d2\nkey Enter\ncheckpoint report\nkey Enter");
  set(f.rt(), pub::CONTROL, Value::string("app/control.0"));
  ErrorObject e = error(eval::kErrNoVar);
  e.args = std::vector<Value>{Value::string("X"), Value::integer(5)};
  e.os_code = 2;
  try {
    deferror(f.rt(), e);
    FAIL() << "the run goes on";
  } catch (const EndRun& end) {
    EXPECT_EQ(end.exit_code, 99);
  }
  EXPECT_EQ(f.rt().exit_code, 99);
  std::string d = shown("d");
  EXPECT_EQ(d.find("Повторить"), std::string::npos);
  EXPECT_NE(d.find("Список аргументов: "), std::string::npos) << d;
  EXPECT_NE(d.find("[1] Значение:X Тип:C"), std::string::npos) << d;
  EXPECT_NE(d.find("(Код DOS-ошибки: 2)"), std::string::npos) << d;
  EXPECT_NE(shown("d2").find("Завершить"), std::string::npos);
  std::string report = shown("report");
  EXPECT_NE(report.find("Запишите сообщение об ошибке, файле, метке и вызовах"), std::string::npos);
  EXPECT_NE(report.find("Файл параметров: CONTROL.0"), std::string::npos) << report;
  std::string err = from866(runner(f.rt()).final_report);
  EXPECT_NE(err.find("\n\nОшибка BASE/1001 Переменная не существует: OP\nСписок аргументов...:"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Ошибка в............: PROCN10(3) в файле  CONTROL.0"), std::string::npos)
      << err;
  std::string log = from866(test::read_file(f.dir() / "_error.log"));
  EXPECT_NE(log.find("Korvelin Error Log"), std::string::npos);
  EXPECT_NE(log.find("OsCode()............: 2\r\n"), std::string::npos);
}

TEST_F(Handler, AnErrorInsideTheHandlerEndsTheRun) {
  f.keys("checkpoint guard\nkey Enter");
  runner(f.rt()).in_error_handler = true;
  ErrorObject e = error(eval::kErrArg);
  EXPECT_THROW(deferror(f.rt(), e), EndRun);
  EXPECT_EQ(f.rt().exit_code, 99);
  EXPECT_NE(shown("guard").find("Ошибка в ErrorSys - системе обнаружения ошибок."),
            std::string::npos);
  EXPECT_NE(shown("guard").find("PROCN10(3) в модуле: CONTROL.0"), std::string::npos);
}

TEST_F(Handler, MessageTexts) {
  struct Case {
    ErrorObject e;
    std::string want;
  };
  ErrorObject warn = error(99);
  warn.severity = 1;
  warn.operation.clear();
  ErrorObject file = error(eval::kErrOpen);
  file.filename = "T.DBF";
  ErrorObject none = error(0);
  none.subsystem.clear();
  const Case cases[] = {
      {error(eval::kErrZeroDiv), "Ошибка BASE/1001 Деление на ноль: OP"},
      {warn, "Предупреждение BASE/1001 Something"},
      {file, "Ошибка BASE/1001 Ошибка открытия: T.DBF"},
      {none, "Ошибка \?\?\?/1001 Неизвестная ошибка: OP"},
  };
  for (const Case& c : cases) EXPECT_EQ(from866(error_message(c.e)), c.want);
}

TEST_F(Handler, ContextBlockForms) {
  ErrorObject e = error(1);
  std::string bare = from866(error_msg_prin(f.rt(), e, "|"));
  EXPECT_EQ(bare.find("Файл параметров"), std::string::npos);
  EXPECT_EQ(bare.find("Алиас"), std::string::npos);
  std::string rule(79, '-');
  EXPECT_EQ(bare.substr(0, 80), rule + "|");
  set(f.rt(), pub::CONTROL, Value::string("d:\\app\\control.0"));
  std::string stream = from866(error_msg_prin(f.rt(), e, "|"));
  EXPECT_NE(stream.find("|Файл параметров.....: CONTROL.0"), std::string::npos) << stream;
  EXPECT_NE(stream.find("|Метка...............: 000"), std::string::npos) << stream;
  EXPECT_NE(stream.find("|Вызов из............: PROCN10(3)"), std::string::npos) << stream;
  std::string dialog = from866(error_msg_prin(f.rt(), e, ";"));
  EXPECT_EQ(dialog.substr(0, 57), std::string(56, '-') + ";");
  EXPECT_NE(dialog.find(";Файл параметров: CONTROL.0"), std::string::npos) << dialog;
  EXPECT_NE(dialog.find(";          Метка: 000"), std::string::npos) << dialog;
  EXPECT_NE(dialog.find(";       Вызов из: PROCN10(3)"), std::string::npos) << dialog;
  EXPECT_NE(dialog.find(";        в файле: CONTROL.0"), std::string::npos) << dialog;
}

TEST_F(Handler, ArgumentForms) {
  ErrorObject e = error(1);
  EXPECT_EQ(error_arguments(f.rt(), e, ";"), "");
  e.args = std::vector<Value>{Value(), Value::integer(12), Value::logical(true)};
  EXPECT_EQ(from866(error_arguments(f.rt(), e, ";")),
            "Список аргументов: ;[1] Тип:U;[2] Значение:12 Тип:N;[3] Значение:.T. Тип:L");
  EXPECT_EQ(from866(error_arguments(f.rt(), e, "\n")),
            "Список аргументов...: [1] Тип:U\n" + std::string(22, ' ') + "[2] Значение:12 Тип:N\n" +
                std::string(22, ' ') + "[3] Значение:.T. Тип:L");
}

TEST_F(Handler, ErrorLogSections) {
  ErrorObject e = error(1);
  e.procedure = "A_VERY_LONG_PROCEDURE_NAME";
  e.line = 1234;
  std::string log = from866(error_log_text(f.rt(), e));
  std::string head =
      std::string(30, '-') + "Korvelin Error Log" + std::string(31, '-') + "\r\n\r\n";
  EXPECT_EQ(log.substr(0, head.size()), head);
  // no open table: the heading and one blank line
  EXPECT_NE(log.find("-Информация о рабочих областях-" + std::string(24, '-') + "\r\n\r\n---"),
            std::string::npos);
  // no argument list: one empty line between the two
  EXPECT_NE(log.find("Operation().........: OP\r\n\r\nFileName()..........: \r\n"),
            std::string::npos);
  EXPECT_NE(log.find("SET SOFTSEEK........: ON\r\n"), std::string::npos);
  EXPECT_NE(log.find("SET EPOCH...........: 1935\r\n"), std::string::npos);
  EXPECT_NE(log.find("A_VERY_LONG_PROCEDUR:   1,234 в Модуле: CONTROL.0\r\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("+" + std::string(80, '-') + "+\r\n|"), std::string::npos);
  EXPECT_NE(log.find(" Снимок экрана "), std::string::npos);
}

TEST_F(Handler, ErrorLogFallsBackToTheCurrentDirectory) {
  runner(f.rt()).start_dir = "/nonexistent/dir/";
  logerror(f.rt(), error(1));
  EXPECT_TRUE(std::filesystem::exists(f.dir() / "error.log"));
}

TEST_F(Handler, TraceLog) {
  EXPECT_TRUE(eval::evaluate(f.rt(), "TRACELOG('x')").as_logical());
  EXPECT_FALSE(std::filesystem::exists(f.dir() / "_trace.log"));
  runner(f.rt()).trace = true;
  {
    eval::CallFrame outer(f.rt(), "MAIN", "main", 1);
    eval::CallFrame inner(f.rt(), "PROCN10", "CONTROL.0", 7);
    tracelog(f.rt(), {});
    tracelog(f.rt(), {Value::string("abc"), Value::integer(5)});
  }
  EXPECT_EQ(test::read_file(f.dir() / "_trace.log"),
            "[CONTROL.0->PROCN10] (7) Called from: \r\n" + std::string(30, ' ') +
                "main->MAIN(1)\r\n\r\n"
                "[CONTROL.0->PROCN10] (7) Called from: \r\n" +
                std::string(30, ' ') +
                "main->MAIN(1)\r\nType: C >>>abc<<<\r\nType: N >>>5<<<\r\n\r\n");
}

TEST_F(Handler, ErrorModeAndStrvalue) {
  EXPECT_EQ(eval::evaluate(f.rt(), "SETERRORMODE(1)").as_int(), 0);
  EXPECT_EQ(eval::evaluate(f.rt(), "SETERRORMODE(0)").as_int(), 1);
  EXPECT_EQ(text_of(eval::evaluate(
                f.rt(), "STRVALUE(.T., .T.) + STRVALUE(.F.) + STRVALUE('ab') + STRVALUE(1.50)")),
            "ON.F.AB1.50");
  EXPECT_EQ(eval::evaluate(f.rt(), "SETUNHANDLEDEXCEPTIONFILTER({|x| 0})").as_int(), 0);
}

}  // namespace
}  // namespace kvel::common
