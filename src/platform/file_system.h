// The file-system services the export needs for scanned documents: whether a folder exists,
// and a recursive copy of a folder into another that replaces files of the same name. Both
// take Windows drive or network paths, or native paths (see drive_mapping.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cortevane::platform {

bool FolderExists(std::string_view path);

// An entry of the copied folder that was not copied because it is neither a regular file nor
// a folder. `path` is relative to the folder copied, with '/' between its parts; empty when the
// folder copied is itself a link (nothing is copied then).
struct SkippedEntry {
  enum Kind { kLink, kSpecial };  // a symbolic link; a device, socket or pipe
  std::string path;
  Kind kind;
};

// Copies the regular files and folders inside the folder `from` to `to`, creating `to` and
// the folders above it as needed, replacing files of the same name. Nothing else is copied or
// followed: symbolic links, devices, sockets and pipes are listed in *skipped (if given).
//
// Nothing is written through a link: below the drive's or share's folder (for a native path,
// below the folder that receives `to`), every folder of the destination must be a real
// folder, or the copy is refused with ELOOP (a link) or ENOTDIR (a file); each file is first
// written under a name created for it alone, then renamed into place, replacing the entry of
// that name (a link there is replaced, never followed). A network path on a share this machine
// does not map is refused with ENXIO, and so is a destination that is not an absolute path
// once mapped (it would land wherever the program was started).
//
// 0 on success; otherwise a non-zero errno-style code, and *message (if given) names the file
// that failed, in English. A copy that fails stops there; what it copied before stays.
int CopyFolder(std::string_view from, std::string_view to, std::string* message = nullptr,
               std::vector<SkippedEntry>* skipped = nullptr);

}  // namespace cortevane::platform
