// Office accounts and their users: creating and removing an account (a database with its
// catalogue tables), and the login roles that reach it.
#include <libpq-fe.h>

#include <chrono>
#include <thread>

#include "db/names.h"
#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::ConnectStatus;
using postgres::Open;
using postgres::Result;

namespace {

constexpr const char* kCatalogue[] = {
    "CREATE TABLE cv_files (name text PRIMARY KEY)",
    "CREATE TABLE cv_dict (file text NOT NULL, item text NOT NULL, field int NOT NULL, "
    "first_chars int NOT NULL, right_just bool NOT NULL, indexed bool NOT NULL, "
    "PRIMARY KEY (file, item))",
    "CREATE TABLE cv_pointers (name text PRIMARY KEY, host text NOT NULL, account text NOT "
    "NULL, file text NOT NULL)",
    "CREATE TABLE cv_routines (name text PRIMARY KEY)",
    "CREATE TABLE cv_index (file text NOT NULL, item text NOT NULL, value bytea NOT NULL, "
    "key bytea NOT NULL, PRIMARY KEY (file, item, value, key))",
    "CREATE INDEX cv_index_by_key ON cv_index (file, key)",
};

}  // namespace

int PostgresStore::CreateAccount(const PgAddress& address, bool server) {
  if (ValidateName(address.account) != kOk) return kBadName;
  PGconn* admin = Open(address, "postgres");
  if (PQstatus(admin) != CONNECTION_OK) {
    int status = ConnectStatus(admin);
    PQfinish(admin);
    return status;
  }
  // CREATE DATABASE takes no parameters: the validated name is quoted as an identifier.
  char* ident = PQescapeIdentifier(admin, address.account.data(), address.account.size());
  std::string sql = std::string("CREATE DATABASE ") + ident + " ENCODING 'UTF8' TEMPLATE template0";
  PQfreemem(ident);
  Result created(PQexec(admin, sql.c_str()));
  int status = kOk;
  if (PQresultStatus(created.get()) != PGRES_COMMAND_OK) {
    const char* state = PQresultErrorField(created.get(), PG_DIAG_SQLSTATE);
    status = (state != nullptr && std::string(state) == "42P04") ? kAccountExists : kIoError;
  }
  PQfinish(admin);
  if (status != kOk) return status;

  PGconn* conn = Open(address, address.account);
  if (PQstatus(conn) != CONNECTION_OK) {
    status = ConnectStatus(conn);
    PQfinish(conn);
    return status;
  }
  std::shared_ptr<PostgresStore> fresh(new PostgresStore(conn));
  return fresh->Atomically([&] {
    for (const char* statement : kCatalogue) {
      Result r(fresh->Exec(statement, {}));
      if (!Ok(r.get())) return static_cast<int>(kIoError);
    }
    int s = fresh->CatalogueRoutine("DBA.SELECT");
    if (s == kOk && server) s = fresh->CatalogueRoutine("IMPORTDONNEES");
    return s;
  });
}

int PostgresStore::CreateUser(std::string_view user, std::string_view password) {
  if (ValidateName(user) != kOk) return kBadName;
  std::string name(user), pw(password);
  // The server receives the password already hashed (SCRAM), so it never appears in a
  // statement or a log in clear.
  char* hashed = PQencryptPasswordConn(conn_, pw.c_str(), name.c_str(), nullptr);
  if (hashed == nullptr) return kIoError;
  std::string hash = hashed;
  PQfreemem(hashed);
  char* ident = PQescapeIdentifier(conn_, name.data(), name.size());
  char* literal = PQescapeLiteral(conn_, hash.data(), hash.size());
  if (ident == nullptr || literal == nullptr) {
    PQfreemem(ident);
    PQfreemem(literal);
    return kBadArgument;
  }
  std::string quoted = ident;
  std::string password_literal = literal;
  PQfreemem(ident);
  PQfreemem(literal);
  // Roles belong to the whole server, so another connection may create or change the same
  // role at the same moment: a clash is tried again, inside a savepoint when the caller has a
  // transaction open.
  int status = kIoError;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (in_transaction_) {
      Result sp(Exec("SAVEPOINT cv_user", {}));
      if (!Ok(sp.get())) return Failure();
    }
    std::string state;
    status = in_transaction_
                 ? SetRole(name, quoted, password_literal, &state)
                 : Atomically([&] { return SetRole(name, quoted, password_literal, &state); });
    if (in_transaction_) {
      Result end(
          Exec(status == kOk ? "RELEASE SAVEPOINT cv_user" : "ROLLBACK TO SAVEPOINT cv_user", {}));
      if (!Ok(end.get())) return Failure();
    }
    const bool clash = state == "42710" || state == "XX000" || state == "40001" || state == "23505";
    if (status == kOk || !clash) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * (attempt + 1)));
  }
  return status;
}

int PostgresStore::SetRole(const std::string& name, const std::string& quoted,
                           const std::string& password_literal, std::string* state) {
  auto failed = [&](pg_result* r) {
    const char* code = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    *state = code ? code : "";
    return Failure();
  };
  Result exists(Exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name}));
  if (!Ok(exists.get())) return failed(exists.get());
  const bool known = PQntuples(exists.get()) > 0;
  // Roles belong to the whole server: a user of several accounts has one password.
  Result r(Exec(
      (known ? "ALTER ROLE " : "CREATE ROLE ") + quoted + " LOGIN PASSWORD " + password_literal,
      {}));
  if (!Ok(r.get())) return failed(r.get());
  for (const std::string& grant :
       {"GRANT ALL ON ALL TABLES IN SCHEMA public TO " + quoted,
        "ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT ALL ON TABLES TO " + quoted,
        "GRANT CREATE, USAGE ON SCHEMA public TO " + quoted}) {
    Result g(Exec(grant, {}));
    if (!Ok(g.get())) return failed(g.get());
  }
  return kOk;
}

int PostgresStore::DropAccount(const PgAddress& address) {
  if (ValidateName(address.account) != kOk) return kBadName;
  PgAddress maintenance = address;
  maintenance.account = "postgres";
  std::string host = address.host, port = "5432";
  if (size_t colon = host.rfind(':'); colon != std::string::npos && host.find(':') == colon) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  std::string timeout = std::to_string(address.connect_timeout_s);
  const char* keys[] = {"host",     "port",    "dbname",          "user",
                        "password", "sslmode", "connect_timeout", nullptr};
  const char* values[] = {
      host.c_str(), port.c_str(),    "postgres", address.user.c_str(), address.password.c_str(),
      "prefer",     timeout.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn) != CONNECTION_OK) {
    PQfinish(conn);
    return kServerUnreachable;
  }
  // DROP DATABASE takes no parameters: the validated name is quoted as an identifier.
  char* ident = PQescapeIdentifier(conn, address.account.data(), address.account.size());
  std::string sql = std::string("DROP DATABASE IF EXISTS ") + ident + " WITH (FORCE)";
  PQfreemem(ident);
  PGresult* r = PQexec(conn, sql.c_str());
  int status = PQresultStatus(r) == PGRES_COMMAND_OK ? kOk : kIoError;
  PQclear(r);
  PQfinish(conn);
  return status;
}

}  // namespace cortevane::db
