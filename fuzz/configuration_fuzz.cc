// Any bytes as the configuration file: decoding, parsing and the verdict on it answer without
// a crash, and whatever the file says, the values read are valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "connection/configuration.h"

namespace {

bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto lines = cortevane::connection::ConfigurationLines(bytes);
  for (const auto& line : lines)
    if (!ValidUtf8(line)) __builtin_trap();
  auto configuration = cortevane::connection::ParseConfiguration(lines);
  (void)cortevane::connection::ConfigurationProblem(configuration);
  if (!ValidUtf8(configuration.W_Serveur) || !ValidUtf8(configuration.W_ServeurDistant))
    __builtin_trap();
  return 0;
}
