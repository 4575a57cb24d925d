#include "scenario.h"

#include <sys/wait.h>

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/eval/eval.h"
#include "platform/platform.h"
#include "platform/screen/colour.h"
#include "platform/screen/cp866.h"
#include "platform/screen/functions.h"
#include "support/test_support.h"

namespace kvel::scenario {
namespace {

namespace fs = std::filesystem;
using screen::Snapshot;

constexpr int kDosInvalidData = 13;

os::Status bad(int line, const std::string& what) {
  return os::Status::failure(kDosInvalidData,
                             "scenario line " + std::to_string(line) + ": " + what);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Words of a line; "..." is one word with \" \\ \n escapes. `quoted` tells which were.
bool split(std::string_view s, std::vector<std::string>& words, std::vector<bool>& quoted) {
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size()) break;
    std::string w;
    if (s[i] == '"') {
      ++i;
      bool closed = false;
      while (i < s.size()) {
        char c = s[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < s.size()) {
          char e = s[i++];
          w += e == 'n' ? '\n' : e;
        } else {
          w += c;
        }
      }
      if (!closed) return false;
      quoted.push_back(true);
    } else {
      while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) w += s[i++];
      quoted.push_back(false);
    }
    words.push_back(std::move(w));
  }
  return true;
}

bool number(const std::string& w, int& out) {
  if (w.empty()) return false;
  size_t pos = 0;
  try {
    out = std::stoi(w, &pos);
  } catch (...) {
    return false;
  }
  return pos == w.size();
}

std::map<std::string, Module>& modules() {
  static std::map<std::string, Module> m;
  return m;
}

std::string quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

const Snapshot* find(const std::vector<Snapshot>& shots, const std::string& name) {
  for (auto it = shots.rbegin(); it != shots.rend(); ++it)
    if (it->name == name) return &*it;
  return nullptr;
}

std::string where(const Expectation& e) { return "line " + std::to_string(e.line) + ": "; }

void check(const Expectation& e, const Outcome& o, const fs::path& dir,
           std::vector<std::string>& failures) {
  using K = Expectation::Kind;
  if (e.kind == K::Exit) {
    if (o.exit_code != e.number)
      failures.push_back(where(e) + "exit code " + std::to_string(o.exit_code) + ", expected " +
                         std::to_string(e.number));
    return;
  }
  if (e.kind == K::FileExists || e.kind == K::FileMissing || e.kind == K::FileContains ||
      e.kind == K::FileEquals) {
    fs::path p = dir / e.text;
    bool exists = fs::exists(p);
    if (e.kind == K::FileMissing) {
      if (exists) failures.push_back(where(e) + e.text + " exists");
      return;
    }
    if (!exists) {
      failures.push_back(where(e) + e.text + " does not exist");
      return;
    }
    std::string bytes = test::read_file(p);
    std::string want = screen::utf8_to_cp866(e.data);
    if (e.kind == K::FileContains && bytes.find(want) == std::string::npos)
      failures.push_back(where(e) + e.text + " does not contain \"" + e.data + "\"");
    if (e.kind == K::FileEquals && bytes != want)
      failures.push_back(where(e) + e.text + " holds \"" + screen::cp866_to_utf8(bytes) + "\"");
    return;
  }
  const Snapshot* s = find(o.checkpoints, e.checkpoint);
  if (!s) {
    failures.push_back(where(e) + "the run reached no checkpoint \"" + e.checkpoint + "\"");
    return;
  }
  auto on_screen = [](int r, int c) {
    return r >= 0 && r < screen::kRows && c >= 0 && c < screen::kCols;
  };
  switch (e.kind) {
    case K::Text: {
      std::string want = screen::utf8_to_cp866(e.text);
      for (size_t i = 0; i < want.size(); ++i) {
        int c = e.col + static_cast<int>(i);
        if (!on_screen(e.row, c) || s->at(e.row, c).ch != static_cast<uint8_t>(want[i])) {
          failures.push_back(
              where(e) + "at " + e.checkpoint + " row " + std::to_string(e.row) + " col " +
              std::to_string(e.col) + " is not \"" + e.text + "\":\n  " +
              (on_screen(e.row, 0) ? s->row_text(e.row) : std::string("(off the screen)")));
          return;
        }
      }
      return;
    }
    case K::Colour: {
      screen::Attr want = screen::parse_colour(e.text);
      for (int c = e.col; c < e.col + e.len; ++c) {
        if (!on_screen(e.row, c) || s->at(e.row, c).attr != want) {
          failures.push_back(
              where(e) + "at " + e.checkpoint + " row " + std::to_string(e.row) + " col " +
              std::to_string(c) + " is not " + e.text + ":\n  " +
              (on_screen(e.row, 0) ? s->annotated_row(e.row) : std::string("(off the screen)")));
          return;
        }
      }
      return;
    }
    case K::Cursor:
      if (s->cursor.row != e.row || s->cursor.col != e.col)
        failures.push_back(where(e) + "at " + e.checkpoint + " the cursor is at " +
                           std::to_string(s->cursor.row) + "," + std::to_string(s->cursor.col));
      return;
    default:
      return;
  }
}

// Changes the working directory for one run.
struct InDirectory {
  fs::path old;
  explicit InDirectory(const fs::path& d) : old(fs::current_path()) { fs::current_path(d); }
  ~InDirectory() { fs::current_path(old); }
};

}  // namespace

os::Result<Scenario> parse(std::string_view text, const fs::path& base) {
  Scenario sc;
  sc.base = base;
  std::string current = "end";
  int line_no = 0;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    std::vector<std::string> w;
    std::vector<bool> q;
    std::string_view cmd = t.substr(0, t.find_first_of(" \t"));
    // Key-script lines pass through as they are (text keeps its blanks).
    if (cmd == "key" || cmd == "keys" || cmd == "text" || cmd == "pause" || cmd == "hold" ||
        cmd == "checkpoint") {
      sc.keys += std::string(line) + "\n";
      if (cmd == "checkpoint") current = std::string(trim(t.substr(cmd.size())));
      continue;
    }
    if (cmd == "expression") {
      sc.launch = Scenario::Launch::Expression;
      sc.expression = screen::utf8_to_cp866(trim(t.substr(cmd.size())));
      continue;
    }
    if (!split(t, w, q)) return bad(line_no, "a quoted text is not closed");
    if (cmd == "scenario") {
      sc.name = std::string(trim(t.substr(cmd.size())));
    } else if (cmd == "copy") {
      if (w.size() == 2)
        sc.copies.emplace_back(w[1], fs::path(w[1]).filename().string());
      else if (w.size() == 4 && w[2] == "as")
        sc.copies.emplace_back(w[1], w[3]);
      else
        return bad(line_no, "copy SOURCE [as NAME]");
    } else if (cmd == "run") {
      if (w.size() < 2 || w[1] != "kvel") return bad(line_no, "run kvel [arguments]");
      sc.launch = Scenario::Launch::Runner;
      sc.args.assign(w.begin() + 2, w.end());
    } else if (cmd == "module") {
      if (w.size() != 2) return bad(line_no, "module NAME");
      sc.launch = Scenario::Launch::Module;
      sc.args = {w[1]};
    } else if (cmd == "at") {
      if (w.size() != 2) return bad(line_no, "at CHECKPOINT");
      current = w[1];
    } else if (cmd == "expect") {
      Expectation e;
      e.line = line_no;
      e.checkpoint = current;
      using K = Expectation::Kind;
      std::string what = w.size() > 1 ? w[1] : "";
      bool ok = false;
      if (what == "row") {
        e.kind = K::Text;
        if (w.size() == 4 && q[3])
          ok = number(w[2], e.row) && (e.text = w[3], true);
        else if (w.size() == 6 && w[3] == "col" && q[5])
          ok = number(w[2], e.row) && number(w[4], e.col) && (e.text = w[5], true);
      } else if (what == "colour" || what == "color") {
        e.kind = K::Colour;
        if (w.size() == 5)
          ok = number(w[2], e.row) && number(w[3], e.col) && (e.text = w[4], true);
        else if (w.size() == 6)
          ok = number(w[2], e.row) && number(w[3], e.col) && number(w[4], e.len) &&
               (e.text = w[5], true);
      } else if (what == "cursor") {
        e.kind = K::Cursor;
        ok = w.size() == 4 && number(w[2], e.row) && number(w[3], e.col);
      } else if (what == "exit") {
        e.kind = K::Exit;
        ok = w.size() == 3 && number(w[2], e.number);
      } else if (what == "file" && w.size() >= 4) {
        e.text = w[2];
        if (w[3] == "exists" && w.size() == 4) e.kind = K::FileExists, ok = true;
        if (w[3] == "missing" && w.size() == 4) e.kind = K::FileMissing, ok = true;
        if (w[3] == "contains" && w.size() == 5 && q[4])
          e.kind = K::FileContains, e.data = w[4], ok = true;
        if (w[3] == "equals" && w.size() == 5 && q[4])
          e.kind = K::FileEquals, e.data = w[4], ok = true;
      }
      if (!ok) return bad(line_no, "unknown or malformed expectation");
      sc.expects.push_back(std::move(e));
    } else {
      return bad(line_no, "unknown command \"" + std::string(cmd) + "\"");
    }
  }
  if (sc.launch == Scenario::Launch::None)
    return bad(line_no, "nothing to run (run kvel, module or expression)");
  auto keys = screen::parse_key_script(sc.keys);
  if (!keys.ok()) return keys.status();
  return sc;
}

os::Result<Scenario> load(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return os::Status::from_errno("open " + file.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  auto r = parse(ss.str(), file.parent_path());
  if (!r.ok())
    return os::Status::failure(r.status().dos(), file.string() + ": " + r.status().message());
  if (r.value().name.empty()) r.value().name = file.stem().string();
  return r;
}

void register_module(const std::string& name, Module m) { modules()[name] = std::move(m); }

std::vector<Snapshot> read_dump(std::string_view text) {
  std::vector<Snapshot> out;
  auto next_line = [&]() {
    size_t nl = text.find('\n');
    std::string_view l = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    return l;
  };
  while (!text.empty()) {
    std::string_view head = next_line();
    if (head.rfind("checkpoint ", 0) != 0) continue;
    Snapshot s;
    s.name = std::string(head.substr(11));
    s.cells.resize(screen::kRows * screen::kCols);
    std::istringstream cur{std::string(next_line())};
    std::string word;
    cur >> word >> s.cursor.row >> s.cursor.col >> s.cursor.shape;
    std::string_view title = next_line();
    s.title = screen::utf8_to_cp866(title.substr(std::min<size_t>(6, title.size())));
    for (int r = 0; r < screen::kRows; ++r) {
      std::string cp = screen::utf8_to_cp866(next_line());
      for (int c = 0; c < screen::kCols && c < static_cast<int>(cp.size()); ++c)
        s.cells[r * screen::kCols + c].ch = static_cast<uint8_t>(cp[c]);
    }
    for (int r = 0; r < screen::kRows; ++r) {
      std::string_view hex = next_line();
      for (int c = 0; c < screen::kCols && 2 * c + 1 < static_cast<int>(hex.size()); ++c)
        s.cells[r * screen::kCols + c].attr =
            static_cast<screen::Attr>(std::stoi(std::string(hex.substr(2 * c, 2)), nullptr, 16));
    }
    out.push_back(std::move(s));
  }
  return out;
}

Outcome run(const Scenario& sc, const fs::path& runner) {
  Outcome o;
  test::TempDir dir;
  for (const auto& [src, name] : sc.copies) {
    fs::path from = src.rfind("fixture:", 0) == 0 ? test::shared_dir() / "fixtures" / src.substr(8)
                                                  : sc.base / src;
    std::error_code ec;
    fs::copy(from, dir / name, fs::copy_options::recursive | fs::copy_options::overwrite_existing,
             ec);
    if (ec) {
      o.failures.push_back("copy " + src + ": " + ec.message());
      continue;
    }
    // The shared data are read-only; the scenario's copies are its own to write.
    auto writable = [](const fs::path& p) {
      std::error_code e;
      fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, e);
    };
    writable(dir / name);
    if (fs::is_directory(dir / name))
      for (const auto& entry : fs::recursive_directory_iterator(dir / name)) writable(entry.path());
  }
  if (!o.failures.empty()) return o;
  auto keys = screen::parse_key_script(sc.keys);
  if (!keys.ok()) {
    o.failures.push_back(keys.status().message());
    return o;
  }
  if (sc.launch == Scenario::Launch::Runner) {
    if (runner.empty() || !fs::exists(runner)) {
      o.failures.push_back("the runner " + runner.string() + " is not built");
      return o;
    }
    test::write_file(dir / "keys.txt", sc.keys);
    std::string cmd = "cd " + quote(dir.path().string()) + " && " + quote(runner.string()) +
                      " //headless //keys=keys.txt //dump=dump.txt";
    for (const std::string& a : sc.args) cmd += " " + quote(a);
    cmd += " > output.txt 2>&1 < /dev/null";
    int status = std::system(cmd.c_str());
    o.ran = true;
    o.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (fs::exists(dir / "output.txt")) o.output = test::read_file(dir / "output.txt");
    if (fs::exists(dir / "dump.txt")) o.checkpoints = read_dump(test::read_file(dir / "dump.txt"));
  } else {
    InDirectory in(dir.path());
    eval::Runtime rt;
    screen::register_screen(rt.registry());
    auto backend = screen::install_headless(rt, keys.value());
    try {
      if (sc.launch == Scenario::Launch::Module) {
        auto it = modules().find(sc.args[0]);
        if (it == modules().end()) {
          o.failures.push_back("no module \"" + sc.args[0] + "\"");
          return o;
        }
        o.exit_code = it->second(rt);
      } else {
        register_platform(rt.registry());
        eval::evaluate(rt, sc.expression);
      }
    } catch (const eval::Break&) {
      o.failures.push_back("the run ended with a break");
      o.exit_code = 1;
    }
    o.ran = true;
    o.checkpoints = backend->checkpoints();
    o.checkpoints.push_back(backend->snapshot("end"));
  }
  for (const Expectation& e : sc.expects) check(e, o, dir.path(), o.failures);
  return o;
}

}  // namespace kvel::scenario
