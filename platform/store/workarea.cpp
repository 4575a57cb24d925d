#include "platform/store/workarea.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "platform/eval/eval.h"
#include "platform/os/file.h"
#include "platform/store/codec.h"
#include "platform/store/keys.h"
#include "platform/store/locks.h"
#include "platform/store/ntx_build.h"
#include "platform/store/store.h"

namespace kvel::store {
namespace {

// Ends the read bracket of an index on every way out.
struct ReadGuard {
  Ntx* ntx;
  ~ReadGuard() {
    if (ntx) ntx->end_read();
  }
};

std::string dir_of(const std::string& path) {
  size_t s = path.rfind('/');
  return s == std::string::npos ? std::string(".") : path.substr(0, s);
}

std::string trimmed_upper(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

WorkArea::WorkArea(Store& store, int number, std::string alias, std::unique_ptr<Dbf> dbf,
                   std::unique_ptr<Dbt> dbt)
    : store_(store),
      number_(number),
      alias_(std::move(alias)),
      dbf_(std::move(dbf)),
      dbt_(std::move(dbt)),
      layout_(store.next_layout()) {
  buf_.assign(static_cast<size_t>(dbf_->record_len()), ' ');
}

WorkArea::~WorkArea() = default;

uint32_t WorkArea::count() {
  if (shared()) (void)dbf_->refresh_count();
  return dbf_->count();
}

os::Status WorkArea::load(uint32_t rec) {
  os::Status s = dbf_->read(rec, buf_.data());
  if (!s.ok()) {
    phantom();
    return s;
  }
  recno_ = rec;
  eof_ = false;
  dirty_ = false;
  appended_ = false;
  old_noted_ = false;
  return {};
}

void WorkArea::phantom() {
  recno_ = dbf_->count() + 1;
  std::fill(buf_.begin(), buf_.end(), ' ');
  eof_ = true;
  dirty_ = false;
  appended_ = false;
  old_noted_ = false;
}

os::Status WorkArea::refresh() {
  if (shared()) return dbf_->refresh_count();
  return {};
}

os::Status WorkArea::reread() {
  if (eof_ || dirty_) return {};
  return load(recno_);
}

bool WorkArea::visible(eval::Runtime& rt) {
  if (eof_) return false;
  if (rt.settings().deleted && deleted()) return false;
  if (filter_.is_nil()) return true;
  eval::Value v = store_.eval_in(rt, number_, filter_);
  return !v.is_logical() || v.as_logical();
}

os::Status WorkArea::go_to(uint32_t rec) {
  os::Status s = refresh();
  if (!s.ok()) return s;
  bof_ = false;
  found_ = false;
  if (rec < 1 || rec > dbf_->count()) {
    phantom();
    return {};
  }
  return load(rec);
}

os::Status WorkArea::position_index(eval::Runtime& rt, Order& o) {
  Ntx& n = *o.ntx;
  if (n.cursor_valid() && n.rec() == recno_) return {};
  auto key = current_key(rt, o);
  if (!key.ok()) return key.status();
  auto f = n.find(*key, recno_);
  if (!f.ok()) return f.status();
  if (!*f) {
    auto r = n.seek(*key);
    if (!r.ok()) return r.status();
  }
  return {};
}

// One step in the current order; *moved is false at either end.
os::Status WorkArea::skip_raw(eval::Runtime& rt, bool forward, bool* moved) {
  *moved = false;
  uint32_t n = dbf_->count();
  if (order_ == 0) {
    uint32_t rec;
    if (eof_) {
      if (forward || n == 0) return {};
      rec = n;
    } else if (forward) {
      if (recno_ >= n) return {};
      rec = recno_ + 1;
    } else {
      if (recno_ <= 1) return {};
      rec = recno_ - 1;
    }
    *moved = true;
    return load(rec);
  }
  Order& o = orders_[static_cast<size_t>(order_ - 1)];
  Ntx& x = *o.ntx;
  for (;;) {
    os::Result<bool> r = false;
    if (eof_) {
      if (forward) return {};
      r = x.last();
    } else {
      bool was_on = x.cursor_valid() && x.rec() == recno_;
      os::Status s = position_index(rt, o);
      if (!s.ok()) return s;
      if (!was_on && x.positioned() && x.rec() != recno_) {
        // The record has no entry (FOR condition): the cursor already stands
        // on the entry after its key.
        r = forward ? os::Result<bool>(true) : x.prev();
      } else {
        r = forward ? x.next() : x.prev();
      }
    }
    if (!r.ok()) return r.status();
    if (!*r) return {};
    uint32_t rec = x.rec();
    if (rec < 1 || rec > n) {
      // An entry for a record the table does not have (yet): pass over it.
      if (eof_) phantom();
      continue;
    }
    *moved = true;
    return load(rec);
  }
}

os::Status WorkArea::settle(eval::Runtime& rt, bool forward) {
  while (!eof_ && !visible(rt)) {
    bool moved = false;
    os::Status s = skip_raw(rt, forward, &moved);
    if (!s.ok()) return s;
    if (!moved) {
      phantom();
      return {};
    }
  }
  return {};
}

os::Status WorkArea::go_top(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (s.ok()) s = refresh();
  if (!s.ok()) return s;
  found_ = false;
  if (order_ == 0) {
    if (dbf_->count() == 0) {
      phantom();
    } else {
      s = load(1);
    }
  } else {
    Order& o = orders_[static_cast<size_t>(order_ - 1)];
    s = o.ntx->begin_read();
    if (!s.ok()) return s;
    ReadGuard g{o.ntx.get()};
    phantom();
    auto r = o.ntx->first();
    while (r.ok() && *r) {
      uint32_t rec = o.ntx->rec();
      if (rec >= 1 && rec <= dbf_->count()) {
        s = load(rec);
        break;
      }
      r = o.ntx->next();
    }
    if (!r.ok()) return r.status();
    if (s.ok()) s = settle(rt, true);
    if (!s.ok()) return s;
    bof_ = eof_;
    return sync_relations(rt);
  }
  if (s.ok()) s = settle(rt, true);
  if (!s.ok()) return s;
  bof_ = eof_;
  return sync_relations(rt);
}

os::Status WorkArea::go_bottom(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (s.ok()) s = refresh();
  if (!s.ok()) return s;
  found_ = false;
  Ntx* x = order_ ? orders_[static_cast<size_t>(order_ - 1)].ntx.get() : nullptr;
  if (x) {
    s = x->begin_read();
    if (!s.ok()) return s;
  }
  ReadGuard g{x};
  phantom();
  bool moved = false;
  s = skip_raw(rt, false, &moved);
  if (s.ok()) s = settle(rt, false);
  if (!s.ok()) return s;
  bof_ = eof_;
  return sync_relations(rt);
}

os::Status WorkArea::skip(eval::Runtime& rt, int64_t n) {
  os::Status s = flush(rt);
  if (s.ok()) s = refresh();
  if (!s.ok()) return s;
  found_ = false;
  if (n == 0) {
    s = reread();
    if (!s.ok()) return s;
    return sync_relations(rt);
  }
  bool forward = n > 0;
  uint64_t steps = forward ? static_cast<uint64_t>(n) : static_cast<uint64_t>(-n);
  Ntx* x = order_ ? orders_[static_cast<size_t>(order_ - 1)].ntx.get() : nullptr;
  if (x) {
    s = x->begin_read();
    if (!s.ok()) return s;
  }
  ReadGuard g{x};
  bof_ = false;
  for (uint64_t i = 0; i < steps; ++i) {
    if (forward && eof_) break;
    uint32_t from = recno_;
    bool from_eof = eof_;
    bool moved = false;
    do {
      s = skip_raw(rt, forward, &moved);
      if (!s.ok()) return s;
    } while (moved && !visible(rt));
    if (!moved) {
      if (forward) {
        phantom();
      } else {
        // Before the first record: back on the first one, BOF set.
        if (from_eof) {
          phantom();
        } else {
          s = load(from);
          if (!s.ok()) return s;
          if (!visible(rt)) {
            s = settle(rt, true);
            if (!s.ok()) return s;
          }
        }
        bof_ = true;
      }
      break;
    }
  }
  return sync_relations(rt);
}

os::Status WorkArea::seek(eval::Runtime& rt, const eval::Value& key, bool soft, bool last) {
  os::Status s = flush(rt);
  if (s.ok()) s = refresh();
  if (!s.ok()) return s;
  bof_ = false;
  found_ = false;
  if (order_ == 0) return os::Status::failure(0, dbf_->path() + ": work area not indexed");
  Order& o = orders_[static_cast<size_t>(order_ - 1)];
  Ntx& x = *o.ntx;
  std::string enc;
  if (!encode_key(key, o.type, x.key_size(), x.header().key_dec, false, &enc)) {
    phantom();
    return sync_relations(rt);
  }
  s = x.begin_read();
  if (!s.ok()) return s;
  ReadGuard g{&x};
  auto r = x.seek(enc, last);
  if (!r.ok()) return r.status();
  phantom();
  while (*r) {
    uint32_t rec = x.rec();
    if (rec >= 1 && rec <= dbf_->count()) {
      s = load(rec);
      if (!s.ok()) return s;
      if (visible(rt)) break;
    }
    r = last ? x.prev() : x.next();
    if (!r.ok()) return r.status();
    phantom();
  }
  if (!eof_) {
    found_ = std::memcmp(x.key().data(), enc.data(), std::min(enc.size(), x.key().size())) == 0;
    if (!found_ && !soft) phantom();
  }
  return sync_relations(rt);
}

os::Result<eval::Value> WorkArea::get(int field) {
  const FieldDef& f = dbf_->fields()[static_cast<size_t>(field)];
  const char* p = buf_.data() + f.offset;
  switch (f.type) {
    case 'C':
      return eval::Value::string(std::string(p, static_cast<size_t>(f.len)));
    case 'N':
    case 'F': {
      double d = parse_number(p, static_cast<size_t>(f.len));
      if (f.dec == 0 && d > -1e15 && d < 1e15 && d == static_cast<double>(static_cast<int64_t>(d)))
        return eval::Value::integer(static_cast<int64_t>(d), f.len);
      return eval::Value::number(d, f.len, f.dec);
    }
    case 'D':
      return eval::Value::date(parse_dtos(p));
    case 'L':
      return eval::Value::logical(*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y');
    case 'M': {
      uint32_t block = 0;
      if (!parse_memo_ref(p, f.len, &block))
        return file_error(dbf_->path(), "broken memo pointer in record " + std::to_string(recno_));
      if (block == 0) return eval::Value::memo(std::string());
      if (!dbt_) return file_error(dbf_->path(), "memo file not open");
      auto text = dbt_->read(block);
      if (!text.ok()) return text.status();
      return eval::Value::memo(std::move(*text));
    }
    default:
      // Types this system does not write are shown as their bytes.
      return eval::Value::string(std::string(p, static_cast<size_t>(f.len)));
  }
}

os::Status WorkArea::note_old_keys(eval::Runtime& rt) {
  if (old_noted_ || appended_) return {};
  old_keys_.assign(orders_.size(), std::string());
  old_in_.assign(orders_.size(), false);
  for (size_t i = 0; i < orders_.size(); ++i) {
    bool in = false;
    os::Status s = index_entry(rt, orders_[i], &old_keys_[i], &in);
    if (!s.ok()) return s;
    old_in_[i] = in;
  }
  old_noted_ = true;
  return {};
}

bool WorkArea::put(eval::Runtime& rt, int field, const eval::Value& v, std::string* why,
                   bool* width) {
  *width = false;
  const FieldDef& f = dbf_->fields()[static_cast<size_t>(field)];
  char tmp[64];
  std::string memo_ref;
  switch (f.type) {
    case 'C':
      if (!v.is_string()) {
        *why = "data type error";
        return false;
      }
      break;
    case 'N':
    case 'F':
      if (!v.is_number()) {
        *why = "data type error";
        return false;
      }
      if (!format_number(v.as_double(), f.len, f.dec, tmp)) {
        *why = "data width error";
        *width = true;
      }
      break;
    case 'D':
      if (!v.is_date()) {
        *why = "data type error";
        return false;
      }
      break;
    case 'L':
      if (!v.is_logical()) {
        *why = "data type error";
        return false;
      }
      break;
    case 'M':
      if (!v.is_string()) {
        *why = "data type error";
        return false;
      }
      break;
    default:
      *why = "field type not supported";
      return false;
  }
  if (eof_) {
    // The blank record past the end takes no values.
    return true;
  }
  if (!dirty_) {
    os::Status s = note_old_keys(rt);
    if (!s.ok()) {
      *why = s.message();
      return false;
    }
  }
  char* p = buf_.data() + f.offset;
  switch (f.type) {
    case 'C': {
      const std::string& s = v.as_string();
      size_t n = std::min<size_t>(s.size(), static_cast<size_t>(f.len));
      std::memcpy(p, s.data(), n);
      std::memset(p + n, ' ', static_cast<size_t>(f.len) - n);
      break;
    }
    case 'N':
    case 'F':
      std::memcpy(p, tmp, static_cast<size_t>(f.len));
      break;
    case 'D':
      format_dtos(v.as_date(), p);
      break;
    case 'L':
      *p = v.as_logical() ? 'T' : 'F';
      break;
    case 'M': {
      if (!dbt_) {
        *why = "memo file not open";
        return false;
      }
      auto block = dbt_->write(v.as_string());
      if (!block.ok()) {
        *why = block.status().message();
        return false;
      }
      format_memo_ref(*block, p, f.len);
      break;
    }
    default:
      break;
  }
  dirty_ = true;
  return true;
}

os::Status WorkArea::set_deleted(eval::Runtime& rt, bool on) {
  if (eof_) return {};
  if ((buf_[0] == '*') == on) return {};
  if (!dirty_) {
    os::Status s = note_old_keys(rt);
    if (!s.ok()) return s;
  }
  buf_[0] = on ? '*' : ' ';
  dirty_ = true;
  return {};
}

os::Status WorkArea::append_blank(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  std::fill(buf_.begin(), buf_.end(), ' ');
  auto rec = dbf_->append(buf_.data());
  if (!rec.ok()) return rec.status();
  recno_ = *rec;
  eof_ = bof_ = found_ = false;
  appended_ = true;
  dirty_ = true;
  old_noted_ = false;
  if (shared()) {
    // The new record is ours to fill: it is locked, the others released.
    s = lock_record(rt, recno_, true);
    if (!s.ok()) return s;
  }
  if (!orders_.empty()) return flush(rt);
  return {};
}

os::Status WorkArea::index_entry(eval::Runtime& rt, Order& o, std::string* key, bool* in) {
  Ntx& x = *o.ntx;
  int ks = x.key_size();
  *in = true;
  if (!o.for_block.is_nil()) {
    eval::Value v = store_.eval_in(rt, number_, o.for_block);
    *in = !v.is_logical() || v.as_logical();
  }
  if (o.program && o.program->size() == ks) {
    o.program->run(buf_.data(), key);
    return {};
  }
  if (o.key_field >= 0) {
    const FieldDef& f = dbf_->fields()[static_cast<size_t>(o.key_field)];
    const char* p = buf_.data() + f.offset;
    switch (f.type) {
      case 'N':
      case 'F':
        key->resize(static_cast<size_t>(ks));
        numeric_key(parse_number(p, static_cast<size_t>(f.len)), ks, x.header().key_dec,
                    key->data());
        return {};
      case 'L':
        key->assign(1, (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y') ? 'T' : 'F');
        key->resize(static_cast<size_t>(ks), ' ');
        return {};
      default:
        key->assign(p, std::min(f.len, ks));
        key->resize(static_cast<size_t>(ks), ' ');
        return {};
    }
  }
  eval::Value v = store_.eval_in(rt, number_, o.key_block);
  if (o.type == 0) o.type = key_type(v);
  if (!encode_key(v, o.type, ks, x.header().key_dec, true, key))
    return file_error(x.path(), "key expression gives a value of another type", 0);
  return {};
}

os::Result<std::string> WorkArea::current_key(eval::Runtime& rt, Order& o) {
  std::string key;
  bool in = false;
  os::Status s = index_entry(rt, o, &key, &in);
  if (!s.ok()) return s;
  return key;
}

os::Status WorkArea::flush(eval::Runtime& rt) {
  if (!dirty_ || eof_) return {};
  os::Status s = dbf_->write(recno_, buf_.data());
  if (!s.ok()) return s;
  dirty_ = false;
  bool appended = appended_;
  appended_ = false;
  for (size_t i = 0; i < orders_.size(); ++i) {
    Order& o = orders_[i];
    std::string key;
    bool in = false;
    s = index_entry(rt, o, &key, &in);
    if (!s.ok()) return s;
    bool was_in = !appended && old_noted_ && old_in_[i];
    if (!appended && old_noted_ && was_in == in && old_keys_[i] == key) continue;
    s = o.ntx->begin_update();
    if (!s.ok()) return s;
    if (was_in) s = o.ntx->remove(old_keys_[i], recno_);
    if (s.ok() && in) s = o.ntx->insert(key, recno_);
    os::Status e = o.ntx->end_update();
    if (!s.ok()) return s;
    if (!e.ok()) return e;
  }
  old_noted_ = false;
  return {};
}

os::Status WorkArea::commit(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  for (Order& o : orders_) {
    s = o.ntx->flush();
    if (!s.ok()) return s;
  }
  return rt.settings().hardcommit ? dbf_->commit() : dbf_->flush();
}

os::Status WorkArea::open_order(eval::Runtime& rt, std::unique_ptr<Ntx> ntx,
                                const eval::Value& key_block, const eval::Value& for_block) {
  Order o;
  o.ntx = std::move(ntx);
  o.ntx->set_cache_pages(store_.index_cache_pages);
  std::string k = trimmed_upper(o.ntx->header().key_expr);
  int fi = dbf_->field_index(k);
  if (fi >= 0 && k.find_first_of("()+-*/ ") == std::string::npos) {
    const FieldDef& f = dbf_->fields()[static_cast<size_t>(fi)];
    if (f.type == 'C' || f.type == 'N' || f.type == 'F' || f.type == 'D' || f.type == 'L') {
      o.key_field = fi;
      o.type = f.type == 'F' ? 'N' : f.type;
    }
  }
  if (o.key_field < 0) {
    o.program = KeyProgram::compile(o.ntx->header().key_expr, *dbf_);
    if (o.program) o.type = 'C';
  }
  o.key_block = key_block.is_nil() ? eval::compile_block(rt, o.ntx->header().key_expr) : key_block;
  if (!for_block.is_nil()) {
    o.for_block = for_block;
  } else if (!o.ntx->header().for_expr.empty()) {
    o.for_block = eval::compile_block(rt, o.ntx->header().for_expr);
  }
  orders_.push_back(std::move(o));
  if (order_ == 0) order_ = 1;
  return {};
}

os::Status WorkArea::add_index(eval::Runtime& rt, const std::string& path) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  auto ntx = Ntx::open(path, shared(), readonly());
  if (!ntx.ok()) return ntx.status();
  return open_order(rt, std::move(*ntx), {}, {});
}

void WorkArea::clear_indexes() {
  for (Order& o : orders_) (void)o.ntx->flush();
  orders_.clear();
  order_ = 0;
}

Order* WorkArea::order_at(int n) {
  if (n < 1 || n > static_cast<int>(orders_.size())) return nullptr;
  return &orders_[static_cast<size_t>(n - 1)];
}

std::string WorkArea::order_name(int n) {
  Order* o = order_at(n);
  if (!o) return {};
  if (!o->ntx->header().order_name.empty()) return trimmed_upper(o->ntx->header().order_name);
  std::string base = o->ntx->path();
  if (size_t slash = base.rfind('/'); slash != std::string::npos) base.erase(0, slash + 1);
  if (size_t dot = base.rfind('.'); dot != std::string::npos) base.erase(dot);
  return trimmed_upper(base);
}

int WorkArea::order_number(std::string_view name) {
  std::string want = trimmed_upper(name);
  for (int n = 1; n <= static_cast<int>(orders_.size()); ++n) {
    if (!want.empty() && order_name(n) == want) return n;
  }
  return 0;
}

void WorkArea::set_order(int n) {
  if (n >= 0 && n <= static_cast<int>(orders_.size())) order_ = n;
}

namespace {

// Builds an index file for every record of the area in record order and
// puts it in place of `path` only when it is complete.
os::Status build_index(WorkArea& wa, const IndexSpec& spec, const NtxHeader& h,
                       const std::function<os::Status(uint32_t)>& load,
                       const std::function<os::Status(std::string*, bool*)>& key_of) {
  Dbf& dbf = wa.dbf();
  uint32_t n = dbf.count();
  std::string tmp = spec.path + ".kvtmp";
  {
    NtxBuilder b(h, dir_of(spec.path));
    b.expect(n);
    std::string key;
    for (uint32_t rec = 1; rec <= n; ++rec) {
      os::Status s = load(rec);
      if (!s.ok()) return s;
      bool in = true;
      s = key_of(&key, &in);
      if (!s.ok()) return s;
      if (in) {
        s = b.add(key.data(), rec);
        if (!s.ok()) return s;
      }
      if (spec.progress) spec.progress(rec, n);
    }
    os::Status s = b.finish(tmp);
    if (!s.ok()) {
      ::unlink(tmp.c_str());
      return s;
    }
  }
  if (::rename(tmp.c_str(), spec.path.c_str()) != 0) {
    os::Status s = os::Status::from_errno("rename " + tmp);
    ::unlink(tmp.c_str());
    return s;
  }
  return {};
}

}  // namespace

os::Status WorkArea::create_index(eval::Runtime& rt, const IndexSpec& spec) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  if (readonly()) return file_error(dbf_->path(), "table opened read-only", os::kDosAccessDenied);
  eval::Value key_block =
      spec.key_block.is_nil() ? eval::compile_block(rt, spec.key_text) : spec.key_block;
  eval::Value for_block;
  if (!spec.for_block.is_nil()) {
    for_block = spec.for_block;
  } else if (!spec.for_text.empty()) {
    for_block = eval::compile_block(rt, spec.for_text);
  }
  clear_indexes();
  // Another program using the old file keeps it: the new one may not
  // replace it under them.
  if (::access(spec.path.c_str(), F_OK) == 0) {
    // The new file replaces the old one: not one marked read-only.
    if (os::read_only_attribute(spec.path))
      return file_error(spec.path, "index file is read-only", os::kDosAccessDenied);
    auto old = File::open(spec.path, false);
    if (old.ok()) {
      os::Status l = share_lock(old->fd(), false);
      if (!l.ok())
        return os::Status::failure(l.dos(), "open " + spec.path + ": " + l.message(), l.err_no());
    }
  }
  // The key's type and size from the first record (or the blank one).
  if (dbf_->count() > 0) {
    s = load(1);
    if (!s.ok()) return s;
  } else {
    phantom();
  }
  eval::Value probe = store_.eval_in(rt, number_, key_block);
  char type = key_type(probe);
  if (type == 0)
    return file_error(spec.path, "the key expression gives no character, number, date or logical",
                      os::kDosAccessDenied);
  int size = 0, dec = 0;
  key_geometry(probe, &size, &dec);
  NtxHeader h = make_ntx_header(spec.key_text, spec.for_text, size, dec, spec.unique, spec.descend);
  h.order_name = trimmed_upper(spec.order_name).substr(0, 10);
  Order tmp;
  tmp.key_block = key_block;
  tmp.for_block = for_block;
  tmp.type = type;
  std::string k = trimmed_upper(spec.key_text);
  int fi = dbf_->field_index(k);
  if (fi >= 0 && k.find_first_of("()+-*/ ") == std::string::npos) tmp.key_field = fi;
  if (tmp.key_field < 0 && spec.key_block.is_nil()) {
    tmp.program = KeyProgram::compile(spec.key_text, *dbf_);
    if (tmp.program && (type != 'C' || tmp.program->size() != size)) tmp.program.reset();
  }
  // A stand-in index object only carries the geometry for index_entry().
  struct Probe {
    int size, dec;
  } geom{size, dec};
  auto key_of = [&](std::string* key, bool* in) -> os::Status {
    *in = true;
    if (!tmp.for_block.is_nil()) {
      eval::Value v = store_.eval_in(rt, number_, tmp.for_block);
      *in = !v.is_logical() || v.as_logical();
    }
    if (tmp.program) {
      tmp.program->run(buf_.data(), key);
      return {};
    }
    if (tmp.key_field >= 0) {
      const FieldDef& f = dbf_->fields()[static_cast<size_t>(tmp.key_field)];
      const char* p = buf_.data() + f.offset;
      if (f.type == 'C' || f.type == 'D') {
        key->assign(p, static_cast<size_t>(std::min(f.len, geom.size)));
        key->resize(static_cast<size_t>(geom.size), ' ');
        return {};
      }
      if (f.type == 'N' || f.type == 'F') {
        key->resize(static_cast<size_t>(geom.size));
        numeric_key(parse_number(p, static_cast<size_t>(f.len)), geom.size, geom.dec, key->data());
        return {};
      }
    }
    eval::Value v = store_.eval_in(rt, number_, tmp.key_block);
    if (!encode_key(v, type, geom.size, geom.dec, true, key))
      return file_error(spec.path, "key expression gives values of different types", 0);
    return {};
  };
  auto load_rec = [&](uint32_t rec) { return load(rec); };
  s = build_index(*this, spec, h, load_rec, key_of);
  if (!s.ok()) return s;
  auto ntx = Ntx::open(spec.path, shared(), readonly());
  if (!ntx.ok()) return ntx.status();
  s = open_order(rt, std::move(*ntx), key_block, for_block);
  if (!s.ok()) return s;
  return go_top(rt);
}

os::Status WorkArea::reindex(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  std::vector<IndexSpec> specs;
  std::vector<std::pair<eval::Value, eval::Value>> blocks;
  for (Order& o : orders_) {
    IndexSpec sp;
    sp.path = o.ntx->path();
    sp.key_text = o.ntx->header().key_expr;
    sp.for_text = o.ntx->header().for_expr;
    sp.unique = o.ntx->header().unique;
    sp.descend = o.ntx->header().descend;
    sp.order_name = o.ntx->header().order_name;
    specs.push_back(sp);
    blocks.emplace_back(o.key_block, o.for_block);
  }
  int keep_order = order_;
  clear_indexes();
  std::vector<Order> built;
  for (size_t i = 0; i < specs.size(); ++i) {
    specs[i].key_block = blocks[i].first;
    specs[i].for_block = blocks[i].second;
    s = create_index(rt, specs[i]);
    if (!s.ok()) return s;
    built.push_back(std::move(orders_.back()));
    orders_.clear();
  }
  orders_ = std::move(built);
  order_ = orders_.empty() ? 0 : keep_order;
  return go_top(rt);
}

void WorkArea::set_filter(eval::Value block, std::string text) {
  filter_ = std::move(block);
  filter_text_ = std::move(text);
}

void WorkArea::clear_filter() {
  filter_ = {};
  filter_text_.clear();
}

os::Status WorkArea::sync_relations(eval::Runtime& rt) {
  for (const Relation& r : relations_) {
    WorkArea* child = store_.area(r.child);
    if (!child) continue;
    if (eof_) {
      os::Status s = child->go_to(0);
      if (!s.ok()) return s;
      continue;
    }
    eval::Value k = store_.eval_in(rt, number_, r.key_block);
    os::Status s;
    if (child->order() > 0) {
      s = child->seek(rt, k, false, false);
    } else if (k.is_number()) {
      s = child->go_to(static_cast<uint32_t>(k.as_int() < 0 ? 0 : k.as_int()));
      if (s.ok()) s = child->sync_relations(rt);
    }
    if (!s.ok()) return s;
  }
  return {};
}

os::Status WorkArea::lock_record(eval::Runtime& rt, uint32_t rec, bool release_others) {
  if (!shared() || table_locked_) return {};
  if (release_others) {
    for (auto it = locks_.begin(); it != locks_.end();) {
      if (*it != rec) {
        (void)store::unlock_record(dbf_->fd(), *it);
        it = locks_.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (locks_.count(rec)) return {};
  os::Status s = store::lock_record(dbf_->fd(), rec);
  if (!s.ok()) return s;
  locks_.insert(rec);
  if (rec == recno_ && !dirty_) return reread();
  return {};
}

os::Status WorkArea::lock_table(eval::Runtime& rt) {
  if (!shared() || table_locked_) return {};
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  for (uint32_t r : locks_) (void)store::unlock_record(dbf_->fd(), r);
  locks_.clear();
  s = store::lock_table(dbf_->fd());
  if (!s.ok()) return s;
  table_locked_ = true;
  return reread();
}

void WorkArea::unlock_record(uint32_t rec) {
  if (locks_.erase(rec)) (void)store::unlock_record(dbf_->fd(), rec);
}

void WorkArea::unlock_all(eval::Runtime& rt) {
  (void)flush(rt);
  for (Order& o : orders_) (void)o.ntx->flush();
  (void)dbf_->flush();
  for (uint32_t r : locks_) (void)store::unlock_record(dbf_->fd(), r);
  locks_.clear();
  if (table_locked_) (void)unlock_table(dbf_->fd());
  table_locked_ = false;
}

bool WorkArea::holds_lock(uint32_t rec) const {
  return !shared() || table_locked_ || locks_.count(rec) > 0;
}

std::vector<uint32_t> WorkArea::locked_records() const {
  return std::vector<uint32_t>(locks_.begin(), locks_.end());
}

os::Status WorkArea::pack(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  std::vector<uint32_t> keep;
  uint32_t n = dbf_->count();
  std::vector<char> rec(static_cast<size_t>(dbf_->record_len()));
  for (uint32_t r = 1; r <= n; ++r) {
    s = dbf_->read(r, rec.data());
    if (!s.ok()) return s;
    if (rec[0] != '*') keep.push_back(r);
  }
  s = dbf_->rewrite(keep);
  if (!s.ok()) return s;
  phantom();
  if (!orders_.empty()) return reindex(rt);
  return go_top(rt);
}

os::Status WorkArea::zap(eval::Runtime& rt) {
  os::Status s = flush(rt);
  if (!s.ok()) return s;
  s = dbf_->zap();
  if (!s.ok()) return s;
  if (dbt_) {
    // A new empty memo file takes the old one's place.
    std::string path = dbt_->path();
    std::string tmp = path + ".kvtmp";
    s = Dbt::create(tmp);
    if (!s.ok()) return s;
    if (::rename(tmp.c_str(), path.c_str()) != 0) return os::Status::from_errno("rename " + tmp);
    auto m = Dbt::open(path, false, false);
    if (!m.ok()) return m.status();
    dbt_ = std::move(*m);
  }
  phantom();
  if (!orders_.empty()) return reindex(rt);
  return go_top(rt);
}

}  // namespace kvel::store
