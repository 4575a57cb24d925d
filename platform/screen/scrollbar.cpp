#include "platform/screen/scrollbar.h"

#include <algorithm>
#include <cmath>

namespace kvel::screen {
namespace {

constexpr uint8_t kArrowLeft = '<';
constexpr uint8_t kArrowRight = '>';
constexpr uint8_t kTrack = 0xB0;  // ░
constexpr uint8_t kThumb = 0xB2;  // ▓

}  // namespace

int thumb_offset(int current, int total, int length) {
  if (length <= 1 || total <= 1) return 0;
  current = std::clamp(current, 1, total);
  return static_cast<int>(
      std::lround(static_cast<double>(current - 1) * (length - 1) / (total - 1)));
}

void draw(Screen& s, const ScrollBar& bar) {
  Attr a = parse_colour(bar.colour, kDefaultAttr);
  s.begin();
  if (bar.kind == kBarVertical) {
    int len = bar.rect.bottom - bar.rect.top + 1;
    if (len > 0) {
      s.fill({bar.rect.top, bar.rect.left, bar.rect.bottom, bar.rect.left}, kTrack, a);
      s.put(bar.rect.top + thumb_offset(bar.current, bar.total, len), bar.rect.left, kThumb, a);
    }
  } else {
    int row = bar.rect.top;
    s.put(row, bar.rect.left, kArrowLeft, a);
    if (bar.rect.right > bar.rect.left) s.put(row, bar.rect.right, kArrowRight, a);
    int len = bar.rect.right - bar.rect.left - 1;
    if (len > 0) {
      s.fill({row, bar.rect.left + 1, row, bar.rect.right - 1}, kTrack, a);
      s.put(row, bar.rect.left + 1 + thumb_offset(bar.current, bar.total, len), kThumb, a);
    }
  }
  s.end();
}

eval::Value to_value(const ScrollBar& bar) {
  eval::Value v = eval::Value::new_array(8);
  auto& items = v.as_array()->items;
  items[0] = eval::Value::integer(bar.kind);
  items[1] = eval::Value::integer(bar.rect.top);
  items[2] = eval::Value::integer(bar.rect.left);
  items[3] = eval::Value::integer(bar.rect.bottom);
  items[4] = eval::Value::integer(bar.rect.right);
  items[5] = eval::Value::string(bar.colour);
  items[6] = eval::Value::integer(bar.current);
  items[7] = eval::Value::integer(bar.total);
  return v;
}

std::optional<ScrollBar> scroll_bar_of(const eval::Value& v) {
  if (!v.is_array() || v.as_array()->items.size() < 8) return std::nullopt;
  const auto& it = v.as_array()->items;
  for (int i : {0, 1, 2, 3, 4, 6, 7})
    if (!it[i].is_number()) return std::nullopt;
  ScrollBar b;
  b.kind = static_cast<int>(it[0].as_int());
  b.rect = {static_cast<int>(it[1].as_int()), static_cast<int>(it[2].as_int()),
            static_cast<int>(it[3].as_int()), static_cast<int>(it[4].as_int())};
  b.colour = it[5].is_string() ? it[5].as_string() : "W/N";
  b.current = static_cast<int>(std::clamp<int64_t>(it[6].as_int(), -1000000000, 1000000000));
  b.total = static_cast<int>(std::clamp<int64_t>(it[7].as_int(), -1000000000, 1000000000));
  return b;
}

}  // namespace kvel::screen
