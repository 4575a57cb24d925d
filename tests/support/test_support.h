// Helpers shared by the test binaries: temporary directories, the shared test
// data and files read as bytes.
#pragma once

#include <filesystem>
#include <string>

namespace kvel::test {

// The read-only shared test data (conformance/, fixtures/).
std::filesystem::path shared_dir();
std::filesystem::path source_dir();
std::filesystem::path binary_dir();

// A fresh directory removed with its contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Copies a fixture from the shared fixtures into this directory.
  std::filesystem::path copy_fixture(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& bytes);
// Bytes below 0x20, 0x7F and above shown as \xHH: for failure messages.
std::string escaped(const std::string& bytes);

}  // namespace kvel::test
