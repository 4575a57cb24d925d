// File locks between workstations: byte ranges (record, table, append and
// index locks of the tables) and whole-file locks. Every call is one attempt
// unless it says otherwise; a refused lock is a Status with DOS code 33.
// Byte-range locks are open-file-description locks: they belong to the
// descriptor that took them, conflict with every other descriptor (in this
// process or another), and closing one descriptor leaves the locks of the
// process's other descriptors of the same file alone.
#pragma once

#include <cstdint>

#include "platform/os/status.h"

namespace kvel::os {

enum class LockKind { Shared, Exclusive };

// Locks [offset, offset + length) on the open descriptor fd, without waiting.
// A shared lock needs fd open for reading, an exclusive one fd open for
// writing (else DOS 6, bad handle). Taking a lock over a range the same
// descriptor already holds replaces its kind (shared <-> exclusive).
// Refused because another descriptor holds a conflicting lock: DOS 33.
Status lock_range(int fd, uint64_t offset, uint64_t length, LockKind kind);

// The same, waiting until the lock is granted. Pre: the caller does not hold
// a conflicting lock through another descriptor of its own (that never ends).
Status lock_range_wait(int fd, uint64_t offset, uint64_t length, LockKind kind);

// Releases [offset, offset + length) of fd's locks; ranges not held are fine.
Status unlock_range(int fd, uint64_t offset, uint64_t length);

// Whether another descriptor holds a lock that would refuse `kind` over the
// range. For tests and diagnostics: the answer may be stale when it arrives.
Result<bool> range_taken(int fd, uint64_t offset, uint64_t length, LockKind kind);

// Whole-file lock (flock), without waiting; refused: DOS 33. Like the range
// locks it belongs to the open file description. Whole-file locks and range
// locks are independent of each other on local disks. Network file systems
// may emulate flock with a range lock over the whole file, so tables shared
// between workstations use range locks only.
Status lock_file(int fd, LockKind kind);
Status unlock_file(int fd);

}  // namespace kvel::os
