// On seeded data, every sentence gives the same records in the same order whether the
// dictionaries' indexes are used or hidden: an index may only narrow what is read.
#include <gtest/gtest.h>

#include <cctype>
#include <random>

#include "db/dyn_array.h"
#include "db/query/evaluator.h"
#include "db/sample_data.h"
#include "db/status.h"
#include "query_test_stores.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

TEST(QueryIndexTest, IndexedAndUnindexedRunsAgreeOnSeededData) {
  TempAccount account(Flavour::kServer);
  ASSERT_EQ(sample::Seed(account.store(), {800, 11, {}}, nullptr), kOk);
  const std::string sort = " PAR NomAide PAR PrenomAide PAR CodeAide";
  const std::pair<std::string, std::string> sentences[] = {
      {"SSELECT CIVILAIDE AVEC NomAide = \"DUP]\"" + sort, "CIVILAIDE"},
      {"SSELECT CIVILAIDE AVEC NomAide = \"MARTIN\"" + sort, "CIVILAIDE"},
      {"SSELECT CIVILAIDE AVEC NomAide = \"LE ]\" AND PrenomAide = \"Jean]\"" + sort, "CIVILAIDE"},
      {"SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"3\"" + sort, "CIVILAIDE"},
      {"SSELECT CIVILAIDE AVEC CodeSecteurAide = \"012\"", "CIVILAIDE"},
      {"SSELECT CIVILAIDE  AVEC 39 = \"1\" OR = \"2\"" + sort, "CIVILAIDE"},
      {"SSELECT CIVILAIDE  AVEC 41 = \"4\"" + sort, "CIVILAIDE"},
      {"SSELECT CIVILAIDE AVEC PrenomAide = \"Marie]\" AND CodeSecteurAide = \"3\" OR NomAide = "
       "\"ROY\"" +
           sort,
       "CIVILAIDE"},
      {"SELECT AIDEINTERV AVEC 0 = \"00042]\"", "AIDEINTERV"},
      {"SELECT AIDEINTERV AVEC @ID = \"0004]\" OR = \"0012]\"", "AIDEINTERV"},
      {"SELECT PLANNINGAIDE AVEC 0 = \"00100*1\"", "PLANNINGAIDE"},
  };
  testing_stores::UnindexedStore unindexed(account.store());
  long nonempty = 0;
  for (const auto& [sentence, file] : sentences) {
    DynArray req;
    req.SetField(1, sentence);
    req.SetField(2, file);
    req.SetField(3, "0 2 3 40");
    std::string with, without;
    testing_stores::CountingStore counting(account.store());
    ASSERT_EQ(query::Select(counting, req.Text(), &with).status, kOk) << sentence;
    ASSERT_EQ(query::Select(unindexed, req.Text(), &without).status, kOk) << sentence;
    EXPECT_EQ(ToVisible(with), ToVisible(without)) << sentence;
    EXPECT_EQ(counting.scans, 0) << sentence;
    if (!with.empty()) ++nonempty;
  }
  EXPECT_GE(nonempty, 9);
}

TEST(QueryIndexTest, KeyRangesAndWholeReadsAgreeOnRandomPrefixes) {
  TempAccount account(Flavour::kServer);
  ASSERT_EQ(sample::Seed(account.store(), {300, 5, {}}, nullptr), kOk);
  std::vector<std::string> keys;
  ASSERT_EQ(account.store().Scan("AIDEINTERV",
                                 [&](std::string_view k, std::string_view) {
                                   keys.emplace_back(k);
                                   return true;
                                 }),
            kOk);
  ASSERT_GT(keys.size(), 100u);
  // Prefixes cut from real keys, some moved one byte on or lowered, so that ranges begin,
  // end and overlap where records are.
  std::mt19937 random(42);
  auto prefix = [&] {
    std::string p = keys[random() % keys.size()];
    p.resize(random() % (p.size() + 1));
    if (!p.empty() && random() % 4 == 0) p.back() = static_cast<char>(p.back() + 1);
    if (!p.empty() && random() % 8 == 0) p.back() = static_cast<char>(std::tolower(p.back()));
    return p;
  };
  testing_stores::UnindexedStore unindexed(account.store());
  long nonempty = 0;
  for (int round = 0; round < 150; ++round) {
    std::string sentence = std::string(round % 2 ? "SSELECT" : "SELECT") + " AIDEINTERV AVEC " +
                           (round % 3 ? "0" : "@ID") + " = \"" + prefix() + "]\"";
    bool exact = false;  // an exact key is read as a range, which it may not fill
    for (int more = random() % 3; more > 0; --more) {
      exact = exact || random() % 2;
      sentence += exact ? " OR 0 = \"" + prefix() + "\"" : " OR = \"" + prefix() + "]\"";
    }
    DynArray req;
    req.SetField(1, sentence);
    req.SetField(2, "AIDEINTERV");
    req.SetField(3, "0 1");
    std::string ranged, whole;
    testing_stores::CountingStore counting(account.store());
    ASSERT_EQ(query::Select(counting, req.Text(), &ranged).status, kOk) << sentence;
    ASSERT_EQ(query::Select(unindexed, req.Text(), &whole).status, kOk) << sentence;
    ASSERT_EQ(ToVisible(ranged), ToVisible(whole)) << sentence;
    EXPECT_EQ(counting.scans, 0) << sentence;
    if (!exact) {
      EXPECT_EQ(counting.ranged, DynArray(ranged).Count()) << sentence << ": only what it selects";
    }
    if (!ranged.empty()) ++nonempty;
  }
  EXPECT_GE(nonempty, 100);
}

}  // namespace
}  // namespace cortevane::db
