// A whole import and export on the office on PostgreSQL as the field workers themselves, with
// the narrow rights their roles have: nothing the program does needs more.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/postgres/postgres_store.h"
#include "db/status.h"
#include "export/rules.h"
#include "stress_world.h"
#include "support/temp_account.h"

namespace cortevane::stress {
namespace {

namespace fs = std::filesystem;

TEST(StaffTest, ImportAndExportRunWithTheUsersOwnRights) {
  test_support::TempFolder scratch;
  World world(scratch.path(), true);
  if (world.unavailable()) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
  ASSERT_NO_FATAL_FAILURE(world.Seed(30, 20251209));
  auto office = std::dynamic_pointer_cast<db::PostgresStore>(world.Office());
  ASSERT_TRUE(office);
  auto as = [](const std::string& user) {
    return std::vector<std::string>{"CORTEVANE_PG_USER=" + user, "PGPASSWORD=pw-" + user};
  };
  for (const char* user : {"ALICE", "BERNARD"})
    ASSERT_EQ(office->CreateUser(user, std::string("pw-") + user), db::kOk);

  // BERNARD takes two persons out himself (reference copies made on the way); ALICE's laptop
  // holds changed persons and persons created on it.
  const fs::path bernard = world.EmptyLaptop("BERNARD");
  RunResult import = RunToEnd({"import", world.OfficeName(), bernard.string(), "BERNARD",
                               exporting::FormatCode(11), exporting::FormatCode(12)},
                              as("BERNARD"));
  ASSERT_EQ(import.exit_code, 0) << import.output;
  world.Laptop("ALICE", {exporting::FormatCode(1), exporting::FormatCode(2)}, 2);
  const std::vector<Expectation> expectations = {world.Expect("ALICE"), world.Expect("BERNARD")};
  const long counter = world.Counter();

  for (const char* user : {"ALICE", "BERNARD"}) {
    const std::string laptop = (scratch.path() / ("laptop-" + std::string(user))).string();
    RunResult run = RunToEnd({"export", world.OfficeName(), laptop, user}, as(user));
    EXPECT_EQ(run.exit_code, 0) << user << "\n" << run.output;
  }
  world.Verify(expectations, counter, true);

  // The test server offers no TLS: each export's journal says the office was not
  // authenticated.
  int journals = 0;
  for (const auto& entry : fs::recursive_directory_iterator(scratch.path() / "drive_c")) {
    if (!entry.is_regular_file() || entry.path().parent_path().filename() != "JOURNAL") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    ++journals;
    EXPECT_NE(text.str().find("Serveur du bureau non authentifié"), std::string::npos)
        << entry.path();
  }
  EXPECT_EQ(journals, 2);
}

}  // namespace
}  // namespace cortevane::stress
