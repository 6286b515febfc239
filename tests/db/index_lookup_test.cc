// Asking an index for several values at once, as `= "a" OR = "b"` sentences and the copy of
// several persons' records do: the same keys as one question per value, on every store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "db/status.h"
#include "store_suite.h"

namespace cortevane::db {
namespace {

std::string Joined(const std::vector<std::string>& keys) {
  std::string out;
  for (const auto& k : keys) out += (out.empty() ? "" : ",") + ToVisible(k);
  return out;
}

TEST_P(StoreTest, IndexLookupAnyGivesEveryMatchingKeyOnce) {
  ASSERT_EQ(store_->CreateFile("CIVILAIDE"), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"NomAide", 2, 0, false, true}), kOk);
  ASSERT_EQ(store_->SetDictItem("CIVILAIDE", {"CodeSecteurAide", 40, 3, true, true}), kOk);
  auto person = [&](const char* key, const std::string& names, const char* sector) {
    DynArray r;
    r.SetField(2, FromVisible(names));
    r.SetField(40, sector);
    ASSERT_EQ(store_->Write("CIVILAIDE", key, r.Text()), kOk);
  };
  person("00001", "DUPONT", "012");
  person("00002", "DUPUIS]MARTIN", "015");
  person("00003", "MARTIN", "12");
  person("00004", "LEGRAND", "120");
  person("00005", std::string("\xFF\xFF") + "X", "007");

  std::vector<std::string> keys;
  ASSERT_EQ(store_->IndexLookupAny("CIVILAIDE", "NomAide", {"DUP", "MAR"}, true, &keys), kOk);
  EXPECT_EQ(Joined(keys), "00001,00002,00003") << "00002 matches both, and comes once";
  ASSERT_EQ(
      store_->IndexLookupAny("CIVILAIDE", "CodeSecteurAide", {"12", "0015", "99"}, false, &keys),
      kOk);
  EXPECT_EQ(Joined(keys), "00001,00002,00003") << "right-justified: 12 = 012, 0015 = 015";
  ASSERT_EQ(store_->IndexLookupAny("CIVILAIDE", "NomAide", {"\xFF\xFF", "LEG"}, true, &keys), kOk);
  EXPECT_EQ(Joined(keys), "00004,00005") << "a prefix of 0xFF bytes has no upper bound";
  ASSERT_EQ(store_->IndexLookupAny("CIVILAIDE", "NomAide", {}, true, &keys), kOk);
  EXPECT_TRUE(keys.empty());
  EXPECT_EQ(store_->IndexLookupAny("CIVILAIDE", "Absent", {"A", "B"}, true, &keys),
            kQueryUnknownItem);

  // The same questions answered with the records, in key order, each once.
  auto scan = [&](const char* item, const std::vector<std::string>& values, bool prefix,
                  int stop_after = 100) {
    std::string seen;
    int n = 0;
    int s = store_->IndexScanAny(
        "CIVILAIDE", item, values, prefix, [&](std::string_view k, std::string_view r) {
          seen += std::string(k) + "=" + DynArray(std::string(r)).Field(40) + ";";
          return ++n < stop_after;
        });
    return s == kOk ? seen : "status " + std::to_string(s);
  };
  EXPECT_EQ(scan("NomAide", {"MAR", "DUP"}, true), "00001=012;00002=015;00003=12;");
  EXPECT_EQ(scan("CodeSecteurAide", {"0015", "12"}, false), "00001=012;00002=015;00003=12;");
  EXPECT_EQ(scan("NomAide", {"LEG", "\xFF\xFF"}, true), "00004=120;00005=007;");
  EXPECT_EQ(scan("NomAide", {"DUPONT"}, false), "00001=012;");
  EXPECT_EQ(scan("NomAide", {"DUP", "MAR"}, true, 1), "00001=012;");
  EXPECT_EQ(scan("NomAide", {}, true), "");
  EXPECT_EQ(scan("Absent", {"A", "B"}, true), "status " + std::to_string(kQueryUnknownItem));
}

TEST_P(StoreTest, ZeroIsIndexedAsZeroHoweverItIsWritten) {
  ASSERT_EQ(store_->CreateFile("NUMS"), kOk);
  ASSERT_EQ(store_->SetDictItem("NUMS", {"Num", 1, 0, true, true}), kOk);
  const char* zeros[] = {"0", "-0", "-.0", "-.00", "+0.0", "00.000", ".0"};
  for (const char* zero : zeros) ASSERT_EQ(store_->Write("NUMS", zero, zero), kOk);
  ASSERT_EQ(store_->Write("NUMS", "x", "-.5"), kOk);
  std::vector<std::string> keys;
  for (const char* asked : {"0", "-.0"}) {
    ASSERT_EQ(store_->IndexLookup("NUMS", "Num", asked, false, &keys), kOk);
    EXPECT_EQ(Joined(keys), "+0.0,-.0,-.00,-0,.0,0,00.000") << asked;
  }
  ASSERT_EQ(store_->IndexLookup("NUMS", "Num", "-0.50", false, &keys), kOk);
  EXPECT_EQ(Joined(keys), "x");
}

}  // namespace
}  // namespace cortevane::db
