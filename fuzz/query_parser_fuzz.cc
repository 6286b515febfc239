// Any text as a query sentence: the parser answers with a status, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "db/query/query.h"
#include "db/status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view sentence(reinterpret_cast<const char*>(data), size);
  cortevane::db::query::Query query;
  auto error = cortevane::db::query::ParseQuery(sentence, &query);
  if (error.status != cortevane::db::kOk && error.message.empty()) __builtin_trap();
  return 0;
}
