// The readable text form of a description, as kvel-desc reads and writes it:
// one block per entry (its number at the start of a line, then its parameter
// strings, one per line, each indented by two blanks or, when it holds bytes a
// line cannot show, written escaped after "\"). Directives beginning with "@"
// keep whatever an existing pair of files holds beyond the blocks (a header of
// its own, shadowed records, bytes between entries), so that files turned into
// text and back come out byte for byte the same. Grammar: doc/description.md.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvel::common {

enum class TextEncoding { Utf8, Cp866 };

// The bytes of offset.<ext> and control.<ext>.
struct DescImage {
  std::string offset;
  std::string control;
};

// One fault of a text source. `entry` is 0 when the line belongs to no entry.
struct DescProblem {
  int line = 0;
  long entry = 0;
  std::string message;  // UTF-8
};

struct DescCompile {
  DescImage image;                    // meaningful only when problems is empty
  std::vector<DescProblem> problems;  // every fault found, in line order
};

// Text source (CP866 or UTF-8, detected or named by "@encoding") to files.
// Strings over 256 characters, entry numbers over 999, entry offsets past
// 99,999 and duplicate entries are among the problems; with any problem the
// image is left empty and nothing may be written.
DescCompile compile_description(std::string_view source);

struct DescDecompile {
  std::string text;   // in the asked encoding
  std::string error;  // UTF-8; set when the files cannot be represented
};

// Files to text; compile_description(text) gives the same bytes again.
DescDecompile decompile_description(const DescImage& image, TextEncoding enc);

}  // namespace kvel::common
