#include "db/sqlite/record_locks.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "db/status.h"

namespace cortevane::db {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The name of the lock file of a store file. A store file's name is a safe path component
// (ValidateName), and no name of this form can be taken for another file's.
std::string LockFileName(std::string_view file) { return std::string(file) + ".keys"; }

std::string HeldName(std::string_view file, std::string_view key) {
  // A file name never holds a NUL, so the first one ends it.
  std::string name(file);
  name += '\0';
  name += key;
  return name;
}

// One byte at `offset`, locked (F_WRLCK) or unlocked (F_UNLCK), without waiting.
int LockByte(int fd, off_t offset, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock);
}

}  // namespace

RecordLocks::~RecordLocks() {
  // Closing the descriptions releases every lock taken through them; the lock files stay for
  // the next reservations.
  for (auto& [name, lock_file] : files_) close(lock_file.fd);
}

off_t RecordLocks::Offset(std::string_view key) const {
  unsigned char hash[8];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(key.data()),
                     key.size(), nullptr, 0);
  std::uint64_t value = 0;
  for (unsigned char b : hash) value = value << 8 | b;
  return static_cast<off_t>(value % slots_);
}

RecordLocks::LockFile* RecordLocks::Open(std::string_view file) {
  if (auto it = files_.find(file); it != files_.end()) return &it->second;
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  const std::string path = (folder_ / LockFileName(file)).string();
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  LockFile& lock_file = files_[std::string(file)];
  lock_file.fd = fd;
  return &lock_file;
}

bool RecordLocks::Holds(std::string_view file, std::string_view key) const {
  return held_.count(HeldName(file, key)) != 0;
}

int RecordLocks::Acquire(std::string_view file, std::string_view key, int timeout_ms) {
  std::string name = HeldName(file, key);
  if (held_.count(name)) return kOk;
  LockFile* lock_file = Open(file);
  if (lock_file == nullptr) return kIoError;
  const off_t offset = Offset(key);
  int& keys_on = lock_file->keys_on[offset];
  if (keys_on == 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (LockByte(lock_file->fd, offset, F_WRLCK) != 0) {
      const int error = errno;
      const bool busy = error == EAGAIN || error == EACCES;
      if (!busy || std::chrono::steady_clock::now() >= deadline) {
        lock_file->keys_on.erase(offset);
        return busy ? kLockTimeout : kIoError;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  ++keys_on;
  held_.emplace(std::move(name), Held{lock_file, offset});
  return kOk;
}

int RecordLocks::Release(std::string_view file, std::string_view key) {
  auto it = held_.find(HeldName(file, key));
  if (it == held_.end()) return kNotReserved;
  LockFile& lock_file = *it->second.lock_file;
  const off_t offset = it->second.offset;
  held_.erase(it);
  auto on = lock_file.keys_on.find(offset);
  if (--on->second > 0) return kOk;  // another key this object holds shares the byte
  lock_file.keys_on.erase(on);
  // Should the unlock fail, the byte stays locked until the store closes: later reservations
  // of the key wait, none is ever let in twice.
  LockByte(lock_file.fd, offset, F_UNLCK);
  return kOk;
}

}  // namespace cortevane::db
