// TempAccount: a throwaway embedded account for tests. It makes a fresh folder under the
// system's temporary folder, creates the account in it (laptop flavour: DBA.SELECT catalogued;
// server flavour: IMPORTDONNEES too), adds one user with a password, and removes everything
// when it goes.
//
//   test_support::TempAccount server(test_support::Flavour::kServer);
//   server.Put("CIVILAIDE", "00042", "DUPONT^Anne]Marie");   // ^ field, ] value, \ subvalue
//   auto session = server.Connect();                          // a connected db::Session
//   auto file = session->OpenFile("CIVILAIDE");
//   EXPECT_EQ(server.Get("CIVILAIDE", "00042"), "DUPONT^Anne]Marie");
//   EXPECT_EQ(server.Dump("CIVILAIDE"), "00042=DUPONT^Anne]Marie");
//
// Records are written and shown with visible marks (db::ToVisible / db::FromVisible), so an
// expectation reads like the record. Put, Get and the other helpers work on the account
// directly, through the admin path (no authentication, no session), and report failures
// with ADD_FAILURE, so a broken set-up shows where it broke.
//
// Lifetime: sessions from Connect() must be destroyed before the TempAccount (declare the
// TempAccount first in a fixture). Files opened from those sessions report kNotConnected once
// their session is gone. Not thread-safe; one test at a time.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/dictionary.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"

namespace cortevane::test_support {

enum class Flavour { kLaptop, kServer };

// A fresh empty folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class TempAccount {
 public:
  // The default user is TESTEUR with password "secret-42".
  explicit TempAccount(Flavour flavour = Flavour::kLaptop, std::string user = "TESTEUR",
                       std::string password = "secret-42");
  ~TempAccount();
  TempAccount(const TempAccount&) = delete;
  TempAccount& operator=(const TempAccount&) = delete;

  // The account folder (<scratch>/BASE) and the text to put in Session::AccountPath.
  const std::filesystem::path& Folder() const { return folder_; }
  std::string Path() const { return folder_.string(); }
  // A scratch folder beside the account, removed with it (for a drive_c, documents...).
  const std::filesystem::path& Scratch() const { return scratch_.path(); }
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }

  // A new session connected to the account as the account's user, host "localhost"
  // (ADD_FAILURE and nullptr if Connect fails). Each call gives another session.
  std::unique_ptr<db::Session> Connect();
  // A session set up for the account but not connected: change a property, then Connect.
  std::unique_ptr<db::Session> Unconnected() const;

  // The account's store, opened directly (the admin tool's way). Stays open as long as the
  // TempAccount.
  db::SqliteStore& store() { return *store_; }

  void AddUser(std::string_view name, std::string_view password);
  // Creates each file (a file that exists already is left as it is).
  void CreateFiles(const std::vector<std::string>& files);
  // Writes a record given with visible marks, creating the file when it is missing.
  void Put(std::string_view file, std::string_view key, std::string_view visible_record);
  // The record with visible marks, or "<none>" when there is no such record or file.
  std::string Get(std::string_view file, std::string_view key);
  // Every record of the file in key order, "key=record" with visible marks, joined by " | ";
  // "<none>" when there is no such file, "" when it is empty.
  std::string Dump(std::string_view file);
  // Keys of the file in key order, joined by " ".
  std::string Keys(std::string_view file);
  void SetDict(std::string_view file, const db::DictItem& item);
  // Makes `name` a file pointer to `file` of the account (host, account path).
  void SetPointer(std::string_view name, std::string_view host, std::string_view account,
                  std::string_view file);

 private:
  TempFolder scratch_;
  std::filesystem::path folder_;
  std::string user_;
  std::string password_;
  std::shared_ptr<db::SqliteStore> store_;
};

}  // namespace cortevane::test_support
