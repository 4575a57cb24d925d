// The bytes that bring a terminal from the picture it shows to a new one:
// only changed cells are sent, with the fewest cursor moves and colour changes.
// Pure (cells in, bytes out), so tests decode the stream back into cells.
#pragma once

#include <string>
#include <vector>

#include "platform/screen/backend.h"
#include "platform/screen/cell.h"

namespace kvel::screen {

// The ANSI colour number (0..7) of a colour number of the text screen (0..7):
// the screen counts blue, green, red; ANSI red, green, blue.
int ansi_colour(int colour);

class TermRenderer {
 public:
  // utf8: send the Unicode glyph of each byte; otherwise the CP866 byte itself
  // (bytes of the control range then go out as blanks).
  explicit TermRenderer(bool utf8 = true);

  // Appends the bytes that show `cells` (kRows * kCols) and the cursor.
  void render(const Cell* cells, const CursorState& cursor, std::string& out);
  // The terminal's picture is unknown (start, resize, resume): the next render
  // clears the whole terminal and sends every cell.
  void invalidate() { valid_ = false; }
  // Appends the bytes of one cell's character.
  void glyph(uint8_t ch, std::string& out) const;

 private:
  void move(int row, int col, std::string& out);
  void colour(Attr a, std::string& out);

  bool utf8_;
  bool valid_ = false;
  std::vector<Cell> shown_;
  int row_ = -1, col_ = -1;  // where the terminal's cursor is; -1: unknown
  int attr_ = -1;            // the terminal's colours; -1: unknown
  CursorState cursor_;
  bool cursor_visible_ = false;
  int cursor_shape_ = -1;
};

}  // namespace kvel::screen
