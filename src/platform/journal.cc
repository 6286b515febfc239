#include "platform/journal.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/drive_mapping.h"

namespace cortevane::platform {
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

bool Journal::Open(std::chrono::system_clock::time_point start, std::string_view folder,
                   std::string_view prefix) {
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
  const std::string stem = std::string(prefix) + Formatted(start, "%Y-%m-%d_%H-%M-%S");
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

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// "2026-12-09_09-41-21" (and an optional "_2") gives "09/12/2026 09:41:21"; else empty.
std::string StartedFrom(std::string_view stem) {
  if (stem.size() < 19) return {};
  for (size_t i : {4u, 7u, 13u, 16u})
    if (stem[i] != '-') return {};
  if (stem[10] != '_') return {};
  const std::string s(stem.substr(0, 19));
  return s.substr(8, 2) + "/" + s.substr(5, 2) + "/" + s.substr(0, 4) + " " + s.substr(11, 2) +
         ":" + s.substr(14, 2) + ":" + s.substr(17, 2);
}

// Reads the counts from the lines the import and the export write (their times taken off).
// The outcome is the last line, except that an export's end line is followed by the lines that
// explain it (the cause of a failure): it stays the outcome.
void Summarise(JournalRun* run) {
  bool ended = false;
  size_t start = 0;
  while (start < run->text.size()) {
    size_t end = run->text.find('\n', start);
    if (end == std::string::npos) end = run->text.size();
    std::string_view line(run->text.data() + start, end - start);
    start = end + 1;
    if (line.size() >= 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ')
      line.remove_prefix(9);
    if (line.empty()) continue;
    if (!ended) run->outcome = line;
    if (!run->import && (StartsWith(line, "Exportation terminée le") ||
                         StartsWith(line, "Exportation interrompue le")))
      ended = true;
    if (run->import) {
      if (StartsWith(line, "  Aidé ")) ++run->persons;
      if (StartsWith(line, "Importation échouée")) ++run->failures;
    } else {
      if (StartsWith(line, "Aidé ")) ++run->persons;
      if (StartsWith(line, "  Question sur ")) ++run->questions;
      if (Contains(line, "interrompue") || Contains(line, "non copiés") ||
          Contains(line, "non effectué") || Contains(line, "n'a pas pu"))
        ++run->failures;
    }
  }
}

}  // namespace

std::vector<JournalRun> ReadJournals(std::string_view folder) {
  std::vector<JournalRun> runs;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(platform::MapPath(folder), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (it->path().extension() != ".txt") continue;
    JournalRun run;
    run.file = name;
    run.import = StartsWith(name, kImportJournalPrefix);
    run.started = StartedFrom(std::string_view(name).substr(
        run.import ? std::string_view(kImportJournalPrefix).size() : 0));
    if (run.started.empty()) continue;
    std::FILE* in = std::fopen(it->path().c_str(), "rb");
    if (!in) continue;
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) run.text.append(buffer, n);
    std::fclose(in);
    std::string text;
    for (char c : run.text)
      if (c != '\r') text += c;
    run.text = std::move(text);
    Summarise(&run);
    runs.push_back(std::move(run));
  }
  // The name says when the run started; "_2" names a later run of the same second.
  auto key = [](const JournalRun& run) {
    const std::string date = run.started.substr(6, 4) + run.started.substr(3, 2) +
                             run.started.substr(0, 2) + run.started.substr(11);
    return std::pair(date, run.file.size());
  };
  std::sort(runs.begin(), runs.end(),
            [&](const JournalRun& a, const JournalRun& b) { return key(a) > key(b); });
  return runs;
}

std::string Journal::Problem() const {
  if (problem_.empty()) return {};
  return "Le journal de " + run_ + " n'a pas pu être écrit dans " + path_ + " (" + problem_ + ").";
}

}  // namespace cortevane::platform
