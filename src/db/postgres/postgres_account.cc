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
    "CREATE TABLE cv_files (name text PRIMARY KEY, version bigint NOT NULL DEFAULT "
    "txid_current())",
    "CREATE TABLE cv_dict (file text NOT NULL, item text NOT NULL, field int NOT NULL, "
    "first_chars int NOT NULL, right_just bool NOT NULL, indexed bool NOT NULL, "
    "PRIMARY KEY (file, item))",
    "CREATE TABLE cv_pointers (name text PRIMARY KEY, host text NOT NULL, account text NOT "
    "NULL, file text NOT NULL)",
    "CREATE TABLE cv_routines (name text PRIMARY KEY)",
    "CREATE TABLE cv_index (file text NOT NULL, item text NOT NULL, value bytea NOT NULL, "
    "key bytea NOT NULL, PRIMARY KEY (file, item, value, key))",
    "CREATE INDEX cv_index_by_key ON cv_index (file, key)",
    // Nobody but the account's owner and its administrators makes tables here.
    "REVOKE CREATE ON SCHEMA public FROM PUBLIC",
};

// What an account holds beside its tables, made with the account and added to an account made
// before it (PostgresStore::Connect); each statement may run again.
constexpr const char* kAccountRules[] = {
    // Names that fold to one table ("A.B" and "a_b") clash here, in the server, so that two
    // connections creating them at the same instant cannot both pass.
    "CREATE UNIQUE INDEX IF NOT EXISTS cv_files_folded ON cv_files "
    "(lower(translate(name, '.-$', '___')))",
    // Holds the catalogue entry of a file in share mode until the transaction ends, and tells
    // whether it is there (of that version, when one is given): every write goes through it,
    // and every change of the file takes the entry in update mode, so a change waits for the
    // writes under way. Users may not write the catalogue, so the lock is taken by the
    // account's owner on their behalf.
    "CREATE OR REPLACE FUNCTION cv_gate(file text, known bigint) RETURNS boolean "
    "LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $f$ "
    "BEGIN "
    "  PERFORM 1 FROM cv_files WHERE name = file AND (known IS NULL OR version = known) "
    "  FOR SHARE; "
    "  RETURN FOUND; "
    "END $f$",
    // Creates a file: its catalogue entry, then its table (`tbl`, the name the program gives
    // it, checked against the file name), which every user of the account may read and write.
    // Users without the right to create tables in the account may create only their own
    // copies of the account's files, FILE_USER, which the import makes; the tables belong to
    // the account's owner, so no user can drop or empty them wholesale.
    "CREATE OR REPLACE FUNCTION cv_new_file(file text, tbl text) RETURNS void "
    "LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $f$ "
    "DECLARE "
    "  folded text := 'f_' || lower(translate(file, '.-$', '___')); "
    "  suffix text := '_' || session_user; "
    "  member oid; "
    "BEGIN "
    "  IF file !~ '^[A-Za-z0-9][A-Za-z0-9_.$-]{0,62}$' OR NOT (tbl = folded OR "
    "      (length(folded) > 63 AND tbl ~ '^[a-z0-9_]{42}_[0-9a-f]{16}$' "
    "       AND left(tbl, 42) = left(folded, 42))) THEN "
    "    RAISE EXCEPTION 'file name % refused', file USING ERRCODE = '42602'; "
    "  END IF; "
    "  IF NOT has_schema_privilege(session_user, 'public', 'CREATE') AND "
    "     (right(file, length(suffix)) <> suffix OR NOT EXISTS (SELECT 1 FROM cv_files "
    "      WHERE name = left(file, length(file) - length(suffix)))) THEN "
    "    RAISE EXCEPTION 'file % may not be created by %', file, session_user "
    "      USING ERRCODE = '42501'; "
    "  END IF; "
    "  INSERT INTO cv_files (name) VALUES (file); "
    "  EXECUTE format('CREATE TABLE %I (key bytea PRIMARY KEY, record bytea NOT NULL)', tbl); "
    "  FOR member IN SELECT DISTINCT a.grantee FROM pg_class c, aclexplode(c.relacl) a "
    "      WHERE c.oid = 'cv_index'::regclass AND a.privilege_type = 'INSERT' "
    "      AND a.grantee <> c.relowner AND a.grantee <> 0 LOOP "
    "    EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE ON %I TO %I', tbl, "
    "      pg_get_userbyid(member)); "
    "  END LOOP; "
    "END $f$",
    "REVOKE ALL ON FUNCTION cv_new_file(text, text) FROM PUBLIC",
};

// What marks a database the demo made, as its comment: the demo may remove such a one, and
// no other.
constexpr const char* kDemoMark = "Cortevane demo office base";

// A connection to the server's maintenance database, for what concerns whole databases.
int Maintenance(const PgAddress& address, PGconn** conn) {
  *conn = Open(address, "postgres");
  if (PQstatus(*conn) == CONNECTION_OK) return kOk;
  int status = ConnectStatus(*conn);
  PQfinish(*conn);
  *conn = nullptr;
  return status;
}

// Runs a statement naming the database `account` (validated; CREATE, DROP and COMMENT take no
// parameters, so it is quoted as an identifier): `before` + name + `after`. 0, or kIoError
// (kNotPermitted for a missing right) with the server's SQLSTATE in *state.
int OnDatabase(PGconn* conn, const std::string& before, const std::string& account,
               const std::string& after, std::string* state = nullptr) {
  char* ident = PQescapeIdentifier(conn, account.data(), account.size());
  if (ident == nullptr) return kBadName;
  std::string sql = before + ident + after;
  PQfreemem(ident);
  Result r(PQexec(conn, sql.c_str()));
  if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) return kOk;
  const char* code = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
  if (state != nullptr) *state = code ? code : "";
  return code != nullptr && std::string(code) == "42501" ? kNotPermitted : kIoError;
}

}  // namespace

int PostgresStore::ServerRights(const PgAddress& address, bool* create_databases,
                                bool* create_roles) {
  PGconn* conn = nullptr;
  if (int s = Maintenance(address, &conn)) return s;
  Result r(PQexec(conn,
                  "SELECT (rolsuper OR rolcreatedb)::text, (rolsuper OR rolcreaterole)::text "
                  "FROM pg_roles WHERE rolname = current_user"));
  int status = kIoError;
  if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1) {
    *create_databases = std::string(PQgetvalue(r.get(), 0, 0)) == "true";
    *create_roles = std::string(PQgetvalue(r.get(), 0, 1)) == "true";
    status = kOk;
  }
  PQfinish(conn);
  return status;
}

int PostgresStore::CreateAccount(const PgAddress& address, bool server, bool demo) {
  if (ValidateName(address.account) != kOk) return kBadName;
  PGconn* admin = nullptr;
  if (int s = Maintenance(address, &admin)) return s;
  std::string state;
  int status = OnDatabase(admin, "CREATE DATABASE ", address.account,
                          " ENCODING 'UTF8' TEMPLATE template0", &state);
  if (status != kOk) {
    PQfinish(admin);
    return state == "42P04" ? static_cast<int>(kAccountExists) : status;
  }
  if (demo)
    status = OnDatabase(admin, "COMMENT ON DATABASE ", address.account,
                        std::string(" IS '") + kDemoMark + "'");
  if (status == kOk) status = CreateCatalogue(address, server);
  // A database without its whole catalogue would pass for a damaged account, and block the
  // next try with "exists": it goes.
  if (status != kOk)
    OnDatabase(admin, "DROP DATABASE IF EXISTS ", address.account, " WITH (FORCE)");
  PQfinish(admin);
  return status;
}

int PostgresStore::CreateCatalogue(const PgAddress& address, bool server) {
  PGconn* conn = Open(address, address.account);
  if (PQstatus(conn) != CONNECTION_OK) {
    int status = ConnectStatus(conn);
    PQfinish(conn);
    return status;
  }
  std::shared_ptr<PostgresStore> fresh(new PostgresStore(conn, address.request_timeout_s));
  return fresh->Atomically([&] {
    for (const char* statement : kCatalogue) {
      Result r(fresh->Exec(statement, {}));
      if (!Ok(r.get())) return static_cast<int>(kIoError);
    }
    int s = fresh->ApplyAccountRules();
    if (s == kOk) s = fresh->CatalogueRoutine("DBA.SELECT");
    if (s == kOk && server) s = fresh->CatalogueRoutine("IMPORTDONNEES");
    return s;
  });
}

int PostgresStore::ApplyAccountRules() {
  for (const char* statement : kAccountRules) {
    Result r(Exec(statement, {}));
    if (!Ok(r.get())) return Failure();
  }
  return kOk;
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
    return *state == "42501" ? static_cast<int>(kNotPermitted) : Failure();
  };
  Result exists(Exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name}));
  if (!Ok(exists.get())) return failed(exists.get());
  const bool known = PQntuples(exists.get()) > 0;
  // Roles belong to the whole server: a user of several accounts has one password.
  Result r(Exec(
      (known ? "ALTER ROLE " : "CREATE ROLE ") + quoted + " LOGIN PASSWORD " + password_literal,
      {}));
  if (!Ok(r.get())) return failed(r.get());
  // A user reads and writes the records, indexes, registers and counters, and nothing else:
  // no table of the catalogue is written, no table made, emptied wholesale or dropped. What
  // an earlier version of the program granted is taken back first. Files made later are
  // opened to the users by cv_new_file.
  for (const std::string& grant :
       {"REVOKE ALL ON ALL TABLES IN SCHEMA public FROM " + quoted,
        "ALTER DEFAULT PRIVILEGES IN SCHEMA public REVOKE ALL ON TABLES FROM " + quoted,
        "REVOKE CREATE ON SCHEMA public FROM " + quoted,
        "GRANT USAGE ON SCHEMA public TO " + quoted,
        "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO " + quoted,
        "REVOKE INSERT, UPDATE, DELETE ON cv_files, cv_dict, cv_pointers, cv_routines FROM " +
            quoted,
        "GRANT EXECUTE ON FUNCTION cv_new_file(text, text) TO " + quoted}) {
    Result g(Exec(grant, {}));
    if (!Ok(g.get())) return failed(g.get());
  }
  return kOk;
}

int PostgresStore::DropAccount(const PgAddress& address, bool demo_only) {
  if (ValidateName(address.account) != kOk) return kBadName;
  PGconn* conn = nullptr;
  if (int s = Maintenance(address, &conn)) return s;
  int status = kOk;
  if (demo_only) {
    const char* values[] = {address.account.c_str()};
    Result r(PQexecParams(conn,
                          "SELECT coalesce(shobj_description(oid, 'pg_database'), '') "
                          "FROM pg_database WHERE datname = $1",
                          1, nullptr, values, nullptr, nullptr, 0));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
      status = kIoError;
    else if (PQntuples(r.get()) > 0 && std::string(PQgetvalue(r.get(), 0, 0)) != kDemoMark)
      status = kAccountExists;  // not the demo's: left as it is
  }
  if (status == kOk)
    status = OnDatabase(conn, "DROP DATABASE IF EXISTS ", address.account, " WITH (FORCE)");
  PQfinish(conn);
  return status;
}

}  // namespace cortevane::db
