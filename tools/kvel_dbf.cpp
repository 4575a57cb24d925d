// kvel-dbf: looks into DBF tables and NTX indexes and does the everyday
// repairs. Texts are code page 866 in the files and UTF-8 on the terminal.
//
//   kvel-dbf struct TABLE              header and fields
//   kvel-dbf list TABLE [FROM [COUNT]] records (deleted ones marked "*")
//   kvel-dbf keys INDEX                key expression and every key in order
//   kvel-dbf check TABLE INDEX         the index against the table
//   kvel-dbf index TABLE INDEX KEY [unique] [descend]
//                                      creates an index from a key expression
//   kvel-dbf pack TABLE [INDEX...]     drops the deleted records and rebuilds the
//                                      indexes named (others are left as they were)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/eval/eval.h"
#include "platform/platform.h"
#include "platform/screen/cp866.h"
#include "platform/store/codec.h"
#include "platform/store/ntx.h"
#include "platform/store/store.h"

namespace {

using kvel::screen::cp866_to_utf8;
using kvel::screen::utf8_to_cp866;
namespace store = kvel::store;
namespace eval = kvel::eval;

int usage() {
  std::cerr << "usage: kvel-dbf struct TABLE\n"
               "       kvel-dbf list TABLE [FROM [COUNT]]\n"
               "       kvel-dbf keys INDEX\n"
               "       kvel-dbf check TABLE INDEX\n"
               "       kvel-dbf index TABLE INDEX KEY [unique] [descend]\n"
               "       kvel-dbf pack TABLE [INDEX...]\n";
  return 2;
}

int fail(const std::string& what) {
  std::cerr << "kvel-dbf: " << cp866_to_utf8(what) << "\n";
  return 1;
}

// A runtime with the whole platform, its errors printed and answered by
// default, so that a failure ends the command with a message.
struct Tool {
  eval::Runtime rt;
  store::Store* st = nullptr;
  bool failed = false;
  Tool() {
    kvel::register_platform(rt.registry());
    st = &store::store(rt);
    rt.set_error_handler([this](eval::Runtime&, eval::ErrorObject& e) {
      std::cerr << "kvel-dbf: " << e.subsystem << "/" << e.sub_code << " "
                << cp866_to_utf8(e.description) << (e.filename.empty() ? "" : " ") << e.filename
                << "\n";
      failed = true;
      return eval::Answer::fallback();
    });
  }
  store::WorkArea* open(const std::string& path, bool shared, bool readonly) {
    os_status = st->open(rt, 1, path, "T", shared, readonly);
    if (!os_status.ok()) return nullptr;
    return st->area(1);
  }
  kvel::os::Status os_status;
};

std::string shown(const eval::Value& v) {
  switch (v.type()) {
    case eval::Type::String:
      return cp866_to_utf8(v.as_string());
    case eval::Type::Number: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", v.decimals(), v.as_double());
      return buf;
    }
    case eval::Type::Date: {
      char d[9] = {};
      store::format_dtos(v.as_date(), d);
      return d;
    }
    case eval::Type::Logical:
      return v.as_logical() ? "T" : "F";
    default:
      return "";
  }
}

int cmd_struct(const std::string& path) {
  auto t = store::Dbf::open(path, true, true);
  if (!t.ok()) return fail(t.status().message());
  int y, m, d;
  (*t)->last_update(&y, &m, &d);
  std::printf("version 0x%02X  records %u  header %d  record %d  updated %04d-%02d-%02d\n",
              (*t)->version(), (*t)->count(), (*t)->header_len(), (*t)->record_len(), y, m, d);
  int n = 0;
  for (const store::FieldDef& f : (*t)->fields())
    std::printf("%3d  %-10s %c %5d %3d  (offset %d)\n", ++n, f.name.c_str(), f.type, f.len, f.dec,
                f.offset);
  return 0;
}

int cmd_list(const std::string& path, long from, long count) {
  Tool tool;
  store::WorkArea* w = tool.open(path, true, true);
  if (!w) return fail(tool.os_status.message());
  tool.rt.settings().deleted = false;
  const auto& fields = w->dbf().fields();
  std::string head = "recno";
  for (const auto& f : fields) head += "\t" + f.name;
  std::puts(head.c_str());
  (void)w->go_to(static_cast<uint32_t>(from));
  for (long i = 0; !w->eof() && (count < 0 || i < count); ++i) {
    std::string line = std::to_string(w->recno()) + (w->deleted() ? "*" : "");
    for (size_t f = 0; f < fields.size(); ++f) {
      auto v = w->get(static_cast<int>(f));
      line += "\t" + (v.ok() ? shown(*v) : "<" + cp866_to_utf8(v.status().message()) + ">");
    }
    std::puts(line.c_str());
    if (!w->skip(tool.rt, 1).ok()) break;
  }
  return 0;
}

int cmd_keys(const std::string& path) {
  auto x = store::Ntx::open(path, true, true);
  if (!x.ok()) return fail(x.status().message());
  const store::NtxHeader& h = (*x)->header();
  std::printf("key %s\nfor %s\nkey size %d, decimals %d, unique %s, descend %s, version %d\n",
              cp866_to_utf8(h.key_expr).c_str(), cp866_to_utf8(h.for_expr).c_str(), h.key_size,
              h.key_dec, h.unique ? "yes" : "no", h.descend ? "yes" : "no", h.version);
  if (!(*x)->begin_read().ok()) return fail("index lock");
  long n = 0;
  auto r = (*x)->first();
  for (; r.ok() && *r; r = (*x)->next())
    std::printf("%ld\t%u\t|%s|\n", ++n, (*x)->rec(), cp866_to_utf8((*x)->key()).c_str());
  (*x)->end_read();
  if (!r.ok()) return fail(r.status().message());
  return 0;
}

// Every record with its key once, in key order, and nothing else.
int cmd_check(const std::string& table, const std::string& index) {
  Tool tool;
  store::WorkArea* w = tool.open(table, true, true);
  if (!w) return fail(tool.os_status.message());
  if (!w->add_index(tool.rt, index).ok()) return fail("cannot open " + index);
  store::Order* o = w->order_at(1);
  uint64_t keys = 0;
  int depth = 0;
  kvel::os::Status s = o->ntx->check(&keys, &depth);
  if (!s.ok()) return fail(s.message());
  std::printf("%llu keys, %d levels, structure sound\n", static_cast<unsigned long long>(keys),
              depth);
  // What the index holds against what the records say.
  std::set<std::pair<std::string, uint32_t>> held;
  (void)o->ntx->begin_read();
  for (auto r = o->ntx->first(); r.ok() && *r; r = o->ntx->next())
    held.emplace(o->ntx->key(), o->ntx->rec());
  o->ntx->end_read();
  long missing = 0, wrong = 0;
  uint32_t n = w->count();
  w->set_order(0);
  bool has_for = !o->for_block.is_nil();
  for (uint32_t rec = 1; rec <= n; ++rec) {
    if (!w->go_to(rec).ok()) return fail("cannot read record " + std::to_string(rec));
    auto key = w->current_key(tool.rt, *o);
    if (!key.ok()) return fail(key.status().message());
    bool in = true;
    if (has_for) {
      eval::Value v = tool.st->eval_in(tool.rt, 1, o->for_block);
      in = !v.is_logical() || v.as_logical();
    }
    auto it = held.find({*key, rec});
    if (it != held.end()) {
      if (!in) ++wrong, std::printf("record %u: has a key but fails the FOR condition\n", rec);
      held.erase(it);
    } else if (in && !o->ntx->header().unique) {
      ++missing;
      std::printf("record %u: key |%s| missing\n", rec, cp866_to_utf8(*key).c_str());
    }
  }
  for (const auto& e : held) {
    ++wrong;
    std::printf("record %u: stale key |%s|\n", e.second, cp866_to_utf8(e.first).c_str());
  }
  if (missing || wrong || tool.failed) {
    std::printf("index does not match the table: %ld missing, %ld wrong\n", missing, wrong);
    return 1;
  }
  std::puts("index matches the table");
  return 0;
}

int cmd_index(const std::string& table, const std::string& index, const std::string& key,
              bool unique, bool descend) {
  Tool tool;
  store::WorkArea* w = tool.open(table, false, false);
  if (!w) return fail(tool.os_status.message());
  store::IndexSpec spec;
  spec.path = index;
  spec.key_text = utf8_to_cp866(key);
  spec.unique = unique;
  spec.descend = descend;
  kvel::os::Status s;
  try {
    s = w->create_index(tool.rt, spec);
  } catch (const eval::Break&) {
    return fail("the key expression failed");
  }
  if (!s.ok()) return fail(s.message());
  std::printf("%u records indexed\n", w->count());
  return tool.failed ? 1 : 0;
}

int cmd_pack(const std::string& table, const std::vector<std::string>& indexes) {
  Tool tool;
  store::WorkArea* w = tool.open(table, false, false);
  if (!w) return fail(tool.os_status.message());
  for (const std::string& index : indexes) {
    kvel::os::Status s = w->add_index(tool.rt, index);
    if (!s.ok()) return fail(s.message());
  }
  uint32_t before = w->count();
  kvel::os::Status s = w->pack(tool.rt);
  if (!s.ok()) return fail(s.message());
  std::printf("%u records kept of %u", w->count(), before);
  if (!indexes.empty()) std::printf(", %zu indexes rebuilt", indexes.size());
  std::printf("\n");
  return tool.failed ? 1 : 0;
}

// A record number or count of the command line; false when it is not one.
bool count_arg(const std::string& text, long* out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || v < 0) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.empty()) return usage();
  const std::string& cmd = a[0];
  if (cmd == "struct" && a.size() == 2) return cmd_struct(a[1]);
  if (cmd == "list" && a.size() >= 2 && a.size() <= 4) {
    long from = 1, count = -1;
    if ((a.size() > 2 && !count_arg(a[2], &from)) || (a.size() > 3 && !count_arg(a[3], &count)))
      return usage();
    return cmd_list(a[1], from, count);
  }
  if (cmd == "keys" && a.size() == 2) return cmd_keys(a[1]);
  if (cmd == "check" && a.size() == 3) return cmd_check(a[1], a[2]);
  if (cmd == "index" && a.size() >= 4) {
    bool unique = false, descend = false;
    for (size_t i = 4; i < a.size(); ++i) {
      if (a[i] == "unique") {
        unique = true;
      } else if (a[i] == "descend") {
        descend = true;
      } else {
        return usage();
      }
    }
    return cmd_index(a[1], a[2], a[3], unique, descend);
  }
  if (cmd == "pack" && a.size() >= 2) return cmd_pack(a[1], {a.begin() + 2, a.end()});
  return usage();
}
