// The throwaway PostgreSQL server that ./scripts/test starts: its address comes from
// CORTEVANE_PG_HOST ("127.0.0.1:port"), CORTEVANE_PG_USER and PGPASSWORD. Tests that need it
// skip themselves when it is not there.
#pragma once

#include <optional>
#include <string>

#include "db/postgres/postgres_store.h"

namespace cortevane::testing {

// The server's superuser address with an empty account, or nullopt when no server is set.
std::optional<db::PgAddress> PgServer();

// Creates a fresh account (a database with a unique name beginning with `prefix`) on the test
// server and returns its address (superuser credentials), or nullopt without a server.
std::optional<db::PgAddress> NewPgAccount(const std::string& prefix, bool server = true);

}  // namespace cortevane::testing
