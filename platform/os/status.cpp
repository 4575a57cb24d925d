#include "platform/os/status.h"

#include <cerrno>
#include <cstring>

namespace kvel::os {

int dos_error(int e) {
  switch (e) {
    case 0:
      return kDosOk;
    case ENOENT:
      return kDosFileNotFound;
    case ENOTDIR:
      return kDosPathNotFound;
    case ENAMETOOLONG:
      return kDosPathNotFound;
    case ELOOP:
      return kDosPathNotFound;
    case EMFILE:
    case ENFILE:
      return kDosTooManyOpen;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENOTEMPTY:
    case EXDEV:
      return kDosAccessDenied;
    case EBADF:
      return kDosBadHandle;
    case ENOMEM:
      return kDosOutOfMemory;
    case EROFS:
      return kDosWriteProtected;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
      return kDosNotReady;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return kDosWriteFault;
    case EIO:  // writes report EIO as a write fault themselves
      return kDosReadFault;
    case ESPIPE:
      return kDosSeekError;
    case ENOLCK:
      return kDosSharingBufferExceeded;
    case ESTALE:  // the file went away on the server
      return kDosBadHandle;
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ENOTCONN:
    case ECONNRESET:
      return kDosNotReady;
    case EBUSY:
    case ETXTBSY:
      return kDosSharingViolation;
    case EAGAIN:
    case EDEADLK:
      return kDosLockViolation;
    case EEXIST:
      return kDosFileExists;
    default:
      return kDosAccessDenied;
  }
}

Status Status::from_errno(std::string what) { return from_errno(errno, std::move(what)); }

Status Status::from_errno(int err_no, std::string what) {
  Status s;
  s.errno_ = err_no;
  s.dos_ = dos_error(err_no);
  s.message_ = std::move(what);
  if (err_no) {
    s.message_ += ": ";
    s.message_ += std::strerror(err_no);
  }
  if (s.dos_ == 0 && s.message_.empty()) s.message_ = "failure";
  return s;
}

Status Status::failure(int dos, std::string what, int err_no) {
  Status s;
  s.errno_ = err_no;
  s.dos_ = dos;
  s.message_ = what.empty() ? std::string("failure") : std::move(what);
  return s;
}

}  // namespace kvel::os
