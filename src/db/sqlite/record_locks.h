// RecordLocks: the reservations of one embedded store, as open-file-description byte-range
// locks (F_OFD_SETLK) in the account's lock folder: one lock file per store file, and in it
// one byte per key, at an offset taken from a hash of the key. Reserving a record makes and
// removes no file, so a batch of thousands of reservations costs two system calls a key.
//
// A lock belongs to the open file description that took it: another store of this process,
// opening its own description, sees it as held; closing the description (destruction, or the
// death of the process) releases every lock taken through it.
//
// Two keys whose hashes fall on one byte share a lock: another store then waits for either,
// which delays but never lets two holders in; this object counts the keys it holds on each
// byte and unlocks it only when the last of them is released. The offsets (BLAKE2b of the
// key, 8 bytes, modulo 2^62) are read by every copy of the program working on the account,
// so they must never change. Copies of the program from before these locks took a lock file
// per key with flock: they and these copies do not see each other's reservations, so every
// copy working on one embedded account must be of this kind (close the old ones on upgrading).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace cortevane::db {

class RecordLocks {
 public:
  static constexpr std::uint64_t kSlots = std::uint64_t{1} << 62;

  // `slots` is how many distinct bytes the keys spread over; only tests make it small, to
  // make keys share a byte.
  explicit RecordLocks(std::filesystem::path folder, std::uint64_t slots = kSlots)
      : folder_(std::move(folder)), slots_(slots) {}
  ~RecordLocks();
  RecordLocks(const RecordLocks&) = delete;
  RecordLocks& operator=(const RecordLocks&) = delete;

  // Takes the lock on (file, key), polling for at most `timeout_ms`: 0, kLockTimeout, or
  // kIoError when the lock file cannot be made or locked. Taking a lock this object holds is
  // a no-op.
  int Acquire(std::string_view file, std::string_view key, int timeout_ms);
  // kNotReserved when this object does not hold the lock.
  int Release(std::string_view file, std::string_view key);
  bool Holds(std::string_view file, std::string_view key) const;

 private:
  struct LockFile {
    int fd = -1;
    std::map<off_t, int> keys_on;  // byte -> number of keys held on it
  };
  struct Held {
    LockFile* lock_file;
    off_t offset;
  };

  // The lock file of `file`, opened once: nullptr when it cannot be made.
  LockFile* Open(std::string_view file);
  off_t Offset(std::string_view key) const;

  std::filesystem::path folder_;
  std::uint64_t slots_;
  std::map<std::string, LockFile, std::less<>> files_;  // store file -> its lock file
  std::map<std::string, Held, std::less<>> held_;       // file '\0' key -> where its lock is
};

}  // namespace cortevane::db
