#include "platform/store/store.h"

#include <strings.h>

#include <cctype>

#include "platform/eval/eval.h"
#include "platform/store/errors.h"

namespace kvel::store {

eval::Answer raise_store(eval::Runtime& rt, const StoreError& s) {
  eval::ErrorObject e;
  e.severity = eval::kSeverityError;
  e.subsystem = kSubsystem;
  e.gen_code = s.gen;
  e.sub_code = s.sub;
  e.description = s.description;
  e.operation = s.operation;
  e.filename = s.filename;
  e.os_code = s.os_code;
  e.can_retry = s.can_retry;
  e.can_default = s.can_default;
  e.tries = s.tries;
  return rt.raise(e);
}

StoreError error_of(const os::Status& st, std::string operation, int tries) {
  StoreError e;
  e.operation = std::move(operation);
  e.description = st.message();
  e.os_code = st.dos();
  e.tries = tries;
  const std::string& m = st.message();
  size_t colon = m.find(": ");
  if (colon != std::string::npos) {
    std::string head = m.substr(0, colon);
    size_t sp = head.rfind(' ');
    e.filename = sp == std::string::npos ? head : head.substr(sp + 1);
  }
  if (st.dos() == os::kDosLockViolation) {
    e.gen = eval::kErrLock;
    e.sub = kSubLockTimeout;
    e.can_retry = true;
    e.can_default = true;
  } else if (m.find("corrupt") != std::string::npos || m.find("truncated") != std::string::npos ||
             m.find("broken") != std::string::npos) {
    e.gen = eval::kErrCorruption;
    e.sub = kSubCorrupt;
    e.can_default = true;
  } else if (m.rfind("write", 0) == 0) {
    e.gen = eval::kErrWrite;
    e.sub = kSubWrite;
    e.can_retry = true;
    e.can_default = true;
  } else {
    e.gen = eval::kErrRead;
    e.sub = kSubRead;
    e.can_retry = true;
    e.can_default = true;
  }
  return e;
}

StoreError create_error(const os::Status& s, std::string operation, const std::string& path,
                        int tries) {
  StoreError e = error_of(s, std::move(operation), tries);
  e.gen = eval::kErrCreate;
  e.sub = kSubCreate;
  e.filename = path;
  return e;
}

Store::Store() { areas_.resize(kMaxAreas + 1); }

Store::~Store() = default;

void Store::select(int area) {
  if (area >= 1 && area <= kMaxAreas) selected_ = area;
}

WorkArea* Store::area(int n) const {
  if (n < 1 || n > kMaxAreas) return nullptr;
  return areas_[static_cast<size_t>(n)].get();
}

int Store::lowest_free() const {
  for (int i = 1; i <= kMaxAreas; ++i)
    if (!areas_[static_cast<size_t>(i)]) return i;
  return 0;
}

int Store::area_of(std::string_view alias) const {
  while (!alias.empty() && alias.back() == ' ') alias.remove_suffix(1);
  while (!alias.empty() && alias.front() == ' ') alias.remove_prefix(1);
  if (alias.empty()) return 0;
  if (std::isdigit(static_cast<unsigned char>(alias[0]))) {
    int n = 0;
    for (char c : alias) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
      n = n * 10 + (c - '0');
      if (n > kMaxAreas) return 0;
    }
    return area(n) ? n : 0;
  }
  for (int i = 1; i <= kMaxAreas; ++i) {
    const auto& a = areas_[static_cast<size_t>(i)];
    if (a && a->alias().size() == alias.size() &&
        strncasecmp(a->alias().data(), alias.data(), alias.size()) == 0)
      return i;
  }
  return 0;
}

uint32_t Store::layout(int n) const {
  WorkArea* a = area(n);
  return a ? a->layout() : 0;
}

int Store::field_pos(int n, std::string_view name) const {
  WorkArea* a = area(n);
  if (!a) return 0;
  return a->dbf().field_index(name) + 1;
}

bool Store::get(eval::Runtime& rt, int n, int pos, eval::Value& out) {
  WorkArea* a = area(n);
  if (!a || pos < 1 || pos > static_cast<int>(a->dbf().fields().size())) return false;
  for (int tries = 0;; ++tries) {
    auto v = a->get(pos - 1);
    if (v.ok()) {
      out = std::move(*v);
      return true;
    }
    StoreError e =
        error_of(v.status(), a->dbf().fields()[static_cast<size_t>(pos - 1)].name, tries);
    if (!raise_store(rt, e).is_retry()) return false;
  }
}

bool Store::put(eval::Runtime& rt, int n, int pos, const eval::Value& v) {
  WorkArea* a = area(n);
  if (!a || pos < 1 || pos > static_cast<int>(a->dbf().fields().size())) return false;
  const std::string& name = a->dbf().fields()[static_cast<size_t>(pos - 1)].name;
  for (int tries = 0;; ++tries) {
    StoreError e;
    e.operation = name;
    e.filename = a->dbf().path();
    e.tries = tries;
    if (a->readonly()) {
      e.gen = kGenReadonly;
      e.sub = kSubReadonly;
      e.description = "write not allowed";
    } else if (!a->eof() && !a->holds_lock(a->recno())) {
      e.gen = kGenUnlocked;
      e.sub = kSubUnlocked;
      e.description = "lock required";
      e.can_default = true;
      e.can_retry = true;
    } else {
      std::string why;
      bool width = false;
      if (a->put(rt, pos - 1, v, &why, &width) && !width) return true;
      if (width) {
        // The asterisks are stored; the handler hears of it.
        e.gen = eval::kErrDataWidth;
        e.sub = kSubDataWidth;
        e.can_default = true;
        e.description = why;
        raise_store(rt, e);
        return true;
      }
      e.gen = why == "data type error" ? eval::kErrDataType : eval::kErrWrite;
      e.sub = why == "data type error" ? kSubDataType : kSubWrite;
      e.description = why;
      e.can_default = true;
    }
    eval::Answer ans = raise_store(rt, e);
    if (!ans.is_retry()) return false;
  }
}

os::Status Store::open(eval::Runtime& rt, int n, const std::string& path, std::string alias,
                       bool shared, bool readonly) {
  if (n < 1 || n > kMaxAreas) return os::Status::failure(os::kDosAccessDenied, "no such work area");
  close(rt, n);
  auto dbf = Dbf::open(path, shared, readonly);
  if (!dbf.ok()) return dbf.status();
  std::unique_ptr<Dbt> dbt;
  if ((*dbf)->has_memo()) {
    std::string mp = path;
    size_t dot = mp.rfind('.');
    size_t slash = mp.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) mp.resize(dot);
    // The memo file's extension in the letter case of the table's.
    bool lower = path.size() >= 4 && std::islower(static_cast<unsigned char>(path.back()));
    std::string cand = mp + (lower ? ".dbt" : ".DBT");
    std::string other = mp + (lower ? ".DBT" : ".dbt");
    auto m = Dbt::open(cand, shared, readonly);
    if (!m.ok() && m.status().dos() == os::kDosFileNotFound) m = Dbt::open(other, shared, readonly);
    if (!m.ok()) return m.status();
    dbt = std::move(*m);
  }
  areas_[static_cast<size_t>(n)] =
      std::make_unique<WorkArea>(*this, n, std::move(alias), std::move(*dbf), std::move(dbt));
  return areas_[static_cast<size_t>(n)]->go_top(rt);
}

void Store::close(eval::Runtime& rt, int n) {
  WorkArea* a = area(n);
  if (!a) return;
  a->unlock_all(rt);
  a->clear_indexes();
  // Relations of other areas into this one end with it.
  for (auto& other : areas_) {
    if (!other) continue;
    auto& rel = other->relations();
    for (size_t i = rel.size(); i-- > 0;)
      if (rel[i].child == n) rel.erase(rel.begin() + static_cast<long>(i));
  }
  areas_[static_cast<size_t>(n)].reset();
}

void Store::close_all(eval::Runtime& rt) {
  for (int i = 1; i <= kMaxAreas; ++i) close(rt, i);
  selected_ = 1;
}

eval::Value Store::eval_in(eval::Runtime& rt, int n, const eval::Value& block) {
  if (selected_ == n) return eval::call_block(rt, block);
  struct Keep {
    Store& s;
    int old;
    ~Keep() { s.selected_ = old; }
  } keep{*this, selected_};
  selected_ = n;
  return eval::call_block(rt, block);
}

Store& store(eval::Runtime& rt) {
  if (Store* s = rt.find<Store>()) return *s;
  auto s = std::make_unique<Store>();
  Store* p = s.get();
  rt.install(Store::kSlot, std::move(s));
  rt.set_fields(p);
  return *p;
}

}  // namespace kvel::store
