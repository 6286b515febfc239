// The office runs a primary and a streaming standby, and a laptop names both. The primary is
// stopped and the standby promoted at points spread over an export: the export connects again
// to the new primary and goes on, or stops with the lost server's message and the next run
// finishes; either way every person ends on the new primary wholly as on the laptop, released
// once, each person created on the laptop under one code of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "stress_world.h"
#include "support/pg_replica.h"
#include "support/temp_account.h"

namespace cortevane::stress {
namespace {

constexpr int kFailovers = 3;

// The journals the runs wrote since the last call, which takes them away.
std::string TakeJournals(const std::filesystem::path& drive_c) {
  std::string text;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(drive_c / "KESTA" / "JOURNAL", ec)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    text += bytes.str();
    std::filesystem::remove(entry.path(), ec);
  }
  return text;
}

TEST(ExportFailoverTest, ThePrimaryLostDuringAnExportTheNewPrimaryGetsEveryPersonOnce) {
  test_support::PgReplica office;
  if (!office.started()) GTEST_SKIP() << "no PostgreSQL server binaries to make a standby";
  test_support::TempFolder scratch;
  db::PgAddress server;
  server.host = office.hosts();
  server.user = "cortevane";
  server.password = "cortevane";
  World world(scratch.path(), true, server);
  ASSERT_FALSE(world.unavailable());
  ASSERT_NO_FATAL_FAILURE(world.Seed(30, 20240612));
  const std::string laptop =
      world.Laptop("ALICE", {"00002", "00005", "00009", "00014"}, 2).string();
  const Expectation expectation = world.Expect("ALICE");
  const long counter = world.Counter();
  world.Snapshot();
  const std::vector<std::string> args = {"export", world.OfficeName(), laptop, "ALICE"};
  const std::string hosts = "CORTEVANE_PG_HOST=" + office.hosts();
  const std::string user = "CORTEVANE_PG_USER=cortevane";
  const std::string password = "PGPASSWORD=cortevane";

  world.Restore();
  const RunResult whole = RunToEnd(args, {hosts, user, password});
  ASSERT_EQ(whole.exit_code, 0) << whole.output;
  const long changes = whole.Changes();
  for (int t = 0; t < kFailovers && !HasFailure(); ++t) {
    // Among the persons (the last changes of a run are the final clearing's).
    const long point = 1 + (2 * t + 1) * changes / (3 * kFailovers);
    SCOPED_TRACE("failover before change " + std::to_string(point) + " of " +
                 std::to_string(changes));
    world.Restore();
    RunResult run = RunToEnd(args, {hosts, user, password, "STRESS_RUN_AT=" + std::to_string(point),
                                    "STRESS_RUN=" + office.FailoverCommand()});
    ASSERT_EQ(run.signal, 0) << run.output;
    const std::string journal = TakeJournals(scratch.path() / "drive_c");
    if (run.exit_code == 0) {
      EXPECT_NE(journal.find("Changement de serveur : "), std::string::npos) << journal;
    } else {
      ASSERT_EQ(run.exit_code, 3) << run.output;
      EXPECT_NE(run.output.find("La liaison avec le serveur a été perdue"), std::string::npos)
          << run.output;
      ASSERT_NO_FATAL_FAILURE(world.CheckWhole(expectation, counter));
      run = RunToEnd(args, {hosts, user, password});
      ASSERT_EQ(run.exit_code, 0) << run.output;
    }
    world.Verify({expectation}, counter, false);
    ASSERT_TRUE(office.Rejoin());
  }
}

}  // namespace
}  // namespace cortevane::stress
