#include "platform/file_system.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/drive_mapping.h"

namespace cortevane::platform {
namespace fs = std::filesystem;
namespace {

int Failed(const std::error_code& ec, const fs::path& where, std::string* message) {
  if (message) *message = where.string() + ": " + ec.message();
  return ec.value() ? ec.value() : EIO;
}

// Replaces `to` by a copy of `from` through a temporary file beside it, so that a copy that
// fails half-way never leaves a truncated document in place of the good one.
int CopyOneFile(const fs::path& from, const fs::path& to, std::string* message) {
  std::error_code ec;
  fs::path partial = to;
  partial += ".cortevane-partial";
  if (!fs::copy_file(from, partial, fs::copy_options::overwrite_existing, ec)) {
    fs::remove(partial, ec);
    return Failed(ec ? ec : std::make_error_code(std::errc::io_error), from, message);
  }
  fs::rename(partial, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    return Failed(ec, to, message);
  }
  return 0;
}

int CopyTree(const fs::path& from, const fs::path& to, std::string* message) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (ec || !fs::is_directory(to)) {
    return Failed(ec ? ec : std::make_error_code(std::errc::not_a_directory), to, message);
  }
  for (fs::directory_iterator it(from, ec), end; it != end; it.increment(ec)) {
    if (ec) return Failed(ec, from, message);
    const fs::path target = to / it->path().filename();
    fs::file_status status = it->status(ec);  // follows links, as a copy by the user would
    if (ec) return Failed(ec, it->path(), message);
    int rc = 0;
    if (fs::is_directory(status))
      rc = CopyTree(it->path(), target, message);
    else if (fs::is_regular_file(status))
      rc = CopyOneFile(it->path(), target, message);
    if (rc) return rc;
  }
  if (ec) return Failed(ec, from, message);
  return 0;
}

}  // namespace

bool FolderExists(std::string_view path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(MapPath(path), ec);
}

int CopyFolder(std::string_view from_text, std::string_view to_text, std::string* message) {
  if (message) message->clear();
  const fs::path from = MapPath(from_text);
  const fs::path to = MapPath(to_text);
  for (const auto& [text, path] : {std::pair{from_text, from}, std::pair{to_text, to}}) {
    if (!path.empty()) continue;
    if (message) *message = std::string(text) + ": leads outside its drive's folder";
    return EACCES;
  }
  std::error_code ec;
  if (!fs::is_directory(from, ec))
    return Failed(std::make_error_code(std::errc::no_such_file_or_directory), from, message);
  // A copy into its own subtree would never end.
  const fs::path source = fs::weakly_canonical(from, ec);
  const fs::path target = fs::weakly_canonical(to, ec);
  auto [s, t] = std::mismatch(source.begin(), source.end(), target.begin(), target.end());
  if (s == source.end()) {
    if (message) *message = to.string() + ": destination inside the folder copied";
    return EINVAL;
  }
  return CopyTree(from, to, message);
}

}  // namespace cortevane::platform
