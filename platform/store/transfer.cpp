// Copying records between tables and text files (COPY TO, APPEND FROM with
// field lists and FOR/WHILE/NEXT/RECORD/REST scopes, fixed-width and
// delimited text) and the structure table (COPY STRUCTURE EXTENDED form).
#include <strings.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/eval/eval.h"
#include "platform/store/codec.h"
#include "platform/store/errors.h"
#include "platform/store/store.h"
#include "platform/store/table_ops.h"

namespace kvel::store {
namespace {

using eval::Args;
using eval::Runtime;
using eval::Value;

struct Scope {
  Value cond_for, cond_while;
  int64_t next = -1;
  int64_t record = 0;
  bool rest = false;
};

Scope scope_from(const Args& a, size_t first) {
  Scope s;
  s.cond_for = a[first];
  s.cond_while = a[first + 1];
  if (a[first + 2].is_number()) s.next = a[first + 2].as_int();
  if (a[first + 3].is_number()) s.record = a[first + 3].as_int();
  s.rest = a[first + 4].is_logical() && a[first + 4].as_logical();
  return s;
}

bool holds(Runtime& rt, Store& st, int area, const Value& block) {
  if (!block.is_block()) return true;
  Value v = st.eval_in(rt, area, block);
  return v.is_logical() && v.as_logical();
}

// Calls fn for each record of the scope in area w; false on a failure
// already reported.
bool for_each(Runtime& rt, WorkArea& w, const Scope& sc, const std::function<bool()>& fn) {
  Store& st = store(rt);
  auto report = [&](const os::Status& s, const char* op) {
    if (s.ok()) return true;
    raise_store(rt, error_of(s, op));
    return false;
  };
  if (sc.record > 0) {
    if (!report(w.go_to(static_cast<uint32_t>(sc.record)), "COPY")) return false;
    if (!w.eof() && holds(rt, st, w.number(), sc.cond_for)) return fn();
    return true;
  }
  if (!sc.rest && sc.next < 0 && !sc.cond_while.is_block()) {
    if (!report(w.go_top(rt), "COPY")) return false;
  }
  for (int64_t done = 0; !w.eof() && (sc.next < 0 || done < sc.next); ++done) {
    if (!holds(rt, st, w.number(), sc.cond_while)) break;
    if (holds(rt, st, w.number(), sc.cond_for) && !fn()) return false;
    if (!report(w.skip(rt, 1), "COPY")) return false;
  }
  return true;
}

// Field positions (0-based) named by a list, or every field.
std::vector<int> chosen(const Dbf& dbf, const Value& list) {
  std::vector<int> out;
  if (list.is_array() && !list.as_array()->items.empty()) {
    for (const Value& v : list.as_array()->items) {
      if (!v.is_string()) continue;
      std::string name = v.as_string();
      size_t arrow = name.find("->");
      if (arrow != std::string::npos) name = name.substr(arrow + 2);
      int i = dbf.field_index(name);
      if (i >= 0) out.push_back(i);
    }
  } else {
    for (size_t i = 0; i < dbf.fields().size(); ++i) out.push_back(static_cast<int>(i));
  }
  return out;
}

// Opens a table in the lowest free area for the length of a copy.
class TempArea {
 public:
  TempArea(Runtime& rt, const std::string& path, bool shared, bool readonly) : rt_(rt) {
    Store& st = store(rt);
    n_ = st.lowest_free();
    if (n_ == 0) {
      status_ = os::Status::failure(os::kDosTooManyOpen, "no free work area");
      return;
    }
    status_ = st.open(rt, n_, path, "__COPY" + std::to_string(n_), shared, readonly);
  }
  ~TempArea() {
    if (n_) store(rt_).close(rt_, n_);
  }
  WorkArea* area() const { return status_.ok() ? store(rt_).area(n_) : nullptr; }
  const os::Status& status() const { return status_; }

 private:
  Runtime& rt_;
  int n_ = 0;
  os::Status status_;
};

void open_failed(Runtime& rt, const os::Status& s, const std::string& path, const char* op) {
  StoreError e = error_of(s, op);
  e.gen = eval::kErrOpen;
  e.sub = kSubOpen;
  e.filename = path;
  e.can_default = true;
  raise_store(rt, e);
}

// Copies the fields of the same name from the current record of `from`
// into that of `to`; values that do not fit their field are cut.
void copy_record(Runtime& rt, WorkArea& from, WorkArea& to, const std::vector<int>& fields) {
  for (int f : fields) {
    const std::string& name = from.dbf().fields()[static_cast<size_t>(f)].name;
    int t = to.dbf().field_index(name);
    if (t < 0) continue;
    auto v = from.get(f);
    if (!v.ok()) {
      raise_store(rt, error_of(v.status(), "COPY"));
      continue;
    }
    std::string why;
    bool width = false;
    (void)to.put(rt, t, *v, &why, &width);
  }
  if (from.deleted()) (void)to.set_deleted(rt, true);
}

Value dbcopy(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w || !a[0].is_string()) return {};
  std::string path = table_path(rt, a[0].as_string(), ".dbf");
  std::vector<int> fields = chosen(w->dbf(), a[1]);
  std::vector<FieldDef> defs;
  for (int f : fields) defs.push_back(w->dbf().fields()[static_cast<size_t>(f)]);
  os::Status s = create_table(path, defs);
  if (!s.ok()) {
    raise_store(rt, create_error(s, "COPY", path));
    return {};
  }
  TempArea out(rt, path, false, false);
  if (!out.area()) {
    open_failed(rt, out.status(), path, "COPY");
    return {};
  }
  for_each(rt, *w, scope_from(a, 2), [&] {
    os::Status as = out.area()->append_blank(rt);
    if (!as.ok()) {
      raise_store(rt, error_of(as, "COPY"));
      return false;
    }
    copy_record(rt, *w, *out.area(), fields);
    return true;
  });
  (void)out.area()->commit(rt);
  return {};
}

Value dbapp(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w || !a[0].is_string()) return {};
  std::string path = table_path(rt, a[0].as_string(), ".dbf");
  TempArea in(rt, path, true, true);
  if (!in.area()) {
    open_failed(rt, in.status(), path, "APPEND");
    return {};
  }
  std::vector<int> fields = chosen(in.area()->dbf(), a[1]);
  for_each(rt, *in.area(), scope_from(a, 2), [&] {
    os::Status as = w->append_blank(rt);
    if (!as.ok()) {
      raise_store(rt, error_of(as, "APPEND"));
      return false;
    }
    copy_record(rt, *in.area(), *w, fields);
    return true;
  });
  (void)w->flush(rt);
  return {};
}

// ---- text files ----------------------------------------------------------------

// A field as text: the stored characters for fixed width, trimmed for
// delimited files (character fields quoted).
std::string field_text(WorkArea& w, int f, bool delimited, const std::string& quote) {
  const FieldDef& d = w.dbf().fields()[static_cast<size_t>(f)];
  std::string raw(w.buffer() + d.offset, static_cast<size_t>(d.len));
  if (d.type == 'M') return delimited ? quote + quote : std::string();
  if (d.type == 'L')
    raw = (raw[0] == 'T' || raw[0] == 't' || raw[0] == 'Y' || raw[0] == 'y') ? "T" : "F";
  if (!delimited) return raw;
  if (d.type == 'C') {
    while (!raw.empty() && raw.back() == ' ') raw.pop_back();
    return quote + raw + quote;
  }
  size_t b = raw.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : raw.substr(b);
}

void put_text(Runtime& rt, WorkArea& w, int f, const std::string& text) {
  const FieldDef& d = w.dbf().fields()[static_cast<size_t>(f)];
  Value v;
  switch (d.type) {
    case 'C':
      v = Value::string(text);
      break;
    case 'N':
      v = Value::number(parse_number(text.data(), text.size()), d.len, d.dec);
      break;
    case 'D': {
      std::string t = text;
      t.resize(8, ' ');
      v = Value::date(parse_dtos(t.data()));
      break;
    }
    case 'L': {
      char c =
          text.empty() ? 'F' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
      v = Value::logical(c == 'T' || c == 'Y');
      break;
    }
    default:
      return;
  }
  std::string why;
  bool width = false;
  (void)w.put(rt, f, v, &why, &width);
}

// The fields of one delimited line: separated by commas, quoted texts may
// hold commas.
std::vector<std::string> split_delimited(const std::string& line, char quote, bool blank) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i <= line.size()) {
    std::string field;
    if (blank) {
      while (i < line.size() && line[i] == ' ') ++i;
      if (i >= line.size()) break;
      while (i < line.size() && line[i] != ' ') field.push_back(line[i++]);
      out.push_back(field);
      continue;
    }
    if (i < line.size() && line[i] == quote) {
      ++i;
      while (i < line.size() && line[i] != quote) field.push_back(line[i++]);
      ++i;
      while (i < line.size() && line[i] != ',') ++i;
    } else {
      while (i < line.size() && line[i] != ',') field.push_back(line[i++]);
    }
    out.push_back(field);
    ++i;
  }
  return out;
}

bool read_lines(Runtime& rt, const std::string& path, std::vector<std::string>* lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    open_failed(rt, os::Status::from_errno(ENOENT, "open " + path), path, "APPEND");
    return false;
  }
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t eof = all.find('\x1A');
  if (eof != std::string::npos) all.resize(eof);
  std::string line;
  for (size_t i = 0; i < all.size(); ++i) {
    char c = all[i];
    if (c == '\n' || c == '\r') {
      lines->push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < all.size() && all[i + 1] == '\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines->push_back(line);
  return true;
}

// Export (to a text file) or import (append from one) of fixed-width or
// delimited text.
void text_transfer(Runtime& rt, bool out, const std::string& name, bool delimited,
                   const std::string& delim, const Value& list, const Scope& sc) {
  WorkArea* w = store(rt).current();
  if (!w) return;
  std::string path = table_path(rt, name, ".txt");
  std::vector<int> fields = chosen(w->dbf(), list);
  bool blank = delimited && strcasecmp(delim.c_str(), "BLANK") == 0;
  std::string quote = blank ? "" : (delim.empty() ? "\"" : delim.substr(0, 1));
  if (out) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) {
      StoreError e{eval::kErrCreate, kSubCreate, "cannot create", "COPY", path, 0, false, true, 0};
      raise_store(rt, e);
      return;
    }
    for_each(rt, *w, sc, [&] {
      std::string line;
      for (size_t i = 0; i < fields.size(); ++i) {
        if (delimited && i) line += blank ? " " : ",";
        line += field_text(*w, fields[i], delimited, quote);
      }
      f << line << "\r\n";
      return true;
    });
    f << '\x1A';
    return;
  }
  std::vector<std::string> lines;
  if (!read_lines(rt, path, &lines)) return;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    os::Status as = w->append_blank(rt);
    if (!as.ok()) {
      raise_store(rt, error_of(as, "APPEND"));
      return;
    }
    if (delimited) {
      std::vector<std::string> parts = split_delimited(line, quote.empty() ? '"' : quote[0], blank);
      for (size_t i = 0; i < fields.size() && i < parts.size(); ++i)
        put_text(rt, *w, fields[i], parts[i]);
    } else {
      size_t at = 0;
      for (int f : fields) {
        const FieldDef& d = w->dbf().fields()[static_cast<size_t>(f)];
        if (d.type == 'M') continue;
        std::string part = at < line.size() ? line.substr(at, static_cast<size_t>(d.len)) : "";
        at += static_cast<size_t>(d.len);
        put_text(rt, *w, f, part);
      }
    }
  }
  (void)w->flush(rt);
}

// __DBSDF(export, file, fields, for, while, next, record, rest)
Value dbsdf(Runtime& rt, Args a) {
  if (a[1].is_string())
    text_transfer(rt, a[0].is_logical() && a[0].as_logical(), a[1].as_string(), false, "", a[2],
                  scope_from(a, 3));
  return {};
}

// __DBDELIM(export, file, delimiter, fields, for, while, next, record, rest)
Value dbdelim(Runtime& rt, Args a) {
  if (a[1].is_string())
    text_transfer(rt, a[0].is_logical() && a[0].as_logical(), a[1].as_string(), true,
                  a[2].is_string() ? a[2].as_string() : "", a[3], scope_from(a, 4));
  return {};
}

// ---- structures ----------------------------------------------------------------

// __DBCOPYSTRUCT(file, fields)
Value dbcopystruct(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w || !a[0].is_string()) return {};
  std::vector<FieldDef> defs;
  for (int f : chosen(w->dbf(), a[1])) defs.push_back(w->dbf().fields()[static_cast<size_t>(f)]);
  std::string path = table_path(rt, a[0].as_string(), ".dbf");
  os::Status s = create_table(path, defs);
  if (!s.ok()) raise_store(rt, error_of(s, "COPY STRUCTURE"));
  return {};
}

// __DBCOPYXSTRUCT(file): one record per field of the current table.
Value dbcopyxstruct(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w || !a[0].is_string()) return {};
  std::string path = table_path(rt, a[0].as_string(), ".dbf");
  std::vector<FieldDef> xs = {{"FIELD_NAME", 'C', 10, 0, 0},
                              {"FIELD_TYPE", 'C', 1, 0, 0},
                              {"FIELD_LEN", 'N', 3, 0, 0},
                              {"FIELD_DEC", 'N', 3, 0, 0}};
  os::Status s = Dbf::create(path, xs);
  if (!s.ok()) {
    raise_store(rt, error_of(s, "COPY STRUCTURE EXTENDED"));
    return {};
  }
  std::vector<FieldDef> fields = w->dbf().fields();
  TempArea out(rt, path, false, false);
  if (!out.area()) {
    open_failed(rt, out.status(), path, "COPY STRUCTURE EXTENDED");
    return {};
  }
  for (const FieldDef& f : fields) {
    WorkArea& o = *out.area();
    if (!o.append_blank(rt).ok()) break;
    std::string why;
    bool width = false;
    // A character field longer than 999 keeps its high byte in FIELD_DEC.
    int len = f.type == 'C' && f.len > 255 ? f.len % 256 : f.len;
    int dec = f.type == 'C' && f.len > 255 ? f.len / 256 : f.dec;
    o.put(rt, 0, Value::string(f.name), &why, &width);
    o.put(rt, 1, Value::string(std::string(1, f.type)), &why, &width);
    o.put(rt, 2, Value::integer(len), &why, &width);
    o.put(rt, 3, Value::integer(dec), &why, &width);
  }
  (void)out.area()->commit(rt);
  return {};
}

// __DBCREATE(file, from, driver, new area, alias): a table from a structure table.
Value dbcreatefrom(Runtime& rt, Args a) {
  Store& st = store(rt);
  if (!a[0].is_string() || !a[1].is_string()) return {};
  std::string from = table_path(rt, a[1].as_string(), ".dbf");
  std::vector<FieldDef> defs;
  {
    TempArea in(rt, from, true, true);
    if (!in.area()) {
      open_failed(rt, in.status(), from, "CREATE FROM");
      return {};
    }
    WorkArea& x = *in.area();
    int fn = x.dbf().field_index("FIELD_NAME"), ft = x.dbf().field_index("FIELD_TYPE");
    int fl = x.dbf().field_index("FIELD_LEN"), fd = x.dbf().field_index("FIELD_DEC");
    if (fn < 0 || ft < 0 || fl < 0) {
      StoreError e{eval::kErrCorruption,
                   kSubCorrupt,
                   "not a structure table",
                   "CREATE FROM",
                   from,
                   0,
                   false,
                   true,
                   0};
      raise_store(rt, e);
      return {};
    }
    for (os::Status s = x.go_to(1); s.ok() && !x.eof(); s = x.go_to(x.recno() + 1)) {
      FieldDef f;
      auto name = x.get(fn), type = x.get(ft), len = x.get(fl);
      if (!name.ok() || !type.ok() || !len.ok()) break;
      f.name = name->as_string();
      while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
      f.type = type->as_string().empty() ? 'C' : type->as_string()[0];
      f.len = static_cast<int>(len->as_int());
      if (fd >= 0) {
        auto dec = x.get(fd);
        if (dec.ok()) f.dec = static_cast<int>(dec->as_int());
      }
      if (f.type == 'C' && f.dec > 0) {
        f.len += f.dec * 256;
        f.dec = 0;
      }
      defs.push_back(f);
    }
  }
  std::string path = table_path(rt, a[0].as_string(), ".dbf");
  os::Status s = create_table(path, defs);
  if (!s.ok()) {
    raise_store(rt, create_error(s, "CREATE FROM", path));
    return {};
  }
  // The new table is opened, in a new area when asked.
  if (a[3].is_logical() && a[3].as_logical()) st.select(st.lowest_free());
  std::string alias = a[4].is_string() ? a[4].as_string() : std::string();
  if (alias.empty()) {
    size_t sep = path.find_last_of('/');
    alias = path.substr(sep == std::string::npos ? 0 : sep + 1);
    size_t dot = alias.rfind('.');
    if (dot != std::string::npos) alias.resize(dot);
  }
  for (char& c : alias) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  s = st.open(rt, st.selected(), path, alias, !rt.settings().exclusive, false);
  if (!s.ok()) open_failed(rt, s, path, "CREATE FROM");
  return {};
}

}  // namespace

void register_transfer(eval::Registry& reg) {
  reg.function("__DBCOPY", dbcopy);
  reg.function("__DBAPP", dbapp);
  reg.function("__DBSDF", dbsdf);
  reg.function("__DBDELIM", dbdelim);
  reg.function("__DBCOPYSTRUCT", dbcopystruct);
  reg.function("__DBCOPYXSTRUCT", dbcopyxstruct);
  reg.function("__DBCREATE", dbcreatefrom);
}

}  // namespace kvel::store
