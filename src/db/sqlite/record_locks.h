// RecordLocks: the reservations of one embedded store, as advisory locks (flock) on one lock
// file per (file, key) in the account's lock folder. The lock file's name is the file name
// and a hash of the key, so any key bytes are safe in a path.
//
// A lock belongs to the open descriptor that took it: another store of this process, opening
// its own descriptor, sees it as held; closing the descriptor (Release, destruction, or the
// death of the process) releases it. Release also removes the lock file; a waiter that took
// the lock on a file removed meanwhile notices it and starts again on the new file.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace cortevane::db {

class RecordLocks {
 public:
  explicit RecordLocks(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~RecordLocks();
  RecordLocks(const RecordLocks&) = delete;
  RecordLocks& operator=(const RecordLocks&) = delete;

  // Takes the lock on (file, key), polling for at most `timeout_ms`: 0, kLockTimeout, or
  // kIoError when the lock file cannot be made. Taking a lock this object holds is a no-op.
  int Acquire(std::string_view file, std::string_view key, int timeout_ms);
  // kNotReserved when this object does not hold the lock.
  int Release(std::string_view file, std::string_view key);
  bool Holds(std::string_view file, std::string_view key) const;

 private:
  std::string LockName(std::string_view file, std::string_view key) const;

  std::filesystem::path folder_;
  std::map<std::string, int> held_;  // lock file name -> descriptor holding the lock
};

}  // namespace cortevane::db
