// The office account's own rules on the server itself: what its users may do (read and write
// records, indexes, registers and counters; nothing else), and file names that fold to one
// table clashing however close together two connections create them.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "db/postgres/postgres_store.h"
#include "db/status.h"
#include "support/pg_server.h"

namespace cortevane::db {
namespace {

using testing::NewPgAccount;

std::shared_ptr<PostgresStore> Open(const PgAddress& address) {
  int status = -1;
  auto store = PostgresStore::Connect(address, &status);
  EXPECT_EQ(status, kOk);
  return store;
}

// The SQLSTATE of a statement, "" when it succeeds.
std::string State(PostgresStore& store, const std::string& sql) {
  PGresult* r = store.Exec(sql, {});
  std::string state;
  if (!PostgresStore::Ok(r)) {
    const char* code = r != nullptr ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    state = code != nullptr ? code : "no answer";
  }
  PQclear(r);
  return state;
}

TEST(PostgresRightsTest, AUserWritesRecordsAndNothingElse) {
  auto admin_address = NewPgAccount("rights");
  if (!admin_address) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  auto admin = Open(*admin_address);
  ASSERT_TRUE(admin);
  ASSERT_EQ(admin->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(admin->SetDictItem("CIVILAIDE", DictItem{"NomAide", 2, 0, false, true}), kOk);
  const std::string user = "STAFF" + std::to_string(getpid());
  ASSERT_EQ(admin->CreateUser(user, "pw-staff"), kOk);
  PgAddress as_user = *admin_address;
  as_user.user = user;
  as_user.password = "pw-staff";
  auto staff = Open(as_user);
  ASSERT_TRUE(staff);

  // What the program does as the user: records and their index entries, a reference copy of
  // its own made and emptied.
  EXPECT_EQ(staff->Write("CIVILAIDE", "00001",
                         "x\xFE"
                         "DUPONT"),
            kOk);
  std::vector<std::string> keys;
  EXPECT_EQ(staff->IndexLookup("CIVILAIDE", "NomAide", "DUPONT", false, &keys), kOk);
  EXPECT_EQ(keys, std::vector<std::string>{"00001"});
  EXPECT_EQ(staff->CreateFile("CIVILAIDE_" + user), kOk);
  EXPECT_EQ(staff->Write("CIVILAIDE_" + user, "00001", "x"), kOk);
  EXPECT_EQ(staff->Clear("CIVILAIDE_" + user), kOk);
  EXPECT_EQ(staff->Delete("CIVILAIDE", "00001"), kOk);

  // Anything else is refused by the server.
  EXPECT_EQ(staff->CreateFile("AUTRE"), kNotPermitted);
  EXPECT_EQ(staff->CreateFile("CIVILAIDE_MARTIN"), kNotPermitted);
  EXPECT_NE(staff->DropFile("CIVILAIDE"), kOk);
  EXPECT_NE(staff->SetDictItem("CIVILAIDE", DictItem{"Prenom", 3, 0, false, false}), kOk);
  EXPECT_NE(staff->SetPointer("SDEXPORTAIDES", PointerTarget{"h", "a", "F"}), kOk);
  EXPECT_NE(staff->CatalogueRoutine("AUTRE.ROUTINE"), kOk);
  for (const std::string& sql : std::vector<std::string>{
           "TRUNCATE f_civilaide",
           "TRUNCATE cv_index",
           "DROP TABLE f_civilaide",
           "ALTER TABLE f_civilaide ADD COLUMN x int",
           "CREATE TABLE f_autre (key bytea)",
           "UPDATE cv_files SET version = 0",
           "DELETE FROM cv_dict",
           "INSERT INTO cv_pointers VALUES ('P', 'h', 'a', 'F')",
           "DELETE FROM cv_routines",
           "DROP TABLE f_civilaide_" + user,
       })
    EXPECT_EQ(State(*staff, sql), "42501") << sql;
}

TEST(PostgresRightsTest, NamesThatFoldToOneTableClashWhenCreatedAtOnce) {
  auto address = NewPgAccount("foldrace");
  if (!address) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  auto first = Open(*address), second = Open(*address);
  ASSERT_TRUE(first && second);
  // Each round, the two connections create two names of one table at the same instant: one
  // of them is created, the other is told it exists, never both, never a store failure.
  for (int round = 0; round < 25; ++round) {
    const std::string a = "R" + std::to_string(round) + (round % 2 ? ".X" : "-X");
    const std::string b = "r" + std::to_string(round) + "_x";
    std::atomic<int> ready{0};
    int status_a = -1, status_b = -1;
    auto create = [&](PostgresStore& store, const std::string& name, int* status) {
      ++ready;
      while (ready < 2) {
      }
      *status = store.CreateFile(name);
    };
    std::thread ta(create, std::ref(*first), a, &status_a);
    std::thread tb(create, std::ref(*second), b, &status_b);
    ta.join();
    tb.join();
    const std::multiset<int> outcome{status_a, status_b};
    EXPECT_EQ(outcome, (std::multiset<int>{kOk, kFileExists})) << a << " " << b;
  }
}

}  // namespace
}  // namespace cortevane::db
