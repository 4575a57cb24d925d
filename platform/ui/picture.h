// Pictures of data entry ("@!R 999-999", "@S20", "99/99/9999") and the edit
// buffer of one field: the text being edited, the positions the cursor may
// stand on, what each editing key does to the text, and how the text becomes
// a value again. Pure: no screen, no keyboard. Layout notes: doc/ui.md.
#pragma once

#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/eval/value.h"

namespace kvel::ui {

// A parsed picture: the function letters after "@" (upper case, the width of
// "S" taken out) and the template after the first blank.
struct Picture {
  std::string functions;
  int scroll = 0;  // @S<n>: columns shown; 0 shows the whole buffer
  std::string templ;
  bool has(char f) const { return functions.find(f) != std::string::npos; }
};
Picture parse_picture(std::string_view text);

// A number written into a numeric template ("9", "#", "$", "*" digit places,
// "." the decimal point, others literal), honouring @Z @B @E @( @X @C. A value
// that does not fit fills the digit places with "*".
std::string format_number(double v, int decimals, const Picture& pic);

// A value as a field shows it without the focus and as a browse cell shows
// it: the picture applied (TRANSFORM's rules), or the plain form of its type.
std::string display_text(eval::Runtime& rt, const eval::Value& v, std::string_view picture);

class EditBuffer {
 public:
  // Type letters: 'C' (memo values too), 'N', 'D', 'L'. Values of other types
  // are edited as empty texts of the picture's width.
  EditBuffer(eval::Runtime& rt, const eval::Value& value, std::string_view picture);

  char type() const { return type_; }
  const Picture& picture() const { return pic_; }
  const std::string& text() const { return buf_; }
  // One template character per buffer place (made from the value when the
  // picture has none).
  const std::string& templ() const { return templ_; }
  int decimals() const { return decimals_; }
  // Cursor position, 0-based, always on an editable place (or 0 when none).
  int pos() const { return pos_; }
  void set_pos(int p);
  // The columns shown on the screen and the offset of the first of them
  // (@S scrolls the window over the buffer to keep the cursor visible).
  int shown_width() const;
  int scroll_offset() const { return offset_; }
  std::string shown() const;

  // Editing. put() types one character (insert or overwrite); it is refused
  // (rejected() becomes true) when the template place does not take it.
  void put(unsigned char c, bool insert);
  void left();
  void right();
  void home();
  void end();
  void word_left();
  void word_right();
  void backspace();
  void del();
  void del_end();         // Ctrl+Y: blanks from the cursor to the end
  void del_word_right();  // Ctrl+T
  void to_dec_pos();      // "." or "," in a number: integer part aligned, cursor to the decimals
  void undo();            // back to the value the buffer was made from

  // The first typed character empties the buffer first (numbers and @K).
  bool clear_pending() const { return clear_; }
  void set_clear(bool c) { clear_ = c; }
  bool changed() const { return changed_; }
  bool rejected() const { return rejected_; }
  // True after a character was typed into the last place.
  bool typed_out() const { return type_out_; }
  // Whether the number's value is negative: a "-" in the buffer.
  bool minus() const;
  // 0-based place of the decimal point of a number, -1 when none.
  int dec_pos() const { return dec_pos_; }

  // The value the text stands for. A date text that is not a date gives the
  // empty date and sets bad_date().
  eval::Value value();
  bool bad_date();
  // Makes the text from a value again (after the variable was changed).
  void reset(const eval::Value& value);

 private:
  bool editable(int p) const;
  int first_editable() const;
  int last_editable() const;
  int next_editable(int p) const;
  int prev_editable(int p) const;
  // The last place that insert and delete shift through from p: a number's
  // digits never cross its decimal point.
  int part_end(int p) const;
  bool accepts(int p, unsigned char& c) const;
  void clear_text();
  void adjust_offset();
  std::string format(const eval::Value& v) const;
  std::string number_text(double v) const;
  void show_literals();

  eval::Runtime& rt_;
  char type_ = 'C';
  Picture pic_;
  std::string templ_;  // one template character per buffer place
  std::string buf_;
  eval::Value original_;
  std::string tail_;              // characters of a text beyond the template, kept as they were
  int width_ = 0, decimals_ = 0;  // of the numeric value
  int pos_ = 0, offset_ = 0, dec_pos_ = -1;
  bool clear_ = false, changed_ = false, rejected_ = false, type_out_ = false;
  bool minus_ = false;  // a typed "-" that the buffer has no place to show
  bool blank_ = false;  // @Z: a zero shown blank, literals hidden too
};

}  // namespace kvel::ui
