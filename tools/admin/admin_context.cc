// Opening the account named by the global options, and the one way commands report failures.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>

#include "commands.h"
#include "db/postgres/postgres_store.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store_factory.h"

namespace cortevane::admin {

bool AdminContext::IsEmbedded() const { return db::IsFolderAccountPath(account); }

std::shared_ptr<db::SqliteStore> AdminContext::OpenEmbedded() {
  if (account.empty()) {
    FailMessage(*this, "--account is required");
    return nullptr;
  }
  if (!IsEmbedded()) {
    FailMessage(*this, "account " + Quoted(account) + ": not a folder (embedded) account");
    return nullptr;
  }
  if (!db::IsLocalHost(host)) {
    Fail(*this, "account " + Quoted(account) + " on host " + Quoted(host),
         db::kRemoteHostForFolder);
    return nullptr;
  }
  std::shared_ptr<db::SqliteStore> store;
  if (int s = db::SqliteStore::Open(db::EmbeddedFolder(account), &store)) {
    Fail(*this, "account " + Quoted(account), s);
    return nullptr;
  }
  return store;
}

void AdminContext::ReadPasswordLine() {
  if (password_stdin) ReadLineStdin(&office_password_);
}

db::PgAddress AdminContext::OfficeAddress() {
  // Credentials from --user / PGUSER and --password-stdin / PGPASSWORD.
  if (!password_stdin)
    if (const char* p = std::getenv("PGPASSWORD")) office_password_ = p;
  std::string name = user;
  if (name.empty())
    if (const char* u = std::getenv("PGUSER")) name = u;
  return db::PgAddress{host, account, name, office_password_};
}

std::shared_ptr<db::PostgresStore> AdminContext::OpenOffice() {
  if (account.empty()) {
    FailMessage(*this, "--account is required");
    return nullptr;
  }
  int s = db::kOk;
  auto store = db::PostgresStore::Connect(OfficeAddress(), &s, &auth_failure);
  if (s != db::kOk) {
    Fail(*this, "account " + Quoted(account) + " on host " + Quoted(host), s);
    return nullptr;
  }
  return store;
}

std::shared_ptr<db::Store> AdminContext::OpenStore() {
  if (account.empty() || IsEmbedded()) return OpenEmbedded();
  return OpenOffice();
}

int Fail(AdminContext& ctx, const std::string& what, int status, int exit_code) {
  std::cerr << "cortevane-admin: " << what << ": " << db::StatusText(status);
  // A server that could not be authenticated says why; nothing of the credentials was sent.
  if (status == db::kServerUnverified && ctx.auth_failure != db::AuthFailure::kNone)
    std::cerr << ": " << db::AuthFailureText(ctx.auth_failure);
  std::cerr << " (status " << status << ")\n";
  ctx.exit_code = exit_code;
  return status;
}

void FailMessage(AdminContext& ctx, const std::string& message) {
  std::cerr << "cortevane-admin: " << message << "\n";
  ctx.exit_code = 1;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string ReadAllStdin() {
  std::string data;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) data.append(buffer, n);
  return data;
}

bool ReadLineStdin(std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

}  // namespace cortevane::admin
