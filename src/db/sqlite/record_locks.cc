#include "db/sqlite/record_locks.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "db/status.h"

namespace cortevane::db {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

}  // namespace

RecordLocks::~RecordLocks() {
  // Closing is enough to release; the lock files stay and are reused or removed by the next
  // holder's Release.
  for (auto& [name, fd] : held_) close(fd);
}

std::string RecordLocks::LockName(std::string_view file, std::string_view key) const {
  unsigned char hash[16];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(key.data()),
                     key.size(), nullptr, 0);
  static const char kHex[] = "0123456789abcdef";
  std::string name(file);
  name += '.';
  for (unsigned char b : hash) {
    name += kHex[b >> 4];
    name += kHex[b & 15];
  }
  return name;
}

bool RecordLocks::Holds(std::string_view file, std::string_view key) const {
  return held_.count(LockName(file, key)) != 0;
}

int RecordLocks::Acquire(std::string_view file, std::string_view key, int timeout_ms) {
  std::string name = LockName(file, key);
  if (held_.count(name)) return kOk;
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  const std::string path = (folder_ / name).string();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return kIoError;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // The previous holder may have removed the file between our open and our lock: then we
      // hold a lock nobody else can see, and must start again on the file now at `path`.
      struct stat mine, current;
      if (fstat(fd, &mine) == 0 && stat(path.c_str(), &current) == 0 &&
          mine.st_ino == current.st_ino && mine.st_dev == current.st_dev) {
        held_[name] = fd;
        return kOk;
      }
      close(fd);
      continue;
    }
    int error = errno;
    close(fd);
    if (error != EWOULDBLOCK && error != EINTR) return kIoError;
    if (std::chrono::steady_clock::now() >= deadline) return kLockTimeout;
    std::this_thread::sleep_for(kPollInterval);
  }
}

int RecordLocks::Release(std::string_view file, std::string_view key) {
  auto it = held_.find(LockName(file, key));
  if (it == held_.end()) return kNotReserved;
  // Unlink while still holding the lock, so nobody can take a lock on a file that is going.
  unlink((folder_ / it->first).c_str());
  close(it->second);
  held_.erase(it);
  return kOk;
}

}  // namespace cortevane::db
