// The office store's reservations: session-level advisory locks, which die with the connection.
#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "db/names.h"
#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::Cell;
using postgres::Result;

namespace postgres {

// A 64-bit FNV-1a hash of (file, key) naming the advisory lock. Two pairs sharing a hash only
// make one wait for the other; they never both pass.
long long LockId(std::string_view file, std::string_view key) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::string_view s) {
    for (unsigned char c : s) {
      h ^= c;
      h *= 1099511628211ull;
    }
  };
  mix(file);
  mix(std::string_view("\0", 1));
  mix(key);
  return static_cast<long long>(h);
}

}  // namespace postgres

using postgres::LockId;

int PostgresStore::Reserve(std::string_view file, std::string_view key, int timeout_ms) {
  if (ValidateName(file) != kOk) return kBadName;
  if (key.empty()) return kNoKey;
  std::string id = std::string(file) + '\0' + std::string(key);
  if (held_locks_.count(id)) return kOk;  // already ours: one Free releases it
  std::string lock = std::to_string(LockId(file, key));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    Result r(Exec("SELECT pg_try_advisory_lock($1::text::bigint)::text", {lock}));
    if (!Ok(r.get())) return Failure();
    if (Cell(r.get(), 0, 0) == "true") {
      held_locks_.insert(id);
      return kOk;
    }
    if (std::chrono::steady_clock::now() >= deadline) return kLockTimeout;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool PostgresStore::Holds(std::string_view file, std::string_view key) {
  return held_locks_.count(std::string(file) + '\0' + std::string(key)) > 0;
}

int PostgresStore::Free(std::string_view file, std::string_view key) {
  std::string id = std::string(file) + '\0' + std::string(key);
  auto it = held_locks_.find(id);
  if (it == held_locks_.end()) return kNotReserved;
  Result r(Exec("SELECT pg_advisory_unlock($1::text::bigint)::text",
                {std::to_string(LockId(file, key))}));
  held_locks_.erase(it);
  return Ok(r.get()) ? kOk : Failure();
}

}  // namespace cortevane::db
