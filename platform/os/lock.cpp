#include "platform/os/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace kvel::os {
namespace {

// OFD locks, not F_SETLK: closing any descriptor drops every classic POSIX
// lock the process holds on the file, which would free the record locks of
// another work area that has the same table open.
Status range_op(int fd, int cmd, short type, uint64_t offset, uint64_t length, const char* what) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;  // must be 0 for OFD locks
  int rc;
  do {
    rc = ::fcntl(fd, cmd, &fl);
  } while (rc == -1 && errno == EINTR && cmd == F_OFD_SETLKW);
  if (rc == 0) return {};
  int e = errno;
  std::string msg = std::string(what) + " " + std::to_string(offset) + "+" + std::to_string(length);
  // A lock held elsewhere: the family reports it as a lock violation.
  if (e == EAGAIN || e == EACCES) return Status::failure(kDosLockViolation, msg + ": locked", e);
  return Status::from_errno(e, msg);
}

}  // namespace

Status lock_range(int fd, uint64_t offset, uint64_t length, LockKind kind) {
  return range_op(fd, F_OFD_SETLK, kind == LockKind::Shared ? F_RDLCK : F_WRLCK, offset, length,
                  "lock");
}

Status lock_range_wait(int fd, uint64_t offset, uint64_t length, LockKind kind) {
  return range_op(fd, F_OFD_SETLKW, kind == LockKind::Shared ? F_RDLCK : F_WRLCK, offset, length,
                  "lock");
}

Status unlock_range(int fd, uint64_t offset, uint64_t length) {
  return range_op(fd, F_OFD_SETLK, F_UNLCK, offset, length, "unlock");
}

Result<bool> range_taken(int fd, uint64_t offset, uint64_t length, LockKind kind) {
  struct flock fl {};
  fl.l_type = kind == LockKind::Shared ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return Status::from_errno("lock test");
  return fl.l_type != F_UNLCK;
}

Status lock_file(int fd, LockKind kind) {
  int op = (kind == LockKind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  int rc;
  do {
    rc = ::flock(fd, op);
  } while (rc == -1 && errno == EINTR);
  if (rc == 0) return {};
  if (errno == EWOULDBLOCK) return Status::failure(kDosLockViolation, "lock file: locked", errno);
  return Status::from_errno("lock file");
}

Status unlock_file(int fd) {
  if (::flock(fd, LOCK_UN) == 0) return {};
  return Status::from_errno("unlock file");
}

}  // namespace kvel::os
