#include "support/test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kvel::test {

std::filesystem::path shared_dir() { return KVEL_SHARED_DIR; }
std::filesystem::path source_dir() { return KVEL_SOURCE_DIR; }
std::filesystem::path binary_dir() { return KVEL_BINARY_DIR; }

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kvel-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::copy_fixture(const std::string& name) const {
  auto dst = path_ / name;
  std::filesystem::copy_file(shared_dir() / "fixtures" / name, dst,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(dst, std::filesystem::perms::owner_read |
                                        std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return dst;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string escaped(const std::string& bytes) {
  std::string out;
  char buf[8];
  for (unsigned char c : bytes) {
    if (c < 0x20 || c >= 0x7F || c == '\\') {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace kvel::test
