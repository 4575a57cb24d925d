// The path layer: every file name the system uses (tables, indexes, memos,
// reports, configuration, the language's file functions) passes through here.
// It turns "\" into "/", maps drive letters to directories and finds existing
// files and directories whatever the letter case of each component.
// Mapping rules and the lookup cache: doc/paths.md.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kvel::os {

struct Resolved {
  std::string path;     // the Linux path to use (relative names stay relative)
  bool exists = false;  // the whole path names an existing file or directory
};

class PathLayer {
 public:
  // Drive letters from the environment (KVEL_DRIVE_<L>, KVEL_DRIVES) and the
  // defaults of doc/paths.md.
  PathLayer();
  // No environment: "C:" is "/", every other letter is under `drives_dir`.
  explicit PathLayer(std::string drives_dir);
  ~PathLayer();
  PathLayer(const PathLayer&) = delete;
  PathLayer& operator=(const PathLayer&) = delete;

  // Maps a drive letter (either case) to an absolute directory.
  void map_drive(char letter, std::string dir);
  // The directory of a drive letter.
  std::string drive_root(char letter) const;

  // The Linux form of a name without looking at the disk: separators turned,
  // the drive mapped, nothing else changed. "" stays "".
  std::string translate(std::string_view name) const;

  // The Linux path of a name as it exists on disk, each component matched
  // without regard to letter case (an exact match wins). When the file does
  // not exist, the existing directories are matched and the rest is kept as
  // given, so that creating the result makes sense.
  Resolved lookup(std::string_view name);
  std::string resolve(std::string_view name) { return lookup(name).path; }

  // The name in the system's own form for a Linux path: drive letter, ":" and
  // "\" separators ("/srv/d/WORK" with D: = /srv/d gives "D:\WORK"). Relative
  // paths are taken from the current directory.
  std::string to_dos(std::string_view linux_path) const;
  // The current drive letter (upper case) and the current directory of it
  // without drive and leading "\", as the language's CURDIR() gives it.
  char current_drive() const;
  std::string current_dir() const;

  // Tell the cache a directory entry was created, removed or renamed at this
  // Linux path. The functions of file.h call it; code that changes
  // directories by other means must call it too. Changes made by other
  // processes are found by the directories' modification times.
  void changed(std::string_view linux_path);
  // Drops the whole cache.
  void forget();

 private:
  struct DirCache {
    uint64_t dev = 0, ino = 0;
    int64_t mtime_ns = 0;
    bool racy = false;  // read so soon after a change that a newer one may share the time
    std::unordered_map<std::string, std::vector<std::string>> names;  // folded -> real names
  };
  // The real name of `component` in directory `dir`, or "" when none matches.
  std::string find_in(const std::string& dir, const std::string& component);
  const DirCache* load(const std::string& dir);

  std::map<char, std::string> drives_;
  std::string drives_dir_;
  std::mutex mu_;
  std::unordered_map<std::string, DirCache> cache_;
};

// The process-wide path layer: the process's current directory and the
// drive mapping of its environment. Code that has a Runtime asks it with
// rtl::paths(rt) (platform/rtl/files.h), which gives this one unless a test
// installed its own; code without a Runtime (store internals, tools) uses it.
PathLayer& default_paths();

// Tells every path layer of the process that a directory entry changed at
// this Linux path (see PathLayer::changed). file.h calls it.
void path_changed(std::string_view linux_path);

// default_paths().resolve(name).
std::string resolve(std::string_view name);

// Folds one code page 866 byte (ASCII and Cyrillic letters) to lower case, as
// name matching compares them.
char fold_name_char(char c);

}  // namespace kvel::os
