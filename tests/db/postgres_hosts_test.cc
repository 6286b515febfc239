// An office named by a host list whose first server refuses the session: the store goes on to
// the primary further down the list, when it connects and when it connects again.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <string>

#include "db/postgres/postgres_store.h"
#include "db/status.h"
#include "support/pg_replica.h"

namespace cortevane::db {
namespace {

// Runs `sql` on the maintenance database of the server at `host` ("h:p").
std::string Sql(const std::string& host, const std::string& sql) {
  const size_t colon = host.rfind(':');
  const std::string info = "host=" + host.substr(0, colon) + " port=" + host.substr(colon + 1) +
                           " dbname=postgres user=cortevane password=cortevane";
  PGconn* conn = PQconnectdb(info.c_str());
  PGresult* r = PQexec(conn, sql.c_str());
  std::string value = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1
                          ? PQgetvalue(r, 0, 0)
                          : std::string("error: ") + PQerrorMessage(conn);
  PQclear(r);
  PQfinish(conn);
  return value;
}

TEST(PostgresHostsTest, AStandbyThatRefusesFirstInTheListLeadsOnToThePrimary) {
  test_support::PgReplica office;
  if (!office.started()) GTEST_SKIP() << "no PostgreSQL server binaries to make a standby";
  const std::string& both = office.hosts();
  const std::string primary = both.substr(0, both.find(','));
  const std::string standby = both.substr(both.find(',') + 1);
  PgAddress address;
  address.host = primary;
  address.account = "hosts_test";
  address.user = "cortevane";
  address.password = "cortevane";
  ASSERT_EQ(PostgresStore::CreateAccount(address, true), kOk);
  for (int i = 0; i < 100 && Sql(standby,
                                 "SELECT count(*)::text FROM pg_database WHERE datname "
                                 "= 'hosts_test'") != "1";
       ++i)
    usleep(100'000);

  // Servers that answer but take no writes are told from servers that do not answer.
  int status = -1;
  address.host = standby + "," + standby;
  EXPECT_EQ(PostgresStore::Connect(address, &status), nullptr);
  EXPECT_EQ(status, kNoPrimary);

  address.host = standby + "," + primary;
  std::shared_ptr<PostgresStore> store = PostgresStore::Connect(address, &status);
  ASSERT_EQ(status, kOk);
  // From now on the standby, first in the list, refuses the session outright, which stops
  // libpq's own pass over the list.
  ASSERT_TRUE(office.RefuseAtStandby());
  EXPECT_EQ(store->Reconnect(), kOk);
  EXPECT_EQ(store->ServerAddress(), primary);
  store = PostgresStore::Connect(address, &status);
  ASSERT_EQ(status, kOk);
  EXPECT_EQ(store->ServerAddress(), primary);
  EXPECT_EQ(store->CreateFile("CIVILAIDE"), kOk);
}

}  // namespace
}  // namespace cortevane::db
