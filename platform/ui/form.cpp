#include "platform/ui/form.h"

#include "platform/screen/keyboard.h"
#include "platform/screen/keys.h"
#include "platform/screen/screen.h"
#include "platform/ui/callback.h"
#include "platform/ui/text.h"
#include "platform/ui/ui_state.h"

namespace kvel::ui {

using eval::Value;
namespace sc = kvel::screen;

namespace {

// Control keys the reader knows beyond keys.h.
constexpr int kCtrlT = 20;
constexpr int kCtrlU = 21;
constexpr int kCtrlY = 25;

// READKEY codes.
constexpr int kReadUp = 5;
constexpr int kReadDown = 2;
constexpr int kReadPgUp = 6;
constexpr int kReadPgDn = 7;
constexpr int kReadCtrlW = 14;
constexpr int kReadEsc = 12;
constexpr int kReadEnter = 15;

int cursor_shape_for(eval::Runtime& rt) {
  return rt.settings().insert ? sc::kCursorInsert : sc::kCursorNormal;
}

}  // namespace

GetField::GetField(int r, int c, Value b, std::string n, std::string pic, std::string colr)
    : row(r),
      col(c),
      name(std::move(n)),
      picture(std::move(pic)),
      colour(std::move(colr)),
      block(std::move(b)) {}

Value GetField::var_get(eval::Runtime& rt) {
  return block.is_block() ? ui::call(rt, block) : Value();
}

void GetField::var_put(eval::Runtime& rt, const Value& v) {
  if (block.is_block()) ui::call(rt, block, {v});
}

void GetField::set_focus(eval::Runtime& rt) {
  buffer_.emplace(rt, var_get(rt), picture);
  exit_state = kGeNoExit;
  display(rt);
}

void GetField::kill_focus(eval::Runtime& rt) {
  buffer_.reset();
  display(rt);
}

void GetField::assign(eval::Runtime& rt) {
  if (buffer_ && buffer_->changed()) var_put(rt, buffer_->value());
}

void GetField::update_buffer(eval::Runtime& rt) {
  if (!buffer_) return;
  int p = buffer_->pos();
  bool changed = buffer_->changed();
  buffer_->reset(var_get(rt));
  buffer_->set_pos(p);
  if (changed) buffer_->set_clear(false);
}

std::string GetField::shown_text(eval::Runtime& rt) {
  std::string s = display_text(rt, var_get(rt), picture);
  Picture p = parse_picture(picture);
  return p.scroll > 0 ? s.substr(0, static_cast<size_t>(p.scroll)) : s;
}

void GetField::display(eval::Runtime& rt) {
  sc::Screen& scr = sc::screen_of(rt);
  std::vector<std::string> parts = split(colour, ',');
  sc::Attr normal = scr.colour(sc::kUnselected), focused = scr.colour(sc::kEnhanced);
  if (!parts.empty() && parts[0].find_first_not_of(' ') != std::string::npos)
    normal = sc::parse_colour(parts[0], normal);
  if (parts.size() > 1 && parts[1].find_first_not_of(' ') != std::string::npos)
    focused = sc::parse_colour(parts[1], focused);
  // The edited and the shown forms may differ in width ("(12)" against "-12",
  // " CR" after a number): what the other form left beyond this one is blanked.
  std::string s = buffer_ ? buffer_->shown() : shown_text(rt);
  const int width = static_cast<int>(s.size());
  if (width < drawn_) scr.write(row, col + width, std::string(drawn_ - width, ' '), normal);
  drawn_ = width;
  if (buffer_) {
    scr.write(row, col, s, focused);
    scr.set_pos(row, col + buffer_->pos() - buffer_->scroll_offset());
  } else {
    scr.write(row, col, s, normal);
  }
}

Value GetField::get(eval::Runtime& rt, std::string_view n) {
  std::string m = eval::upper_name(n);
  EditBuffer* b = buffer();
  if (m == "ROW") return Value::integer(row);
  if (m == "COL") return Value::integer(col);
  if (m == "NAME") return Value::string(name);
  if (m == "PICTURE") return picture.empty() ? Value() : Value::string(picture);
  if (m == "COLORSPEC") return Value::string(colour);
  if (m == "BLOCK") return block;
  if (m == "PREBLOCK") return when;
  if (m == "POSTBLOCK") return valid;
  if (m == "CARGO") return cargo;
  if (m == "EXITSTATE") return Value::integer(exit_state);
  if (m == "HASFOCUS") return Value::logical(b != nullptr);
  if (m == "BUFFER") return b ? Value::string(b->text()) : Value::string(shown_text(rt));
  if (m == "POS") return b ? Value::integer(b->pos() + 1) : Value();
  if (m == "CHANGED") return Value::logical(b && b->changed());
  if (m == "ORIGINAL") return var_get(rt);
  if (m == "TYPE") {
    Value v = var_get(rt);
    char t = v.valtype() == 'M' ? 'C' : v.valtype();
    return Value::string(std::string(1, t));
  }
  if (m == "DECPOS") return b && b->dec_pos() >= 0 ? Value::integer(b->dec_pos() + 1) : Value();
  if (m == "CLEAR") return Value::logical(b && b->clear_pending());
  if (m == "MINUS") return Value::logical(b && b->minus());
  if (m == "TYPEOUT") return Value::logical(b && b->typed_out());
  if (m == "REJECTED") return Value::logical(b && b->rejected());
  if (m == "BADDATE") return Value::logical(b && b->bad_date());
  if (m == "SUBSCRIPT" || m == "READER") return {};
  if (m == "VARGET") return var_get(rt);
  raise_no_method(rt, n);
  return {};
}

void GetField::set(eval::Runtime& rt, std::string_view n, const Value& v) {
  std::string m = eval::upper_name(n);
  auto text = [&] { return v.is_string() ? v.as_string() : std::string(); };
  if (m == "ROW" && v.is_number()) {
    row = static_cast<int>(v.as_int());
  } else if (m == "COL" && v.is_number()) {
    col = static_cast<int>(v.as_int());
  } else if (m == "NAME") {
    name = text();
  } else if (m == "PICTURE") {
    picture = text();
  } else if (m == "COLORSPEC") {
    colour = text();
  } else if (m == "BLOCK") {
    block = v;
  } else if (m == "PREBLOCK") {
    when = v;
  } else if (m == "POSTBLOCK") {
    valid = v;
  } else if (m == "CARGO") {
    cargo = v;
  } else if (m == "EXITSTATE" && v.is_number()) {
    exit_state = static_cast<int>(v.as_int());
  } else if (m == "POS" && v.is_number()) {
    if (buffer_) buffer_->set_pos(static_cast<int>(v.as_int()) - 1);
  } else if (m == "CLEAR" && v.is_logical()) {
    if (buffer_) buffer_->set_clear(v.as_logical());
  } else {
    raise_no_method(rt, n);
  }
}

Value GetField::call(eval::Runtime& rt, std::string_view n, eval::Args args) {
  std::string m = eval::upper_name(n);
  EditBuffer* b = buffer();
  auto self = [&] { return Value::object(shared_from_this()); };
  if (m == "VARGET") return var_get(rt);
  if (m == "VARPUT") {
    var_put(rt, args[0]);
    return args[0];
  }
  if (m == "DISPLAY") {
    display(rt);
    return self();
  }
  if (m == "SETFOCUS") {
    if (!b) set_focus(rt);
    return self();
  }
  if (m == "KILLFOCUS") {
    if (b) kill_focus(rt);
    return self();
  }
  if (m == "ASSIGN") {
    assign(rt);
    return self();
  }
  if (m == "UPDATEBUFFER") {
    update_buffer(rt);
    display(rt);
    return self();
  }
  if (m == "UNTRANSFORM") return b ? b->value() : var_get(rt);
  if (m == "RESET" || m == "UNDO") {
    if (b) {
      if (m == "UNDO") {
        b->undo();
      } else {
        update_buffer(rt);
        b->home();
      }
      display(rt);
    }
    return self();
  }
  if (!b) return get(rt, n);
  if (m == "INSERT" || m == "OVERSTRIKE") {
    const Value& c = args[0];
    if (c.is_string()) {
      for (unsigned char ch : c.as_string()) b->put(ch, m == "INSERT");
    }
  } else if (m == "LEFT") {
    b->left();
  } else if (m == "RIGHT") {
    b->right();
  } else if (m == "HOME") {
    b->home();
  } else if (m == "END") {
    b->end();
  } else if (m == "WORDLEFT") {
    b->word_left();
  } else if (m == "WORDRIGHT") {
    b->word_right();
  } else if (m == "BACKSPACE") {
    b->backspace();
  } else if (m == "DELETE") {
    b->del();
  } else if (m == "DELEND") {
    b->del_end();
  } else if (m == "DELWORDRIGHT") {
    b->del_word_right();
  } else if (m == "TODECPOS") {
    b->to_dec_pos();
  } else {
    return get(rt, n);
  }
  display(rt);
  return self();
}

std::vector<std::shared_ptr<GetField>> fields_of(const Value& list) {
  std::vector<std::shared_ptr<GetField>> out;
  if (!list.is_array()) return out;
  for (const Value& v : list.as_array()->items) {
    if (!v.is_object()) continue;
    if (auto g = std::dynamic_pointer_cast<GetField>(v.as_object())) out.push_back(std::move(g));
  }
  return out;
}

void apply_key(eval::Runtime& rt, GetField& f, int key) {
  sc::Keyboard& kb = sc::keyboard_of(rt);
  UiState& st = ui_state(rt);
  if (!kb.handler(key).is_nil()) {
    if (f.buffer() && f.buffer()->changed()) {
      f.assign(rt);
      st.updated = true;
    }
    kb.run_handler(rt, key, f.name);
    if (f.has_focus()) {
      f.update_buffer(rt);
      f.display(rt);
    }
    if (st.kill_read) f.exit_state = kGeEscape;
    return;
  }
  EditBuffer* b = f.buffer();
  if (!b) return;
  eval::Settings& set = rt.settings();
  switch (key) {
    case sc::kKeyUp:
    case sc::kKeyShiftTab:
      f.exit_state = kGeUp;
      break;
    case sc::kKeyDown:
    case sc::kKeyTab:
      f.exit_state = kGeDown;
      break;
    case sc::kKeyEnter:
      f.exit_state = kGeEnter;
      break;
    case sc::kKeyEsc:
      if (set.escape) {
        b->undo();
        f.exit_state = kGeEscape;
      }
      break;
    case sc::kKeyPgUp:
    case sc::kKeyPgDn:
    case sc::kKeyCtrlEnd:
      f.exit_state = kGeWrite;
      break;
    case sc::kKeyCtrlHome:
      f.exit_state = kGeTop;
      break;
    case sc::kKeyIns:
      set.insert = !set.insert;
      sc::screen_of(rt).set_cursor_shape(cursor_shape_for(rt));
      break;
    case kCtrlU:
      b->undo();
      break;
    case sc::kKeyHome:
      b->home();
      break;
    case sc::kKeyEnd:
      b->end();
      break;
    case sc::kKeyRight:
      b->right();
      break;
    case sc::kKeyLeft:
      b->left();
      break;
    case sc::kKeyCtrlRight:
      b->word_right();
      break;
    case sc::kKeyCtrlLeft:
      b->word_left();
      break;
    case sc::kKeyBs:
      b->backspace();
      break;
    case sc::kKeyDel:
      b->del();
      break;
    case kCtrlT:
      b->del_word_right();
      break;
    case kCtrlY:
      b->del_end();
      break;
    case sc::kKeyCtrlBs:
      b->word_left();
      b->del_word_right();
      break;
    default:
      if (key >= 32 && key <= 255) {
        if (b->type() == 'N' && (key == '.' || key == ',')) {
          b->to_dec_pos();
        } else {
          b->put(static_cast<unsigned char>(key), set.insert);
          if (b->typed_out() && !set.confirm) f.exit_state = kGeEnter;
        }
      }
      break;
  }
  f.display(rt);
}

namespace {

// One field from focus to leaving it: the keys, then the checks that may keep
// the cursor in it.
void read_field(eval::Runtime& rt, GetField& f, Value self) {
  UiState& st = ui_state(rt);
  sc::Keyboard& kb = sc::keyboard_of(rt);
  f.set_focus(rt);
  while (f.exit_state == kGeNoExit) {
    int key = kb.inkey(rt, 0);
    apply_key(rt, f, key);
    if (!f.has_focus()) f.set_focus(rt);  // a handler took the focus away
    if (f.exit_state == kGeNoExit || f.exit_state == kGeEscape) continue;
    EditBuffer* b = f.buffer();
    if (b->bad_date()) {
      f.exit_state = kGeNoExit;
      b->home();
      f.display(rt);
      continue;
    }
    if (b->changed()) {
      f.assign(rt);
      st.updated = true;
    }
    if (!holds(rt, f.valid, self)) {
      // The cursor stays; the field starts afresh from its (stored) value.
      f.exit_state = kGeNoExit;
      f.update_buffer(rt);
      if (EditBuffer* nb = f.buffer()) {
        nb->home();
        nb->set_clear(nb->type() == 'N' || nb->picture().has('K'));
      }
      f.display(rt);
      continue;
    }
  }
  f.kill_focus(rt);
}

}  // namespace

bool read_modal(eval::Runtime& rt, const std::vector<std::shared_ptr<GetField>>& fields,
                size_t first) {
  UiState& st = ui_state(rt);
  sc::Screen& scr = sc::screen_of(rt);
  sc::Keyboard& kb = sc::keyboard_of(rt);
  GetField* outer_active = st.active;
  bool outer_updated = st.updated;
  st.updated = false;
  st.kill_read = false;
  ++st.reads_running;
  int old_shape = scr.set_cursor_shape(cursor_shape_for(rt));
  for (auto& f : fields) f->display(rt);

  const int n = static_cast<int>(fields.size());
  int pos = static_cast<int>(first);
  if (pos >= n) pos = 0;
  int last_exit = kGeDown;
  bool bump_top = false, bump_bot = false;
  int final_exit = kGeEscape;
  while (n > 0) {
    GetField& f = *fields[pos];
    Value self = Value::object(f.shared_from_this());
    st.active = &f;
    st.active_var = f.name;
    if (!holds(rt, f.when, self)) {
      f.exit_state = kGeWhen;
    } else {
      bump_top = bump_bot = false;
      read_field(rt, f, self);
    }
    int exit = f.exit_state;
    if (exit == kGeEscape || exit == kGeWrite) {
      final_exit = exit;
      break;
    }
    if (exit == kGeWhen) exit = last_exit;
    int last_pos = pos;
    switch (exit) {
      case kGeUp:
        --pos;
        break;
      case kGeTop:
        pos = 0;
        bump_top = true;
        exit = kGeDown;
        break;
      case kGeBottom:
        pos = n - 1;
        bump_bot = true;
        exit = kGeUp;
        break;
      default:
        ++pos;
        break;  // Down, Enter
    }
    final_exit = exit;
    if (pos < 0) {
      if (st.read_exit || bump_bot) break;
      bump_top = true;
      pos = last_pos;
      exit = kGeDown;
    } else if (pos >= n) {
      if (st.read_exit || exit == kGeEnter || bump_top) break;
      bump_bot = true;
      pos = last_pos;
      exit = kGeUp;
    }
    last_exit = exit;
  }

  int key = kb.last_key();
  int code = 0;
  switch (final_exit) {
    case kGeEscape:
      code = kReadEsc;
      break;
    case kGeWrite:
      code = key == sc::kKeyPgUp ? kReadPgUp : key == sc::kKeyPgDn ? kReadPgDn : kReadCtrlW;
      break;
    case kGeUp:
      code = kReadUp;
      break;
    case kGeDown:
      code = kReadDown;
      break;
    default:
      code = kReadEnter;
      break;
  }
  bool updated = st.updated;
  st.read_key = code + (updated ? 256 : 0);
  st.active = outer_active;
  st.kill_read = false;
  --st.reads_running;
  st.updated = st.reads_running > 0 ? (updated || outer_updated) : updated;
  scr.set_cursor_shape(old_shape);
  return updated;
}

}  // namespace kvel::ui
