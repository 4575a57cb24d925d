#include "common/desc_text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <variant>

#include "common/cp866_text.h"
#include "common/description.h"

namespace kvel::common {
namespace {

// The parsed source: records in file order (entry blocks and raw records),
// then the control-file patches.
struct Entry {
  long number = 0;
  int line = 0;
  std::optional<long> at;
  std::optional<std::string> raw;
  std::vector<std::string> strings;
  std::vector<int> string_lines;
};
struct RawRecord {
  std::string bytes;
  int line = 0;
};
struct Patch {
  long offset = 0;
  std::string bytes;
  int line = 0;
};
struct Model {
  std::optional<std::string> header;
  int header_line = 0;
  std::vector<std::variant<Entry, RawRecord>> records;
  std::string tail;
  std::vector<Patch> patches;
  std::optional<long> size;
};

bool unprintable(unsigned char b) { return b < 0x20 || b == 0x7F || b == 0xFF; }

std::string hex_byte(unsigned char b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", b);
  return buf;
}

// Escaped text: "\\" and "\xHH"; in quoted values also '"'.
std::string escape(std::string_view bytes, bool quoted) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    bool trailing_blank =
        !quoted && b == ' ' && bytes.find_first_not_of(' ', i) == std::string::npos;
    if (b == '\\') {
      out += "\\\\";
    } else if (unprintable(b) || (quoted && b == '"') || trailing_blank) {
      out += hex_byte(b);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> unescape(std::string_view text, std::string& why) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (i + 3 < text.size() + 0 && text[i + 1] == 'x' && hex_digit(text[i + 2]) >= 0 &&
               hex_digit(text[i + 3]) >= 0) {
      out += static_cast<char>(hex_digit(text[i + 2]) * 16 + hex_digit(text[i + 3]));
      i += 3;
    } else {
      why = "a backslash must start \\\\ or \\xHH";
      return std::nullopt;
    }
  }
  return out;
}

std::optional<std::string> quoted_value(std::string_view text, std::string& why) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
    why = "a value in double quotes is expected";
    return std::nullopt;
  }
  return unescape(text.substr(1, text.size() - 2), why);
}

std::optional<long> number_token(std::string_view t) {
  if (t.empty() || t.size() > 9) return std::nullopt;
  long n = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::vector<std::string_view> tokens(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == ' ') ++i;
    if (i >= s.size()) break;
    size_t j = s[i] == '"' ? s.rfind('"') + 1 : s.find(' ', i);
    if (j == std::string_view::npos || j <= i) j = s.size();
    out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

std::string control_too_long(size_t bytes) {
  return "a control file of " + std::to_string(bytes) + " bytes is longer than " +
         std::to_string(kMaxControlSize) + " (16 MiB)";
}

class Parser {
 public:
  explicit Parser(std::vector<DescProblem>& problems) : problems_(problems) {}

  Model parse(std::string_view source) {
    if (source.substr(0, 3) == "\xEF\xBB\xBF") {
      source.remove_prefix(3);
      utf8_ = true;
    } else {
      utf8_ = is_valid_utf8(source);
    }
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos <= source.size();) {
      size_t nl = source.find('\n', pos);
      if (nl == std::string_view::npos) nl = source.size();
      std::string_view line = source.substr(pos, nl - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      pos = nl + 1;
    }
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    // An "@encoding" line before the first entry overrides the guess.
    for (std::string_view l : lines) {
      if (!l.empty() && l[0] >= '0' && l[0] <= '9') break;
      if (l.substr(0, 9) == "@encoding") {
        auto t = tokens(l.substr(9));
        if (t.size() == 1 && (t[0] == "utf-8" || t[0] == "UTF-8")) utf8_ = true;
        if (t.size() == 1 && (t[0] == "cp866" || t[0] == "CP866")) utf8_ = false;
      }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
      line_ = static_cast<int>(i) + 1;
      if (utf8_) {
        size_t bad = 0;
        auto conv = utf8_to_cp866_strict(lines[i], &bad);
        if (!conv) {
          problem("character at byte " + std::to_string(bad + 1) +
                  " is not UTF-8 text of code page 866");
          continue;
        }
        parse_line(*conv);
      } else {
        parse_line(std::string(lines[i]));
      }
    }
    return std::move(model_);
  }

 private:
  void problem(std::string msg, long entry = -1) {
    problems_.push_back({line_, entry < 0 ? current_entry() : entry, std::move(msg)});
  }
  long current_entry() const {
    if (in_entry_ && !model_.records.empty()) {
      if (auto* e = std::get_if<Entry>(&model_.records.back())) return e->number;
    }
    return 0;
  }

  void add_string(std::string s) {
    if (!in_entry_) {
      problem("a parameter string outside an entry (an entry starts with its number)");
      return;
    }
    auto& e = std::get<Entry>(model_.records.back());
    if (s.find('\0') != std::string::npos) {
      problem("a parameter string cannot hold a NUL byte");
    } else if (s.size() > kMaxParamLength) {
      problem("parameter string of " + std::to_string(s.size()) + " characters is longer than 256");
    }
    e.strings.push_back(std::move(s));
    e.string_lines.push_back(line_);
  }

  void parse_line(const std::string& l) {
    std::string why;
    if (l.empty() || l[0] == ';') return;
    if (l[0] == ' ') {
      if (l.size() < 2 || l[1] != ' ') {
        problem("a parameter string line begins with two blanks");
        return;
      }
      add_string(l.substr(2));
    } else if (l[0] == '\\') {
      std::string_view body = std::string_view(l).substr(1);
      if (!body.empty() && body[0] == ' ') body.remove_prefix(1);
      auto s = unescape(body, why);
      if (!s) return problem(why);
      add_string(*s);
    } else if (l[0] >= '0' && l[0] <= '9') {
      parse_entry(l);
    } else if (l[0] == '@') {
      parse_directive(l);
    } else {
      problem(
          "line not understood: an entry number, a string indented by two blanks, "
          "\"\\\" with an escaped string, \"@\" or \";\" is expected");
    }
  }

  void parse_entry(const std::string& l) {
    auto t = tokens(l);
    Entry e;
    e.line = line_;
    auto n = number_token(t[0]);
    std::string why;
    in_entry_ = false;
    if (!n) return problem("entry number \"" + std::string(t[0]) + "\" is not a number", 0);
    e.number = *n;
    size_t i = 1;
    if (i + 1 < t.size() + 0 && t[i] == "at") {
      auto at = number_token(t[i + 1]);
      if (!at) return problem("\"at\" needs a byte offset", e.number);
      e.at = *at;
      i += 2;
    }
    if (i + 1 < t.size() + 0 && t[i] == "raw") {
      auto raw = quoted_value(t[i + 1], why);
      if (!raw) return problem(why, e.number);
      if (raw->size() != kOffsetRecordSize) return problem("a raw record has 11 bytes", e.number);
      e.raw = *raw;
      i += 2;
    }
    if (i != t.size())
      return problem("after the entry number only \"at N\" and \"raw \\\"...\\\"\" may follow",
                     e.number);
    if (e.number < 1 || e.number > kMaxEntryNumber) {
      problem("entry number " + std::to_string(e.number) + " is not within 1..999", e.number);
    }
    auto [it, fresh] = seen_.emplace(e.number, line_);
    if (!fresh) {
      problem("entry " + std::to_string(e.number) + " is given twice (first at line " +
                  std::to_string(it->second) + ")",
              e.number);
    }
    model_.records.emplace_back(std::move(e));
    in_entry_ = true;
  }

  void parse_directive(const std::string& l) {
    in_entry_ = false;
    size_t sp = l.find(' ');
    std::string name = l.substr(0, sp);
    std::string_view rest =
        sp == std::string::npos ? std::string_view{} : std::string_view(l).substr(sp);
    std::string why;
    if (name == "@encoding") return;
    if (name == "@header" || name == "@record" || name == "@tail") {
      auto v = quoted_value(rest, why);
      if (!v) return problem(why, 0);
      if (name == "@tail") {
        if (v->size() >= kOffsetRecordSize) return problem("a tail is shorter than a record", 0);
        model_.tail = *v;
        return;
      }
      if (v->size() != kOffsetRecordSize) return problem(name + " needs 11 bytes", 0);
      if (name == "@header") {
        model_.header = *v;
        model_.header_line = line_;
      } else {
        model_.records.emplace_back(RawRecord{*v, line_});
      }
    } else if (name == "@bytes") {
      auto t = tokens(rest);
      auto off = t.size() == 2 ? number_token(t[0]) : std::nullopt;
      auto v = off ? quoted_value(t[1], why) : std::nullopt;
      if (!off || !v) return problem("@bytes needs an offset and a value in double quotes", 0);
      if (static_cast<size_t>(*off) + v->size() > kMaxControlSize)
        return problem(control_too_long(static_cast<size_t>(*off) + v->size()), 0);
      model_.patches.push_back({*off, *v, line_});
    } else if (name == "@size") {
      auto t = tokens(rest);
      auto n = t.size() == 1 ? number_token(t[0]) : std::nullopt;
      if (!n) return problem("@size needs a number of bytes", 0);
      if (static_cast<size_t>(*n) > kMaxControlSize)
        return problem(control_too_long(static_cast<size_t>(*n)), 0);
      model_.size = *n;
    } else {
      problem("unknown directive " + name, 0);
    }
  }

  std::vector<DescProblem>& problems_;
  Model model_;
  bool utf8_ = false;
  bool in_entry_ = false;
  int line_ = 0;
  std::map<long, int> seen_;
};

void put_bytes(std::string& image, size_t at, std::string_view bytes) {
  if (image.size() < at + bytes.size()) image.resize(at + bytes.size(), '\0');
  image.replace(at, bytes.size(), bytes);
}

// Lays the model out into files; the same code serves the compiler and the
// decompiler's check, so both agree byte for byte.
DescImage layout(const Model& m, std::vector<DescProblem>& problems) {
  DescImage img;
  long max_entry = 0;
  for (const auto& r : m.records) {
    if (auto* e = std::get_if<Entry>(&r)) max_entry = std::max(max_entry, e->number);
  }
  long n = m.header ? split_record(*m.header).offset : max_entry;
  img.offset = m.header ? *m.header : format_header(n);
  long pos = 0;
  for (const auto& r : m.records) {
    if (auto* raw = std::get_if<RawRecord>(&r)) {
      img.offset += raw->bytes;
      continue;
    }
    const Entry& e = std::get<Entry>(r);
    long at = e.at.value_or(pos);
    auto count = static_cast<long>(e.strings.size());
    if (e.number > n) {
      problems.push_back({e.line, e.number,
                          "entry " + std::to_string(e.number) + " is above the header's N of " +
                              std::to_string(n)});
    }
    if (at > kMaxEntryOffset) {
      problems.push_back(
          {e.line, e.number,
           "entry starts at byte " + std::to_string(at) + " of the control file, past 99,999"});
    }
    if (count > kMaxStringCount) {
      problems.push_back({e.line, e.number, "more than 999 parameter strings"});
    }
    std::string rec = format_record(e.number, at, count);
    if (e.raw) {
      OffsetRecord o = split_record(*e.raw);
      if (o.entry != e.number || o.offset != at || o.count != count) {
        problems.push_back({e.line, e.number,
                            "the raw record says entry " + std::to_string(o.entry) + " at " +
                                std::to_string(o.offset) + " with " + std::to_string(o.count) +
                                " strings"});
      }
      rec = *e.raw;
    }
    img.offset += rec;
    // An entry past the reach of its record is a problem already; its
    // strings are not laid out, so that no offset makes a huge image.
    if (at > kMaxEntryOffset) continue;
    size_t p = static_cast<size_t>(at);
    for (const auto& s : e.strings) {
      put_bytes(img.control, p, s);
      put_bytes(img.control, p + s.size(), std::string_view("\0", 1));
      p += s.size() + 1;
    }
    pos = static_cast<long>(p);
  }
  img.offset += m.tail;
  for (const auto& p : m.patches) put_bytes(img.control, static_cast<size_t>(p.offset), p.bytes);
  if (m.size) img.control.resize(static_cast<size_t>(*m.size), '\0');
  return img;
}

std::string quoted(std::string_view bytes) { return "\"" + escape(bytes, true) + "\""; }

std::string string_line(std::string_view s) {
  bool raw = !s.empty() && s.back() != ' ';
  for (unsigned char b : s) raw = raw && !unprintable(b);
  if (raw) return "  " + std::string(s);
  if (s.empty()) return "\\";
  return "\\ " + escape(s, false);
}

}  // namespace

DescCompile compile_description(std::string_view source) {
  DescCompile out;
  Parser parser(out.problems);
  Model m = parser.parse(source);
  DescImage img = layout(m, out.problems);
  std::stable_sort(out.problems.begin(), out.problems.end(),
                   [](const DescProblem& a, const DescProblem& b) { return a.line < b.line; });
  if (out.problems.empty()) out.image = std::move(img);
  return out;
}

DescDecompile decompile_description(const DescImage& image, TextEncoding enc) {
  DescDecompile out;
  const std::string& off = image.offset;
  if (off.size() < kOffsetRecordSize) {
    out.error = "the offset file has no header record (fewer than 11 bytes)";
    return out;
  }
  Model m;
  long n = split_record(off).offset;
  size_t nrec = off.size() / kOffsetRecordSize - 1;
  // The last record of an entry number is the one that counts; earlier ones
  // and records outside 1..N are kept as raw records.
  std::map<long, size_t> last;
  for (size_t i = 0; i < nrec; ++i) {
    last[split_record(std::string_view(off).substr((i + 1) * kOffsetRecordSize)).entry] = i;
  }
  long pos = 0;
  long max_entry = 0;
  for (size_t i = 0; i < nrec; ++i) {
    std::string rec = off.substr((i + 1) * kOffsetRecordSize, kOffsetRecordSize);
    OffsetRecord o = split_record(rec);
    if (o.entry < 1 || o.entry > n || last[o.entry] != i) {
      m.records.emplace_back(RawRecord{rec, 0});
      continue;
    }
    Entry e;
    e.number = o.entry;
    max_entry = std::max(max_entry, o.entry);
    if (o.offset != pos) e.at = o.offset;
    if (rec != format_record(o.entry, o.offset, o.count)) e.raw = rec;
    e.strings = entry_strings(image.control, o.offset, o.count);
    pos = o.offset;
    for (const auto& s : e.strings) pos += static_cast<long>(s.size()) + 1;
    m.records.emplace_back(std::move(e));
  }
  std::string header = off.substr(0, kOffsetRecordSize);
  if (header != format_header(max_entry)) m.header = header;
  m.tail = off.substr((nrec + 1) * kOffsetRecordSize);

  // What the blocks alone give, against the real control file: the
  // differences become patches. Past the end of the blocks "@size" pads with
  // NUL bytes, so there only other bytes need a patch; a run of NULs of any
  // length costs one line, not one per 48 bytes.
  std::vector<DescProblem> ignored;
  DescImage built = layout(m, ignored);
  const std::string& want = image.control;
  const std::string& have = built.control;
  auto built_byte = [&have](size_t i) { return i < have.size() ? have[i] : '\0'; };
  size_t end = have.size();
  for (size_t i = 0; i < want.size();) {
    if (built_byte(i) == want[i]) {
      ++i;
      continue;
    }
    // Join differences closer than 8 bytes; cut long runs into lines of 48.
    size_t j = i, same = 0;
    while (j < want.size() && j - i < 48 && same < 8) {
      same = built_byte(j) == want[j] ? same + 1 : 0;
      ++j;
    }
    j -= same;
    m.patches.push_back({static_cast<long>(i), want.substr(i, j - i), 0});
    end = std::max(end, j);
    i = j;
  }
  if (end != want.size()) m.size = static_cast<long>(want.size());

  std::string t;
  t += "@encoding ";
  t += enc == TextEncoding::Utf8 ? "utf-8\n" : "cp866\n";
  t += "; kvel description: entry number, then its parameter strings indented by two blanks\n";
  if (m.header) t += "@header " + quoted(*m.header) + "\n";
  for (const auto& r : m.records) {
    if (auto* raw = std::get_if<RawRecord>(&r)) {
      t += "@record " + quoted(raw->bytes) + "\n";
      continue;
    }
    const Entry& e = std::get<Entry>(r);
    t += "\n" + std::to_string(e.number);
    if (e.at) t += " at " + std::to_string(*e.at);
    if (e.raw) t += " raw " + quoted(*e.raw);
    t += "\n";
    for (const auto& s : e.strings) t += string_line(s) + "\n";
  }
  if (!m.tail.empty()) t += "@tail " + quoted(m.tail) + "\n";
  if (!m.patches.empty() || m.size) t += "\n";
  for (const auto& p : m.patches)
    t += "@bytes " + std::to_string(p.offset) + " " + quoted(p.bytes) + "\n";
  if (m.size) t += "@size " + std::to_string(*m.size) + "\n";
  out.text = enc == TextEncoding::Utf8 ? from866(t) : t;

  DescCompile check = compile_description(out.text);
  if (!check.problems.empty() || check.image.offset != image.offset ||
      check.image.control != image.control) {
    out.error = "the files cannot be represented as text without loss";
    if (!check.problems.empty())
      out.error +=
          ": line " + std::to_string(check.problems[0].line) + ": " + check.problems[0].message;
    out.text.clear();
  }
  return out;
}

}  // namespace kvel::common
