#include "platform/login.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace cortevane::platform {

std::string LoginNameForUid(unsigned uid, size_t first_buffer_size) {
  // getpwuid_r says ERANGE when the buffer is short: grow it until the entry fits, so a long
  // name (or a long home folder or shell) is never cut.
  std::vector<char> buffer(first_buffer_size ? first_buffer_size : 1);
  while (true) {
    passwd entry{};
    passwd* found = nullptr;
    int rc = getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found);
    if (rc == ERANGE && buffer.size() < (1u << 24)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || !found || !found->pw_name) return {};
    return found->pw_name;
  }
}

std::string LoginName() {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string name = LoginNameForUid(geteuid(), hint > 0 ? static_cast<size_t>(hint) : 1024);
  if (!name.empty()) return name;
  // No password entry (a container with an arbitrary uid): the session's login, then the
  // environment.
  std::vector<char> buffer(256);
  while (true) {
    int rc = getlogin_r(buffer.data(), buffer.size());
    if (rc == ERANGE && buffer.size() < 65536) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc == 0) return buffer.data();
    break;
  }
  for (const char* var : {"USER", "LOGNAME"})
    if (const char* v = std::getenv(var); v && *v) return v;
  return {};
}

}  // namespace cortevane::platform
