// Results of platform operations: the errno of the failure and the DOS error
// number the system's messages and error objects use. Platform code returns
// these and never throws; the language boundary turns them into error objects.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace kvel::os {

// DOS error numbers as the system reports them.
enum DosError : int {
  kDosOk = 0,
  kDosFileNotFound = 2,
  kDosPathNotFound = 3,
  kDosTooManyOpen = 4,
  kDosAccessDenied = 5,
  kDosBadHandle = 6,
  kDosOutOfMemory = 8,
  kDosWriteProtected = 19,
  kDosNotReady = 21,
  kDosSeekError = 25,
  kDosWriteFault = 29,
  kDosReadFault = 30,
  kDosSharingViolation = 32,
  kDosLockViolation = 33,
  kDosSharingBufferExceeded = 36,
  kDosNetAccessDenied = 65,
  kDosFileExists = 80,
};

// Maps an errno value to the DOS error number. ENOENT is "file not found";
// file.h reports "path not found" itself when the directory is missing.
int dos_error(int err_no);

class Status {
 public:
  Status() = default;
  static Status ok_status() { return {}; }
  // From errno as it is now (or a given errno).
  static Status from_errno(std::string what);
  static Status from_errno(int err_no, std::string what);
  // A failure with a DOS code of its own (a sharing violation found by a lock, a corrupt file).
  static Status failure(int dos, std::string what, int err_no = 0);

  bool ok() const { return dos_ == 0 && errno_ == 0 && message_.empty(); }
  int err_no() const { return errno_; }
  int dos() const { return dos_; }
  // What failed, with the file name: "open data/fix1.dbf: No such file or directory".
  const std::string& message() const { return message_; }

 private:
  int errno_ = 0;
  int dos_ = 0;
  std::string message_;
};

template <class T>
class Result {
 public:
  Result(T v) : value_(std::move(v)) {}        // NOLINT: implicit for `return value;`
  Result(Status s) : status_(std::move(s)) {}  // NOLINT
  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T& operator*() { return *value_; }
  T* operator->() { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace kvel::os
