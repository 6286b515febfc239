// The embedded store: its instance of the shared suite, and what only a folder account has
// (creation, damaged files, file names that share a table, users).
#include "db/sqlite/sqlite_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "db/status.h"
#include "store_suite.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::TempFolder;

class SqliteAccount : public StoreAccount {
 public:
  SqliteAccount() { EXPECT_EQ(SqliteStore::Create(folder_.path() / "BASE", false), kOk); }
  std::shared_ptr<Store> Open() override {
    std::shared_ptr<SqliteStore> store;
    EXPECT_EQ(SqliteStore::Open(folder_.path() / "BASE", &store), kOk);
    return store;
  }

 private:
  TempFolder folder_;
};

INSTANTIATE_TEST_SUITE_P(Sqlite, StoreTest,
                         ::testing::Values(StoreParam{
                             "Sqlite", [] { return std::make_unique<SqliteAccount>(); }}),
                         StoreParamName);

class SqliteStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path Base() const { return folder_.path() / "BASE"; }
  int OpenStatus() {
    std::shared_ptr<SqliteStore> store;
    int s = SqliteStore::Open(Base(), &store);
    EXPECT_EQ(s == kOk, store != nullptr);
    return s;
  }
  TempFolder folder_;
};

TEST_F(SqliteStoreTest, CreateMakesAnOpenableAccountOnce) {
  EXPECT_EQ(OpenStatus(), kAccountNotFound);  // no folder
  std::filesystem::create_directories(Base());
  EXPECT_EQ(OpenStatus(), kAccountNotFound);  // a folder without an account
  ASSERT_EQ(SqliteStore::Create(Base(), true), kOk);
  EXPECT_EQ(SqliteStore::Create(Base(), false), kAccountExists);
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
  EXPECT_TRUE(store->RoutineCatalogued("IMPORTDONNEES"));
}

TEST_F(SqliteStoreTest, DamagedAccountsGiveAStatusNotACrash) {
  // Not a database at all.
  std::filesystem::create_directories(Base());
  std::ofstream(Base() / SqliteStore::kDatabaseName) << "this is not a database, just text";
  EXPECT_EQ(OpenStatus(), kAccountCorrupt);

  // An SQLite database that is not an account.
  std::filesystem::remove(Base() / SqliteStore::kDatabaseName);
  sqlite3* db = nullptr;
  sqlite3_open((Base() / SqliteStore::kDatabaseName).c_str(), &db);
  sqlite3_exec(db, "CREATE TABLE t (x)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(OpenStatus(), kAccountCorrupt);

  // A real account whose pages were overwritten in the middle.
  std::filesystem::remove_all(Base());
  ASSERT_EQ(SqliteStore::Create(Base(), false), kOk);
  {
    std::shared_ptr<SqliteStore> store;
    ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
    ASSERT_EQ(store->CreateFile("F"), kOk);
    ASSERT_EQ(store->Begin(), kOk);
    for (int i = 0; i < 2000; ++i)
      ASSERT_EQ(store->Write("F", std::to_string(100000 + i), std::string(200, 'x')), kOk);
    ASSERT_EQ(store->Commit(), kOk);
  }  // closing the last connection folds the WAL into the database file
  const auto path = Base() / SqliteStore::kDatabaseName;
  const auto size = std::filesystem::file_size(path);
  ASSERT_GT(size, 40000u);
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size / 2));
    const std::string garbage(8192, '\x5A');
    f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  // Opening reads only the catalogue: the damage is met by what reads those pages
  // (sqlite_account_test.cc) and by the whole check.
  EXPECT_EQ(OpenStatus(), kOk);

  // Cut short.
  std::filesystem::resize_file(path, 1000);
  EXPECT_NE(OpenStatus(), kOk);
}

TEST_F(SqliteStoreTest, AWriterWaitsForAnotherWritersTransaction) {
  ASSERT_EQ(SqliteStore::Create(Base(), false), kOk);
  std::shared_ptr<SqliteStore> first, second;
  ASSERT_EQ(SqliteStore::Open(Base(), &first), kOk);
  ASSERT_EQ(SqliteStore::Open(Base(), &second), kOk);
  ASSERT_EQ(first->CreateFile("F"), kOk);
  ASSERT_EQ(first->Begin(), kOk);
  ASSERT_EQ(first->Write("F", "1", "first"), kOk);
  std::thread committer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(first->Commit(), kOk);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(second->Write("F", "2", "second"), kOk);  // waits, does not fail
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  committer.join();
  std::string record;
  EXPECT_EQ(second->Read("F", "1", &record), kOk);
  EXPECT_EQ(record, "first");
}

// Inside a transaction the store remembers each file's table and indexed items: a change of
// the catalogue or of a dictionary made there reaches the writes that follow it, and a
// rollback takes everything back.
TEST_F(SqliteStoreTest, CatalogueChangesInsideATransactionReachItsWrites) {
  ASSERT_EQ(SqliteStore::Create(Base(), false), kOk);
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
  ASSERT_EQ(store->CreateFile("F"), kOk);
  auto lookup = [&](std::string_view value) {
    std::vector<std::string> keys;
    std::string out = std::to_string(store->IndexLookup("F", "Nom", value, false, &keys));
    for (const std::string& key : keys) out += " " + key;
    return out;
  };
  ASSERT_EQ(store->Begin(), kOk);
  ASSERT_EQ(store->Write("F", "1", "DUPONT"), kOk);  // remembered without an index
  ASSERT_EQ(store->SetDictItem("F", {"Nom", 1, 0, false, true}), kOk);
  ASSERT_EQ(store->Write("F", "2", "DUPONT"), kOk);
  ASSERT_EQ(store->Write("F", "1", "MARTIN"), kOk);  // rewritten: its old entry goes
  EXPECT_EQ(lookup("DUPONT"), "0 2");
  EXPECT_EQ(lookup("MARTIN"), "0 1");
  ASSERT_EQ(store->DropFile("F"), kOk);
  EXPECT_EQ(store->Write("F", "3", "DUPONT"), kNoSuchFile);
  ASSERT_EQ(store->CreateFile("F"), kOk);
  ASSERT_EQ(store->Write("F", "3", "DUPONT"), kOk);
  EXPECT_EQ(lookup("DUPONT"), std::to_string(kQueryUnknownItem));
  ASSERT_EQ(store->Rollback(), kOk);
  std::string record;
  EXPECT_EQ(store->Read("F", "1", &record), kRecordNotFound);
  EXPECT_EQ(store->Write("F", "1", "DUPONT"), kOk);
  EXPECT_EQ(lookup("DUPONT"), std::to_string(kQueryUnknownItem));
}

TEST_F(SqliteStoreTest, NamesSharingATableAreRefused) {
  ASSERT_EQ(SqliteStore::Create(Base(), false), kOk);
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
  ASSERT_EQ(store->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store->CreateFile("A.B"), kOk);
  EXPECT_EQ(store->CreateFile("civilaide"), kFileExists);
  EXPECT_EQ(store->CreateFile("A_B"), kFileExists);
  EXPECT_FALSE(store->FileExists("civilaide"));  // names themselves are exact
}

TEST_F(SqliteStoreTest, UsersAreUpperCaseAndPasswordsHashed) {
  ASSERT_EQ(SqliteStore::Create(Base(), false), kOk);
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
  ASSERT_EQ(store->AddUser("jdupont", "mot de passe é"), kOk);
  EXPECT_EQ(store->AddUser("JDupont", "other"), kUserExists);
  EXPECT_EQ(store->AddUser("X'; DROP TABLE users; --", "p"), kBadName);
  std::vector<std::string> users;
  ASSERT_EQ(store->ListUsers(&users), kOk);
  EXPECT_EQ(users, std::vector<std::string>{"JDUPONT"});
  EXPECT_EQ(store->Authenticate("JDUPONT", "mot de passe é"), kOk);
  EXPECT_EQ(store->Authenticate("jdupont", "mot de passe é"), kOk);
  EXPECT_EQ(store->Authenticate("JDUPONT", "mot de passe e"), kBadCredentials);
  EXPECT_EQ(store->Authenticate("JDUPONT", ""), kBadCredentials);
  EXPECT_EQ(store->Authenticate("INCONNU", "mot de passe é"), kBadCredentials);

  // The password itself is nowhere in the file; the hash is Argon2id.
  std::ifstream in(Base() / SqliteStore::kDatabaseName, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sqlite3* db = nullptr;
  sqlite3_open((Base() / SqliteStore::kDatabaseName).c_str(), &db);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT hash FROM users", -1, &st, nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  std::string hash = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
  EXPECT_EQ(bytes.find("mot de passe"), std::string::npos);
}

}  // namespace
}  // namespace cortevane::db
