#include "common/description.h"

#include <cstdio>

namespace kvel::common {

long field_number(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  long n = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    n = n * 10 + (field[i] - '0');
  }
  return n;
}

OffsetRecord split_record(std::string_view rec) {
  return {field_number(rec.substr(0, 3)), field_number(rec.substr(3, 5)),
          field_number(rec.substr(8, 3))};
}

std::string format_record(long entry, long offset, long count) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%03ld%05ld%03ld", entry, offset, count);
  return buf;
}

std::string format_header(long n) { return format_record(0, n, 0); }

OffsetParse parse_offsets(std::string_view bytes) {
  OffsetParse r;
  if (bytes.size() < kOffsetRecordSize) {
    r.fault = OffsetParse::Fault::NoHeader;
    return r;
  }
  OffsetTable& t = r.table;
  t.n = split_record(bytes).offset;
  t.offset.assign(t.n, 0);
  t.count.assign(t.n, 0);
  t.present.assign(t.n, false);
  size_t pos = kOffsetRecordSize;
  for (size_t rec = 1; pos + kOffsetRecordSize <= bytes.size(); ++rec, pos += kOffsetRecordSize) {
    OffsetRecord o = split_record(bytes.substr(pos, kOffsetRecordSize));
    if (o.entry < 1 || o.entry > t.n) {
      r.fault = OffsetParse::Fault::BadEntry;
      r.bad_record = rec;
      r.bad_entry = o.entry;
      return r;
    }
    t.offset[o.entry - 1] = o.offset;
    t.count[o.entry - 1] = o.count;
    t.present[o.entry - 1] = true;
  }
  t.fragment = bytes.size() - pos;
  return r;
}

std::string_view param_text(std::string_view chunk) {
  if (chunk.size() > kMaxParamLength) chunk = chunk.substr(0, kMaxParamLength);
  size_t nul = chunk.find('\0');
  return nul == std::string_view::npos ? chunk : chunk.substr(0, nul);
}

std::vector<std::string> entry_strings(std::string_view control, long offset, long count) {
  std::vector<std::string> out;
  size_t pos = offset < 0 ? control.size() : static_cast<size_t>(offset);
  for (long i = 0; i < count; ++i) {
    std::string_view chunk = pos < control.size() ? control.substr(pos) : std::string_view{};
    std::string_view text = param_text(chunk);
    out.emplace_back(text);
    pos += text.size() + 1;
  }
  return out;
}

}  // namespace kvel::common
