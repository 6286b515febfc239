#include "db/store.h"

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

}  // namespace cortevane::db
