#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/drive_mapping.h"

namespace cortevane::platform {
namespace fs = std::filesystem;
namespace {

// A file descriptor closed when it goes out of scope; negative when nothing is open.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now: 0, or -1 with errno set (a network share may tell a failed write only here).
  int Close() { return close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// What the copy needs from one run: where failures and skipped entries are told.
struct Copy {
  std::string* message;
  std::vector<SkippedEntry>* skipped;
  std::string source;  // the folder copied, as mapped

  int Failed(int error, const std::string& where, const char* what = nullptr) {
    if (error == 0) error = EIO;
    if (message) *message = where + ": " + (what ? what : std::generic_category().message(error));
    return error;
  }
  // A failure on an entry of the folder copied, named by its path relative to it.
  int FailedAt(int error, const std::string& relative) {
    return Failed(error, relative.empty() ? source : source + "/" + relative);
  }
  void Skip(const std::string& path, SkippedEntry::Kind kind) {
    if (skipped) skipped->push_back({path, kind});
  }
};

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the folder `name` inside `parent` (AT_FDCWD: `name` is a path), never through a link.
// On failure errno is ELOOP for a link (Linux says ENOTDIR for it), else the system's reason.
Fd OpenFolder(int parent, const char* name) {
  Fd fd(openat(parent, name, kDirectoryFlags));
  struct stat status {};
  if (!fd.ok() && errno == ENOTDIR && fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(status.st_mode))
    errno = ELOOP;
  return fd;
}

// The folder `name` inside `parent`, made when missing; never through a link. Sets errno and
// gives a closed Fd when `name` is a link (ELOOP) or not a folder (ENOTDIR).
Fd OpenOrMakeFolder(int parent, const std::string& name) {
  Fd fd = OpenFolder(parent, name.c_str());
  if (fd.ok() || errno != ENOENT) return fd;
  if (mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) return Fd();
  return OpenFolder(parent, name.c_str());
}

std::string Joined(const std::string& relative, const std::string& name) {
  return relative.empty() ? name : relative + "/" + name;
}

// The destination folder, opened by walking down from the folder of its drive or share (for a
// native path, the folder that receives it, which the office configured), each step refusing
// a link or a file: whoever can write in the share cannot send the copy elsewhere.
Fd OpenDestination(std::string_view text, const fs::path& to, Copy& copy, int* error) {
  fs::path base = MappedRoot(text);
  fs::path below = to.lexically_relative(base);
  if (base.empty() || below.empty() || *below.begin() == "..") {
    base = to.parent_path();
    below = to.filename();
  }
  std::error_code ec;
  fs::create_directories(base, ec);
  Fd folder(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.ok()) {
    *error = copy.Failed(errno, base.string());
    return Fd();
  }
  fs::path reached = base;
  for (const fs::path& part : below) {
    reached /= part;
    if (part.empty() || part == ".") continue;
    folder = OpenOrMakeFolder(folder.get(), part.string());
    if (!folder.ok()) {
      const int e = errno;
      *error = copy.Failed(e, reached.string(),
                           e == ELOOP     ? "a symbolic link stands in the destination path"
                           : e == ENOTDIR ? "a file stands in the destination path"
                                          : nullptr);
      return Fd();
    }
  }
  return folder;
}

// Writes `name` of `from` into `to` under a name of its own, created for this copy alone
// (a leftover or planted entry of that name is removed, never opened), then renames it into
// place, so that a copy that fails half-way never leaves a truncated document in place of the
// good one, and nothing is written through a link.
int CopyOneFile(int from, int to, const std::string& name, const std::string& relative,
                Copy& copy) {
  // O_NONBLOCK: an entry turned into a pipe since it was looked at must not hang the copy.
  Fd in(openat(from, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!in.ok() && errno == ELOOP) {
    copy.Skip(relative, SkippedEntry::kLink);
    return 0;
  }
  if (!in.ok()) return copy.FailedAt(errno, relative);
  struct stat status {};
  if (fstat(in.get(), &status) != 0) return copy.FailedAt(errno, relative);
  if (!S_ISREG(status.st_mode)) {
    copy.Skip(relative, SkippedEntry::kSpecial);
    return 0;
  }

  const std::string partial = name + ".cortevane-partial";
  unlinkat(to, partial.c_str(), 0);
  std::string temporary = partial;
  Fd out;
  for (int attempt = 1; attempt <= 100; ++attempt) {
    out = Fd(
        openat(to, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.ok() || errno != EEXIST) break;
    temporary = partial + "-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
  }
  if (!out.ok()) return copy.FailedAt(errno, relative);
  auto abandon = [&](int error) {
    out = Fd();
    unlinkat(to, temporary.c_str(), 0);
    return copy.FailedAt(error, relative);
  };
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(in.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return abandon(errno);
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(out.get(), buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return abandon(errno);
      done += put;
    }
  }
  if (fchmod(out.get(), status.st_mode & 0777) != 0) return abandon(errno);
  if (out.Close() != 0) return abandon(errno);
  if (renameat(to, temporary.c_str(), to, name.c_str()) != 0) return abandon(errno);
  return 0;
}

int CopyTree(int from, int to, const std::string& relative, Copy& copy) {
  DIR* listing = fdopendir(dup(from));
  if (!listing) return copy.FailedAt(errno, relative);
  std::unique_ptr<DIR, int (*)(DIR*)> closer(listing, closedir);
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    errno = 0;
  }
  if (errno != 0) return copy.FailedAt(errno, relative);
  std::sort(names.begin(), names.end());  // the same order, and the same report, every time

  for (const std::string& name : names) {
    const std::string path = Joined(relative, name);
    struct stat status {};
    if (fstatat(from, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // gone since the listing
      return copy.FailedAt(errno, path);
    }
    if (S_ISLNK(status.st_mode)) {
      copy.Skip(path, SkippedEntry::kLink);
    } else if (S_ISDIR(status.st_mode)) {
      Fd source = OpenFolder(from, name.c_str());
      if (!source.ok()) return copy.FailedAt(errno, path);
      Fd target = OpenOrMakeFolder(to, name);
      if (!target.ok() && errno == ELOOP)
        return copy.Failed(ELOOP, path, "a symbolic link stands in the destination path");
      if (!target.ok()) return copy.FailedAt(errno, path);
      if (int rc = CopyTree(source.get(), target.get(), path, copy)) return rc;
    } else if (S_ISREG(status.st_mode)) {
      if (int rc = CopyOneFile(from, to, name, path, copy)) return rc;
    } else {
      copy.Skip(path, SkippedEntry::kSpecial);
    }
  }
  return 0;
}

}  // namespace

bool FolderExists(std::string_view path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(MapPath(path), ec);
}

int CopyFolder(std::string_view from_text, std::string_view to_text, std::string* message,
               std::vector<SkippedEntry>* skipped) {
  if (message) message->clear();
  const fs::path from = MapPath(from_text);
  Copy copy{message, skipped, from.string()};
  const fs::path to = MapPath(to_text);
  for (const auto& [text, path] : {std::pair{from_text, from}, std::pair{to_text, to}}) {
    if (path.empty() && IsUncPath(text))
      return copy.Failed(ENXIO, std::string(text), "network share not mapped on this machine");
    if (path.empty())
      return copy.Failed(EACCES, std::string(text), "leads outside its drive's folder");
  }
  if (!to.is_absolute())
    return copy.Failed(ENXIO, std::string(to_text), "destination is not an absolute path");

  Fd source = OpenFolder(AT_FDCWD, from.c_str());
  if (!source.ok() && errno == ELOOP) {
    copy.Skip("", SkippedEntry::kLink);  // the folder itself is a link: nothing of it goes
    return 0;
  }
  if (!source.ok()) return copy.Failed(errno, from.string());
  // A copy into its own subtree would never end.
  std::error_code ec;
  const fs::path inside = fs::weakly_canonical(from, ec);
  const fs::path target = fs::weakly_canonical(to, ec);
  auto [s, t] = std::mismatch(inside.begin(), inside.end(), target.begin(), target.end());
  if (s == inside.end())
    return copy.Failed(EINVAL, to.string(), "destination inside the folder copied");

  int error = 0;
  Fd destination = OpenDestination(to_text, to, copy, &error);
  if (!destination.ok()) return error;
  return CopyTree(source.get(), destination.get(), "", copy);
}

}  // namespace cortevane::platform
