#include "platform/drive_mapping.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace cortevane::platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir)
    return found->pw_dir;
  return "/tmp";
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Windows names are not case-sensitive: "C:\Windows" must find drive_c/windows. An existing
// entry of the exact name wins; else the first entry equal but for letter case; else the name
// as written (a folder about to be created).
std::filesystem::path Component(const std::filesystem::path& parent, const std::string& name) {
  std::error_code ec;
  if (std::filesystem::exists(parent / name, ec)) return parent / name;
  for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (SameIgnoringCase(it->path().filename().string(), name)) return it->path();
  }
  return parent / name;
}

// Splits "\\server\share\rest" into server, share and the rest (from the separator after the
// share on). False when the server or the share is missing.
bool SplitUnc(std::string_view path, std::string* server, std::string* share,
              std::string_view* rest) {
  if (!IsUncPath(path)) return false;
  size_t i = 2;
  auto name = [&](std::string* out) {
    const size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    *out = std::string(path.substr(start, i - start));
    if (i < path.size()) ++i;
  };
  name(server);
  name(share);
  *rest = path.substr(std::min(i, path.size()));
  return !server->empty() && !share->empty() && *server != "." && *server != ".." &&
         *share != "." && *share != "..";
}

}  // namespace

bool IsUncPath(std::string_view path) {
  return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

bool IsDrivePath(std::string_view path) {
  if (path.size() < 2 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':')
    return false;
  return path.size() == 2 || IsSeparator(path[2]);
}

std::filesystem::path DriveCRoot() {
  if (const char* root = std::getenv("CORTEVANE_DRIVE_C"); root && *root) {
    // "/data/drive_c/" is the folder "/data/drive_c": without its trailing separators, so that
    // the other drives' folders stand beside it, not inside it.
    std::filesystem::path folder = std::filesystem::path(root).lexically_normal();
    if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
    return folder;
  }
  return HomeFolder() / ".local/share/cortevane/drive_c";
}

std::filesystem::path MappedRoot(std::string_view path) {
  if (IsDrivePath(path)) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    std::filesystem::path root = DriveCRoot();
    if (letter != 'c') root = root.parent_path() / (std::string("drive_") + letter);
    return root;
  }
  std::string server, share;
  std::string_view rest;
  if (!SplitUnc(path, &server, &share, &rest)) return {};
  const std::filesystem::path root =
      Component(Component(DriveCRoot().parent_path() / "unc", server), share);
  std::error_code ec;
  return std::filesystem::is_directory(root, ec) ? root : std::filesystem::path();
}

std::filesystem::path MapPath(std::string_view path) {
#ifdef _WIN32
  return std::filesystem::path(path);
#else
  std::string_view within;  // the path below its drive or share
  if (IsDrivePath(path)) {
    within = path.substr(2);
  } else if (IsUncPath(path)) {
    std::string server, share;
    if (!SplitUnc(path, &server, &share, &within)) return {};
  } else {
    return std::filesystem::path(path);
  }
  const std::filesystem::path root = MappedRoot(path);
  if (root.empty()) return {};
  // Components one by one: "." is dropped and ".." stops at the drive's root, as on Windows,
  // so no drive path leads outside its folder.
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char c : within) {
    if (IsSeparator(c))
      flush();
    else
      part += c;
  }
  flush();
  std::filesystem::path out = root;
  for (const std::string& p : parts) out = Component(out, p);
  // A symbolic link inside the drive's folder may lead elsewhere: the path, links resolved,
  // must still be inside the folder (itself resolved), or it is refused.
  // When the system cannot look into a folder on the way, neither can anyone opening the path,
  // and the path as built stays inside.
  std::error_code ec;
  const std::filesystem::path real_root = std::filesystem::weakly_canonical(root, ec);
  if (ec) return out;
  const std::filesystem::path real = std::filesystem::weakly_canonical(out, ec);
  if (ec) return out;
  auto [r, p] = std::mismatch(real_root.begin(), real_root.end(), real.begin(), real.end());
  if (r != real_root.end() && !(std::next(r) == real_root.end() && r->empty())) return {};
  return out;
#endif
}

}  // namespace cortevane::platform
