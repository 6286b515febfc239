// The operating system's name of the user running the program, whatever its length; the empty
// text when it cannot be found.
#pragma once

#include <cstddef>
#include <string>

namespace cortevane::platform {

std::string LoginName();

// The password database's name for `uid`, starting with a buffer of `first_buffer_size` bytes
// and growing it as needed; the empty text when there is no entry. LoginName uses it; tests
// call it with a tiny buffer to show that names are never cut.
std::string LoginNameForUid(unsigned uid, size_t first_buffer_size);

}  // namespace cortevane::platform
