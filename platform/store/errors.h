// Table store failures as error objects of the language: subsystem
// "DBFNTX", the generic code of the failure, our own subcode, the file and
// the DOS error number. Internal to the store's functions.
#pragma once

#include <string>

#include "platform/eval/error.h"
#include "platform/eval/runtime.h"
#include "platform/os/status.h"

namespace kvel::store {

// Generic codes beyond error.h's names. ORDER: as the error handler's table.
inline constexpr int kGenNoOrder = 36;   // work area not indexed
inline constexpr int kGenUnlocked = 38;  // lock required
inline constexpr int kGenReadonly = 39;  // write not allowed

// Our subcodes.
enum SubCode : int {
  kSubOpen = 1001,
  kSubCreate = 1004,
  kSubRead = 1010,
  kSubWrite = 1011,
  kSubCorrupt = 1012,
  kSubDataType = 1020,
  kSubDataWidth = 1021,
  kSubUnlocked = 1022,
  kSubExclusive = 1023,
  kSubAppendLock = 1024,
  kSubReadonly = 1025,
  kSubNoOrder = 1201,
  kSubLockTimeout = 1035,  // the index or header lock was not granted in time
};

struct StoreError {
  int gen = 0;
  int sub = 0;
  std::string description;
  std::string operation;
  std::string filename;
  int os_code = 0;
  bool can_retry = false;
  bool can_default = false;
  int tries = 0;
};

// Hands the error to the runtime's handler and returns its answer.
eval::Answer raise_store(eval::Runtime& rt, const StoreError& e);
// The error a failed file operation stands for (read, write, corruption,
// a refused internal lock), for the given operation.
StoreError error_of(const os::Status& s, std::string operation, int tries = 0);
// The create error of a table file that could not be made at path.
StoreError create_error(const os::Status& s, std::string operation, const std::string& path,
                        int tries = 0);

}  // namespace kvel::store
