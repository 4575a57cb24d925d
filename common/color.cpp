#include "common/color.h"

#include <unistd.h>

#include <array>

#include "common/publics.h"
#include "platform/os/file.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/files.h"
#include "platform/screen/screen.h"

namespace kvel::common {

using eval::Runtime;
using eval::Value;

namespace {

struct Pair {
  const char* colour;
  const char* mono;
};

// ORDER: COLR indexes 1..89; the description refers to colours by these numbers.
constexpr std::array<Pair, 89> kColours = {{
    {"W/N", "W/N"},       {"N/W", "N/W"},      {"BG+/B", "W+/N"},   {"B/BG", "N/W"},
    {"N/G", "N/W"},       {"G/N", "W/N"},      {"R/N", "W/N"},      {"N/R", "N/W"},
    {"RB/N", "W/N"},      {"N/RB*", "N/W*"},   {"G/R", "N/W"},      {"GR+/G", "N+/W"},
    {"W+/R", "W+/W"},     {"R/G", "N/W"},      {"RB+/R", "N+/W"},   {"G+/RB", "N+/W"},
    {"W/B", "W/N"},       {"B/W", "N/W"},      {"W+/BG", "W+/W"},   {"R/W", "N/W"},
    {"GR+/BG", "N+/W"},   {"G+/B", "W+/N"},    {"RB/BG", "N/W"},    {"R+/B", "W+/N"},
    {"GR+/B", "W+/N"},    {"GR+/N", "W+/N"},   {"R/BG", "N/W"},     {"G+/R", "N+/W"},
    {"BG+/N", "W+/N"},    {"BG/W", "N/W"},     {"W+/B", "W+/N"},    {"R+/N", "W+/N"},
    {"W/W", "W/W"},       {"W+/RB", "W+/W"},   {"GR+/R", "N+/W"},   {"R/GR*", "N/W*"},
    {"GR+/W", "N+/W"},    {"W+/RB*", "W/W*"},  {"RB+/N", "W+/N"},   {"B+/W", "N+/W"},
    {"B+/N", "W+/N"},     {"BG/N", "W/N"},     {"RB/W", "N/W"},     {"GR/W", "N/W"},
    {"B/G", "N/W"},       {"W+/G", "N+/W"},    {"RB/G", "N/W"},     {"G/B", "W/N"},
    {"RB+/B", "W+/N"},    {"BG/B", "W/N"},     {"BG/R", "N/W"},     {"W/R", "N/W"},
    {"N/BG", "W+/W"},     {"R+/GR*", "N+/W*"}, {"BG+/RB", "N+/W"},  {"GR+/RB", "N+/W"},
    {"G/GR*", "N/W*"},    {"N/GR*", "N/W*"},   {"B/GR*", "N/W*"},   {"B+/GR*", "N+/W*"},
    {"RB+/GR*", "N+/W*"}, {"B/B", "N/N"},      {"W+/N", "W+/N"},    {"G/W", "N/W"},
    {"BG+/W", "W+/W"},    {"W+/W", "W+/W"},    {"N/B*", "W/N*"},    {"BG+/B*", "W+/N*"},
    {"G+/B*", "W+/N*"},   {"GR+/B*", "W+/N*"}, {"W/B*", "W+/N*"},   {"W+/B*", "W+/N*"},
    {"N/R*", "W/N*"},     {"BG+/R*", "W+/N*"}, {"GR+/R*", "W+/N*"}, {"W+/R*", "W+/N*"},
    {"N/W*", "N/W*"},     {"B/W*", "N/W*"},    {"W/W*", "N+/W*"},   {"B+/W*", "N/W*"},
    {"R+/W*", "N/W*"},    {"N/BG*", "N/W*"},   {"B/BG*", "N/W*"},   {"B+/BG*", "N/W*"},
    {"W/N*", "W/N*"},     {"N/N*", "N/N*"},    {"GR+/N*", "W+/N*"}, {"BG+/N*", "W+/N*"},
    {"W+/N*", "W+/N*"},
}};

}  // namespace

const char* colour_set(int n, bool colour) {
  if (n < 1 || n > 89) return "";
  return colour ? kColours[n - 1].colour : kColours[n - 1].mono;
}

char colour_flag(const std::string& bytes, bool writable) {
  if (!bytes.empty()) {
    size_t p = rtl::cp866::upper(bytes).find("COLOR=");
    if (p != std::string::npos) return p + 6 < bytes.size() ? bytes[p + 6] : '1';
  }
  if (writable && !bytes.empty()) return bytes[0];
  return '1';
}

void color(Runtime& rt) {
  std::string name = text_of(get(rt, pub::CFGFILE));
  std::string path = rtl::resolve_name(rt, name).path;
  std::string bytes;
  if (!name.empty()) {
    os::Result<std::string> whole = os::read_whole(path);
    if (whole.ok()) bytes = *whole;
  }
  bool writable = false;
  if (!name.empty()) {
    os::Result<os::File> f = os::File::open(path, {os::Access::ReadWrite, os::Share::DenyNone});
    writable = f.ok();
  }
  char flag = colour_flag(bytes, writable);
  bool colour = screen::screen_of(rt).is_colour() && flag == '1';
  Value colr = Value::new_array(89);
  for (int i = 1; i <= 89; ++i)
    colr.as_array()->items[i - 1] = Value::string(colour_set(i, colour));
  make_public(rt, pub::COLR, colr);
}

}  // namespace kvel::common
