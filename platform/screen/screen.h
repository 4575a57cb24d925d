// The 25x80 text screen: cells of a CP866 byte and an attribute, the colour
// list and the selected colour, writing, clearing and scrolling, boxes and
// shadows, saved regions, buffered drawing and the cursor. Everything draws
// here; the picture reaches the back-end when no buffered section is open.
// Coordinates outside the screen are clipped, never an error.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/eval/runtime.h"
#include "platform/screen/backend.h"
#include "platform/screen/cell.h"
#include "platform/screen/colour.h"

namespace kvel::screen {

// Frame strings: top-left, top, top-right, right, bottom-right, bottom,
// bottom-left, left (CP866 bytes), and the same with a blank filler.
inline constexpr std::string_view kFrameSingle = "\xDA\xC4\xBF\xB3\xD9\xC4\xC0\xB3";
inline constexpr std::string_view kFrameDouble = "\xC9\xCD\xBB\xBA\xBC\xCD\xC8\xBA";
inline constexpr std::string_view kFrameSingleDouble = "\xD6\xC4\xB7\xBA\xBD\xC4\xD3\xBA";
inline constexpr std::string_view kFrameDoubleSingle = "\xD5\xCD\xB8\xB3\xBE\xCD\xD4\xB3";

// Attribute SHA_SHADOW gives: dark grey on black, white on black on monochrome screens.
inline constexpr Attr kShadowAttr = 0x08;
inline constexpr Attr kShadowAttrMono = 0x07;

class Screen : public eval::Service {
 public:
  static constexpr eval::ServiceSlot kSlot = eval::ServiceSlot::Screen;

  // Pre: backend is not null. The screen starts blank in W/N, cursor at 0,0, normal shape.
  explicit Screen(std::shared_ptr<Backend> backend);
  ~Screen() override;

  int max_row() const { return kRows - 1; }
  int max_col() const { return kCols - 1; }
  Backend& backend() { return *backend_; }
  const std::shared_ptr<Backend>& shared_backend() const { return backend_; }

  // Colours. The selected slot (COLORSELECT) is the "current colour" that
  // writing, clearing and boxes use when no colour is given.
  const ColourList& colours() const { return colours_; }
  void set_colours(const ColourList& list) { colours_ = list; }
  // SETCOLOR: applies a colour text and returns the previous list as text.
  std::string set_colour(std::string_view text);
  std::string colour_text() const { return colour_list_string(colours_); }
  int selected_slot() const { return selected_; }
  // Returns the previous slot; numbers outside 0..4 leave the selection as it is.
  int select_slot(int slot);
  Attr colour() const { return colours_.slot[selected_]; }
  Attr colour(ColourSlot s) const { return colours_.slot[s]; }
  bool is_colour() const { return !mono_ && backend_->is_colour(); }
  void set_monochrome(bool mono) { mono_ = mono; }

  // Writing. Text runs left to right and is cut at the right edge (no wrapping).
  void write(int row, int col, std::string_view text, Attr a);
  void write(int row, int col, std::string_view text) { write(row, col, text, colour()); }
  void put(int row, int col, uint8_t ch, Attr a);
  // Fills a rectangle with one character.
  void fill(Rect r, uint8_t ch, Attr a);
  void clear(Rect r) { fill(r, ' ', colour()); }
  void clear(Rect r, Attr a) { fill(r, ' ', a); }
  void clear_all() { clear(Rect{}); }
  // Moves a rectangle's contents up by `rows` (negative: down) and left by `cols`
  // (negative: right); uncovered cells are cleared in `a`. Scrolling by the
  // height or more clears the rectangle.
  void scroll(Rect r, int rows, int cols, Attr a);
  void scroll(Rect r, int rows, int cols) { scroll(r, rows, cols, colour()); }

  // Boxes. `frame` has 8 characters (see kFrameSingle); a 9th fills the inside.
  // A shorter frame is padded with blanks. A one-row or one-column box is drawn
  // as a line of the top or left characters.
  void box(Rect r, std::string_view frame, Attr a);
  // Frame number 1 single line, 2 double line; other numbers draw nothing.
  void box(Rect r, int frame_number, Attr a);
  // Keeps the characters and sets the shadow attribute of the row below the box
  // (columns left + 2 .. right + 2) and the two columns right of it (rows
  // top + 1 .. bottom), clipped to the screen.
  void shadow(Rect r);

  // Saved regions: 2 bytes per cell (character, attribute), row by row, over
  // the part of the rectangle that lies on the screen.
  std::string save(Rect r) const;
  // Takes as many cells as the text holds; a short text restores the first cells only.
  void restore(Rect r, std::string_view bytes);
  Cell cell(int row, int col) const;  // a blank W/N cell outside the screen
  Attr attr_at(int row, int col) const { return cell(row, col).attr; }

  // Buffered drawing: what is drawn between begin() and the matching end() is
  // shown at the outermost end(). end() without begin() does nothing.
  void begin();
  void end();
  int depth() const { return depth_; }
  // Shows the picture now, even inside a buffered section (before waiting for a key).
  void flush();

  // Cursor. The position may be set anywhere; it is shown only on the screen.
  int row() const { return cursor_.row; }
  int col() const { return cursor_.col; }
  void set_pos(int row, int col);
  int cursor_shape() const { return cursor_.shape; }
  // Returns the previous shape; shapes outside 0..2 are ignored.
  int set_cursor_shape(int shape);

  // Window title (CP866).
  const std::string& title() const { return title_; }
  void set_title(std::string_view cp866);

  // The whole picture as it stands here (not necessarily shown yet).
  const Cell* cells() const { return cells_; }

 private:
  void changed();
  bool clip(Rect& r) const;

  std::shared_ptr<Backend> backend_;
  Cell cells_[kRows * kCols];
  ColourList colours_;
  int selected_ = kStandard;
  bool mono_ = false;
  int depth_ = 0;
  CursorState cursor_;
  std::string title_;
};

// The screen of a runtime. Installs a headless screen and keyboard first when
// the runtime has none, so screen functions always have a screen to work on.
Screen& screen_of(eval::Runtime& rt);

}  // namespace kvel::screen
