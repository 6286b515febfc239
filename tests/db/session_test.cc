// Sessions: connecting to embedded accounts, credentials, files and pointers through the
// process's connected sessions, and what a disconnect leaves behind.
#include "db/session.h"

#include <gtest/gtest.h>

#include <fstream>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/status.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

TEST(SessionTest, ConnectsReadsAndWritesThroughFiles) {
  TempAccount account;
  account.Put("CIVILAIDE", "00042", "DUPONT^Anne]Marie");
  auto session = account.Connect();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->Error(), 0);
  auto file = session->OpenFile("CIVILAIDE");
  ASSERT_NE(file, nullptr);
  file->SetKey("00042");
  EXPECT_EQ(file->ReadRecord(), 0);
  EXPECT_EQ(ToVisible(file->GetRecord().Text()), "DUPONT^Anne]Marie");

  DynArray rec = file->GetRecord();
  rec.ValueRef(2, 3) = "Zoé";
  file->SetRecord(rec);
  file->SetKey("00043");
  EXPECT_EQ(file->WriteRecord(), 0);
  EXPECT_EQ(account.Dump("CIVILAIDE"), "00042=DUPONT^Anne]Marie | 00043=DUPONT^Anne]Marie]Zoé");

  file->SetKey("00099");
  EXPECT_EQ(file->ReadRecord(), kRecordNotFound);
  EXPECT_EQ(file->GetRecord().Text(), "");
  EXPECT_EQ(file->DeleteRecord(), kRecordNotFound);
  file->SetKey("");
  EXPECT_EQ(file->ReadRecord(), kNoKey);
}

}  // namespace
}  // namespace cortevane::db
