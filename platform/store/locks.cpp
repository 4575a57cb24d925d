#include "platform/store/locks.h"

#include <time.h>

namespace kvel::store {

os::Status lock_polled(int fd, uint64_t offset, uint64_t length, os::LockKind kind, int max_ms) {
  long waited_us = 0;
  long pause_us = 200;
  for (;;) {
    os::Status s = os::lock_range(fd, offset, length, kind);
    if (s.ok() || s.dos() != os::kDosLockViolation) return s;
    if (waited_us / 1000 >= max_ms) return s;
    timespec ts{0, pause_us * 1000};
    nanosleep(&ts, nullptr);
    waited_us += pause_us;
    if (pause_us < 10000) pause_us *= 2;
  }
}

os::Status share_lock(int fd, bool shared) {
  os::Status s = os::lock_file(fd, shared ? os::LockKind::Shared : os::LockKind::Exclusive);
  if (s.ok() || s.dos() != os::kDosLockViolation) return s;
  return os::Status::failure(os::kDosSharingViolation, "file in use by another program",
                             s.err_no());
}

}  // namespace kvel::store
