// Eight processes at once against one office account (embedded, then PostgreSQL).
//
// Exports: eight laptops, each with persons created on it, export together. The common
// counter's reservation gives every new person its own code: the codes are exactly the ones
// after the counter's start, without a gap or a double, and the counter ends on the last.
//
// Imports: eight users take out overlapping selections together, through the register check
// and the registrations in one conditional batch that the import window uses. Each person ends
// registered at most once, to a user whose laptop holds it; an import takes all of its
// selection or nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>

#include "db/dyn_array.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "export/rules.h"
#include "stress_world.h"
#include "support/temp_account.h"

namespace cortevane::stress {
namespace {

constexpr int kProcesses = 8;
constexpr uint64_t kSeed = 20240612;

class LoadTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    world_ = std::make_unique<World>(scratch_.path(), GetParam());
    if (world_->unavailable()) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
    ASSERT_NO_FATAL_FAILURE(world_->Seed(48, kSeed));
  }

  static std::string User(int i) { return "AGENT" + std::to_string(i + 1); }

  // Starts one runner per argument list, all released at the same moment, and waits for them.
  static std::vector<RunResult> Together(const std::vector<std::vector<std::string>>& runs) {
    int gate[2];
    EXPECT_EQ(pipe2(gate, O_CLOEXEC), 0);
    std::vector<std::unique_ptr<Runner>> runners;
    for (const auto& args : runs)
      runners.push_back(std::make_unique<Runner>(args, std::vector<std::string>{}, gate[0]));
    close(gate[0]);
    close(gate[1]);
    std::vector<RunResult> results;
    for (auto& runner : runners) results.push_back(runner->Finish());
    return results;
  }

  test_support::TempFolder scratch_;
  std::unique_ptr<World> world_;
};

TEST_P(LoadTest, EightExportsAtOnceGiveEveryNewPersonItsOwnConsecutiveCode) {
  constexpr int kCreated = 5;
  std::vector<Expectation> expectations;
  std::vector<std::vector<std::string>> runs;
  for (int i = 0; i < kProcesses; ++i) {
    const std::string laptop =
        world_->Laptop(User(i), {exporting::FormatCode(1 + 5 * i)}, kCreated).string();
    expectations.push_back(world_->Expect(User(i)));
    runs.push_back({"export", world_->OfficeName(), laptop, User(i)});
  }
  ASSERT_FALSE(HasFailure());
  const long counter = world_->Counter();

  const std::vector<RunResult> results = Together(runs);
  for (int i = 0; i < kProcesses; ++i)
    EXPECT_EQ(results[i].exit_code, 0) << User(i) << "\n" << results[i].output;
  world_->Verify(expectations, counter, true);
  EXPECT_EQ(world_->Counter(), counter + kProcesses * kCreated);
}

TEST_P(LoadTest, EightImportsOfOverlappingSelectionsTakeEachPersonOutOnce) {
  // User i chooses 6 of the persons 1 to 24, starting at 3 i: each person is wanted by two
  // users, and each user shares persons with both neighbours. List orders are shuffled.
  std::mt19937_64 rng(kSeed);
  std::vector<std::vector<std::string>> selections;
  std::vector<std::vector<std::string>> runs;
  for (int i = 0; i < kProcesses; ++i) {
    std::vector<std::string> codes;
    for (int k = 0; k < 6; ++k) codes.push_back(exporting::FormatCode((3 * i + k) % 24 + 1));
    std::shuffle(codes.begin(), codes.end(), rng);
    selections.push_back(codes);
    std::vector<std::string> args = {"import", world_->OfficeName(),
                                     world_->EmptyLaptop(User(i)).string(), User(i)};
    args.insert(args.end(), codes.begin(), codes.end());
    runs.push_back(args);
  }

  const std::vector<RunResult> results = Together(runs);

  std::map<std::string, std::string> holders;  // code -> user, from the register
  world_->Office()->Scan("SDEXPORTAIDES", [&](std::string_view key, std::string_view record) {
    holders[std::string(key)] = db::DynArray(std::string(record)).Field(1);
    return true;
  });
  int imported = 0;
  size_t registered = 0;
  for (int i = 0; i < kProcesses; ++i) {
    SCOPED_TRACE(User(i) + "\n" + results[i].output);
    ASSERT_TRUE(results[i].exit_code == 0 || results[i].exit_code == 4);
    std::shared_ptr<db::SqliteStore> laptop;
    ASSERT_EQ(db::SqliteStore::Open(scratch_.path() / ("laptop-" + User(i)), &laptop), db::kOk);
    std::vector<std::string> held;
    laptop->Scan("CIVILAIDE", [&](std::string_view key, std::string_view) {
      held.emplace_back(key);
      return true;
    });
    if (results[i].exit_code == 0) {
      ++imported;
      registered += selections[i].size();
      std::vector<std::string> wanted = selections[i];
      std::sort(wanted.begin(), wanted.end());
      EXPECT_EQ(held, wanted);
      for (const std::string& code : wanted) EXPECT_EQ(holders[code], User(i)) << code;
    } else {
      EXPECT_TRUE(held.empty());
      for (const auto& [code, holder] : holders) EXPECT_NE(holder, User(i)) << code;
    }
  }
  EXPECT_EQ(holders.size(), registered);
  EXPECT_GE(imported, 1);
  std::cout << "[ stress   ] " << imported << " of " << kProcesses << " imports went through\n";
}

INSTANTIATE_TEST_SUITE_P(Stores, LoadTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Embedded"; });

}  // namespace
}  // namespace cortevane::stress
