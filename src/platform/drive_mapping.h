// Drive mapping: a Windows path "C:\..." (any letter case, backslashes) is read on Linux inside
// the folder named by CORTEVANE_DRIVE_C (default ~/.local/share/cortevane/drive_c), the way a
// Wine prefix maps its drive. Other drive letters map to sibling folders drive_d, drive_e...
// A path that is not a drive path is returned as it stands. On Windows paths are used as they
// are.
#pragma once

#include <filesystem>
#include <string_view>

namespace cortevane::platform {

// True for "X:\..." or "X:/..." (a drive letter, a colon, a separator) and for "X:" alone.
bool IsDrivePath(std::string_view path);

// The folder that stands for drive C: on this machine.
std::filesystem::path DriveCRoot();

// Where `path` lives on this machine. A drive path whose place, symbolic links resolved, is
// outside its drive's folder gives the empty path, which names nothing that can be opened.
std::filesystem::path MapPath(std::string_view path);

}  // namespace cortevane::platform
