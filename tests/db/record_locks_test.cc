// The embedded store's reservations: one lock file per file whatever the number of keys, and
// keys that share a byte of it.
#include "db/sqlite/record_locks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "db/status.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::TempFolder;

TEST(RecordLocksTest, ManyReservationsLeaveOneLockFileAFile) {
  TempFolder folder;
  RecordLocks mine(folder.path()), theirs(folder.path());
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(mine.Acquire("CIVILAIDE", std::to_string(i), 0), kOk);
    ASSERT_EQ(mine.Acquire("SDEXPORTAIDES", std::to_string(i), 0), kOk);
  }
  for (const char* key : {"0", "150", "299"})
    EXPECT_EQ(theirs.Acquire("SDEXPORTAIDES", key, 0), kLockTimeout) << key;
  EXPECT_EQ(theirs.Acquire("SDEXPORTAIDES", "300", 0), kOk);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(mine.Release("CIVILAIDE", std::to_string(i)), kOk);
  EXPECT_EQ(theirs.Acquire("CIVILAIDE", "7", 0), kOk);
  EXPECT_EQ(theirs.Acquire("SDEXPORTAIDES", "7", 0), kLockTimeout);
  long entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
    ++entries;
  EXPECT_EQ(entries, 2);
}

// With a single byte every key shares it: another holder waits for any of them, and the byte
// is unlocked only when the last key held on it is released.
TEST(RecordLocksTest, KeysSharingAByteAreFreedByTheLastRelease) {
  TempFolder folder;
  RecordLocks mine(folder.path(), 1), theirs(folder.path(), 1);
  ASSERT_EQ(mine.Acquire("COMPTEUR", "998", 0), kOk);
  ASSERT_EQ(mine.Acquire("COMPTEUR", "999", 0), kOk);
  EXPECT_EQ(theirs.Acquire("COMPTEUR", "1000", 50), kLockTimeout);
  EXPECT_TRUE(theirs.Release("COMPTEUR", "1000") == kNotReserved &&
              !theirs.Holds("COMPTEUR", "1000"));
  ASSERT_EQ(mine.Release("COMPTEUR", "998"), kOk);
  EXPECT_FALSE(mine.Holds("COMPTEUR", "998"));
  EXPECT_TRUE(mine.Holds("COMPTEUR", "999"));
  EXPECT_EQ(theirs.Acquire("COMPTEUR", "1000", 0), kLockTimeout);
  ASSERT_EQ(mine.Release("COMPTEUR", "999"), kOk);
  EXPECT_EQ(theirs.Acquire("COMPTEUR", "1000", 0), kOk);
  EXPECT_EQ(mine.Acquire("COMPTEUR", "998", 0), kLockTimeout);
  // Another file's byte is another lock.
  EXPECT_EQ(mine.Acquire("SECTEUR", "1000", 0), kOk);
}

}  // namespace
}  // namespace cortevane::db
