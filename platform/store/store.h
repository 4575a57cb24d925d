// The table store as the runtime sees it: the work areas numbered from 1
// with their aliases, field access by name for expressions, the
// network-error flag, and the family's table functions (DBUSEAREA, DBSEEK,
// RLOCK, NETERR ...) registered by register_store().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/eval/fields.h"
#include "platform/eval/registry.h"
#include "platform/eval/runtime.h"
#include "platform/os/status.h"
#include "platform/store/workarea.h"

namespace kvel::store {

inline constexpr int kMaxAreas = 250;
inline constexpr const char* kSubsystem = "DBFNTX";

class Store : public eval::Service, public eval::FieldAccess {
 public:
  static constexpr eval::ServiceSlot kSlot = eval::ServiceSlot::Store;
  Store();
  ~Store() override;

  // FieldAccess.
  int selected() const override { return selected_; }
  void select(int area) override;
  int area_of(std::string_view alias) const override;
  uint32_t layout(int area) const override;
  int field_pos(int area, std::string_view name) const override;
  bool get(eval::Runtime& rt, int area, int pos, eval::Value& out) override;
  bool put(eval::Runtime& rt, int area, int pos, const eval::Value& v) override;

  // The area's table, nullptr when none is open there.
  WorkArea* area(int n) const;
  WorkArea* current() const { return area(selected_); }
  int lowest_free() const;

  // Opens a table (a Linux path, extension given) into area n, closing what
  // was open there. The memo file is opened when the table has memo fields.
  os::Status open(eval::Runtime& rt, int n, const std::string& path, std::string alias, bool shared,
                  bool readonly);
  void close(eval::Runtime& rt, int n);
  void close_all(eval::Runtime& rt);

  // Calls a block with area n selected; the selection is restored after.
  eval::Value eval_in(eval::Runtime& rt, int n, const eval::Value& block);

  // The flag NETERR() reads: the last open or append failed because of
  // another user (the error handler sets it).
  bool net_err = false;
  // Index pages each open index keeps in memory.
  size_t index_cache_pages = 16384;

  uint32_t next_layout() { return ++layouts_; }

 private:
  std::vector<std::unique_ptr<WorkArea>> areas_;  // [0] unused
  int selected_ = 1;
  uint32_t layouts_ = 0;
};

// The runtime's table store, installed (and made the runtime's field
// access) on first use.
Store& store(eval::Runtime& rt);

// DBUSEAREA DBCLOSEAREA DBSELECTAREA SELECT ALIAS USED DBSEEK DBSKIP DBGOTO
// DBGOTOP DBGOBOTTOM EOF BOF FOUND RECNO RECCOUNT LASTREC DELETED DBDELETE
// DBRECALL DBAPPEND DBCOMMIT FIELDPOS FIELDGET FIELDPUT FIELDNAME FCOUNT
// DBSTRUCT DBCREATE DBSETFILTER DBCLEARFILTER DBSETRELATION DBCLEARRELATION
// ORDLISTADD ORDLISTCLEAR ORDCREATE INDEXKEY INDEXORD RLOCK FLOCK DBUNLOCK
// DBRLOCKLIST NETERR DBEVAL and the rest of the family (functions.cpp,
// transfer.cpp).
void register_store(eval::Registry& reg);
void register_transfer(eval::Registry& reg);

}  // namespace kvel::store
