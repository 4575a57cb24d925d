// The family's table functions over the store: each one works on the
// selected area unless its arguments name another, and reports failures
// through the error handler as the table store's errors.
#include <strings.h>

#include <cctype>
#include <functional>

#include "platform/eval/eval.h"
#include "platform/rtl/files.h"
#include "platform/store/errors.h"
#include "platform/store/store.h"
#include "platform/store/table_ops.h"

namespace kvel::store {
namespace {

using eval::Args;
using eval::Runtime;
using eval::Value;

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  return s.substr(b);
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool has_extension(const std::string& name) {
  size_t dot = name.rfind('.');
  size_t sep = name.find_last_of("/\\:");
  return dot != std::string::npos && (sep == std::string::npos || dot > sep);
}

// The file name without directory and extension, as an alias.
std::string base_alias(const std::string& name) {
  size_t sep = name.find_last_of("/\\:");
  std::string b = sep == std::string::npos ? name : name.substr(sep + 1);
  size_t dot = b.rfind('.');
  if (dot != std::string::npos) b.resize(dot);
  return upper(b);
}

}  // namespace

std::string table_path(Runtime& rt, const std::string& name, const char* ext) {
  std::string n = trim(name);
  if (!has_extension(n)) n += ext;
  return rtl::resolve_name(rt, n).path;
}

namespace {

bool logical_arg(const Args& a, size_t i, bool dflt) {
  return a[i].is_logical() ? a[i].as_logical() : dflt;
}

// Runs a store operation, handing a failure to the error handler and
// running it again while the handler says retry.
bool run(Runtime& rt, const char* op, const std::function<os::Status()>& fn) {
  for (int tries = 0;; ++tries) {
    os::Status s = fn();
    if (s.ok()) return true;
    if (!raise_store(rt, error_of(s, op, tries)).is_retry()) return false;
  }
}

void no_table(Runtime& rt, const char* op) {
  StoreError e;
  e.gen = eval::kErrNoTable;
  e.sub = 2001;
  e.description = "work area not in use";
  e.operation = op;
  e.can_default = true;
  raise_store(rt, e);
}

// The selected area's table; without one the error is raised and nullptr
// returned.
WorkArea* need(Runtime& rt, const char* op) {
  WorkArea* a = store(rt).current();
  if (!a) no_table(rt, op);
  return a;
}

bool need_exclusive(Runtime& rt, WorkArea& a, const char* op) {
  if (!a.shared()) return true;
  StoreError e;
  e.gen = eval::kErrNotExclusive;
  e.sub = kSubExclusive;
  e.description = "exclusive required";
  e.operation = op;
  e.filename = a.dbf().path();
  e.can_default = true;
  raise_store(rt, e);
  return false;
}

bool need_lock(Runtime& rt, WorkArea& a, const char* op) {
  for (int tries = 0;; ++tries) {
    if (a.readonly()) {
      StoreError e{kGenReadonly, kSubReadonly, "write not allowed", op, a.dbf().path(), 0, false,
                   true,         tries};
      raise_store(rt, e);
      return false;
    }
    if (a.eof() || a.holds_lock(a.recno())) return true;
    StoreError e{kGenUnlocked, kSubUnlocked, "lock required", op, a.dbf().path(), 0, true,
                 true,         tries};
    if (!raise_store(rt, e).is_retry()) return false;
  }
}

// ---- areas -------------------------------------------------------------------

Value dbusearea(Runtime& rt, Args a) {
  Store& st = store(rt);
  st.net_err = false;
  if (logical_arg(a, 0, false)) {
    int n = st.lowest_free();
    if (n == 0) {
      StoreError e{eval::kErrLimit, 1000, "no free work area", "DBUSEAREA", "", 0, false, true, 0};
      raise_store(rt, e);
      return {};
    }
    st.select(n);
  } else {
    st.close(rt, st.selected());
  }
  if (!a[2].is_string()) {
    StoreError e{eval::kErrArg, 1003, "argument error", "DBUSEAREA", "", 0, false, true, 0};
    raise_store(rt, e);
    return {};
  }
  std::string path = table_path(rt, a[2].as_string(), ".dbf");
  std::string alias = a[3].is_string() && !trim(a[3].as_string()).empty()
                          ? upper(trim(a[3].as_string()))
                          : base_alias(trim(a[2].as_string()));
  int other = st.area_of(alias);
  if (other && other != st.selected()) {
    StoreError e{
        eval::kErrAliasInUse, 1011, "alias already in use", "DBUSEAREA", path, 0, false, true, 0};
    e.description += ": " + alias;
    raise_store(rt, e);
    return {};
  }
  bool shared = a[4].is_logical() ? a[4].as_logical() : !rt.settings().exclusive;
  bool readonly = logical_arg(a, 5, false);
  for (int tries = 0;; ++tries) {
    os::Status s = st.open(rt, st.selected(), path, alias, shared, readonly);
    if (s.ok()) return {};
    StoreError e = error_of(s, "DBUSEAREA", tries);
    if (e.gen != eval::kErrCorruption) {
      e.gen = eval::kErrOpen;
      e.sub = kSubOpen;
    }
    e.filename = path;
    e.can_retry = true;
    e.can_default = true;
    if (!raise_store(rt, e).is_retry()) return {};
  }
}

Value dbclosearea(Runtime& rt, Args) {
  Store& st = store(rt);
  st.close(rt, st.selected());
  return {};
}

Value dbcloseall(Runtime& rt, Args) {
  store(rt).close_all(rt);
  return {};
}

Value dbselectarea(Runtime& rt, Args a) {
  Store& st = store(rt);
  if (a[0].is_number()) {
    int n = static_cast<int>(a[0].as_int());
    st.select(n == 0 ? st.lowest_free() : n);
  } else if (a[0].is_string()) {
    std::string s = trim(a[0].as_string());
    if (s == "0") {
      st.select(st.lowest_free());
      return {};
    }
    int n = st.area_of(s);
    if (n == 0 && !s.empty() && std::isdigit(static_cast<unsigned char>(s[0]))) n = std::stoi(s);
    if (n == 0) {
      StoreError e{
          eval::kErrNoAlias, 1002, "alias does not exist", "DBSELECTAREA", "", 0, false, true, 0};
      e.description += ": " + s;
      raise_store(rt, e);
      return {};
    }
    st.select(n);
  }
  return {};
}

Value select_fn(Runtime& rt, Args a) {
  Store& st = store(rt);
  if (a[0].is_string()) {
    std::string s = trim(a[0].as_string());
    if (s.empty()) return Value::integer(st.selected());
    return Value::integer(st.area_of(s));
  }
  if (a[0].is_number()) return Value::integer(a[0].as_int());
  return Value::integer(st.selected());
}

Value alias_fn(Runtime& rt, Args a) {
  Store& st = store(rt);
  int n = a[0].is_number() ? static_cast<int>(a[0].as_int()) : st.selected();
  if (n == 0) n = st.selected();
  WorkArea* w = st.area(n);
  return Value::string(w ? w->alias() : std::string());
}

Value used(Runtime& rt, Args) { return Value::logical(store(rt).current() != nullptr); }

// ---- position ----------------------------------------------------------------

Value dbgoto(Runtime& rt, Args a) {
  WorkArea* w = need(rt, "DBGOTO");
  if (!w) return {};
  uint32_t n = a[0].is_number() && a[0].as_double() > 0 ? static_cast<uint32_t>(a[0].as_int()) : 0;
  run(rt, "DBGOTO", [&] {
    os::Status s = w->flush(rt);
    if (s.ok()) s = w->go_to(n);
    if (s.ok()) s = w->sync_relations(rt);
    return s;
  });
  return {};
}

Value dbgotop(Runtime& rt, Args) {
  WorkArea* w = need(rt, "DBGOTOP");
  if (w) run(rt, "DBGOTOP", [&] { return w->go_top(rt); });
  return {};
}

Value dbgobottom(Runtime& rt, Args) {
  WorkArea* w = need(rt, "DBGOBOTTOM");
  if (w) run(rt, "DBGOBOTTOM", [&] { return w->go_bottom(rt); });
  return {};
}

Value dbskip(Runtime& rt, Args a) {
  WorkArea* w = need(rt, "DBSKIP");
  int64_t n = a[0].is_number() ? a[0].as_int() : 1;
  if (w) run(rt, "DBSKIP", [&] { return w->skip(rt, n); });
  return {};
}

Value dbseek(Runtime& rt, Args a) {
  WorkArea* w = need(rt, "DBSEEK");
  if (!w) return Value::logical(false);
  if (w->order() == 0) {
    StoreError e{kGenNoOrder,
                 kSubNoOrder,
                 "work area not indexed",
                 "DBSEEK",
                 w->dbf().path(),
                 0,
                 false,
                 true,
                 0};
    raise_store(rt, e);
    return Value::logical(false);
  }
  bool soft = logical_arg(a, 1, rt.settings().softseek);
  bool last = logical_arg(a, 2, false);
  run(rt, "DBSEEK", [&] { return w->seek(rt, a[0], soft, last); });
  return Value::logical(w->found());
}

Value eof_fn(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::logical(!w || w->eof());
}

Value bof_fn(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::logical(!w || w->bof());
}

Value found(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::logical(w && w->found());
}

Value recno(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::integer(w ? w->recno() : 0);
}

Value reccount(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::integer(w ? w->count() : 0);
}

Value deleted(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::logical(w && w->deleted());
}

Value dbdelete(Runtime& rt, Args) {
  WorkArea* w = need(rt, "DBDELETE");
  if (w && need_lock(rt, *w, "DBDELETE"))
    run(rt, "DBDELETE", [&] { return w->set_deleted(rt, true); });
  return {};
}

Value dbrecall(Runtime& rt, Args) {
  WorkArea* w = need(rt, "DBRECALL");
  if (w && need_lock(rt, *w, "DBRECALL"))
    run(rt, "DBRECALL", [&] { return w->set_deleted(rt, false); });
  return {};
}

Value dbappend(Runtime& rt, Args a) {
  Store& st = store(rt);
  st.net_err = false;
  WorkArea* w = need(rt, "DBAPPEND");
  if (!w) return {};
  if (w->readonly()) {
    StoreError e{kGenReadonly,
                 kSubReadonly,
                 "write not allowed",
                 "DBAPPEND",
                 w->dbf().path(),
                 0,
                 false,
                 true,
                 0};
    raise_store(rt, e);
    return {};
  }
  (void)a;
  for (int tries = 0;; ++tries) {
    os::Status s = w->append_blank(rt);
    if (s.ok()) return {};
    StoreError e = error_of(s, "DBAPPEND", tries);
    if (s.dos() == os::kDosLockViolation) {
      e.gen = eval::kErrAppendLock;
      e.sub = kSubAppendLock;
      e.description = "append lock failed";
    }
    e.filename = w->dbf().path();
    if (!raise_store(rt, e).is_retry()) return {};
  }
}

Value dbcommit(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  if (w) run(rt, "DBCOMMIT", [&] { return w->commit(rt); });
  return {};
}

Value dbcommitall(Runtime& rt, Args) {
  Store& st = store(rt);
  for (int i = 1; i <= kMaxAreas; ++i)
    if (WorkArea* w = st.area(i)) run(rt, "DBCOMMITALL", [&] { return w->commit(rt); });
  return {};
}

// ---- locks -------------------------------------------------------------------

Value rlock(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::logical(false);
  if (w->eof()) return Value::logical(!w->shared());
  return Value::logical(w->lock_record(rt, w->recno(), true).ok());
}

Value dbrlock(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::logical(false);
  uint32_t rec = a[0].is_number() ? static_cast<uint32_t>(a[0].as_int()) : w->recno();
  if (rec < 1 || rec > w->count()) return Value::logical(!w->shared());
  // With a record number the area's other locks stay (a lock list).
  return Value::logical(w->lock_record(rt, rec, !a[0].is_number()).ok());
}

Value dbrunlock(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w) return {};
  if (a[0].is_number()) {
    (void)w->flush(rt);
    w->unlock_record(static_cast<uint32_t>(a[0].as_int()));
  } else {
    w->unlock_all(rt);
  }
  return {};
}

Value flock_fn(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::logical(false);
  return Value::logical(w->lock_table(rt).ok());
}

Value dbunlock(Runtime& rt, Args) {
  if (WorkArea* w = store(rt).current()) w->unlock_all(rt);
  return {};
}

Value dbunlockall(Runtime& rt, Args) {
  Store& st = store(rt);
  for (int i = 1; i <= kMaxAreas; ++i)
    if (WorkArea* w = st.area(i)) w->unlock_all(rt);
  return {};
}

Value dbrlocklist(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  Value out = Value::new_array();
  if (w) {
    for (uint32_t r : w->locked_records()) out.as_array()->items.push_back(Value::integer(r));
  }
  return out;
}

Value neterr(Runtime& rt, Args a) {
  Store& st = store(rt);
  bool old = st.net_err;
  if (a[0].is_logical()) st.net_err = a[0].as_logical();
  return Value::logical(old);
}

// ---- fields ------------------------------------------------------------------

Value fieldpos(Runtime& rt, Args a) {
  Store& st = store(rt);
  if (!a[0].is_string()) return Value::integer(0);
  return Value::integer(st.field_pos(st.selected(), a[0].as_string()));
}

Value fieldget(Runtime& rt, Args a) {
  Store& st = store(rt);
  Value out;
  if (a[0].is_number()) st.get(rt, st.selected(), static_cast<int>(a[0].as_int()), out);
  return out;
}

Value fieldput(Runtime& rt, Args a) {
  Store& st = store(rt);
  if (!a[0].is_number()) return {};
  if (st.put(rt, st.selected(), static_cast<int>(a[0].as_int()), a[1])) return a[1];
  return {};
}

Value fieldname(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w || !a[0].is_number()) return Value::string("");
  int64_t n = a[0].as_int();
  const auto& f = w->dbf().fields();
  if (n < 1 || n > static_cast<int64_t>(f.size())) return Value::string("");
  return Value::string(f[static_cast<size_t>(n - 1)].name);
}

Value fcount(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::integer(w ? static_cast<int64_t>(w->dbf().fields().size()) : 0);
}

Value dbstruct(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  Value out = Value::new_array();
  if (!w) return out;
  for (const FieldDef& f : w->dbf().fields()) {
    Value row = Value::new_array();
    auto& items = row.as_array()->items;
    items.push_back(Value::string(f.name));
    items.push_back(Value::string(std::string(1, f.type)));
    items.push_back(Value::integer(f.len));
    items.push_back(Value::integer(f.dec));
    out.as_array()->items.push_back(row);
  }
  return out;
}

Value recsize(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::integer(w ? w->dbf().record_len() : 0);
}

Value header_fn(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::integer(w ? w->dbf().header_len() : 0);
}

// ---- structure ---------------------------------------------------------------

}  // namespace

bool fields_from_array(const Value& v, std::vector<FieldDef>* out, std::string* why) {
  out->clear();
  if (!v.is_array()) {
    *why = "structure is not an array";
    return false;
  }
  for (const Value& row : v.as_array()->items) {
    if (!row.is_array() || row.as_array()->items.size() < 3) {
      *why = "malformed structure entry";
      return false;
    }
    const auto& it = row.as_array()->items;
    if (!it[0].is_string() || !it[1].is_string() || it[1].as_string().empty() ||
        !it[2].is_number()) {
      *why = "malformed structure entry";
      return false;
    }
    FieldDef f;
    f.name = upper(trim(it[0].as_string()));
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(it[1].as_string()[0])));
    f.len = static_cast<int>(it[2].as_int());
    f.dec = it.size() > 3 && it[3].is_number() ? static_cast<int>(it[3].as_int()) : 0;
    out->push_back(std::move(f));
  }
  return true;
}

os::Status create_table(const std::string& path, const std::vector<FieldDef>& fields) {
  os::Status s = Dbf::create(path, fields);
  if (!s.ok()) return s;
  bool memo = false;
  for (const FieldDef& f : fields)
    memo = memo || std::toupper(static_cast<unsigned char>(f.type)) == 'M';
  if (!memo) return {};
  std::string mp = path;
  size_t dot = mp.rfind('.');
  if (dot != std::string::npos && mp.find('/', dot) == std::string::npos) mp.resize(dot);
  bool lower = !path.empty() && std::islower(static_cast<unsigned char>(path.back()));
  return Dbt::create(mp + (lower ? ".dbt" : ".DBT"));
}

namespace {

Value dbcreate(Runtime& rt, Args a) {
  if (!a[0].is_string()) return Value::logical(false);
  std::string path = table_path(rt, a[0].as_string(), ".dbf");
  std::vector<FieldDef> fields;
  std::string why;
  if (!fields_from_array(a[1], &fields, &why)) {
    StoreError e{eval::kErrArg, 1003, why, "DBCREATE", path, 0, false, true, 0};
    raise_store(rt, e);
    return Value::logical(false);
  }
  for (int tries = 0;; ++tries) {
    os::Status s = create_table(path, fields);
    if (s.ok()) break;
    if (!raise_store(rt, create_error(s, "DBCREATE", path, tries)).is_retry())
      return Value::logical(false);
  }
  if (a[3].is_logical()) {
    Value args[6] = {
        a[3], Value(), a[0], a[4], Value::logical(!rt.settings().exclusive), Value::logical(false)};
    dbusearea(rt, Args(args, 6));
  }
  return Value::logical(true);
}

// ---- filter and relations ----------------------------------------------------

Value dbsetfilter(Runtime& rt, Args a) {
  WorkArea* w = need(rt, "DBSETFILTER");
  if (!w) return {};
  std::string text = a[1].is_string() ? a[1].as_string() : std::string();
  Value block = a[0].is_block() ? a[0] : Value();
  if (block.is_nil() && !trim(text).empty()) block = eval::compile_block(rt, text);
  if (block.is_nil()) {
    w->clear_filter();
  } else {
    w->set_filter(block, text);
  }
  return {};
}

Value dbclearfilter(Runtime& rt, Args) {
  if (WorkArea* w = store(rt).current()) w->clear_filter();
  return {};
}

Value dbfilter(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::string(w ? w->filter_text() : std::string());
}

Value dbsetrelation(Runtime& rt, Args a) {
  Store& st = store(rt);
  WorkArea* w = need(rt, "DBSETRELATION");
  if (!w) return {};
  int child = 0;
  if (a[0].is_number()) child = static_cast<int>(a[0].as_int());
  if (a[0].is_string()) child = st.area_of(a[0].as_string());
  if (!st.area(child)) {
    StoreError e{
        eval::kErrNoAlias, 1002, "alias does not exist", "DBSETRELATION", "", 0, false, true, 0};
    raise_store(rt, e);
    return {};
  }
  std::string text = a[2].is_string() ? a[2].as_string() : std::string();
  Value block = a[1].is_block() ? a[1] : eval::compile_block(rt, text);
  w->relations().push_back({child, block, text});
  run(rt, "DBSETRELATION", [&] { return w->sync_relations(rt); });
  return {};
}

Value dbclearrelation(Runtime& rt, Args) {
  if (WorkArea* w = store(rt).current()) w->relations().clear();
  return {};
}

Value dbrelation(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  size_t n = a[0].is_number() ? static_cast<size_t>(a[0].as_int()) : 1;
  if (!w || n < 1 || n > w->relations().size()) return Value::string("");
  return Value::string(w->relations()[n - 1].text);
}

Value dbrselect(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  size_t n = a[0].is_number() ? static_cast<size_t>(a[0].as_int()) : 1;
  if (!w || n < 1 || n > w->relations().size()) return Value::integer(0);
  return Value::integer(w->relations()[n - 1].child);
}

// ---- orders ------------------------------------------------------------------

Value ordlistadd(Runtime& rt, Args a) {
  WorkArea* w = need(rt, "ORDLISTADD");
  if (!w || !a[0].is_string()) return {};
  std::string path = table_path(rt, a[0].as_string(), ".ntx");
  for (int tries = 0;; ++tries) {
    os::Status s = w->add_index(rt, path);
    if (s.ok()) return {};
    StoreError e = error_of(s, "ORDLISTADD", tries);
    if (e.gen != eval::kErrCorruption) {
      e.gen = eval::kErrOpen;
      e.sub = kSubOpen;
    }
    e.filename = path;
    e.can_retry = e.can_default = true;
    if (!raise_store(rt, e).is_retry()) return {};
  }
}

Value ordlistclear(Runtime& rt, Args) {
  if (WorkArea* w = store(rt).current()) {
    (void)w->flush(rt);
    w->clear_indexes();
  }
  return {};
}

Value create_index(Runtime& rt, const Value& bag, const Value& order_name, const Value& key_text,
                   const Value& key_block, const Value& unique, const char* op) {
  WorkArea* w = need(rt, op);
  if (!w || !bag.is_string()) return {};
  IndexSpec spec;
  spec.path = table_path(rt, bag.as_string(), ".ntx");
  spec.key_text = key_text.is_string() ? trim(key_text.as_string()) : std::string();
  spec.key_block = key_block.is_block() ? key_block : Value();
  if (order_name.is_string()) spec.order_name = order_name.as_string();
  if (spec.key_text.empty() && spec.key_block.is_nil()) {
    StoreError e{eval::kErrArg, 1003, "no key expression", op, spec.path, 0, false, true, 0};
    raise_store(rt, e);
    return {};
  }
  spec.unique = unique.is_logical() ? unique.as_logical() : rt.settings().unique;
  for (int tries = 0;; ++tries) {
    os::Status s = w->create_index(rt, spec);
    if (s.ok()) return {};
    StoreError e = error_of(s, op, tries);
    if (s.dos() == os::kDosSharingViolation) {
      e.gen = eval::kErrOpen;
      e.sub = kSubOpen;
    } else if (e.gen != eval::kErrLock) {
      e.gen = eval::kErrCreate;
      e.sub = kSubCreate;
    }
    e.filename = spec.path;
    e.can_retry = e.can_default = true;
    if (!raise_store(rt, e).is_retry()) return {};
  }
}

// ORDCREATE(bag, order name, key text, key block, unique)
Value ordcreate(Runtime& rt, Args a) {
  return create_index(rt, a[0], a[1], a[2], a[3], a[4], "ORDCREATE");
}

// DBCREATEINDEX(file, key text, key block, unique)
Value dbcreateindex(Runtime& rt, Args a) {
  return create_index(rt, a[0], Value(), a[1], a[2], a[3], "DBCREATEINDEX");
}

Value dbreindex(Runtime& rt, Args) {
  WorkArea* w = need(rt, "DBREINDEX");
  if (w) run(rt, "DBREINDEX", [&] { return w->reindex(rt); });
  return {};
}

Value indexkey(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::string("");
  int n = a[0].is_number() ? static_cast<int>(a[0].as_int()) : 0;
  Order* o = w->order_at(n == 0 ? w->order() : n);
  return Value::string(o ? o->ntx->header().key_expr : std::string());
}

Value indexord(Runtime& rt, Args) {
  WorkArea* w = store(rt).current();
  return Value::integer(w ? w->order() : 0);
}

Value dbsetorder(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (w && a[0].is_number()) {
    (void)w->flush(rt);
    w->set_order(static_cast<int>(a[0].as_int()));
  }
  return {};
}

// An order given by number or by name; 0 when the name is not open.
int order_of(WorkArea& w, const Value& v) {
  if (v.is_string()) return w.order_number(v.as_string());
  return static_cast<int>(v.as_int());
}

// ORDSETFOCUS([order number or name]): the name of the order in force
// before; the new one when given.
Value ordsetfocus(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::string("");
  std::string old = w->order_name(w->order());
  if (a[0].is_number() || a[0].is_string()) {
    (void)w->flush(rt);
    w->set_order(order_of(*w, a[0]));
  }
  return Value::string(old);
}

// ORDNAME(order number): the order's name, "" when there is none.
Value ordname(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::string("");
  int n = a[0].is_number() ? static_cast<int>(a[0].as_int()) : w->order();
  return Value::string(w->order_name(n));
}

// ORDNUMBER(order name): its position in the index list, 0 when not open.
Value ordnumber(Runtime& rt, Args a) {
  WorkArea* w = store(rt).current();
  if (!w) return Value::integer(0);
  if (!a[0].is_string()) return Value::integer(w->order());
  return Value::integer(w->order_number(a[0].as_string()));
}

// ---- whole table -------------------------------------------------------------

Value dbpack(Runtime& rt, Args) {
  WorkArea* w = need(rt, "PACK");
  if (w && need_exclusive(rt, *w, "PACK")) run(rt, "PACK", [&] { return w->pack(rt); });
  return {};
}

Value dbzap(Runtime& rt, Args) {
  WorkArea* w = need(rt, "ZAP");
  if (w && need_exclusive(rt, *w, "ZAP")) run(rt, "ZAP", [&] { return w->zap(rt); });
  return {};
}

bool truthy(Runtime& rt, const Value& block) {
  if (block.is_nil()) return true;
  Value v = eval::call_block(rt, block);
  return v.is_logical() && v.as_logical();
}

// DBEVAL(block, for, while, next, record, rest)
Value dbeval(Runtime& rt, Args a) {
  WorkArea* w = need(rt, "DBEVAL");
  if (!w || !a[0].is_block()) return {};
  const Value block = a[0], cond_for = a[1], cond_while = a[2];
  if (a[4].is_number()) {
    if (!run(rt, "DBEVAL", [&] {
          os::Status s = w->flush(rt);
          return s.ok() ? w->go_to(static_cast<uint32_t>(a[4].as_int())) : s;
        }))
      return {};
    if (!w->eof() && truthy(rt, cond_for)) eval::call_block(rt, block);
    return {};
  }
  bool rest = logical_arg(a, 5, false);
  int64_t next = a[3].is_number() ? a[3].as_int() : -1;
  if (!rest && next < 0 && cond_while.is_nil()) {
    if (!run(rt, "DBEVAL", [&] { return w->go_top(rt); })) return {};
  }
  Store& st = store(rt);
  int area = w->number();
  for (int64_t done = 0; !w->eof() && (next < 0 || done < next); ++done) {
    if (!truthy(rt, cond_while)) break;
    if (truthy(rt, cond_for)) eval::call_block(rt, block);
    // The block may have closed the table or selected another area.
    if (st.area(area) != w) return {};
    if (!run(rt, "DBEVAL", [&] { return w->skip(rt, 1); })) break;
  }
  return {};
}

}  // namespace

void register_store(eval::Registry& reg) {
  reg.function("DBUSEAREA", dbusearea);
  reg.function("DBCLOSEAREA", dbclosearea);
  reg.function("DBCLOSEALL", dbcloseall);
  reg.function("DBSELECTAREA", dbselectarea);
  reg.function("SELECT", select_fn);
  reg.function("ALIAS", alias_fn);
  reg.function("USED", used);
  reg.function("DBGOTO", dbgoto);
  reg.function("DBGOTOP", dbgotop);
  reg.function("DBGOBOTTOM", dbgobottom);
  reg.function("DBSKIP", dbskip);
  reg.function("DBSEEK", dbseek);
  reg.function("EOF", eof_fn);
  reg.function("BOF", bof_fn);
  reg.function("FOUND", found);
  reg.function("RECNO", recno);
  reg.function("RECCOUNT", reccount);
  reg.function("LASTREC", reccount);
  reg.function("DELETED", deleted);
  reg.function("DBDELETE", dbdelete);
  reg.function("DBRECALL", dbrecall);
  reg.function("DBAPPEND", dbappend);
  reg.function("DBCOMMIT", dbcommit);
  reg.function("DBCOMMITALL", dbcommitall);
  reg.function("RLOCK", rlock);
  reg.function("DBRLOCK", dbrlock);
  reg.function("DBRUNLOCK", dbrunlock);
  reg.function("FLOCK", flock_fn);
  reg.function("DBUNLOCK", dbunlock);
  reg.function("DBUNLOCKALL", dbunlockall);
  reg.function("DBRLOCKLIST", dbrlocklist);
  reg.function("NETERR", neterr);
  reg.function("FIELDPOS", fieldpos);
  reg.function("FIELDGET", fieldget);
  reg.function("FIELDPUT", fieldput);
  reg.function("FIELDNAME", fieldname);
  reg.function("FIELD", fieldname);
  reg.function("FCOUNT", fcount);
  reg.function("DBSTRUCT", dbstruct);
  reg.function("RECSIZE", recsize);
  reg.function("HEADER", header_fn);
  reg.function("DBCREATE", dbcreate);
  reg.function("DBSETFILTER", dbsetfilter);
  reg.function("DBCLEARFILTER", dbclearfilter);
  reg.function("DBFILTER", dbfilter);
  reg.function("DBSETRELATION", dbsetrelation);
  reg.function("DBCLEARRELATION", dbclearrelation);
  reg.function("DBCLEARREL", dbclearrelation);
  reg.function("DBRELATION", dbrelation);
  reg.function("DBRSELECT", dbrselect);
  reg.function("ORDLISTADD", ordlistadd);
  reg.function("ORDLISTCLEAR", ordlistclear);
  reg.function("DBCLEARINDEX", ordlistclear);
  reg.function("ORDCREATE", ordcreate);
  reg.function("DBCREATEINDEX", dbcreateindex);
  reg.function("DBREINDEX", dbreindex);
  reg.function("ORDLISTREBUILD", dbreindex);
  reg.function("INDEXKEY", indexkey);
  reg.function("INDEXORD", indexord);
  reg.function("DBSETORDER", dbsetorder);
  reg.function("ORDSETFOCUS", ordsetfocus);
  reg.function("ORDNAME", ordname);
  reg.function("ORDNUMBER", ordnumber);
  reg.function("__DBPACK", dbpack);
  reg.function("__DBZAP", dbzap);
  reg.function("DBPACK", dbpack);
  reg.function("DBZAP", dbzap);
  reg.function("DBEVAL", dbeval);
  register_transfer(reg);
}

}  // namespace kvel::store
