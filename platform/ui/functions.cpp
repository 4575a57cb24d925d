#include <memory>

#include "platform/eval/eval.h"
#include "platform/screen/screen.h"
#include "platform/ui/alert.h"
#include "platform/ui/browse.h"
#include "platform/ui/callback.h"
#include "platform/ui/chooser.h"
#include "platform/ui/editor.h"
#include "platform/ui/editor_text.h"
#include "platform/ui/form.h"
#include "platform/ui/menu.h"
#include "platform/ui/text.h"
#include "platform/ui/ui.h"
#include "platform/ui/ui_state.h"

namespace kvel::ui {

using eval::Args;
using eval::Runtime;
using eval::Value;
namespace sc = kvel::screen;

namespace {

int num(const Value& v, int fallback) {
  return v.is_number() ? static_cast<int>(v.as_int()) : fallback;
}
std::string str(const Value& v) { return v.is_string() ? v.as_string() : std::string(); }

// ACHOICE(top, left, bottom, right, items, selectable, user function, first item, first row)
Value achoice(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  if (!a[4].is_array()) return Value::integer(0);
  auto items = a[4].as_array();
  ChooserSpec s;
  s.area = sc::Rect{num(a[0], 0), num(a[1], 0), num(a[2], scr.max_row()), num(a[3], scr.max_col())};
  s.count = static_cast<int>(items->items.size());
  // Items are read through the array, which may change while the list runs.
  s.item = [items](int i) {
    return i < static_cast<int>(items->items.size()) ? str(items->items[i]) : std::string();
  };
  Value sel = a[5];
  s.enabled = [&rt, sel](int i) {
    if (sel.is_logical()) return sel.as_logical();
    if (!sel.is_array()) return true;
    const auto& v = sel.as_array()->items;
    return i >= static_cast<int>(v.size()) || holds(rt, v[i]);
  };
  Value user = a[6];
  if ((user.is_string() && !user.as_string().empty()) || user.is_block()) {
    s.user = [&rt, user](int mode, int item, int row) {
      return num(
          call_user(rt, user, {Value::integer(mode), Value::integer(item), Value::integer(row)}),
          kAcContinue);
    };
  }
  s.first = num(a[7], 1);
  s.first_row = num(a[8], 0);
  return Value::integer(choose(rt, s));
}

// MEMOEDIT(text, top, left, bottom, right, editable, user function, line length,
//          tab size, start line, start column, window row, window column)
Value memoedit(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  std::string text = str(a[0]);
  EditorSpec s;
  s.area = sc::Rect{num(a[1], 0), num(a[2], 0), num(a[3], scr.max_row()), num(a[4], scr.max_col())};
  s.editable = !a[5].is_logical() || a[5].as_logical();
  s.line_length = num(a[7], s.area.right - s.area.left + 1);
  s.tab_size = num(a[8], 4);
  s.start_line = num(a[9], 1);
  s.start_col = num(a[10], 0);
  s.win_row = num(a[11], 0);
  s.win_col = num(a[12], 0);
  Value user = a[6];
  if (user.is_logical() && !user.as_logical()) {
    // Shown only: the text is drawn and given back at once.
    EditorText t(text, s.line_length);
    int h = s.area.bottom - s.area.top + 1, w = s.area.right - s.area.left + 1;
    for (int r = 0; r < h; ++r)
      scr.write(s.area.top + r, s.area.left, fit(r < t.lines() ? t.line(r) : "", w));
    return a[0].is_string() ? a[0] : Value::string("");
  }
  if ((user.is_string() && !user.as_string().empty()) || user.is_block()) {
    s.user = [&rt, user](int mode, int line, int col) {
      return num(
          call_user(rt, user, {Value::integer(mode), Value::integer(line), Value::integer(col)}),
          kMeDefault);
    };
  }
  EditorResult r = edit_text(rt, text, s);
  return a[0].is_memo() ? Value::memo(std::move(r.text)) : Value::string(std::move(r.text));
}

// ALERT(message, buttons, colours)
Value alert_fn(Runtime& rt, Args a) {
  std::vector<std::string> buttons;
  if (a[1].is_array()) {
    for (const Value& b : a[1].as_array()->items) buttons.push_back(str(b));
  }
  std::string colours = a[2].is_string() ? a[2].as_string() : std::string(kAlertColours);
  return Value::integer(alert(rt, str(a[0]), buttons, colours));
}

std::shared_ptr<GetField> new_field(Runtime& rt, int row, int col, Value block, const Value& name,
                                    const Value& pic, const Value& colour) {
  std::string n = str(name);
  if (!block.is_block() && !n.empty()) block = var_block(rt, n);
  return std::make_shared<GetField>(row, col, std::move(block), n, str(pic), str(colour));
}

// GETNEW(row, col, block, name, picture, colour)
Value getnew(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  return Value::object(
      new_field(rt, num(a[0], scr.row()), num(a[1], scr.col()), a[2], a[3], a[4], a[5]));
}

// __GET(block, name, picture, valid, when): a field at the cursor, as @...GET makes it.
Value get_at_cursor(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  auto f = new_field(rt, scr.row(), scr.col(), a[0], a[1], a[2], Value());
  f->valid = a[3];
  f->when = a[4];
  return Value::object(f);
}

// READMODAL(fields, first field)
Value readmodal(Runtime& rt, Args a) {
  size_t first = static_cast<size_t>(std::max(1, num(a[1], 1)) - 1);
  return Value::logical(read_modal(rt, fields_of(a[0]), first));
}

// __READ(keep): reads GETLIST and discards it unless keep is true.
Value read_getlist(Runtime& rt, Args a) {
  Value* list = rt.memvars().find("GETLIST");
  if (!list) return Value::logical(false);
  Value keep_list = *list;
  bool updated = read_modal(rt, fields_of(keep_list), 0);
  if (!(a[0].is_logical() && a[0].as_logical())) {
    if (Value* again = rt.memvars().find("GETLIST")) *again = Value::new_array();
  }
  return Value::logical(updated);
}

Value getactive(Runtime& rt, Args) {
  GetField* f = ui_state(rt).active;
  return f ? Value::object(f->shared_from_this()) : Value();
}

Value readkey(Runtime& rt, Args) { return Value::integer(ui_state(rt).read_key); }

Value readvar(Runtime& rt, Args) {
  std::string n = ui_state(rt).active ? ui_state(rt).active->name : std::string();
  for (char& c : n) c = static_cast<char>(upper(static_cast<unsigned char>(c)));
  return Value::string(n);
}

Value readexit(Runtime& rt, Args a) {
  UiState& st = ui_state(rt);
  bool old = st.read_exit;
  if (a[0].is_logical()) st.read_exit = a[0].as_logical();
  return Value::logical(old);
}

Value readinsert(Runtime& rt, Args a) {
  bool old = rt.settings().insert;
  if (a[0].is_logical()) rt.settings().insert = a[0].as_logical();
  return Value::logical(old);
}

Value updated(Runtime& rt, Args) { return Value::logical(ui_state(rt).updated); }

Value killread(Runtime& rt, Args) {
  ui_state(rt).kill_read = true;
  return {};
}

// __ATPROMPT(row, col, text, message)
Value atprompt(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  Prompt p{num(a[0], scr.row()), num(a[1], scr.col()), str(a[2]), str(a[3])};
  draw_prompt(rt, p, false);
  scr.set_pos(p.row, p.col + static_cast<int>(p.text.size()));
  ui_state(rt).prompts.push_back(std::move(p));
  return Value::logical(false);
}

// __MENUTO(block, name): the menu over the prompts placed; the variable gets the choice.
Value menuto(Runtime& rt, Args a) {
  UiState& st = ui_state(rt);
  std::vector<Prompt> prompts = std::move(st.prompts);
  st.prompts.clear();
  std::string name = str(a[1]);
  Value block = a[0].is_block() ? a[0] : name.empty() ? Value() : var_block(rt, name);
  MenuOptions opt;
  opt.wrap = rt.settings().wrap;
  opt.var = name;
  Value cur = call(rt, block);
  opt.initial = num(cur, 1);
  int choice = menu_to(rt, prompts, opt);
  if (block.is_block()) call(rt, block, {Value::integer(choice)});
  return Value::integer(choice);
}

Value tbrowsenew(Runtime& rt, Args a) {
  sc::Screen& scr = sc::screen_of(rt);
  auto b = std::make_shared<Browse>(
      sc::Rect{num(a[0], 0), num(a[1], 0), num(a[2], scr.max_row()), num(a[3], scr.max_col())});
  return Value::object(b);
}

// A browse over the current work area, moving with the table functions.
Value tbrowsedb(Runtime& rt, Args a) {
  Value v = tbrowsenew(rt, a);
  auto b = std::static_pointer_cast<Browse>(v.as_object());
  auto fn = [](Runtime& r, const char* name, std::initializer_list<Value> args) {
    std::vector<Value> av(args);
    return eval::call_function(r, name, Args(av.data(), av.size()));
  };
  b->go_top_block = make_block([fn](Runtime& r, Args) { return fn(r, "DBGOTOP", {}); });
  b->go_bottom_block = make_block([fn](Runtime& r, Args) { return fn(r, "DBGOBOTTOM", {}); });
  b->skip_block = make_block([fn](Runtime& r, Args x) {
    long want = x[0].is_number() ? static_cast<long>(x[0].as_int()) : 0;
    long moved = 0;
    Value last = fn(r, "LASTREC", {});
    if (want == 0 || (last.is_number() && last.as_int() == 0)) {
      fn(r, "DBSKIP", {Value::integer(0)});
      return Value::integer(0);
    }
    while (moved < want) {
      fn(r, "DBSKIP", {Value::integer(1)});
      Value eof = fn(r, "EOF", {});
      if (eof.is_logical() && eof.as_logical()) {
        fn(r, "DBSKIP", {Value::integer(-1)});
        break;
      }
      ++moved;
    }
    while (moved > want) {
      fn(r, "DBSKIP", {Value::integer(-1)});
      Value bof = fn(r, "BOF", {});
      if (bof.is_logical() && bof.as_logical()) break;
      --moved;
    }
    return Value::integer(moved);
  });
  return v;
}

Value tbcolumnnew(Runtime& rt, Args a) {
  return Value::object(std::make_shared<BrowseColumn>(str(a[0]), a[1]));
}

}  // namespace

void register_ui(eval::Registry& reg) {
  reg.function("ACHOICE", achoice);        // the list chooser
  reg.function("MEMOEDIT", memoedit);      // the text editor
  reg.function("ALERT", alert_fn);         // the alert box
  reg.function("GETNEW", getnew);          // a data-entry field object
  reg.function("__GET", get_at_cursor);    // @...GET: a field at the cursor
  reg.function("READMODAL", readmodal);    // reads a list of fields
  reg.function("__READ", read_getlist);    // READ: reads GETLIST, then discards it
  reg.function("GETACTIVE", getactive);    // the field being edited
  reg.function("READKEY", readkey);        // how the last read ended
  reg.function("READVAR", readvar);        // name of the field being edited
  reg.function("READEXIT", readexit);      // Up/Down leave the read at its ends
  reg.function("READINSERT", readinsert);  // insert mode
  reg.function("UPDATED", updated);        // the last read changed a field
  reg.function("__KILLREAD", killread);    // ends the running read
  reg.function("__ATPROMPT", atprompt);    // @...PROMPT
  reg.function("__MENUTO", menuto);        // MENU TO
  reg.function("TBROWSENEW", tbrowsenew);  // a browse grid over callbacks
  reg.function("TBROWSEDB", tbrowsedb);    // a browse grid over the current work area
  reg.function("TBCOLUMNNEW", tbcolumnnew);
}

}  // namespace kvel::ui
