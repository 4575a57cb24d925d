// kvel-desc: turns the readable text of an application description into its
// offset and control files, and existing files back into that text.
//
//   kvel-desc build SOURCE [DIR] [EXT]   writes DIR/offset.EXT and DIR/control.EXT
//   kvel-desc text OFFSET CONTROL [OUT] [--cp866]
//   kvel-desc check SOURCE
//
// A source with any fault (a string over 256 characters, an entry number over
// 999, an entry starting past byte 99,999, an entry given twice ...) is
// reported line by line and nothing is written.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/desc_text.h"

namespace {

using kvel::common::DescImage;

bool read_file(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return !in.bad();
}

// Writes through a temporary name and renames, so that a failed write leaves
// the old file as it was.
bool write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path tmp = path;
  tmp += ".kvel-desc-tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(tmp);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  return !ec;
}

int usage() {
  std::fputs(
      "usage:\n"
      "  kvel-desc build SOURCE [DIR] [EXT]    text source to DIR/offset.EXT and DIR/control.EXT\n"
      "                                        (DIR defaults to ., EXT to 0)\n"
      "  kvel-desc text OFFSET CONTROL [OUT] [--cp866]\n"
      "                                        files to text (UTF-8 unless --cp866; stdout\n"
      "                                        unless OUT is given)\n"
      "  kvel-desc check SOURCE                report the faults of a text source\n",
      stderr);
  return 2;
}

int compile(const std::string& source, const std::string* dir, const std::string* ext) {
  std::string text;
  if (!read_file(source, text)) {
    std::fprintf(stderr, "kvel-desc: cannot read %s: %s\n", source.c_str(), std::strerror(errno));
    return 1;
  }
  auto r = kvel::common::compile_description(text);
  for (const auto& p : r.problems) {
    std::fprintf(stderr, "%s:%d: ", source.c_str(), p.line);
    if (p.entry > 0) std::fprintf(stderr, "entry %ld: ", p.entry);
    std::fprintf(stderr, "%s\n", p.message.c_str());
  }
  if (!r.problems.empty()) {
    std::fprintf(stderr, "kvel-desc: %zu fault(s); nothing written\n", r.problems.size());
    return 1;
  }
  if (!dir) return 0;
  std::filesystem::path d = *dir;
  std::string e = ext ? *ext : "0";
  if (!write_file(d / ("offset." + e), r.image.offset) ||
      !write_file(d / ("control." + e), r.image.control)) {
    std::fprintf(stderr, "kvel-desc: cannot write into %s: %s\n", dir->c_str(),
                 std::strerror(errno));
    return 1;
  }
  return 0;
}

int decompile(const std::vector<std::string>& a, bool cp866) {
  DescImage img;
  for (int i = 0; i < 2; ++i) {
    if (!read_file(a[i], i == 0 ? img.offset : img.control)) {
      std::fprintf(stderr, "kvel-desc: cannot read %s: %s\n", a[i].c_str(), std::strerror(errno));
      return 1;
    }
  }
  auto r = kvel::common::decompile_description(
      img, cp866 ? kvel::common::TextEncoding::Cp866 : kvel::common::TextEncoding::Utf8);
  if (!r.error.empty()) {
    std::fprintf(stderr, "kvel-desc: %s: %s\n", a[0].c_str(), r.error.c_str());
    return 1;
  }
  if (a.size() > 2) {
    if (!write_file(a[2], r.text)) {
      std::fprintf(stderr, "kvel-desc: cannot write %s\n", a[2].c_str());
      return 1;
    }
  } else {
    std::fwrite(r.text.data(), 1, r.text.size(), stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool cp866 = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cp866") == 0) {
      cp866 = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage();
      return 0;
    } else {
      args.emplace_back(argv[i]);
    }
  }
  if (args.empty()) return usage();
  std::string cmd = args[0];
  args.erase(args.begin());
  if (cmd == "build" && args.size() >= 1 && args.size() <= 3) {
    std::string dir = args.size() > 1 ? args[1] : ".";
    return compile(args[0], &dir, args.size() > 2 ? &args[2] : nullptr);
  }
  if (cmd == "check" && args.size() == 1) return compile(args[0], nullptr, nullptr);
  if (cmd == "text" && (args.size() == 2 || args.size() == 3)) return decompile(args, cp866);
  return usage();
}
