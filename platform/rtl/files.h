// The runtime's file facility: the path layer its code uses, the handles the
// language's FOPEN/FCREATE gave out and the last file error (FERROR). Code
// with a Runtime resolves names through here so that SET DEFAULT and a test's
// own drive mapping apply.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/eval/error.h"
#include "platform/eval/runtime.h"
#include "platform/os/file.h"
#include "platform/os/path.h"

namespace kvel::rtl {

class FilesService : public eval::Service {
 public:
  static constexpr eval::ServiceSlot kSlot = eval::ServiceSlot::Files;
  // paths: a layer owned by the caller that outlives the service, or nullptr
  // for the process-wide os::default_paths().
  explicit FilesService(os::PathLayer* paths = nullptr) : paths_(paths) {}

  os::PathLayer& paths() { return paths_ ? *paths_ : os::default_paths(); }

  // FERROR(): the DOS error number of the last low-level file function.
  int last_error = 0;
  // Files opened by the language, by handle (the descriptor number).
  std::map<int, os::File> handles;

 private:
  os::PathLayer* paths_;
};

// The runtime's file facility, installed on first use with the default path layer.
FilesService& files(eval::Runtime& rt);
os::PathLayer& paths(eval::Runtime& rt);

// The Linux path of a name of the language: trailing blanks dropped (they
// are never part of a name), a relative name taken from SET DEFAULT when one
// is set, then looked up without regard to letter case.
os::Resolved resolve_name(eval::Runtime& rt, std::string_view name);

// A failed platform operation as an error object of the language: subsystem
// "BASE" unless given, the DOS number as osCode, the file name and the
// operation; generic code as the caller chooses (kErrOpen, kErrCreate, ...).
eval::ErrorObject file_error(const os::Status& s, int gen_code, std::string operation,
                             std::string filename, std::string subsystem = "BASE");

}  // namespace kvel::rtl
