// The text of the text editor as an array of lines, word-wrapped at a line
// length. A line ends in a hard break (kept as the bytes it had: CR LF, or a
// lone LF), a soft break (written as byte 141 and LF, made by wrapping), or
// nothing (the last line). Editing re-wraps only the paragraph it touches and
// stops as soon as the lines fall back into their old places, so a key costs
// the same in a 20-line note and a multi-megabyte report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvel::ui {

inline constexpr char kSoftBreak = '\x8D';

class EditorText {
 public:
  // line_length < 1: no wrapping. Soft breaks in `text` are taken out and the
  // text wrapped again at line_length.
  EditorText(std::string_view text, int line_length, bool wrap = true);

  int lines() const { return static_cast<int>(lines_.size()); }
  const std::string& line(int i) const { return lines_[i].text; }
  bool soft(int i) const { return lines_[i].soft; }
  int line_length() const { return length_; }
  bool wrap() const { return wrap_; }
  void set_wrap(bool on) { wrap_ = on; }

  // Editing at (line, col); col may lie past the end of the line (blanks are
  // added). Each returns the cursor place after the change in `line`/`col`.
  void insert(int& line, int& col, std::string_view s, bool overwrite = false);
  void erase(int& line, int& col);  // the character at the cursor; at the end joins the next line
  void backspace(int& line, int& col);  // the character before; at column 0 joins the previous line
  void split(int& line, int& col);      // a hard break at the cursor
  void erase_line(int line);
  void erase_word(int line, int col);
  // Wraps the paragraph holding `line` afresh at the line length, whole and
  // even with wrapping off (the family's Ctrl+B), and puts the cursor at the
  // start of the next paragraph (at the end of the text after the last one).
  // Returns whether any line changed.
  bool reformat(int& line, int& col);

  // The whole text, soft breaks written as 141 LF.
  std::string text() const;

 private:
  struct Line {
    std::string text;
    bool soft = false;
    std::string brk;  // the hard break's bytes; empty for the last line and soft breaks
  };
  // Wraps the paragraph holding `line` again from the line before it (text may
  // move back up); moves the cursor with its text.
  void rewrap(int line, int& cur_line, int& cur_col);
  size_t piece(const std::string& t, size_t p) const;  // end of the wrapped line starting at p
  size_t cut(const std::string& t, size_t p) const;    // the same with wrapping on
  // The lines of one paragraph, wrapped or not; all but the last end softly.
  std::vector<Line> wrapped(const std::string& t, bool wrap) const;

  std::vector<Line> lines_;
  int length_ = 0;
  bool wrap_ = true;
};

}  // namespace kvel::ui
