#include "db/store.h"

#include "db/status.h"

namespace cortevane::db {

int Store::IndexScan(std::string_view file, std::string_view item, std::string_view value,
                     bool prefix,
                     const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::vector<std::string> keys;
  int status = IndexLookup(file, item, value, prefix, &keys);
  if (status != kOk) return status;
  std::string record;
  for (const auto& key : keys) {
    status = Read(file, key, &record);
    if (status == kRecordNotFound) continue;  // deleted since the lookup
    if (status != kOk) return status;
    if (!visit(key, record)) break;
  }
  return kOk;
}

}  // namespace cortevane::db
