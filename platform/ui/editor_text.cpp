#include "platform/ui/editor_text.h"

#include <algorithm>

namespace kvel::ui {

EditorText::EditorText(std::string_view text, int line_length, bool wrap)
    : length_(line_length), wrap_(wrap && line_length > 0) {
  std::string para;
  auto flush = [&](std::string brk) {
    std::vector<Line> ls = wrapped(para, wrap_);
    ls.back().brk = std::move(brk);
    lines_.insert(lines_.end(), std::make_move_iterator(ls.begin()),
                  std::make_move_iterator(ls.end()));
    para.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == kSoftBreak && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;  // wrapping is done afresh
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      flush("\r\n");
    } else if (c == '\n') {
      flush("\n");
    } else {
      para += c;
    }
  }
  flush("");
}

std::vector<EditorText::Line> EditorText::wrapped(const std::string& t, bool wrap) const {
  std::vector<Line> out;
  size_t p = 0;
  do {
    size_t q = wrap ? cut(t, p) : t.size();
    Line l;
    l.text = t.substr(p, q - p);
    l.soft = q < t.size();
    out.push_back(std::move(l));
    p = q;
  } while (p < t.size());
  return out;
}

size_t EditorText::piece(const std::string& t, size_t p) const {
  return wrap_ ? cut(t, p) : t.size();
}

size_t EditorText::cut(const std::string& t, size_t p) const {
  if (length_ < 1 || t.size() - p <= static_cast<size_t>(length_)) return t.size();
  size_t limit = p + static_cast<size_t>(length_);
  if (t[limit] == ' ') return limit + 1;  // a blank right after a full line stays on it
  size_t q = t.rfind(' ', limit - 1);
  if (q != std::string::npos && q > p) return q + 1;
  return limit;
}

void EditorText::rewrap(int line, int& cur_line, int& cur_col) {
  if (!wrap_) return;
  int n = lines();
  int s = line > 0 && lines_[line - 1].soft ? line - 1 : line;
  int e = line;
  while (e < n - 1 && lines_[e].soft) ++e;
  std::string t;
  std::vector<size_t> starts;
  for (int i = s; i <= e; ++i) {
    starts.push_back(t.size());
    t += lines_[i].text;
  }
  const bool has_cursor = cur_line >= s && cur_line <= e;
  const size_t co = has_cursor ? starts[cur_line - s] + static_cast<size_t>(cur_col) : 0;
  std::string brk = lines_[e].brk;

  std::vector<Line> out;
  size_t p = 0, k = 0;
  int keep_from = -1;  // first old line kept as it was
  for (;;) {
    while (k < starts.size() && starts[k] < p) ++k;
    if (!out.empty() && k < starts.size() && starts[k] == p && s + static_cast<int>(k) > line) {
      keep_from = s + static_cast<int>(k);
      break;
    }
    size_t q = piece(t, p);
    Line l;
    l.text = t.substr(p, q - p);
    l.soft = true;
    out.push_back(std::move(l));
    p = q;
    if (p >= t.size()) break;
  }
  if (keep_from < 0) {
    out.back().soft = false;
    out.back().brk = brk;
  }
  int replaced_end = keep_from < 0 ? e + 1 : keep_from;
  // Lines are moved only when their count changes: a key in a long text
  // usually just rewrites the line it is on.
  const int old_count = replaced_end - s, new_count = static_cast<int>(out.size());
  const int common = std::min(old_count, new_count);
  for (int i = 0; i < common; ++i) lines_[s + i] = std::move(out[i]);
  if (new_count < old_count) {
    lines_.erase(lines_.begin() + s + common, lines_.begin() + replaced_end);
  } else if (new_count > old_count) {
    lines_.insert(lines_.begin() + s + common, std::make_move_iterator(out.begin() + common),
                  std::make_move_iterator(out.end()));
  }

  if (!has_cursor) {
    if (cur_line >= replaced_end) cur_line += static_cast<int>(out.size()) - (replaced_end - s);
    return;
  }
  const size_t covered = keep_from < 0 ? t.size() : starts[keep_from - s];
  if (keep_from < 0 || co < covered) {
    // A cursor on a break goes to the start of the next line.
    size_t off = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      size_t len = lines_[s + i].text.size();
      if (co < off + len) {
        cur_line = s + static_cast<int>(i);
        cur_col = static_cast<int>(co - off);
        return;
      }
      off += len;
    }
    cur_line = s + static_cast<int>(out.size()) - 1;
    cur_col = static_cast<int>(co - (off - lines_[s + out.size() - 1].text.size()));
    return;
  }
  // In the lines kept: the old line holding the cursor.
  int j = keep_from;
  while (j < e && starts[j + 1 - s] <= co) ++j;
  cur_line = s + static_cast<int>(out.size()) + (j - keep_from);
  cur_col = static_cast<int>(co - starts[j - s]);
}

void EditorText::insert(int& line, int& col, std::string_view s, bool overwrite) {
  std::string& t = lines_[line].text;
  if (static_cast<int>(t.size()) < col) t.resize(static_cast<size_t>(col), ' ');
  if (overwrite) {
    size_t n = std::min(s.size(), t.size() - static_cast<size_t>(col));
    t.replace(static_cast<size_t>(col), n, s);
  } else {
    t.insert(static_cast<size_t>(col), s);
  }
  col += static_cast<int>(s.size());
  rewrap(line, line, col);
}

void EditorText::erase(int& line, int& col) {
  std::string& t = lines_[line].text;
  if (col < static_cast<int>(t.size())) {
    t.erase(static_cast<size_t>(col), 1);
  } else if (line + 1 < lines()) {
    if (lines_[line].soft) {
      // The next character of the paragraph is the first of the next line.
      if (!lines_[line + 1].text.empty()) lines_[line + 1].text.erase(0, 1);
    } else {
      t.resize(static_cast<size_t>(col), ' ');
      t += lines_[line + 1].text;
      lines_[line].soft = lines_[line + 1].soft;
      lines_[line].brk = lines_[line + 1].brk;
      lines_.erase(lines_.begin() + line + 1);
    }
  } else {
    return;
  }
  rewrap(line, line, col);
}

void EditorText::backspace(int& line, int& col) {
  if (col > 0) {
    --col;
    if (col < static_cast<int>(lines_[line].text.size())) {
      lines_[line].text.erase(static_cast<size_t>(col), 1);
      rewrap(line, line, col);
    }
    return;
  }
  if (line == 0) return;
  --line;
  Line& prev = lines_[line];
  if (prev.soft) {
    col = static_cast<int>(prev.text.size());
    if (col > 0) {
      --col;
      prev.text.erase(static_cast<size_t>(col), 1);
    }
    rewrap(line, line, col);
    return;
  }
  col = static_cast<int>(prev.text.size());
  prev.text += lines_[line + 1].text;
  prev.soft = lines_[line + 1].soft;
  prev.brk = lines_[line + 1].brk;
  lines_.erase(lines_.begin() + line + 1);
  rewrap(line, line, col);
}

void EditorText::split(int& line, int& col) {
  Line& l = lines_[line];
  if (static_cast<int>(l.text.size()) < col) l.text.resize(static_cast<size_t>(col), ' ');
  Line rest;
  rest.text = l.text.substr(static_cast<size_t>(col));
  rest.soft = l.soft;
  rest.brk = l.brk;
  l.text.resize(static_cast<size_t>(col));
  l.soft = false;
  // The break keeps the text's own style: a lone LF where the text uses them.
  l.brk = rest.brk == "\n" ? "\n" : "\r\n";
  lines_.insert(lines_.begin() + line + 1, std::move(rest));
  int l0 = line, c0 = col;
  rewrap(l0, l0, c0);
  line = l0 + 1;
  col = 0;
  // The first part may have moved back up a line; the new line follows it.
  while (line < lines() - 1 && line > 0 && lines_[line - 1].soft) ++line;
  int nl = line, nc = 0;
  rewrap(nl, nl, nc);
  line = nl;
  col = nc;
}

void EditorText::erase_line(int line) {
  if (line + 1 >= lines()) {
    lines_[line].text.clear();
    lines_[line].soft = false;
    lines_[line].brk.clear();
    if (line > 0 && lines_[line - 1].soft) {
      lines_[line - 1].soft = false;
      lines_[line - 1].brk.clear();
      lines_.erase(lines_.begin() + line);
    }
    return;
  }
  bool was_soft_before = line > 0 && lines_[line - 1].soft;
  if (was_soft_before && !lines_[line].soft) {
    // The paragraph now ends on the line before.
    lines_[line - 1].soft = false;
    lines_[line - 1].brk = lines_[line].brk;
  }
  lines_.erase(lines_.begin() + line);
  int l = std::min(line, lines() - 1), c = 0;
  rewrap(l, l, c);
}

void EditorText::erase_word(int line, int col) {
  std::string& t = lines_[line].text;
  if (col >= static_cast<int>(t.size())) return;
  size_t e = static_cast<size_t>(col);
  while (e < t.size() && t[e] != ' ') ++e;
  while (e < t.size() && t[e] == ' ') ++e;
  t.erase(static_cast<size_t>(col), e - static_cast<size_t>(col));
  rewrap(line, line, col);
}

bool EditorText::reformat(int& line, int& col) {
  int s = line, e = line;
  while (s > 0 && lines_[s - 1].soft) --s;
  while (e < lines() - 1 && lines_[e].soft) ++e;
  std::string t;
  for (int i = s; i <= e; ++i) t += lines_[i].text;
  std::vector<Line> out = wrapped(t, true);
  out.back().brk = lines_[e].brk;
  bool changed = static_cast<int>(out.size()) != e - s + 1;
  for (size_t i = 0; !changed && i < out.size(); ++i) {
    const Line& o = lines_[s + static_cast<int>(i)];
    changed = o.text != out[i].text || o.soft != out[i].soft;
  }
  if (changed) {
    lines_.erase(lines_.begin() + s, lines_.begin() + e + 1);
    lines_.insert(lines_.begin() + s, std::make_move_iterator(out.begin()),
                  std::make_move_iterator(out.end()));
  }
  line = s + static_cast<int>(out.size());
  col = 0;
  if (line >= lines()) {
    line = lines() - 1;
    col = static_cast<int>(lines_[line].text.size());
  }
  return changed;
}

std::string EditorText::text() const {
  std::string out;
  size_t total = 0;
  for (const Line& l : lines_) total += l.text.size() + 2;
  out.reserve(total);
  for (const Line& l : lines_) {
    out += l.text;
    if (l.soft) {
      out += kSoftBreak;
      out += '\n';
    } else {
      out += l.brk;
    }
  }
  return out;
}

}  // namespace kvel::ui
