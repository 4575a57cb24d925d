#include "common/description.h"

#include <gtest/gtest.h>

#include <string>

#include "common/cp866_text.h"
#include "common/desc_text.h"
#include "support/test_support.h"

namespace kvel::common {
namespace {

using test::escaped;

// A literal with its NULs, without the terminating one.
template <size_t N>
std::string bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

TEST(OffsetFile, NumberFields) {
  struct Case {
    std::string_view field;
    long n;
  };
  static const Case cases[] = {
      {"   12", 12}, {"00012", 12},    {"", 0},   {"abc", 0}, {"12ab", 12},
      {" 1 2", 1},   {"99999", 99999}, {"-5", 0}, {"  ", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(field_number(c.field), c.n) << "field: " << c.field;
}

TEST(OffsetFile, ParsesRecordsAndFaults) {
  using F = OffsetParse::Fault;
  struct Case {
    std::string bytes;
    F fault;
    long n;
    long entry;  // an entry to look at (0: none)
    long offset, count;
    size_t bad_record;
  };
  static const Case cases[] = {
      {"", F::NoHeader, 0, 0, 0, 0, 0},
      {"0000001000", F::NoHeader, 0, 0, 0, 0, 0},  // 10 bytes
      {"xxx   12yyy", F::None, 12, 0, 0, 0, 0},    // blank-padded N, bytes 1-3 and 9-11 unread
      {"00000012000", F::None, 12, 0, 0, 0, 0},
      {"000"
       "00002"
       "000"
       "001"
       "  340"
       "  3",
       F::None, 2, 1, 340, 3, 0},
      {"000"
       "00002"
       "000"
       "  1"
       "00000"
       "012",
       F::None, 2, 1, 0, 12, 0},
      // the later of two records of one entry wins
      {"000"
       "00002"
       "000"
       "001"
       "00000"
       "001"
       "001"
       "00050"
       "002",
       F::None, 2, 1, 50, 2, 0},
      // entry 0 and an entry above N are faults of the file itself
      {"000"
       "00002"
       "000"
       "000"
       "00000"
       "001",
       F::BadEntry, 2, 0, 0, 0, 1},
      {"000"
       "00002"
       "000"
       "001"
       "00000"
       "001"
       "003"
       "00000"
       "001",
       F::BadEntry, 2, 0, 0, 0, 2},
      // a short fragment after the last record is not taken for a record
      {"000"
       "00002"
       "000"
       "002"
       "00007"
       "002"
       "0010",
       F::None, 2, 2, 7, 2, 0},
  };
  for (const Case& c : cases) {
    OffsetParse p = parse_offsets(c.bytes);
    EXPECT_EQ(p.fault, c.fault) << "bytes: " << c.bytes;
    if (p.fault == F::BadEntry) {
      EXPECT_EQ(p.bad_record, c.bad_record) << "bytes: " << c.bytes;
    }
    if (p.fault != F::None) continue;
    EXPECT_EQ(p.table.n, c.n) << "bytes: " << c.bytes;
    if (c.entry == 0) continue;
    ASSERT_TRUE(p.table.present[c.entry - 1]) << "bytes: " << c.bytes;
    EXPECT_EQ(p.table.offset[c.entry - 1], c.offset) << "bytes: " << c.bytes;
    EXPECT_EQ(p.table.count[c.entry - 1], c.count) << "bytes: " << c.bytes;
  }
  EXPECT_EQ(parse_offsets("000"
                          "00002"
                          "000"
                          "002"
                          "00007"
                          "002"
                          "0010")
                .table.fragment,
            4u);
}

TEST(ControlFile, ReadsStringsTheWayTheRunnerDoes) {
  const std::string s256(256, 'a');
  const std::string s300(300, 'b');
  struct Case {
    std::string control;
    long offset, count;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {bytes("M01002\0"
             "1N11007;x\0abc\0"),
       7,
       2,
       {"1N11007;x", "abc"}},
      {bytes("abc\0"), 0, 0, {}},
      // exactly 256 characters and its NUL: read whole, the next one found
      {s256 + bytes("\0next\0"), 0, 2, {s256, "next"}},
      // a run without NUL gives 256 bytes and the next read skips one byte
      {s300 + bytes("\0"), 0, 2, {std::string(256, 'b'), std::string(43, 'b')}},
      // the last string may end at the end of the file
      {bytes("one\0two"), 0, 2, {"one", "two"}},
      // past the end: empty texts
      {"ab", 5, 2, {"", ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(entry_strings(c.control, c.offset, c.count), c.want)
        << "control: " << escaped(c.control.substr(0, 40));
  }
}

TEST(DescriptionText, BuildsTheFilesOfASource) {
  struct Case {
    std::string source;
    std::string offset;
    std::string control;
  };
  const Case cases[] = {
      {"1\n  M01002\n2\n  1N11007;x\n  abc\n",
       "000"
       "00002"
       "000"
       "001"
       "00000"
       "001"
       "002"
       "00007"
       "002",
       bytes("M01002\0"
             "1N11007;x\0abc\0")},
      // CRLF line ends, comments, blank lines; an entry with no strings
      {"; x\r\n\r\n3\r\n1\r\n  a\r\n",
       "000"
       "00003"
       "000"
       "003"
       "00000"
       "000"
       "001"
       "00000"
       "001",
       bytes("a\0")},
      // escaped strings: the empty one, trailing blanks, control bytes, backslashes
      {"1\n\\\n\\ a\\x20\\x20\n\\ \\\\x\\x01\n  d:\\app\\\n",
       "000"
       "00001"
       "000"
       "001"
       "00000"
       "004",
       bytes("\0a  \0\\x\x01\0d:\\app\\\0")},
      // UTF-8 source: Cyrillic becomes CP866
      {"1\n  Меню\n",
       "000"
       "00001"
       "000"
       "001"
       "00000"
       "001",
       ru("Меню") + bytes("\0")},
      // an explicit offset leaves a gap of zero bytes
      {"1 at 3\n  x\n",
       "000"
       "00001"
       "000"
       "001"
       "00003"
       "001",
       bytes("\0\0\0x\0")},
      // a header with its own N
      {"@header \"00000005000\"\n2\n  x\n",
       "000"
       "00005"
       "000"
       "002"
       "00000"
       "001",
       bytes("x\0")},
  };
  for (const Case& c : cases) {
    DescCompile r = compile_description(c.source);
    ASSERT_TRUE(r.problems.empty()) << "source: " << escaped(c.source) << "\n"
                                    << r.problems[0].message;
    EXPECT_EQ(r.image.offset, c.offset) << "source: " << escaped(c.source);
    EXPECT_EQ(escaped(r.image.control), escaped(c.control)) << "source: " << escaped(c.source);
  }
  // The same description in CP866 and in UTF-8 gives the same files.
  std::string cp = "1\n  " + ru("Выход \xE2\x95\x94") + "\n";
  std::string utf = "1\n  Выход ╔\n";
  EXPECT_EQ(compile_description(cp).image.control, compile_description(utf).image.control);
}

TEST(DescriptionText, ReportsFaultsWithLineAndEntryAndBuildsNothing) {
  struct Case {
    std::string source;
    int line;
    long entry;
    std::string_view says;
  };
  const std::string long_line = "1\n  " + std::string(257, 'x') + "\n";
  const std::string far = "1 at 99990\n  " + std::string(20, 'x') + "\n2\n  y\n";
  const Case cases[] = {
      {long_line, 2, 1, "longer than 256"},
      {"1000\n  a\n", 1, 1000, "1..999"},
      {"0\n  a\n", 1, 0, "1..999"},
      {"1\n  a\n2\n  b\n1\n  c\n", 5, 1, "given twice"},
      {far, 3, 2, "past 99,999"},
      {"1 at 100000\n  a\n", 1, 1, "past 99,999"},
      {"1 at 999999999\n  a\n", 1, 1, "past 99,999"},
      {"1\n  a\n@size 999999999\n", 3, 0, "longer than 16777216"},
      {"1\n  a\n@bytes 16777216 \"x\"\n", 3, 0, "longer than 16777216"},
      {"  a\n", 1, 0, "outside an entry"},
      {"1\n a\n", 2, 1, "two blanks"},
      {"1\n\\ \\q\n", 2, 1, "backslash"},
      {"1\n\\ a\\x00b\n", 2, 1, "NUL"},
      {"1\n\tx\n", 2, 1, "not understood"},
      {"@header \"00000001000\"\n2\n  x\n", 2, 2, "above the header"},
      {"1 raw \"00100000002\"\n  x\n", 1, 1, "raw record"},
      {"@frobnicate\n", 1, 0, "unknown directive"},
      {"1\n  \xF0\x9F\x98\x80\n", 2, 1, "code page 866"},
  };
  for (const Case& c : cases) {
    DescCompile r = compile_description(c.source);
    ASSERT_FALSE(r.problems.empty()) << "source: " << escaped(c.source);
    EXPECT_EQ(r.problems[0].line, c.line) << "source: " << escaped(c.source);
    EXPECT_EQ(r.problems[0].entry, c.entry) << "source: " << escaped(c.source);
    EXPECT_NE(r.problems[0].message.find(c.says), std::string::npos)
        << "source: " << escaped(c.source) << "\nmessage: " << r.problems[0].message;
    EXPECT_TRUE(r.image.offset.empty() && r.image.control.empty());
  }
  // Every fault is reported, not only the first.
  EXPECT_EQ(compile_description("1000\n  a\n1\n  " + std::string(300, 'x') + "\n").problems.size(),
            2u);
}

TEST(DescriptionText, FilesComeBackByteForByte) {
  const std::string s256(256, 'q');
  struct Case {
    std::string name;
    DescImage img;
  };
  const Case cases[] = {
      {"canonical",
       {"000000020000010000000100200007002", bytes("M01002\0"
                                                   "1N11007;x\0abc\0")}},
      {"blank-padded fields",
       {"   "
        "    2"
        "   "
        "  1"
        "    0"
        "  1"
        "  2"
        "    7"
        "  2",
        bytes("M01002\0"
              "1N11007;x\0abc\0")}},
      {"header bytes of its own",
       {"KVL"
        "00002"
        "END"
        "001"
        "00000"
        "001"
        "002"
        "00007"
        "002",
        bytes("M01002\0"
              "1N11007;x\0abc\0")}},
      {"records out of order",
       {"000"
        "00002"
        "000"
        "002"
        "00007"
        "002"
        "001"
        "00000"
        "001",
        bytes("M01002\0"
              "1N11007;x\0abc\0")}},
      {"shared strings",
       {"000"
        "00002"
        "000"
        "001"
        "00000"
        "002"
        "002"
        "00000"
        "001",
        bytes("M01002\0x\0")}},
      {"duplicate and bad entries",
       {"000"
        "00002"
        "000"
        "001"
        "00000"
        "001"
        "000"
        "00000"
        "001"
        "003"
        "00000"
        "001"
        "001"
        "00007"
        "001",
        bytes("M01002\0x\0")}},
      {"bytes between entries",
       {"000"
        "00002"
        "000"
        "001"
        "00000"
        "001"
        "002"
        "00012"
        "001",
        bytes("M01002\0junk\0\xFFzz\0")}},
      {"last string without NUL",
       {"000"
        "00001"
        "000"
        "001"
        "00000"
        "002",
        bytes("M01002\0tail")}},
      {"offset past the end",
       {"000"
        "00001"
        "000"
        "001"
        "00050"
        "002",
        bytes("M01002\0")}},
      {"fragment after the records",
       {"000"
        "00001"
        "000"
        "001"
        "00000"
        "001"
        "xyz",
        bytes("M01002\0")}},
      {"awkward bytes",
       {"000"
        "00001"
        "000"
        "001"
        "00000"
        "005",
        bytes("a  \0\0\x01\\x\0 lead\0\x8F\xE0\xFF\xB0\0")}},
      {"256 and more",
       {"000"
        "00001"
        "000"
        "001"
        "00000"
        "003",
        s256 + bytes("\0") + std::string(300, 'r') + bytes("\0")}},
      {"NUL bytes after the entries",
       {"000"
        "00001"
        "000"
        "001"
        "00000"
        "001",
        bytes("M01002\0") + std::string(300, '\0') + "x" + std::string(70, '\0')}},
      {"only NUL bytes", {"00000000000", std::string(500, '\0')}},
      {"empty control file", {"00000000000", ""}},
      {"an entry without strings",
       {"000"
        "00003"
        "000"
        "003"
        "00000"
        "000",
        ""}},
  };
  for (const Case& c : cases) {
    for (TextEncoding enc : {TextEncoding::Utf8, TextEncoding::Cp866}) {
      DescDecompile text = decompile_description(c.img, enc);
      ASSERT_TRUE(text.error.empty()) << c.name << ": " << text.error;
      DescCompile back = compile_description(text.text);
      ASSERT_TRUE(back.problems.empty()) << c.name << ": " << back.problems[0].message;
      EXPECT_EQ(back.image.offset, c.img.offset) << c.name << "\n" << text.text;
      EXPECT_EQ(escaped(back.image.control), escaped(c.img.control)) << c.name << "\n" << text.text;
    }
  }
}

TEST(DescriptionText, CanonicalFilesGiveTheirBlocksOnly) {
  DescImage img{"000000020000010000000100200007002", bytes("M01002\0"
                                                           "1N11007;x\0"
                                                           "abc\0")};
  std::string text = decompile_description(img, TextEncoding::Utf8).text;
  EXPECT_NE(text.find("\n1\n  M01002\n\n2\n  1N11007;x\n  abc\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("@header"), std::string::npos) << text;
  EXPECT_EQ(text.find("@bytes"), std::string::npos) << text;
  EXPECT_EQ(decompile_description({"0000", ""}, TextEncoding::Utf8).error.empty(), false);
}

TEST(DescriptionText, NulBytesAfterTheEntriesTakeOneLine) {
  // Zero-filled space after the last entry is written as the file's size,
  // not as lines of escaped NULs that grow with it.
  DescImage img{
      "00000001000"
      "00100000001",
      bytes("M01002\0") + std::string(9'000'000, '\0')};
  DescDecompile text = decompile_description(img, TextEncoding::Utf8);
  ASSERT_TRUE(text.error.empty()) << text.error;
  EXPECT_NE(text.text.find("\n@size 9000007\n"), std::string::npos) << text.text;
  EXPECT_EQ(text.text.find("@bytes"), std::string::npos) << text.text;
  EXPECT_EQ(compile_description(text.text).image.control, img.control);
}

}  // namespace
}  // namespace kvel::common
