// A work area: one open table with its memo file and index list, the
// current record and its buffer, the order, filter, relations and locks.
// Moving, reading and writing records; index entries are brought up to
// date when a changed record is written back. Expression parts (keys,
// filters, relations) are code blocks evaluated with this area selected.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"
#include "platform/os/status.h"
#include "platform/store/dbf.h"
#include "platform/store/dbt.h"
#include "platform/store/keyprog.h"
#include "platform/store/ntx.h"

namespace kvel::store {

class Store;

// One open index of an area.
struct Order {
  std::unique_ptr<Ntx> ntx;
  eval::Value key_block;              // evaluates the key of the current record
  eval::Value for_block;              // NIL: every record has a key
  int key_field = -1;                 // the key is this field as it stands (no evaluation)
  std::optional<KeyProgram> program;  // or computed from the record bytes
  char type = 0;                      // key type, learnt from the first key evaluated
};

// How an index is to be made.
struct IndexSpec {
  std::string path;
  std::string key_text;
  eval::Value key_block;  // NIL: compiled from key_text
  std::string for_text;
  eval::Value for_block;
  bool unique = false;
  bool descend = false;
  std::string order_name;  // kept in the index header; empty: none
  // Called once per record indexed (progress displays); may be empty.
  std::function<void(uint32_t rec, uint32_t count)> progress;
};

struct Relation {
  int child = 0;  // area number
  eval::Value key_block;
  std::string text;
};

class WorkArea {
 public:
  WorkArea(Store& store, int number, std::string alias, std::unique_ptr<Dbf> dbf,
           std::unique_ptr<Dbt> dbt);
  ~WorkArea();

  int number() const { return number_; }
  const std::string& alias() const { return alias_; }
  Dbf& dbf() { return *dbf_; }
  Dbt* dbt() { return dbt_.get(); }
  bool shared() const { return dbf_->shared(); }
  bool readonly() const { return dbf_->readonly(); }
  uint32_t layout() const { return layout_; }

  uint32_t recno() const { return recno_; }
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  bool found() const { return found_; }
  void set_found(bool f) { found_ = f; }
  bool deleted() const { return buf_[0] == '*'; }
  // Records in the file, reread first on a shared table.
  uint32_t count();

  // Positioning. Errors are of the files (a damaged index, a failed read).
  os::Status go_to(uint32_t rec);
  os::Status go_top(eval::Runtime& rt);
  os::Status go_bottom(eval::Runtime& rt);
  os::Status skip(eval::Runtime& rt, int64_t n);
  // In the current order: the first record whose key begins with the
  // value's key. Not found: with `soft` on the next record, else at the end.
  os::Status seek(eval::Runtime& rt, const eval::Value& key, bool soft, bool last);
  // Rereads the current record from the file (another program changed it).
  os::Status reread();

  // Fields, 0-based. Reading a memo may fail (a broken pointer).
  os::Result<eval::Value> get(int field);
  // Writes the value into the record buffer; false with a message when the
  // type does not fit the field (*width: the value is too wide).
  bool put(eval::Runtime& rt, int field, const eval::Value& v, std::string* why, bool* width);
  os::Status set_deleted(eval::Runtime& rt, bool on);
  // Appends a blank record and stands on it.
  os::Status append_blank(eval::Runtime& rt);
  // Writes a changed current record and its index entries.
  os::Status flush(eval::Runtime& rt);
  os::Status commit(eval::Runtime& rt);

  // Indexes. The first one added sets the order when none is set.
  os::Status add_index(eval::Runtime& rt, const std::string& path);
  void clear_indexes();
  os::Status create_index(eval::Runtime& rt, const IndexSpec& spec);
  os::Status reindex(eval::Runtime& rt);
  size_t index_count() const { return orders_.size(); }
  Order* order_at(int n);  // 1-based, nullptr when out of range
  // The name of an order: the one given when it was created, else its
  // file's name without directory and extension; upper case.
  std::string order_name(int n);
  // The order of that name (letter case ignored), 0 when none.
  int order_number(std::string_view name);
  int order() const { return order_; }
  void set_order(int n);
  // The key of the current record in an order (key size bytes).
  os::Result<std::string> current_key(eval::Runtime& rt, Order& o);

  // Filter and relations.
  void set_filter(eval::Value block, std::string text);
  void clear_filter();
  const std::string& filter_text() const { return filter_text_; }
  std::vector<Relation>& relations() { return relations_; }
  os::Status sync_relations(eval::Runtime& rt);
  // Whether the current record passes SET DELETED and the filter.
  bool visible(eval::Runtime& rt);

  // Locks (shared tables only; exclusive ones hold everything already).
  // One attempt each; locking a record releases the area's other records.
  os::Status lock_record(eval::Runtime& rt, uint32_t rec, bool release_others = true);
  os::Status lock_table(eval::Runtime& rt);
  void unlock_record(uint32_t rec);
  void unlock_all(eval::Runtime& rt);
  bool holds_lock(uint32_t rec) const;
  bool table_locked() const { return table_locked_; }
  std::vector<uint32_t> locked_records() const;

  // Exclusive only (the caller checks): keeps the records not deleted.
  os::Status pack(eval::Runtime& rt);
  os::Status zap(eval::Runtime& rt);

  // The raw record buffer (record_len bytes) of the current record.
  const char* buffer() const { return buf_.data(); }

 private:
  os::Status load(uint32_t rec);
  void phantom();
  os::Status refresh();
  os::Status note_old_keys(eval::Runtime& rt);
  os::Status index_entry(eval::Runtime& rt, Order& o, std::string* key, bool* in);
  os::Status skip_raw(eval::Runtime& rt, bool forward, bool* moved);
  os::Status position_index(eval::Runtime& rt, Order& o);
  os::Status settle(eval::Runtime& rt, bool forward);
  os::Status open_order(eval::Runtime& rt, std::unique_ptr<Ntx> ntx, const eval::Value& key_block,
                        const eval::Value& for_block);

  Store& store_;
  int number_;
  std::string alias_;
  std::unique_ptr<Dbf> dbf_;
  std::unique_ptr<Dbt> dbt_;
  uint32_t layout_;

  std::vector<char> buf_;
  uint32_t recno_ = 0;
  bool eof_ = true, bof_ = true, found_ = false;
  bool dirty_ = false;
  bool appended_ = false;  // the current record has no index entries yet
  // Keys of the current record as the indexes hold them (taken before the
  // first change of the record).
  std::vector<std::string> old_keys_;
  std::vector<bool> old_in_;
  bool old_noted_ = false;

  std::vector<Order> orders_;
  int order_ = 0;
  eval::Value filter_;
  std::string filter_text_;
  std::vector<Relation> relations_;
  std::set<uint32_t> locks_;
  bool table_locked_ = false;
};

}  // namespace kvel::store
