// The office store on a real PostgreSQL server: what differs from the embedded store
// (connection failures, server-side locks between connections, index scans in one request).
#include "db/postgres/postgres_store.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "db/dyn_array.h"
#include "db/status.h"
#include "relay/tcp_proxy.h"
#include "store_suite.h"
#include "support/pg_server.h"

namespace cortevane::db {
namespace {

using testing::NewPgAccount;
using testing::PgServer;

// Each account of the shared suite is a fresh database on the test server; Open() is another
// connection to it.
class PgAccount : public StoreAccount {
 public:
  explicit PgAccount(PgAddress address) : address_(std::move(address)) {}
  std::shared_ptr<Store> Open() override {
    int status = -1;
    auto store = PostgresStore::Connect(address_, &status);
    EXPECT_EQ(status, kOk);
    return store;
  }

 private:
  PgAddress address_;
};

INSTANTIATE_TEST_SUITE_P(Postgres, StoreTest,
                         ::testing::Values(StoreParam{"Postgres",
                                                      []() -> std::unique_ptr<StoreAccount> {
                                                        auto a = NewPgAccount("suite", false);
                                                        if (!a) return nullptr;
                                                        return std::make_unique<PgAccount>(*a);
                                                      }}),
                         StoreParamName);

class PostgresStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto a = NewPgAccount("pgstore");
    if (!a) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
    address_ = *a;
    int status = -1;
    store_ = PostgresStore::Connect(address_, &status);
    ASSERT_EQ(status, kOk);
  }
  std::shared_ptr<PostgresStore> Second() {
    int status = -1;
    auto s = PostgresStore::Connect(address_, &status);
    EXPECT_EQ(status, kOk);
    return s;
  }

  PgAddress address_;
  std::shared_ptr<PostgresStore> store_;
};

TEST_F(PostgresStoreTest, RecordsKeepEveryByteAndKeyOrder) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  std::string record = FromVisible("DUPONT]Hélène\\x^^Rue de l'Église");
  record += std::string("\x00\x01\xFF", 3);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00042", record), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00007", "B"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00042", record), kOk);  // rewrite, same key
  std::string back;
  ASSERT_EQ(store_->Read("CIVILAIDE", "00042", &back), kOk);
  EXPECT_EQ(back, record);
  EXPECT_EQ(store_->Read("CIVILAIDE", "99999", &back), kRecordNotFound);
  std::string keys;
  store_->Scan("CIVILAIDE", [&](std::string_view k, std::string_view) {
    keys += std::string(k) + ",";
    return true;
  });
  EXPECT_EQ(keys, "00007,00042,");
  EXPECT_EQ(store_->Delete("CIVILAIDE", "00007"), kOk);
  EXPECT_EQ(store_->Delete("CIVILAIDE", "00007"), kRecordNotFound);
  EXPECT_EQ(store_->Read("NOFILE", "1", &back), kNoSuchFile);
  EXPECT_EQ(store_->CreateFile("CIVILAIDE"), kFileExists);
}

TEST_F(PostgresStoreTest, HostileNamesNeverReachAStatement) {
  for (const char* name : {"X\"; DROP TABLE cv_files; --", "A B", "A;B", "A'B", "\xFE", ""}) {
    EXPECT_EQ(store_->CreateFile(name), kBadName) << name;
    std::string r;
    EXPECT_EQ(store_->Read(name, "1", &r), kBadName) << name;
  }
  EXPECT_EQ(store_->CreateUser("BOB\"; DROP DATABASE x; --", "pw"), kBadName);
  std::vector<std::string> files;
  EXPECT_EQ(store_->ListFiles(&files), kOk);  // the catalogue is intact
  EXPECT_TRUE(files.empty());
}

TEST_F(PostgresStoreTest, IndexFollowsWritesDeletesAndClearAndRecordsComeInOneRequest) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^DUPONT^Anne")), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"CodeSecteurAide", 40, 3, true, true}), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00002", FromVisible("^DUPUIS]DURAND^Jean")), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00003", FromVisible("^MARTIN^Paul")), kOk);
  DynArray sector;
  sector.SetField(40, "012NORD");
  ASSERT_EQ(store_->Write("CIVILAIDE", "00004", sector.Text()), kOk);

  auto lookup = [&](const char* item, const char* value, bool prefix) {
    std::vector<std::string> keys;
    EXPECT_EQ(store_->IndexLookup("CIVILAIDE", item, value, prefix, &keys), kOk);
    std::string out;
    for (auto& k : keys) out += k + ",";
    return out;
  };
  EXPECT_EQ(lookup("NomAide", "DUP", true), "00001,00002,");
  EXPECT_EQ(lookup("NomAide", "DURAND", false), "00002,");
  EXPECT_EQ(lookup("CodeSecteurAide", "12", false), "00004,");  // right-justified: 12 = 012
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^MARTIN^Anne")), kOk);
  EXPECT_EQ(lookup("NomAide", "DUP", true), "00002,");
  ASSERT_EQ(store_->Delete("CIVILAIDE", "00002"), kOk);
  EXPECT_EQ(lookup("NomAide", "DU", true), "");

  long long before = store_->round_trips();
  std::string seen;
  std::vector<std::string> keys{"00001", "00003", "00009", std::string("\x00\xFF", 2)};
  ASSERT_EQ(store_->ReadMany("CIVILAIDE", keys,
                             [&](std::string_view k, std::string_view r) {
                               seen +=
                                   std::string(k) + "=" + DynArray(std::string(r)).Field(3) + ",";
                               return true;
                             }),
            kOk);
  EXPECT_EQ(seen, "00001=Anne,00003=Paul,");
  EXPECT_EQ(store_->round_trips() - before, 1);

  ASSERT_EQ(store_->Clear("CIVILAIDE"), kOk);
  EXPECT_EQ(lookup("NomAide", "MAR", true), "");
  long long count = -1;
  EXPECT_EQ(store_->CountRecords("CIVILAIDE", &count), kOk);
  EXPECT_EQ(count, 0);
}

// The end of an export empties several files: looked up together, emptied together, with
// their index entries, and a file dropped meanwhile still reads as absent, not as a failure.
TEST_F(PostgresStoreTest, SeveralFilesAreLookedUpAndEmptiedInOneRequestEach) {
  ASSERT_EQ(store_->CreateFile("NOTES_ALICE"), kOk);
  ASSERT_EQ(store_->CreateFile("BUDGET_ALICE"), kOk);
  ASSERT_EQ(store_->SetDictItem("NOTES_ALICE", {"Texte", 1, 0, false, true}), kOk);
  ASSERT_EQ(store_->Write("NOTES_ALICE", "00042A", FromVisible("note")), kOk);
  ASSERT_EQ(store_->Write("BUDGET_ALICE", "00042", FromVisible("900")), kOk);

  auto fresh = Second();
  long long before = fresh->round_trips();
  ASSERT_EQ(fresh->LookUpFiles({"NOTES_ALICE", "BUDGET_ALICE", "AGENDA_ALICE"}), kOk);
  EXPECT_TRUE(fresh->FileExists("NOTES_ALICE"));
  EXPECT_TRUE(fresh->FileExists("BUDGET_ALICE"));
  EXPECT_FALSE(fresh->FileExists("AGENDA_ALICE"));
  std::vector<DictItem> dictionary;
  EXPECT_EQ(fresh->Dictionary("NOTES_ALICE", &dictionary), kOk);
  ASSERT_EQ(dictionary.size(), 1u);
  EXPECT_TRUE(dictionary[0].indexed);
  EXPECT_EQ(fresh->round_trips() - before, 1);

  // Files not known yet cost one request for all, the emptying one more.
  auto other = Second();
  std::vector<int> statuses;
  before = other->round_trips();
  other->ClearFiles({"NOTES_ALICE", "AGENDA_ALICE", "BUDGET_ALICE"}, &statuses);
  EXPECT_EQ(other->round_trips() - before, 2);
  EXPECT_EQ(statuses, (std::vector<int>{kOk, kNoSuchFile, kOk}));
  long long count = -1;
  EXPECT_EQ(store_->CountRecords("NOTES_ALICE", &count), kOk);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(store_->CountRecords("BUDGET_ALICE", &count), kOk);
  EXPECT_EQ(count, 0);
  std::vector<std::string> keys;
  EXPECT_EQ(store_->IndexLookup("NOTES_ALICE", "Texte", "no", true, &keys), kOk);
  EXPECT_TRUE(keys.empty());

  // `fresh` still believes in BUDGET_ALICE, which another connection drops.
  ASSERT_EQ(store_->DropFile("BUDGET_ALICE"), kOk);
  fresh->ClearFiles({"NOTES_ALICE", "BUDGET_ALICE"}, &statuses);
  EXPECT_EQ(statuses, (std::vector<int>{kOk, kNoSuchFile}));
}

TEST_F(PostgresStoreTest, TransactionIsAllOrNothing) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  ASSERT_EQ(store_->Begin(), kOk);
  ASSERT_EQ(store_->Write("F", "1", "one"), kOk);
  ASSERT_EQ(store_->Rollback(), kOk);
  std::string r;
  EXPECT_EQ(store_->Read("F", "1", &r), kRecordNotFound);
  ASSERT_EQ(store_->Begin(), kOk);
  ASSERT_EQ(store_->Write("F", "1", "one"), kOk);
  ASSERT_EQ(store_->Commit(), kOk);
  EXPECT_EQ(Second()->Read("F", "1", &r), kOk);
}

TEST_F(PostgresStoreTest, WritesOfATransactionTravelTogetherAndAreSeenByItsOwnReads) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^ANCIEN")), kOk);
  auto other = Second();
  long long before = store_->round_trips();
  ASSERT_EQ(store_->Begin(), kOk);
  for (int i = 1; i <= 500; ++i) {
    char key[6];
    std::snprintf(key, sizeof key, "%05d", i);
    ASSERT_EQ(store_->Write("CIVILAIDE", key, FromVisible("^NOM" + std::to_string(i % 7))), kOk);
  }
  ASSERT_EQ(store_->Write("CIVILAIDE", "00002", ""), kOk);  // the last write of a key wins
  ASSERT_EQ(store_->Write("CIVILAIDE", std::string("\x00\xFE", 2), "x,y"), kOk);
  std::string back;
  EXPECT_EQ(other->Read("CIVILAIDE", "00003", &back), kRecordNotFound) << "not before COMMIT";
  ASSERT_EQ(store_->Read("CIVILAIDE", "00002", &back), kOk);  // its own reads see them
  EXPECT_EQ(back, "");
  std::vector<std::string> keys;
  ASSERT_EQ(store_->IndexLookup("CIVILAIDE", "NomAide", "ANCIEN", false, &keys), kOk);
  EXPECT_TRUE(keys.empty()) << "the index follows the rewritten record";
  ASSERT_EQ(store_->IndexLookup("CIVILAIDE", "NomAide", "NOM3", false, &keys), kOk);
  EXPECT_EQ(keys.size(), 72u);
  ASSERT_EQ(store_->Commit(), kOk);
  EXPECT_LT(store_->round_trips() - before, 20) << "500 writes in a few requests";
  ASSERT_EQ(other->Read("CIVILAIDE", std::string("\x00\xFE", 2), &back), kOk);
  EXPECT_EQ(back, "x,y");
  long long count = 0;
  ASSERT_EQ(other->CountRecords("CIVILAIDE", &count), kOk);
  EXPECT_EQ(count, 501);

  // Rolled back, waiting writes are dropped with the rest.
  ASSERT_EQ(store_->Begin(), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "09999", "gone"), kOk);
  ASSERT_EQ(store_->Rollback(), kOk);
  EXPECT_EQ(store_->Read("CIVILAIDE", "09999", &back), kRecordNotFound);
}

TEST_F(PostgresStoreTest, ReservationBlocksOtherConnectionsUntilFreedOrDisconnected) {
  ASSERT_EQ(store_->CreateFile("COMPTEUR"), kOk);
  auto other = Second();
  ASSERT_EQ(store_->Reserve("COMPTEUR", "999", 1000), kOk);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(other->Reserve("COMPTEUR", "999", 200), kLockTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(other->Reserve("COMPTEUR", "998", 200), kOk) << "another key is free";
  EXPECT_EQ(store_->Free("COMPTEUR", "999"), kOk);
  EXPECT_EQ(store_->Free("COMPTEUR", "999"), kNotReserved);
  EXPECT_EQ(other->Reserve("COMPTEUR", "999", 200), kOk);
  other.reset();  // the connection goes away: its locks die with it
  EXPECT_EQ(store_->Reserve("COMPTEUR", "999", 2000), kOk);
}

TEST(PostgresConnectTest, FailuresGiveAStatusInBoundedTime) {
  auto server = PgServer();
  if (!server) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  int status = 0;
  PgAddress a = *server;
  a.account = "no_such_account_here";
  EXPECT_EQ(PostgresStore::Connect(a, &status), nullptr);
  EXPECT_EQ(status, kAccountNotFound);

  a.account = "postgres";  // a database that is not an account
  EXPECT_EQ(PostgresStore::Connect(a, &status), nullptr);
  EXPECT_EQ(status, kAccountCorrupt);

  a.password = "wrong";
  EXPECT_EQ(PostgresStore::Connect(a, &status), nullptr);
  EXPECT_EQ(status, kBadCredentials);

  a.user = "NOBODY";
  EXPECT_EQ(PostgresStore::Connect(a, &status), nullptr);
  EXPECT_EQ(status, kBadCredentials);

  PgAddress closed = *server;
  closed.host = "127.0.0.1:1";  // nothing listens there
  closed.account = "x";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PostgresStore::Connect(closed, &status), nullptr);
  EXPECT_EQ(status, kServerUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// The server's host goes silent after connecting (a relay that stops passing anything on):
// each request ends within its bound as a lost server, and nothing waits for ever.
TEST(PostgresConnectTest, ASilentServerEndsEveryRequestWithinItsBound) {
  auto account = NewPgAccount("silent");
  if (!account) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  relay::TcpProxy proxy(account->host);
  ASSERT_NE(proxy.port(), 0);
  PgAddress through = *account;
  through.host = "127.0.0.1:" + std::to_string(proxy.port());
  through.request_timeout_s = 2;
  through.connect_timeout_s = 2;
  int status = -1;
  auto store = PostgresStore::Connect(through, &status);
  ASSERT_EQ(status, kOk);
  ASSERT_EQ(store->CreateFile("F"), kOk);
  ASSERT_EQ(store->Begin(), kOk);
  ASSERT_EQ(store->Write("F", "1", "one"), kOk);

  proxy.Stall();
  auto start = std::chrono::steady_clock::now();
  std::string record;
  EXPECT_EQ(store->Read("F", "1", &record), kServerUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(store->Health(), kServerUnreachable);
  // The lost transaction is reported, not replaced by a fresh connection.
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(store->Commit(), kServerUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(PostgresStore::Connect(through, &status), nullptr);
  EXPECT_EQ(status, kServerUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(PostgresConnectTest, OneUserAddedToTwoAccountsAtOnceIsAddedToBoth) {
  auto a = NewPgAccount("samerole_a");
  auto b = NewPgAccount("samerole_b");
  if (!a || !b) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  // Roles belong to the whole server: two connections giving the same user the same password
  // at the same moment must both succeed, not one of them fail on the other's role.
  const std::string user = "PARTOUT" + std::to_string(getpid());
  std::vector<int> failures(2, 0);
  auto add = [&](PgAddress address, int slot) {
    int status = -1;
    auto store = PostgresStore::Connect(address, &status);
    for (int i = 0; i < 8 && store; ++i) {
      if (i % 2 == 1) store->Begin();
      if (store->CreateUser(user, "même-mot") != kOk) ++failures[slot];
      if (i % 2 == 1) store->Commit();
    }
  };
  std::thread first(add, *a, 0), second(add, *b, 1);
  first.join();
  second.join();
  EXPECT_EQ(failures, (std::vector<int>{0, 0}));
  PgAddress as_user = *b;
  as_user.user = user;
  as_user.password = "même-mot";
  int status = -1;
  EXPECT_NE(PostgresStore::Connect(as_user, &status), nullptr);
  EXPECT_EQ(status, kOk);
}

TEST(PostgresConnectTest, UsersConnectWithTheirOwnPassword) {
  auto a = NewPgAccount("pgusers");
  if (!a) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  int status = -1;
  auto admin = PostgresStore::Connect(*a, &status);
  ASSERT_EQ(status, kOk);
  ASSERT_EQ(admin->CreateFile("CIVILAIDE"), kOk);
  std::string user = "JDUPONT" + std::to_string(getpid());
  ASSERT_EQ(admin->CreateUser(user, "s3cret'\"pw"), kOk);
  ASSERT_EQ(admin->CreateUser(user, "first"), kOk);  // an existing role takes the new password
  ASSERT_EQ(admin->CreateUser(user, "s3cret'\"pw"), kOk);
  PgAddress as_user = *a;
  as_user.user = user;
  as_user.password = "s3cret'\"pw";
  auto session = PostgresStore::Connect(as_user, &status);
  ASSERT_EQ(status, kOk);
  EXPECT_EQ(session->Write("CIVILAIDE", "00001", "x"), kOk);
  as_user.password = "s3cret";
  EXPECT_EQ(PostgresStore::Connect(as_user, &status), nullptr);
  EXPECT_EQ(status, kBadCredentials);
}

// The server ends a connection (restart, administrator): the call that finds it gone fails
// with kServerUnreachable, the next one connects again, and the indexes stay right although
// the dictionary read was the statement that failed.
TEST_F(PostgresStoreTest, AConnectionEndedByTheServerFailsOnceThenConnectsAgain) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", FromVisible("^DUPONT")), kOk);
  auto end = [&](PostgresStore& victim) {
    PQclear(store_->Exec("SELECT pg_terminate_backend($1::text::int, 5000)",
                         {std::to_string(PQbackendPID(victim.connection()))}));
  };

  auto fresh = Second();  // nothing of the dictionary known yet
  end(*fresh);
  EXPECT_EQ(fresh->Write("CIVILAIDE", "00001", FromVisible("^MARTIN")), kServerUnreachable);
  EXPECT_EQ(fresh->Health(), kServerUnreachable);
  EXPECT_EQ(fresh->Write("CIVILAIDE", "00001", FromVisible("^MARTIN")), kOk);
  EXPECT_EQ(fresh->Health(), kOk);
  std::vector<std::string> keys;
  ASSERT_EQ(store_->IndexLookup("CIVILAIDE", "NomAide", "MARTIN", false, &keys), kOk);
  EXPECT_EQ(keys, std::vector<std::string>{"00001"});
  ASSERT_EQ(store_->IndexLookup("CIVILAIDE", "NomAide", "DUPONT", false, &keys), kOk);
  EXPECT_TRUE(keys.empty());

  // A reservation dies with its connection: the store does not connect again behind the
  // back of the one who holds it, until that one has let it go.
  ASSERT_EQ(fresh->Reserve("CIVILAIDE", "00001", 1000), kOk);
  end(*fresh);
  std::string record;
  EXPECT_EQ(fresh->Read("CIVILAIDE", "00001", &record), kServerUnreachable);
  EXPECT_EQ(fresh->Read("CIVILAIDE", "00001", &record), kServerUnreachable);
  EXPECT_EQ(store_->Reserve("CIVILAIDE", "00001", 1000), kOk);  // the lock is gone
  EXPECT_EQ(fresh->Free("CIVILAIDE", "00001"), kServerUnreachable);
  EXPECT_EQ(fresh->Read("CIVILAIDE", "00001", &record), kOk);
  EXPECT_EQ(fresh->Reserve("CIVILAIDE", "00001", 0), kLockTimeout);
  EXPECT_EQ(store_->Free("CIVILAIDE", "00001"), kOk);

  // A transaction whose connection ended is lost, and its COMMIT says so.
  ASSERT_EQ(fresh->Begin(), kOk);
  ASSERT_EQ(fresh->Write("CIVILAIDE", "00002", FromVisible("^PETIT")), kOk);
  end(*fresh);
  EXPECT_EQ(fresh->Commit(), kServerUnreachable);
  EXPECT_EQ(fresh->Read("CIVILAIDE", "00002", &record), kRecordNotFound);
}

// The connection is lost once COMMIT has left, before its answer (here a check deferred to
// COMMIT ends its own connection): the server may or may not have committed, and the store
// says it does not know, where a loss before COMMIT (above) is a plain loss.
TEST_F(PostgresStoreTest, ALostAnswerToCommitIsAnUnknownOutcome) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  for (const char* sql :
       {"CREATE FUNCTION cv_test_end() RETURNS trigger LANGUAGE plpgsql AS "
        "$$BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); "
        "RETURN NULL; END$$",
        "CREATE CONSTRAINT TRIGGER cv_test_end AFTER INSERT OR UPDATE ON f_f "
        "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION cv_test_end()"}) {
    PQclear(store_->Exec(sql, {}));
  }
  auto fresh = Second();
  ASSERT_EQ(fresh->Begin(), kOk);
  ASSERT_EQ(fresh->Write("F", "1", "one"), kOk);
  EXPECT_EQ(fresh->Commit(), kOutcomeUnknown);
  EXPECT_EQ(fresh->Reconnect(), kOk);
  EXPECT_EQ(fresh->ServerAddress(), address_.host);
}

}  // namespace
}  // namespace cortevane::db
