// DbFile: one open file of an account, handed out by Session::OpenFile. SetKey names the
// record; ReadRecord, WriteRecord and DeleteRecord act on it; Error() is the status of the
// last operation (0 success, 30001 no such record).
//
// If there is no record under the key, ReadRecord sets Error() to 30001 and GetRecord() is
// empty. WriteRecord stores SetRecord's array whole, atomically and durably.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/dyn_array.h"

namespace cortevane::db {

class Store;

class DbFile {
 public:
  DbFile(std::shared_ptr<Store> store, std::string name);
  ~DbFile();
  DbFile(const DbFile&) = delete;
  DbFile& operator=(const DbFile&) = delete;

  const std::string& Name() const { return name_; }

  void SetKey(std::string_view key) { key_ = key; }
  const std::string& Key() const { return key_; }

  int ReadRecord();
  // Reads the records under `keys` (any order, repeats allowed) in one request where the store
  // can: *records holds one entry per key that has a record; a key without one is left out,
  // which is not a failure. Returns and sets Error(): 0, or the status of the failed read
  // (then *records is empty). The current key and GetRecord() are left as they were.
  int ReadRecords(const std::vector<std::string>& keys, std::map<std::string, DynArray>* records);
  int WriteRecord();
  // Writes `records` (key, record) in one transaction, each where the file has no record under
  // its key yet, in one request to an office server. All of them are written, or none: when a
  // key is taken, Error() becomes kConditionFailed and *taken is the first such key in the
  // given order. The current key and GetRecord() are left as they were.
  int WriteNewRecords(const std::vector<std::pair<std::string, std::string>>& records,
                      std::string* taken);
  int DeleteRecord();
  // Waits a bounded time for the lock on the current key, then re-reads the record under the
  // lock (GetRecord; Error() 30001 if it does not exist, which still holds the lock).
  // kLockTimeout when another session keeps it.
  int ReserveRecord();
  int FreeRecord();
  // Whether this object holds a reservation (ReserveRecord took the lock, and FreeRecord has
  // not released it yet), whatever the re-read under the lock answered.
  bool IsReserved() const { return reserved_; }
  // Removes every record of the file.
  int EmptyFile();

  int Error() const { return error_; }

  const DynArray& GetRecord() const { return record_; }
  void SetRecord(const DynArray& record) { record_ = record; }

  // How long ReserveRecord waits for a lock held elsewhere (default 10 s).
  void SetLockTimeoutMs(int ms) { lock_timeout_ms_ = ms; }

 private:
  std::weak_ptr<Store> store_;  // expires when the session disconnects
  std::string name_;
  std::string key_;
  DynArray record_;
  int error_ = 0;
  int lock_timeout_ms_ = 10000;
  bool reserved_ = false;
  std::string reserved_key_;
};

}  // namespace cortevane::db
