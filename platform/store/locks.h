// The byte ranges through which workstations exclude each other, and the
// whole-file share lock every open takes. Offsets are fixed by the programs
// that share the files: record n at 1,000,000,000 + n, the whole table at
// 1,000,000,001 for 1,000,000,000 bytes, the append/header lock at
// 1,000,000,000 on the .dbf, the index lock at 1,000,000,000 on the .ntx and
// the memo lock at 0 on the .dbt. Layout: doc/locks.md.
#pragma once

#include <cstdint>

#include "platform/os/lock.h"
#include "platform/os/status.h"

namespace kvel::store {

inline constexpr uint64_t kLockBase = 1000000000ULL;
inline constexpr uint64_t kTableLockOffset = kLockBase + 1;
inline constexpr uint64_t kTableLockLength = 1000000000ULL;
inline constexpr uint64_t kAppendLockOffset = kLockBase;
inline constexpr uint64_t kIndexLockOffset = kLockBase;
inline constexpr uint64_t kMemoLockOffset = 0;

// One attempt each; refused: DOS 33.
inline os::Status lock_record(int fd, uint32_t rec) {
  return os::lock_range(fd, kLockBase + rec, 1, os::LockKind::Exclusive);
}
inline os::Status unlock_record(int fd, uint32_t rec) {
  return os::unlock_range(fd, kLockBase + rec, 1);
}
inline os::Status lock_table(int fd) {
  return os::lock_range(fd, kTableLockOffset, kTableLockLength, os::LockKind::Exclusive);
}
inline os::Status unlock_table(int fd) {
  return os::unlock_range(fd, kTableLockOffset, kTableLockLength);
}

// The short internal locks (append/header, index, memo) are retried until
// granted: polled with short sleeps, never a blocking wait, so that a lock
// another descriptor of this same process holds cannot hang us for good.
// Gives up with DOS 33 after `max_ms` milliseconds.
os::Status lock_polled(int fd, uint64_t offset, uint64_t length, os::LockKind kind,
                       int max_ms = 30000);

// Whole-file share lock of an open: shared for a shared open, exclusive
// for an exclusive one; refused (another program holds it the other way):
// DOS 32, the sharing violation of an open.
os::Status share_lock(int fd, bool shared);

}  // namespace kvel::store
