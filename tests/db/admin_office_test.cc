// cortevane-admin against the PostgreSQL test server, whose connections check passwords
// (scram-sha-256): the administrator's password on standard input, and the demo's office base,
// which it may remove only when it made it, and never leaves half made.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include "db/postgres/postgres_store.h"
#include "db/status.h"
#include "support/admin_tool.h"
#include "support/pg_server.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::AdminRun;

class AdminOfficeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testing::PgServer();
    if (!server_) GTEST_SKIP() << "no PostgreSQL test server";
    suffix_ = std::to_string(getpid()) + "_" + std::to_string(counter_++);
  }

  // cortevane-admin on the test server as `user`, its password given only on standard input.
  AdminRun Admin(const std::vector<std::string>& args, const std::string& input,
                 const std::string& user = "") {
    std::vector<std::string> all{"--host", server_->host, "--password-stdin"};
    all.insert(all.end(), args.begin(), args.end());
    return test_support::RunAdmin(scratch_.path(), all, input,
                                  {"-PGPASSWORD", "PGUSER=" + (user.empty() ? server_->user : user),
                                   "CORTEVANE_DRIVE_C=" + (scratch_.path() / "drive_c").string()});
  }

  // One statement as the server's superuser, on its maintenance database; the first cell.
  std::string Sql(const std::string& sql) {
    PgAddress a = *server_;
    std::string host = a.host.substr(0, a.host.find(':'));
    std::string port = a.host.substr(a.host.find(':') + 1);
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* values[] = {host.c_str(),   port.c_str(),       "postgres",
                            a.user.c_str(), a.password.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    PGresult* r = PQexec(conn, sql.c_str());
    std::string cell = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0
                           ? PQgetvalue(r, 0, 0)
                           : PQresultErrorMessage(r);
    PQclear(r);
    PQfinish(conn);
    return cell;
  }
  bool DatabaseExists(const std::string& name) {
    return Sql("SELECT count(*) FROM pg_database WHERE datname = '" + name + "'") == "1";
  }

  std::optional<PgAddress> server_;
  std::string suffix_;
  test_support::TempFolder scratch_;
  static inline int counter_ = 0;
};

TEST_F(AdminOfficeTest, TheFirstLineOfStandardInputIsAlwaysTheAdministratorsPassword) {
  auto account = testing::NewPgAccount("admin_stdin");
  ASSERT_TRUE(account);
  const std::string pw = server_->password + "\n";
  auto on = [&](std::vector<std::string> args, const std::string& input) {
    args.insert(args.begin(), {"--account", account->account});
    return Admin(args, input);
  };
  EXPECT_NE(on({"file", "list"}, "not the password\n").exit, 0) << "the server checks it";
  ASSERT_EQ(on({"file", "create", "COMPTEUR", "CIVILAIDE"}, pw).exit, 0);
  AdminRun put = on({"record", "put", "CIVILAIDE", "00042"}, pw + "^DUPONT^Anne\n");
  ASSERT_EQ(put.exit, 0) << put.err;
  EXPECT_EQ(on({"record", "get", "CIVILAIDE", "00042"}, pw).out, "^DUPONT^Anne\n");
  ASSERT_EQ(on({"record", "put", "COMPTEUR", "999"}, pw + "^^^^^^^^^^00120\n").exit, 0);

  const std::string agent = "AGENT" + suffix_;
  AdminRun add = on({"user", "add", agent}, pw + "mot de passe de l'agent\n");
  ASSERT_EQ(add.exit, 0) << add.err;
  PgAddress as_agent = *account;
  as_agent.user = agent;
  as_agent.password = "mot de passe de l'agent";
  int status = -1;
  EXPECT_NE(PostgresStore::Connect(as_agent, &status), nullptr);
  EXPECT_EQ(status, kOk);
  EXPECT_EQ(on({"record", "get", "COMPTEUR_" + agent, "999"}, pw).out, "^^^^^^^^^^00120\n");
}

TEST_F(AdminOfficeTest, DemoRebuildRemovesOnlyTheDatabaseTheDemoMade) {
  const std::string pw = server_->password + "\n";
  // Someone's account under the name the demo is given: refused, and kept whole.
  auto theirs = testing::NewPgAccount("admin_theirs");
  ASSERT_TRUE(theirs);
  {
    int status = -1;
    auto store = PostgresStore::Connect(*theirs, &status);
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->CreateFile("KEEP"), kOk);
    ASSERT_EQ(store->Write("KEEP", "1", "precious"), kOk);
  }
  AdminRun refused = Admin(
      {"--account", theirs->account, "demo", "--postgres", "--rebuild", "--persons", "3"}, pw);
  EXPECT_NE(refused.exit, 0);
  EXPECT_NE(refused.err.find("was not made by the demo; it is left as it is"), std::string::npos)
      << refused.err;
  int status = -1;
  auto store = PostgresStore::Connect(*theirs, &status);
  ASSERT_NE(store, nullptr);
  std::string record;
  EXPECT_EQ(store->Read("KEEP", "1", &record), kOk);
  EXPECT_EQ(record, "precious");

  // The demo's own base goes and comes back.
  const std::string demo = "demo_" + suffix_;
  const std::vector<std::string> build{"--account", demo, "demo", "--postgres", "--persons", "3"};
  AdminRun made = Admin(build, pw);
  ASSERT_EQ(made.exit, 0) << made.err;
  std::vector<std::string> rebuild = build;
  rebuild.push_back("--rebuild");
  AdminRun again = Admin(rebuild, pw);
  EXPECT_EQ(again.exit, 0) << again.err;
  EXPECT_TRUE(DatabaseExists(demo));
}

TEST_F(AdminOfficeTest, ADemoByAUserWhoMayNotCreateRolesSaysSoAndLeavesNothing) {
  const std::string role = "dbonly_" + suffix_;
  Sql("CREATE ROLE " + role + " LOGIN CREATEDB PASSWORD 'dbonly'");
  const std::string demo = "demo_dbonly_" + suffix_;
  AdminRun run =
      Admin({"--account", demo, "demo", "--postgres", "--persons", "3"}, "dbonly\n", role);
  EXPECT_NE(run.exit, 0);
  EXPECT_NE(run.err.find("may not create login roles (CREATEROLE)"), std::string::npos) << run.err;
  EXPECT_FALSE(DatabaseExists(demo));
  AdminRun second =
      Admin({"--account", demo, "demo", "--postgres", "--persons", "3"}, "dbonly\n", role);
  EXPECT_EQ(second.err, run.err) << "the same message, not \"account exists\"";
}

}  // namespace
}  // namespace cortevane::db
