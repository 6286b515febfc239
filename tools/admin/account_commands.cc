// account create, account check, user add.
#include <iostream>

#include "commands.h"
#include "db/dyn_array.h"
#include "db/names.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store_factory.h"

namespace cortevane::admin {
namespace {

// What the command line gives these commands; lives as long as the program.
struct {
  bool server = false;
  std::string user;
} options;

void CreateAccount(AdminContext& ctx, bool server) {
  if (ctx.account.empty()) return FailMessage(ctx, "--account is required");
  if (!ctx.IsEmbedded()) {
    // A database on the PostgreSQL server, created with the credentials given.
    if (int s = db::PostgresStore::CreateAccount(ctx.OfficeAddress(), server))
      Fail(ctx, "account " + Quoted(ctx.account) + " on host " + Quoted(ctx.host), s);
    return;
  }
  if (!db::IsLocalHost(ctx.host)) {
    Fail(ctx, "account " + Quoted(ctx.account) + " on host " + Quoted(ctx.host),
         db::kRemoteHostForFolder);
    return;
  }
  if (int s = db::SqliteStore::Create(db::EmbeddedFolder(ctx.account), server))
    Fail(ctx, "account " + Quoted(ctx.account), s);
}

// The whole check of an embedded account, every page read: "ok" on standard output, or each
// problem found and a failure. Opening an account does not do it, so that opening costs the
// same whatever the account's size.
void CheckAccount(AdminContext& ctx) {
  auto store = ctx.OpenEmbedded();
  if (!store) return;
  std::error_code ec;
  const auto bytes =
      std::filesystem::file_size(store->Folder() / db::SqliteStore::kDatabaseName, ec);
  if (!ec && bytes > (64u << 20))
    std::cerr << "checking " << bytes / (1u << 20) << " MB, every page...\n";
  std::vector<std::string> problems;
  int s = store->Check(&problems);
  for (const std::string& problem : problems) std::cout << problem << "\n";
  if (s) {
    Fail(ctx, "account " + Quoted(ctx.account), s);
    return;
  }
  std::cout << "ok\n";
}

// On a server account (one with a COMPTEUR file) every user gets COMPTEUR_<user>, whose record
// 999 field 11 is the user's threshold: the server's counter when the user is created, so that
// codes made later on the user's laptop are known as new.
int CreateUserCounter(AdminContext& ctx, db::Store& store, const std::string& user) {
  if (!store.FileExists("COMPTEUR")) return db::kOk;
  const std::string counter_file = "COMPTEUR_" + user;
  if (int s = db::ValidateName(counter_file)) return Fail(ctx, "file " + Quoted(counter_file), s);
  std::string counter;
  int s = store.Read("COMPTEUR", "999", &counter);
  // Without the server counter there is no threshold to give: the user is not added.
  if (s)
    return Fail(ctx, "record \"999\" of file \"COMPTEUR\" (user " + Quoted(user) + " not added)",
                s);
  if (!store.FileExists(counter_file)) {
    if (int c = store.CreateFile(counter_file)) return Fail(ctx, "file " + Quoted(counter_file), c);
  }
  std::string existing;
  if (store.Read(counter_file, "999", &existing) == db::kOk) return db::kOk;
  db::DynArray record;
  record.SetField(11, db::DynArray(counter).Field(11));
  if (int w = store.Write(counter_file, "999", record.Text()))
    return Fail(ctx, "record \"999\" of file " + Quoted(counter_file), w);
  return db::kOk;
}

void AddUser(AdminContext& ctx, const std::string& given_name) {
  const std::string name = Upper(given_name);
  if (int s = db::ValidateName(name)) {
    Fail(ctx, "user " + Quoted(given_name), s);
    return;
  }
  std::string password;
  if (!ReadLineStdin(&password) || password.empty())
    return FailMessage(ctx, "user " + Quoted(name) + ": no password on standard input");
  if (!ctx.IsEmbedded()) {
    // On PostgreSQL the user is a login role of the server (shared by its databases, so an
    // existing role gets the new password) with access to this account.
    auto office = ctx.OpenOffice();
    if (!office) return;
    if (int s = office->Begin()) {
      Fail(ctx, "account " + Quoted(ctx.account), s);
      return;
    }
    if (int s = office->CreateUser(name, password)) {
      office->Rollback();
      Fail(ctx, "user " + Quoted(name), s);
      return;
    }
    if (CreateUserCounter(ctx, *office, name) != db::kOk) {
      office->Rollback();
      return;
    }
    if (int s = office->Commit()) Fail(ctx, "user " + Quoted(name), s);
    return;
  }
  auto store = ctx.OpenEmbedded();
  if (!store) return;
  // The user and the counter file come together or not at all.
  if (int s = store->Begin()) {
    Fail(ctx, "account " + Quoted(ctx.account), s);
    return;
  }
  if (int s = store->AddUser(name, password)) {
    store->Rollback();
    Fail(ctx, "user " + Quoted(name), s);
    return;
  }
  if (CreateUserCounter(ctx, *store, name) != db::kOk) {
    store->Rollback();
    return;
  }
  if (int s = store->Commit()) Fail(ctx, "user " + Quoted(name), s);
}

}  // namespace

void AddAccountCommands(CLI::App& app, AdminContext& ctx) {
  auto* account = app.add_subcommand("account", "Accounts");
  account->require_subcommand(1);
  auto* create = account->add_subcommand(
      "create", "Create a new account: a folder, or a database on the PostgreSQL server --host");
  create->add_flag("--server", options.server, "A server account: also catalogues IMPORTDONNEES");
  create->callback([&ctx] { CreateAccount(ctx, options.server); });
  account
      ->add_subcommand("check",
                       "Read every page of an embedded account and check it (opening an account "
                       "does not); prints ok, or the damage found and fails")
      ->callback([&ctx] { CheckAccount(ctx); });

  auto* user = app.add_subcommand("user", "Users of an account");
  user->require_subcommand(1);
  auto* add = user->add_subcommand(
      "add",
      "Add a user (name kept in upper case; on PostgreSQL a login role of the server); the "
      "password is one line on standard input. On a "
      "server account (one with a COMPTEUR file) also creates COMPTEUR_<NAME>, record 999 "
      "field 11 = the server counter");
  add->add_option("NAME", options.user, "User name")->required();
  add->callback([&ctx] { AddUser(ctx, options.user); });
}

}  // namespace cortevane::admin
