// Input nobody should send, sent anyway: records of several megabytes, hostile names in every
// place a name goes, on every store. Each gives a clear status or works; nothing is executed
// and nothing already stored changes.
#include <gtest/gtest.h>

#include <string>

#include "db/dyn_array.h"
#include "db/status.h"
#include "store_suite.h"

namespace cortevane::db {
namespace {

std::string BigRecord(size_t fields, size_t width) {
  DynArray a;
  for (size_t f = 1; f <= fields; ++f) {
    std::string value(width, static_cast<char>('A' + f % 26));
    a.SetValue(static_cast<int>(f), 1, value);
    a.SetValue(static_cast<int>(f), 2, "Élodie");
  }
  return a.Text();
}

TEST_P(StoreTest, RecordsOfSeveralMegabytesAreKeptWholeAndIndexed) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  const std::string big = BigRecord(40, 150'000);  // ~6 MB
  ASSERT_GT(big.size(), 5'000'000u);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00001", big), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00002", "small"), kOk);
  std::string back;
  ASSERT_EQ(store_->Read("CIVILAIDE", "00001", &back), kOk);
  EXPECT_TRUE(back == big) << "the record came back changed (" << back.size() << " bytes)";
  std::vector<std::string> keys;
  ASSERT_EQ(store_->IndexLookup("CIVILAIDE", "NomAide", "Élodie", false, &keys), kOk);
  EXPECT_EQ(keys, std::vector<std::string>{"00001"});
  auto other = account_->Open();
  ASSERT_EQ(other->Read("CIVILAIDE", "00002", &back), kOk);
  EXPECT_EQ(back, "small");
}

TEST_P(StoreTest, HostileNamesInPointersDictionariesAndRoutinesAreRefused) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->Write("CIVILAIDE", "00042", "DUPONT"), kOk);
  const std::string hostile[] = {"X\"; DROP TABLE \"f_civilaide\"; --", "A;B", "A'B",
                                 std::string("A\nB"), "A" + std::string(1, kValueMark)};
  for (const std::string& name : hostile) {
    EXPECT_EQ(store_->SetPointer(name, {"h", "/a", "CIVILAIDE"}), kBadName) << name;
    EXPECT_EQ(store_->SetPointer("OK", {"h", "/a", name}), kBadName) << name;
    EXPECT_NE(store_->SetDictItem("CIVILAIDE", {name, 2, 0, false, true}), kOk) << name;
    EXPECT_NE(store_->SetDictItem(name, {"NomAide", 2, 0, false, true}), kOk) << name;
    long long count = 0;
    EXPECT_NE(store_->CountRecords(name, &count), kOk) << name;
    EXPECT_NE(store_->Clear(name), kOk) << name;
    EXPECT_FALSE(store_->FileExists(name)) << name;
  }
  std::string back;
  ASSERT_EQ(store_->Read("CIVILAIDE", "00042", &back), kOk);
  EXPECT_EQ(back, "DUPONT");
}

TEST_P(StoreTest, KeysAreBytesNotSql) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  const std::string keys[] = {"'; DELETE FROM f_f; --",   "\"", std::string("\0k", 2),
                              std::string(1, kFieldMark), "%",  "_"};
  for (const std::string& key : keys) ASSERT_EQ(store_->Write("F", key, "v" + key), kOk);
  long long count = 0;
  ASSERT_EQ(store_->CountRecords("F", &count), kOk);
  EXPECT_EQ(count, 6);
  for (const std::string& key : keys) {
    std::string back;
    ASSERT_EQ(store_->Read("F", key, &back), kOk);
    EXPECT_EQ(back, "v" + key);
  }
  EXPECT_EQ(store_->Reserve("F", "'; SELECT pg_sleep(10); --", 100), kOk);
  EXPECT_EQ(store_->Free("F", "'; SELECT pg_sleep(10); --"), kOk);
}

// One rule on both stores for what one of them used to refuse and the other to keep: a record
// beyond the limit, the empty key, and names that share a table once folded.
TEST_P(StoreTest, BothStoresRefuseTheSameRecordsKeysAndNames) {
  ASSERT_EQ(store_->CreateFile("F"), kOk);
  const std::string huge(kMaxRecordBytes + 1, 'x');
  EXPECT_EQ(store_->Write("F", "1", huge), kRecordTooLarge);
  ASSERT_EQ(store_->Begin(), kOk);
  EXPECT_EQ(store_->Write("F", "1", huge), kRecordTooLarge);
  ASSERT_EQ(store_->Commit(), kOk);
  long long count = -1;
  ASSERT_EQ(store_->CountRecords("F", &count), kOk);
  EXPECT_EQ(count, 0);

  std::string record;
  EXPECT_EQ(store_->Read("F", "", &record), kNoKey);
  EXPECT_EQ(store_->Write("F", "", "x"), kNoKey);
  EXPECT_EQ(store_->Delete("F", ""), kNoKey);
  EXPECT_EQ(store_->Reserve("F", "", 100), kNoKey);

  for (size_t length : {62u, 63u}) {
    const std::string stem(length - 2, 'N');
    ASSERT_EQ(store_->CreateFile(stem + ".B"), kOk) << length;
    EXPECT_EQ(store_->CreateFile(stem + "_B"), kFileExists) << length;
    EXPECT_EQ(store_->CreateFile(stem + ".b"), kFileExists) << length;
    EXPECT_FALSE(store_->FileExists(stem + "_B")) << length;
  }
}

}  // namespace
}  // namespace cortevane::db
