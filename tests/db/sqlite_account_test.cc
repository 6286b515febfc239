// The embedded account as several programs meet it: created by two at once or by one killed
// half-way, damaged after it was opened, locked by another program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>

#include "db/dyn_array.h"
#include "db/query/evaluator.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::TempFolder;

// Exit codes of a create run in a child process.
int CreateExitCode(int status) { return status == kOk ? 0 : status == kAccountExists ? 1 : 2; }

// Runs SqliteStore::Create in a child process, once `go` can be read; its pid.
pid_t ForkCreate(const std::filesystem::path& folder, int go) {
  pid_t pid = fork();
  if (pid == 0) {
    char byte;
    if (go >= 0 && read(go, &byte, 1) != 1) _exit(3);
    _exit(CreateExitCode(SqliteStore::Create(folder, true)));
  }
  return pid;
}

int ExitCodeOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The account opens and is whole: its catalogue and its meta rows are there.
void ExpectWhole(const std::filesystem::path& folder) {
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(folder, &store), kOk) << folder;
  EXPECT_TRUE(store->RoutineCatalogued("DBA.SELECT"));
  EXPECT_TRUE(store->RoutineCatalogued("IMPORTDONNEES"));
  std::vector<std::string> problems;
  EXPECT_EQ(store->Check(&problems), kOk);
  EXPECT_EQ(store->CreateFile("F"), kOk);
}

TEST(SqliteAccountCreate, TwoCreatesAtOnceMakeOneWholeAccount) {
  TempFolder scratch;
  for (int round = 0; round < 20; ++round) {
    const auto folder = scratch.path() / ("BASE" + std::to_string(round));
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    pid_t a = ForkCreate(folder, pipe_fds[0]);
    pid_t b = ForkCreate(folder, pipe_fds[0]);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_EQ(write(pipe_fds[1], "go", 2), 2);  // both start together
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    const int first = ExitCodeOf(a), second = ExitCodeOf(b);
    EXPECT_EQ(first + second, 1) << "round " << round << ": exits " << first << ", " << second;
    ExpectWhole(folder);
  }
}

TEST(SqliteAccountCreate, AKilledCreateLeavesNothingOrAWholeAccount) {
  TempFolder scratch;
  // How long one create takes here, to spread the kills over it.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(SqliteStore::Create(scratch.path() / "TIMED", true), kOk);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
  std::mt19937 random(12345);
  std::uniform_int_distribution<long> delay(0, took * 3 / 2 + 200);
  int whole = 0, nothing = 0;
  for (int round = 0; round < 40; ++round) {
    const auto folder = scratch.path() / ("BASE" + std::to_string(round));
    pid_t child = ForkCreate(folder, -1);
    ASSERT_GT(child, 0);
    usleep(static_cast<useconds_t>(delay(random)));
    kill(child, SIGKILL);
    ExitCodeOf(child);
    std::shared_ptr<SqliteStore> store;
    const int opened = SqliteStore::Open(folder, &store);
    store.reset();
    if (opened == kOk) {
      ++whole;
    } else {
      // Nothing there: a new create succeeds where the killed one stopped.
      ASSERT_EQ(opened, kAccountNotFound) << "round " << round;
      ++nothing;
      ASSERT_EQ(SqliteStore::Create(folder, true), kOk) << "round " << round;
    }
    ExpectWhole(folder);
  }
  RecordProperty("whole", whole);
  RecordProperty("nothing", nothing);
}

TEST(SqliteAccountCreate, FindingSomethingThereRemovesNothing) {
  TempFolder scratch;
  const auto folder = scratch.path() / "BASE";
  std::filesystem::create_directories(folder);
  for (const char* name : {"account.db", "account.db-wal"}) {
    std::ofstream(folder / name) << "not ours";
    EXPECT_EQ(SqliteStore::Create(folder, false), kAccountExists) << name;
    std::ifstream in(folder / name);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "not ours") << name;
    std::filesystem::remove(folder / name);
  }
  EXPECT_EQ(SqliteStore::Create(folder, false), kOk);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"account.db"}) << "no temporary file left behind";
}

// An account of 2,000 records of file F, indexed on field 1, closed so that its pages are all
// in the database file.
class SqliteDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SqliteStore::Create(Base(), false), kOk);
    std::shared_ptr<SqliteStore> store;
    ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
    ASSERT_EQ(store->CreateFile("F"), kOk);
    ASSERT_EQ(store->SetDictItem("F", {"Nom", 1, 0, false, true}), kOk);
    ASSERT_EQ(store->Begin(), kOk);
    for (int i = 0; i < kRecords; ++i) ASSERT_EQ(store->Write("F", Key(i), Record(i)), kOk);
    ASSERT_EQ(store->Commit(), kOk);
  }
  static constexpr int kRecords = 2000;
  static std::string Key(int i) { return std::to_string(100000 + i); }
  static std::string Record(int i) {
    return "NOM" + std::to_string(i % 7) + "\xFE" + std::string(150, 'a' + i % 26);
  }
  std::filesystem::path Base() const { return folder_.path() / "BASE"; }
  // Overwrites two pages in the middle of the database file.
  void Damage() {
    const auto path = Base() / SqliteStore::kDatabaseName;
    const auto size = std::filesystem::file_size(path);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size / 2 / 4096 * 4096));
    const std::string garbage(8192, '\x5A');
    f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  TempFolder folder_;
};

TEST_F(SqliteDamageTest, DamageMetAfterOpeningIsReportedByEveryOperation) {
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);
  Damage();

  // Each read gives its record or kAccountCorrupt: never another record, never a crash.
  int damaged = 0;
  for (int i = 0; i < kRecords; ++i) {
    std::string record;
    int s = store->Read("F", Key(i), &record);
    if (s == kAccountCorrupt) {
      ++damaged;
      continue;
    }
    ASSERT_EQ(s, kOk) << Key(i);
    ASSERT_EQ(record, Record(i)) << Key(i);
  }
  EXPECT_GT(damaged, 0);
  EXPECT_EQ(store->Scan("F", [](std::string_view, std::string_view) { return true; }),
            kAccountCorrupt);
  int writes_refused = 0;
  for (int i = 0; i < kRecords; i += 10)
    if (store->Write("F", Key(i), "X") == kAccountCorrupt) ++writes_refused;
  EXPECT_GT(writes_refused, 0);
  DynArray request;
  request.SetField(1, "SELECT F AVEC Nom = \"NOM3\"");
  request.SetField(2, "F");
  request.SetField(3, "0 1");
  std::string result;
  EXPECT_EQ(query::Select(*store, request.Text(), &result).status, kAccountCorrupt);
  std::vector<std::string> problems;
  EXPECT_EQ(store->Check(&problems), kAccountCorrupt);
  EXPECT_FALSE(problems.empty());
}

TEST_F(SqliteDamageTest, OpeningDoesNotReadTheWholeAccountCheckDoes) {
  Damage();
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(Base(), &store), kOk);  // the damage is far from the catalogue
  std::vector<std::string> problems;
  EXPECT_EQ(store->Check(&problems), kAccountCorrupt);
  ASSERT_FALSE(problems.empty());
}

TEST(SqliteAccountBusy, ABaseLockedByAnotherProgramIsBusyNotAnIoError) {
  TempFolder folder;
  const auto base = folder.path() / "BASE";
  ASSERT_EQ(SqliteStore::Create(base, false), kOk);
  std::shared_ptr<SqliteStore> store;
  ASSERT_EQ(SqliteStore::Open(base, &store), kOk);
  ASSERT_EQ(store->CreateFile("F"), kOk);
  ASSERT_EQ(store->Write("F", "1", "before"), kOk);

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((base / SqliteStore::kDatabaseName).c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  store->SetBusyTimeout(100);
  EXPECT_EQ(store->Write("F", "2", "blocked"), kBaseBusy);
  EXPECT_EQ(store->Begin(), kBaseBusy);
  EXPECT_EQ(store->CreateFile("G"), kBaseBusy);
  std::string record;
  EXPECT_EQ(store->Read("F", "1", &record), kOk);  // readers are not held up
  EXPECT_EQ(record, "before");
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(store->Write("F", "2", "after"), kOk);
}

}  // namespace
}  // namespace cortevane::db
