// The file-system services the export needs for scanned documents: whether a folder exists,
// and a recursive copy of a folder into another that replaces files of the same name. Both
// take Windows drive paths or native paths (see drive_mapping.h).
#pragma once

#include <string>
#include <string_view>

namespace cortevane::platform {

bool FolderExists(std::string_view path);

// Copies the folder `from` (its files and sub-folders) to `to`, creating `to` and the folders
// above it as needed, replacing files of the same name. 0 on success; otherwise a non-zero
// errno-style code, and *message (if given) names the file that failed, in English.
int CopyFolder(std::string_view from, std::string_view to, std::string* message = nullptr);

}  // namespace cortevane::platform
