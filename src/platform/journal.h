// Journal: the account of one export or import run, kept on the laptop so that the user and
// the office can see afterwards what the run did. One UTF-8 text file per run in the folder
// C:\KESTA\JOURNAL (through the drive mapping), named by the kind of run and the date and time
// it started ("2026-12-09_09-41-21.txt" for an export, "importation_2026-12-09_09-41-21.txt"
// for an import; "_2", "_3"... when that name is taken). Every line starts with the
// time it was written and is flushed at once: a run killed half-way leaves its journal up to
// the kill.
//
// A journal never stops an export. When the folder or the file cannot be made, or a line cannot
// be written, the journal keeps the first failure, drops every later line, and Problem() gives
// the French sentence the export's last message carries. One thread at a time.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cortevane::platform {

inline constexpr char kJournalFolder[] = "C:\\KESTA\\JOURNAL\\";
// The name an import's journal starts with; an export's starts with its date.
inline constexpr char kImportJournalPrefix[] = "importation_";

class Journal {
 public:
  // `run` names the run in Problem(): "cette exportation", "cette importation".
  explicit Journal(std::string run = "cette exportation") : run_(std::move(run)) {}
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Starts the journal of a run started at `start` in `folder` (a drive path, with its final
  // separator), closing any previous one. False when it cannot be written (see Problem()).
  // `prefix` starts the file's name (kImportJournalPrefix for an import).
  bool Open(std::chrono::system_clock::time_point start, std::string_view folder = kJournalFolder,
            std::string_view prefix = {});
  // Writes one line, preceded by the time; a text holding line breaks becomes several lines.
  // Does nothing once the journal failed, or before Open.
  void Line(std::string_view text);
  void Close();

  bool failed() const { return !problem_.empty(); }
  // The drive path of this run's file ("C:\KESTA\JOURNAL\2026-12-09_09-41-21.txt"), or of the
  // folder while no file could be made.
  const std::string& path() const { return path_; }
  // Empty while the journal is written; else "Le journal de <run> n'a pas pu être écrit dans
  // <path> (<reason>)."
  std::string Problem() const;

 private:
  void Fail(int error);

  std::string run_;
  std::FILE* file_ = nullptr;
  std::string path_;
  std::string problem_;  // the reason of the first failure, in French
};

// Local date and time as "09/12/2026 à 09:41:21" (for the lines that open and close a journal).
std::string JournalDateTime(std::chrono::system_clock::time_point when);

// One past run, as the journal folder tells it.
struct JournalRun {
  std::string file;     // the file's name in the folder
  bool import = false;  // an import's journal, else an export's
  std::string started;  // "09/12/2026 09:41:21", from the file's name
  int persons = 0;      // persons taken out (import) or handled (export)
  int questions = 0;    // conflict questions asked (export)
  int failures = 0;     // lines that report something not done
  std::string outcome;  // the last line, without its time
  std::string text;     // the whole journal, line ends as "\n"
};

// The runs whose journals are in `folder` (a drive path), newest first; empty when there is
// no such folder. Files that are not journals are left out.
std::vector<JournalRun> ReadJournals(std::string_view folder = kJournalFolder);

}  // namespace cortevane::platform
