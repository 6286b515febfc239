// Sample data and the demo: `seed` and `demo`.
#include "commands.h"

namespace cortevane::admin {

void AddSampleCommands(CLI::App&, AdminContext&) {}

}  // namespace cortevane::admin
