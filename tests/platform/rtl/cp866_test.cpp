#include "platform/rtl/cp866.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "rtl_calls.h"
#include "support/test_support.h"

namespace kvel::rtl::cp866 {
namespace {

std::vector<std::vector<std::string>> read_tsv(const std::string& name) {
  std::ifstream in(kvel::test::shared_dir() / "conformance" / name, std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

TEST(Cp866, CaseOfEveryByteAsRecorded) {
  int seen = 0;
  for (const auto& row : read_tsv("collation.tsv")) {
    if (row.size() != 3 || row[0] == "byte") continue;
    int b = std::stoi(row[0]);
    EXPECT_EQ(upper(static_cast<uint8_t>(b)), std::stoi(row[1])) << "byte " << b;
    EXPECT_EQ(lower(static_cast<uint8_t>(b)), std::stoi(row[2])) << "byte " << b;
    ++seen;
  }
  EXPECT_EQ(seen, 256);
}

TEST(Cp866, ClassesOfEveryByteAsRecorded) {
  int seen = 0;
  for (const auto& row : read_tsv("ctype.tsv")) {
    if (row.size() != 5 || row[0] == "byte") continue;
    auto b = static_cast<uint8_t>(std::stoi(row[0]));
    EXPECT_EQ(is_alpha(b), row[1] == "1") << "byte " << int(b);
    EXPECT_EQ(is_digit(b), row[2] == "1") << "byte " << int(b);
    EXPECT_EQ(is_upper(b), row[3] == "1") << "byte " << int(b);
    EXPECT_EQ(is_lower(b), row[4] == "1") << "byte " << int(b);
    ++seen;
  }
  EXPECT_EQ(seen, 256);
}

TEST(Cp866, OrderIsTheRecordedSortOrder) {
  for (const auto& row : read_tsv("collation.tsv")) {
    if (row.size() != 2 || row[0] != "sort_order") continue;
    std::vector<int> order;
    std::stringstream ss(row[1]);
    std::string n;
    while (std::getline(ss, n, ',')) order.push_back(std::stoi(n));
    ASSERT_EQ(order.size(), 256u);
    for (size_t i = 1; i < order.size(); ++i) {
      std::string a(1, static_cast<char>(order[i - 1])), b(1, static_cast<char>(order[i]));
      EXPECT_LT(compare(a, b), 0) << order[i - 1] << " before " << order[i];
    }
    return;
  }
  FAIL() << "no sort_order line";
}

TEST(Cp866, TextOrderAndUtf8Conversion) {
  struct Row {
    const char* a;
    const char* b;
    int want;
  };
  static const Row rows[] = {
      {"Иванов", "Иванова", -1}, {"ИВАНОВ", "иванов", -1}, {"Ёлка", "Жук", 1},
      {"Zebra", "Апельсин", -1}, {"", "\x01", -1},         {"ab", "ab", 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(compare(from_utf8(r.a), from_utf8(r.b)), r.want) << r.a << " vs " << r.b;
  }
  EXPECT_EQ(from_utf8("Ёё №░"), "\xF0\xF1 \xFC\xB0");
  EXPECT_EQ(from_utf8("\xE2\x82"), "??");  // cut short: each byte one mark
  EXPECT_EQ(from_utf8("\xFF"
                      "a"),
            "?a");                 // not a lead byte
  EXPECT_EQ(from_utf8("€"), "?");  // not in the code page
}

}  // namespace
}  // namespace kvel::rtl::cp866
