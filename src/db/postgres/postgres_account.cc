// Removing an office account: the whole database, for the admin tool's demo --rebuild.
#include <libpq-fe.h>

#include "db/names.h"
#include "db/postgres/postgres_store.h"
#include "db/status.h"

namespace cortevane::db {

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
