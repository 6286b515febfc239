// The operating system's name of the user running the program, whatever its length; the empty
// text when it cannot be found.
#pragma once

#include <string>

namespace cortevane::platform {

std::string LoginName();

}  // namespace cortevane::platform
