#include "support/pg_server.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "db/status.h"

namespace cortevane::testing {

std::optional<db::PgAddress> PgServer() {
  const char* host = std::getenv("CORTEVANE_PG_HOST");
  if (host == nullptr || *host == '\0') return std::nullopt;
  db::PgAddress a;
  a.host = host;
  const char* user = std::getenv("CORTEVANE_PG_USER");
  a.user = user != nullptr ? user : "postgres";
  const char* password = std::getenv("PGPASSWORD");
  a.password = password != nullptr ? password : "";
  return a;
}

std::optional<db::PgAddress> NewPgAccount(const std::string& prefix, bool server) {
  auto a = PgServer();
  if (!a) return std::nullopt;
  static std::atomic<int> counter{0};
  a->account = prefix + "_" + std::to_string(getpid()) + "_" +
               std::to_string(static_cast<long>(std::time(nullptr)) % 100000) + "_" +
               std::to_string(counter++);
  if (db::PostgresStore::CreateAccount(*a, server) != db::kOk) return std::nullopt;
  return a;
}

}  // namespace cortevane::testing
