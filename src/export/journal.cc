#include "export/journal.h"

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/drive_mapping.h"

namespace cortevane::exporting {
namespace {

std::string Formatted(std::chrono::system_clock::time_point when, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, format, &local));
}

std::string Reason(int error) {
  switch (error) {
    case ENOSPC:
      return "disque plein";
    case EACCES:
    case EPERM:
    case EROFS:
      return "accès refusé";
    case ENOTDIR:
    case EEXIST:
      return "un fichier porte le nom d'un dossier du chemin";
    default:
      return "erreur système " + std::to_string(error);
  }
}

}  // namespace

std::string JournalDateTime(std::chrono::system_clock::time_point when) {
  return Formatted(when, "%d/%m/%Y à %H:%M:%S");
}

Journal::~Journal() { Close(); }

bool Journal::Open(std::chrono::system_clock::time_point start, std::string_view folder) {
  Close();
  problem_.clear();
  path_ = folder;
  const std::filesystem::path mapped = platform::MapPath(folder);
  std::error_code ec;
  std::filesystem::create_directories(mapped, ec);
  if (ec) {
    Fail(ec.value());
    return false;
  }
  // "x": never write over the journal of another run that started in the same second.
  const std::string stem = Formatted(start, "%Y-%m-%d_%H-%M-%S");
  for (int n = 1; n <= 100; ++n) {
    const std::string name = stem + (n > 1 ? "_" + std::to_string(n) : "") + ".txt";
    path_ = std::string(folder) + name;
    file_ = std::fopen((mapped / name).c_str(), "wx");
    if (file_) return true;
    if (errno != EEXIST) break;
  }
  Fail(errno);
  return false;
}

void Journal::Line(std::string_view text) {
  if (!file_) return;
  const std::string time = Formatted(std::chrono::system_clock::now(), "%H:%M:%S ");
  std::string line = time;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      line += text[i];
      continue;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    line += "\r\n" + time;
  }
  line += "\r\n";
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
    Fail(errno ? errno : EIO);
  }
}

void Journal::Close() {
  if (!file_) return;
  std::FILE* file = std::exchange(file_, nullptr);
  if (std::fclose(file) != 0) Fail(errno ? errno : EIO);
}

void Journal::Fail(int error) {
  if (problem_.empty()) problem_ = Reason(error);
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

std::string Journal::Problem() const {
  if (problem_.empty()) return {};
  return "Le journal de cette exportation n'a pas pu être écrit dans " + path_ + " (" + problem_ +
         ").";
}

}  // namespace cortevane::exporting
