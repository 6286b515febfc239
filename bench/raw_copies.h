// Raw baselines of IMPORTDONNEES on the sample data, straight through sqlite3: the persons'
// records read from the embedded server account, written to reference copies and to a laptop
// database, each in one transaction, with the embedded store's journal settings (WAL,
// synchronous FULL). No sessions, no dictionaries, no index entries on the laptop.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "db/names.h"

namespace cortevane::bench {

// Files IMPORTDONNEES copies for the sample data: by person code, by code prefix (the
// "SELECT" file and the planning file), and the whole SECTEUR file.
inline const std::vector<std::string> kByCode = {"CIVILAIDE", "AIDEDOSSIER", "AIDENOTES"};
inline const std::vector<std::string> kByPrefix = {"AIDEINTERV", "PLANNINGAIDE"};

using Rows = std::vector<std::pair<std::string, std::string>>;

// Stops the program at once: whatever was made is left to the temporary folders.
[[noreturn]] inline void RawFail(const std::string& what) {
  std::fprintf(stderr, "benchmark: %s\n", what.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

inline void RawExec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    RawFail(sql + ": " + sqlite3_errmsg(db));
}

// A fresh database with the embedded store's journal settings.
inline sqlite3* OpenRawDatabase(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) RawFail("cannot open " + path.string());
  RawExec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
  return db;
}

// The laptop: one table a copied file.
class RawLaptop {
 public:
  explicit RawLaptop(const std::filesystem::path& path) : db_(OpenRawDatabase(path)) {
    std::vector<std::string> files = kByCode;
    files.insert(files.end(), kByPrefix.begin(), kByPrefix.end());
    files.push_back("SECTEUR");
    for (const std::string& f : files) {
      RawExec(db_, "CREATE TABLE " + f + " (key BLOB PRIMARY KEY, record BLOB NOT NULL)");
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(db_, ("INSERT OR REPLACE INTO " + f + " VALUES (?, ?)").c_str(), -1,
                             &st, nullptr) != SQLITE_OK)
        RawFail(sqlite3_errmsg(db_));
      insert_[f] = st;
    }
  }
  ~RawLaptop() {
    for (auto& [f, st] : insert_) sqlite3_finalize(st);
    sqlite3_close(db_);
  }
  RawLaptop(const RawLaptop&) = delete;
  RawLaptop& operator=(const RawLaptop&) = delete;

  void Empty() {
    RawExec(db_, "BEGIN");
    for (auto& [f, st] : insert_) RawExec(db_, "DELETE FROM " + f);
    RawExec(db_, "COMMIT");
  }

  // Writes every file's rows in one transaction; the number of records written.
  long Write(const std::map<std::string, Rows>& files) {
    long written = 0;
    RawExec(db_, "BEGIN IMMEDIATE");
    for (const auto& [file, rows] : files) {
      sqlite3_stmt* st = insert_.at(file);
      for (const auto& [key, record] : rows) {
        sqlite3_reset(st);
        sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        sqlite3_bind_blob(st, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_DONE) RawFail(sqlite3_errmsg(db_));
        ++written;
      }
    }
    RawExec(db_, "COMMIT");
    return written;
  }

 private:
  sqlite3* db_;
  std::map<std::string, sqlite3_stmt*> insert_;
};

// The server's reference copies: one table for every file.
class RawReference {
 public:
  explicit RawReference(const std::filesystem::path& path) : db_(OpenRawDatabase(path)) {
    RawExec(db_,
            "CREATE TABLE reference (file TEXT, key BLOB, record BLOB, PRIMARY KEY (file, key))");
  }
  ~RawReference() { sqlite3_close(db_); }
  RawReference(const RawReference&) = delete;
  RawReference& operator=(const RawReference&) = delete;

  // Writes the copied records (SECTEUR has no reference copy) in one transaction.
  void Write(const std::map<std::string, Rows>& files) {
    RawExec(db_, "BEGIN IMMEDIATE");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO reference VALUES (?, ?, ?)", -1, &st,
                           nullptr) != SQLITE_OK)
      RawFail(sqlite3_errmsg(db_));
    for (const auto& [file, rows] : files) {
      if (file == "SECTEUR") continue;
      for (const auto& [key, record] : rows) {
        sqlite3_reset(st);
        sqlite3_bind_text(st, 1, file.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_blob(st, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        sqlite3_bind_blob(st, 3, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_DONE) RawFail(sqlite3_errmsg(db_));
      }
    }
    sqlite3_finalize(st);
    RawExec(db_, "COMMIT");
  }

 private:
  sqlite3* db_;
};

// Appends the rows of a prepared statement run with up to two blob parameters (an empty text:
// not bound), then resets it.
inline void RawRows(sqlite3_stmt* st, const std::string& first, const std::string& second,
                    Rows* rows) {
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (!first.empty())
    sqlite3_bind_blob(st, 1, first.data(), static_cast<int>(first.size()), SQLITE_STATIC);
  if (!second.empty())
    sqlite3_bind_blob(st, 2, second.data(), static_cast<int>(second.size()), SQLITE_STATIC);
  while (sqlite3_step(st) == SQLITE_ROW)
    rows->emplace_back(std::string(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                                   static_cast<size_t>(sqlite3_column_bytes(st, 0))),
                       std::string(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                                   static_cast<size_t>(sqlite3_column_bytes(st, 1))));
  sqlite3_reset(st);
}

inline sqlite3_stmt* RawPrepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
    RawFail(sql + ": " + sqlite3_errmsg(db));
  return st;
}

// The records IMPORTDONNEES copies for `codes`, read from the embedded server account in one
// read transaction, one prepared statement a file: a look-up a code in the by-code files, a
// key range a code ([code "*", code "+"): the keys are code*number) in the others, and every
// SECTEUR record.
inline std::map<std::string, Rows> RawReadCopies(sqlite3* server,
                                                 const std::vector<std::string>& codes) {
  std::map<std::string, Rows> files;
  RawExec(server, "BEGIN");
  for (const std::string& file : kByCode) {
    sqlite3_stmt* st = RawPrepare(
        server, "SELECT key, record FROM " + db::QuotedTableName(file) + " WHERE key = ?1");
    for (const std::string& code : codes) RawRows(st, code, "", &files[file]);
    sqlite3_finalize(st);
  }
  for (const std::string& file : kByPrefix) {
    sqlite3_stmt* st = RawPrepare(server, "SELECT key, record FROM " + db::QuotedTableName(file) +
                                              " WHERE key >= ?1 AND key < ?2 ORDER BY key");
    for (const std::string& code : codes) RawRows(st, code + "*", code + "+", &files[file]);
    sqlite3_finalize(st);
  }
  sqlite3_stmt* st = RawPrepare(
      server, "SELECT key, record FROM " + db::QuotedTableName("SECTEUR") + " ORDER BY key");
  RawRows(st, "", "", &files["SECTEUR"]);
  sqlite3_finalize(st);
  RawExec(server, "COMMIT");
  return files;
}

}  // namespace cortevane::bench
