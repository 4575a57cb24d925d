// Memo texts as lines: hard line ends (CR LF, or a lone LF), soft line ends
// that the memo editor inserted (byte 0x8D then LF, ignored on reading) and
// word wrap at a width, as MemoLine() and MLCount() see them. The text editor
// and the report writer use the same wrapping.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvel::rtl {

struct MemoLayout {
  int width = 79;    // columns per line, >= 1
  int tab = 4;       // tab stops every `tab` columns, >= 1
  bool wrap = true;  // break at the last blank that fits, else at the width
};

// The number of lines of text.
size_t memo_count(std::string_view text, const MemoLayout& layout);
// Line n (1-based) with tabs expanded, padded with blanks to the width;
// blanks when the text has fewer lines, "" when n < 1.
std::string memo_line(std::string_view text, const MemoLayout& layout, size_t n);

// Pads or cuts text to n bytes: fill on the left, on the right, or on both
// sides (the extra one on the right). PadL cuts on the right too.
enum class Pad { Left, Right, Center };
std::string pad(std::string_view text, size_t n, char fill, Pad where);

}  // namespace kvel::rtl
