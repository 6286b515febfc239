// Journal: the account of one export run, kept on the laptop so that the user and the office
// can see afterwards what the run did. One UTF-8 text file per run in the folder
// C:\KESTA\JOURNAL (through the drive mapping), named by the date and time the run started
// ("2026-12-09_09-41-21.txt"; "_2", "_3"... when that name is taken). Every line starts with the
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

namespace cortevane::exporting {

inline constexpr char kJournalFolder[] = "C:\\KESTA\\JOURNAL\\";

class Journal {
 public:
  Journal() = default;
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Starts the journal of a run started at `start` in `folder` (a drive path, with its final
  // separator), closing any previous one. False when it cannot be written (see Problem()).
  bool Open(std::chrono::system_clock::time_point start, std::string_view folder = kJournalFolder);
  // Writes one line, preceded by the time; a text holding line breaks becomes several lines.
  // Does nothing once the journal failed, or before Open.
  void Line(std::string_view text);
  void Close();

  bool failed() const { return !problem_.empty(); }
  // The drive path of this run's file ("C:\KESTA\JOURNAL\2026-12-09_09-41-21.txt"), or of the
  // folder while no file could be made.
  const std::string& path() const { return path_; }
  // Empty while the journal is written; else "Le journal de cette exportation n'a pas pu être
  // écrit dans <path> (<reason>)."
  std::string Problem() const;

 private:
  void Fail(int error);

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string problem_;  // the reason of the first failure, in French
};

// Local date and time as "09/12/2026 à 09:41:21" (for the lines that open and close a journal).
std::string JournalDateTime(std::chrono::system_clock::time_point when);

}  // namespace cortevane::exporting
