// Drive mapping: a Windows path "C:\..." (any letter case, backslashes) is read on Linux inside
// the folder named by CORTEVANE_DRIVE_C (default ~/.local/share/cortevane/drive_c), the way a
// Wine prefix maps its drive. Other drive letters map to sibling folders drive_d, drive_e...
// A network path "\\SERVEUR\partage\..." is read inside the folder unc/SERVEUR/partage beside
// drive_c (server and share in any letter case) when that folder exists: making it, or a link
// to where the share is mounted, is how a machine maps the share. Without it the path maps to
// nothing. Any other path is returned as it stands. On Windows paths are used as they are.
#pragma once

#include <filesystem>
#include <string_view>

namespace cortevane::platform {

// True for "X:\..." or "X:/..." (a drive letter, a colon, a separator) and for "X:" alone.
bool IsDrivePath(std::string_view path);

// True for "\\server\share..." (two separators, then a name; either separator).
bool IsUncPath(std::string_view path);

// The folder that stands for drive C: on this machine.
std::filesystem::path DriveCRoot();

// The folder that stands for the drive or the network share `path` is on (drive_c, drive_d,
// unc/SERVEUR/partage); the empty path for a path on no drive or on a share not mapped.
std::filesystem::path MappedRoot(std::string_view path);

// Where `path` lives on this machine. A drive or network path whose place, symbolic links
// resolved, is outside its drive's or share's folder gives the empty path, which names nothing
// that can be opened; so does a network path on a share not mapped.
std::filesystem::path MapPath(std::string_view path);

}  // namespace cortevane::platform
