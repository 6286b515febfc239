#include "db/store.h"

#include <algorithm>
#include <set>

#include "db/status.h"

namespace cortevane::db {

std::optional<std::string> PrefixEnd(std::string_view prefix) {
  std::string end(prefix);
  while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF) end.pop_back();
  if (end.empty()) return std::nullopt;
  end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
  return end;
}

std::vector<std::string> DisjointPrefixes(std::vector<std::string> prefixes) {
  std::sort(prefixes.begin(), prefixes.end());
  std::vector<std::string> kept;
  // Sorted, a prefix comes right after the shorter one that covers it.
  for (std::string& p : prefixes)
    if (kept.empty() || !p.starts_with(kept.back())) kept.push_back(std::move(p));
  return kept;
}

int Store::PrefixScan(std::string_view file, const std::vector<std::string>& prefixes,
                      const std::function<bool(std::string_view, std::string_view)>& visit) {
  const std::vector<std::string> wanted = DisjointPrefixes(prefixes);
  if (wanted.empty()) return FileExists(file) ? kOk : kNoSuchFile;
  return Scan(file, [&](std::string_view key, std::string_view record) {
    for (const std::string& p : wanted)
      if (key.starts_with(p)) return visit(key, record);
    return true;
  });
}

int Store::BeginSelection(std::string_view file, std::vector<DictItem>* items) {
  if (!FileExists(file)) return kNoSuchFile;
  return Dictionary(file, items);
}

int Store::ReadMany(std::string_view file, const std::vector<std::string>& keys,
                    const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::string record;
  for (const auto& key : keys) {
    int status = Read(file, key, &record);
    if (status == kRecordNotFound) continue;
    if (status != kOk) return status;
    if (!visit(key, record)) break;
  }
  return kOk;
}

int Store::Apply(const std::vector<Change>& changes, size_t* refused) {
  // Conditions are checked under the records' reservations, so a session that reserved a
  // record to write it is waited for, as ReserveRecord would.
  // They are taken in one order, so two batches sharing records never wait for each other in
  // a circle.
  std::set<std::pair<std::string, std::string>> wanted;
  for (const Change& c : changes)
    if (c.condition != Change::kAlways && !Holds(c.file, c.key)) wanted.emplace(c.file, c.key);
  std::vector<const std::pair<std::string, std::string>*> reserved;
  int s = kOk;
  for (const auto& record : wanted) {
    if ((s = Reserve(record.first, record.second, kBatchLockWaitMs))) break;
    reserved.push_back(&record);
  }
  if (s == kOk) s = ApplyOneByOne(changes, refused);
  for (const auto* record : reserved) Free(record->first, record->second);
  return s;
}

void Store::ClearFiles(const std::vector<std::string>& files, std::vector<int>* statuses) {
  statuses->clear();
  for (const std::string& file : files) statuses->push_back(Clear(file));
}

int Store::ApplyOneByOne(const std::vector<Change>& changes, size_t* refused) {
  if (int s = Begin()) return s;
  std::string now;
  for (size_t i = 0; i < changes.size(); ++i) {
    const Change& c = changes[i];
    int s = kOk;
    if (c.condition != Change::kAlways) {
      s = Read(c.file, c.key, &now);
      const bool holds =
          c.condition == Change::kIfAbsent ? s == kRecordNotFound : s == kOk && now == c.expected;
      if (s == kOk || s == kRecordNotFound) s = holds ? kOk : kConditionFailed;
    }
    if (s == kOk)
      s = c.kind == Change::kWrite ? Write(c.file, c.key, c.record) : Delete(c.file, c.key);
    if (s == kRecordNotFound && c.kind == Change::kDelete) s = kOk;
    if (s != kOk) {
      Rollback();
      if (s == kConditionFailed) *refused = i;
      return s;
    }
  }
  return Commit();
}

int Store::IndexLookupAny(std::string_view file, std::string_view item,
                          const std::vector<std::string>& values, bool prefix,
                          std::vector<std::string>* keys) {
  keys->clear();
  std::vector<std::string> some;
  for (const std::string& value : values) {
    if (int status = IndexLookup(file, item, value, prefix, &some)) return status;
    keys->insert(keys->end(), some.begin(), some.end());
  }
  std::sort(keys->begin(), keys->end());
  keys->erase(std::unique(keys->begin(), keys->end()), keys->end());
  return kOk;
}

int Store::IndexScan(std::string_view file, std::string_view item, std::string_view value,
                     bool prefix,
                     const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::vector<std::string> keys;
  if (int status = IndexLookup(file, item, value, prefix, &keys)) return status;
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return ReadMany(file, keys, visit);
}

int Store::IndexScanAny(std::string_view file, std::string_view item,
                        const std::vector<std::string>& values, bool prefix,
                        const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::vector<std::string> keys;
  if (int status = IndexLookupAny(file, item, values, prefix, &keys)) return status;
  return ReadMany(file, keys, visit);
}

}  // namespace cortevane::db
