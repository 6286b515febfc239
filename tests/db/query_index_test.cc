// On seeded data, every sentence gives the same records in the same order whether the
// dictionaries' indexes are used or hidden: an index may only narrow what is read.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace cortevane::db
