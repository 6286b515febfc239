#include "db/db_file.h"

#include <algorithm>

#include "db/status.h"
#include "db/store.h"

namespace cortevane::db {

DbFile::DbFile(std::shared_ptr<Store> store, std::string name)
    : store_(std::move(store)), name_(std::move(name)) {}

DbFile::~DbFile() {
  // A reservation does not outlive the file that took it.
  if (reserved_)
    if (auto store = store_.lock()) store->Free(name_, reserved_key_);
}

int DbFile::ReadRecord() {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  if (key_.empty()) return error_ = kNoKey;
  std::string text;
  error_ = store->Read(name_, key_, &text);
  record_.SetText(error_ == kOk ? std::move(text) : std::string());
  return error_;
}

int DbFile::ReadRecords(const std::vector<std::string>& keys,
                        std::map<std::string, DynArray>* records) {
  records->clear();
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  std::vector<std::string> sorted = keys;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (!sorted.empty() && sorted.front().empty()) return error_ = kNoKey;
  error_ = store->ReadMany(name_, sorted, [&](std::string_view key, std::string_view record) {
    records->emplace(std::string(key), DynArray(std::string(record)));
    return true;
  });
  if (error_ != kOk) records->clear();
  return error_;
}

int DbFile::WriteRecord() {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  if (key_.empty()) return error_ = kNoKey;
  return error_ = store->Write(name_, key_, record_.Text());
}

int DbFile::WriteNewRecords(const std::vector<std::pair<std::string, std::string>>& records,
                            std::string* taken) {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  std::vector<Change> changes;
  changes.reserve(records.size());
  for (const auto& [key, record] : records)
    changes.push_back({Change::kWrite, Change::kIfAbsent, name_, key, record, {}});
  size_t refused = 0;
  error_ = store->Apply(changes, &refused);
  if (error_ == kConditionFailed) *taken = records[refused].first;
  return error_;
}

int DbFile::DeleteRecord() {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  if (key_.empty()) return error_ = kNoKey;
  return error_ = store->Delete(name_, key_);
}

int DbFile::ReserveRecord() {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  if (key_.empty()) return error_ = kNoKey;
  if (reserved_ && reserved_key_ != key_) {
    // One reservation per file object: the previous one goes.
    store->Free(name_, reserved_key_);
    reserved_ = false;
  }
  if (int s = store->Reserve(name_, key_, lock_timeout_ms_)) return error_ = s;
  reserved_ = true;
  reserved_key_ = key_;
  // Under the lock, the record as it is now: another session may have changed it while we
  // waited.
  return ReadRecord();
}

int DbFile::FreeRecord() {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  if (key_.empty()) return error_ = kNoKey;
  error_ = store->Free(name_, key_);
  if (error_ == kOk && reserved_ && reserved_key_ == key_) reserved_ = false;
  return error_;
}

int DbFile::EmptyFile() {
  auto store = store_.lock();
  if (!store) return error_ = kNotConnected;
  return error_ = store->Clear(name_);
}

}  // namespace cortevane::db
