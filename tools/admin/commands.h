// cortevane-admin's shared pieces: the context every command works in (the account named by
// the global options) and the registration functions, one per group of commands. main.cc
// builds the command line and calls each Add...Commands; a group lives in its own file, so
// adding commands means adding a file and one line in main.cc.
//
// A command runs inside its CLI11 callback: it opens what it needs through the context, does
// its work, and on failure calls Fail, which prints one English line on standard error
// ("cortevane-admin: file "X": no such file (status 32001)") and sets the exit code. Commands
// never throw; main returns ctx.exit_code.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <string_view>

#include "db/postgres/postgres_store.h"

namespace cortevane::db {
class Store;
class SqliteStore;
}  // namespace cortevane::db

namespace cortevane::admin {

struct AdminContext {
  // Global options.
  std::string account;  // --account PATH: a folder (embedded) or a database name
  std::string host =
      "localhost";              // --host HOST, or HOST[:PORT],HOST[:PORT]... (primary and standbys)
  std::string user;             // --user NAME, for PostgreSQL accounts (default PGUSER)
  bool password_stdin = false;  // --password-stdin, for PostgreSQL accounts (else PGPASSWORD)

  int exit_code = 0;
  // Why the office server could not be authenticated, after a connection that failed so.
  db::AuthFailure auth_failure = db::AuthFailure::kNone;

  // True when --account names a folder on this machine (an embedded account).
  bool IsEmbedded() const;

  // Opens the account for a command: an embedded account's folder directly (its permissions
  // are the authority), a PostgreSQL database with the user's credentials. nullptr after
  // Fail() when it cannot.
  std::shared_ptr<db::Store> OpenStore();
  // The embedded account itself, for what only it has (users); nullptr after Fail() when the
  // account is not an embedded one or cannot be opened.
  std::shared_ptr<db::SqliteStore> OpenEmbedded();
  // A PostgreSQL account (--host, --account, --user or PGUSER, --password-stdin or PGPASSWORD);
  // nullptr after Fail() when it cannot be reached.
  std::shared_ptr<db::PostgresStore> OpenOffice();
  // The PostgreSQL address the options give.
  db::PgAddress OfficeAddress();
  // With --password-stdin, reads the first line of standard input as the password; main
  // calls it once the command line is parsed, before the command runs.
  void ReadPasswordLine();

 private:
  std::string office_password_;
};

// Prints "cortevane-admin: <what>: <status text> (status N)" on standard error and sets the
// exit code (1 unless given). Returns the status.
int Fail(AdminContext& ctx, const std::string& what, int status, int exit_code = 1);
// Prints "cortevane-admin: <message>" and sets the exit code to 1.
void FailMessage(AdminContext& ctx, const std::string& message);

// Ways commands name objects in messages: file "X", record "K" of file "F".
std::string Quoted(std::string_view text);
// User names are kept in upper case, as the program's identification makes them.
std::string Upper(std::string text);

// Reads standard input whole (binary safe).
std::string ReadAllStdin();
// Reads one line of standard input without its line ending; false at end of input.
bool ReadLineStdin(std::string* line);

void AddAccountCommands(CLI::App& app, AdminContext& ctx);  // account create/check, user add
void AddFileCommands(CLI::App& app, AdminContext& ctx);     // file, pointer, dict
void AddRecordCommands(CLI::App& app, AdminContext& ctx);   // record, select
void AddSampleCommands(CLI::App& app, AdminContext& ctx);   // seed, demo (sample_commands.cc)
void AddPreviewCommands(CLI::App& app, AdminContext& ctx);  // export-preview

}  // namespace cortevane::admin
