#include "db/store.h"

#include <algorithm>

#include "db/status.h"

namespace cortevane::db {

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
