// Session: one connection of this process to one database account. The program holds two
// (the laptop's base and the office base). Set DataBaseType (2), HostName, AccountPath,
// UserName and Password, then Connect; Error() is the status of the last operation.
//
// How the account is reached: an AccountPath naming a folder (an absolute path, or a drive
// path such as C:\KESTA\BASE, see platform/drive_mapping.h) on this machine's host name is an
// embedded account; any other AccountPath names a PostgreSQL database on HostName.
//
// Files and routines handed out by a session stay usable until it disconnects; after that
// their operations fail with kNotConnected. One thread at a time.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "db/status.h"
#include "db/store.h"

namespace cortevane::db {

class DbFile;
class DbSubroutine;

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int DataBaseType() const { return database_type_; }
  void SetDataBaseType(int type) { database_type_ = type; }
  const std::string& HostName() const { return host_name_; }
  void SetHostName(std::string host) { host_name_ = std::move(host); }
  const std::string& AccountPath() const { return account_path_; }
  void SetAccountPath(std::string path) { account_path_ = std::move(path); }
  const std::string& UserName() const { return user_name_; }
  void SetUserName(std::string user) { user_name_ = std::move(user); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }

  // Connects with the properties set. Returns and records the status (0: connected).
  int Connect();
  // Told about the waits of this session's requests on its server, connecting included
  // (Store::SetWaitObserver); kept across Disconnect and Connect.
  void SetWaitObserver(WaitObserver observer);

  // Closes the connection; releases every reservation the session holds. Safe when not
  // connected.
  void Disconnect();
  bool IsConnected() const { return store_ != nullptr; }

  // Status of the last operation of the session itself, 0 for success.
  int Error() const { return error_; }
  // After a Connect that gave kServerUnverified: why the server was not authenticated.
  AuthFailure auth_failure() const { return auth_failure_; }

  // The file `name` of the account (or the file a pointer of that name stands for), or
  // nullptr with Error() set: kNoSuchFile, kBadName, kNotConnected, kPointerTargetAbsent,
  // kServerUnreachable (the office server went away).
  std::unique_ptr<DbFile> OpenFile(std::string_view name);

  // The catalogued routine `name`, to be called with `arg_count` arguments. The routine is
  // looked up in the account's catalogue when called (an unknown one fails at Call with
  // kNoSuchRoutine). nullptr with Error() set when not connected.
  std::unique_ptr<DbSubroutine> Subroutine(std::string_view name, int arg_count);

  // The store behind a connected session (for routines and the admin tool), or nullptr.
  const std::shared_ptr<Store>& store() const { return store_; }

  // Adopts an already open store (the admin tool works on folders directly, and tests).
  void AttachStore(std::shared_ptr<Store> store);

  // The connected session of this process whose account is (host, account path), or
  // nullptr. Host names of this machine are all alike for embedded accounts. A database
  // reached under another host name than the one given (a renamed server, a host list, an
  // address for a name) is the one connected session on a database of that name; with two
  // such sessions, none is taken.
  static Session* FindConnected(std::string_view host, std::string_view account_path);

 private:
  int database_type_ = 0;
  std::string host_name_;
  std::string account_path_;
  std::string user_name_;
  std::string password_;
  WaitObserver on_wait_;
  int error_ = 0;
  AuthFailure auth_failure_ = AuthFailure::kNone;
  std::shared_ptr<Store> store_;
  std::string registry_key_;  // how FindConnected knows this session, empty when detached
};

}  // namespace cortevane::db
