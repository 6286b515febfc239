// Sample data: the same seed gives the same records, the records hold together the way the
// import window and the export read them, and a failed run leaves nothing behind.
#include "db/sample_data.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "db/dyn_array.h"
#include "db/query/evaluator.h"
#include "db/status.h"
#include "query_test_stores.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

const char* kFiles[] = {"CIVILAIDE", "RESPONSABLE", "COMMUNES",   "SECTEUR",   "SDPARAMEXPORT",
                        "COMPTEUR",  "AIDEDOSSIER", "AIDEINTERV", "AIDENOTES", "PLANNINGAIDE"};

std::map<std::string, std::string> Records(Store& store, std::string_view file) {
  std::map<std::string, std::string> out;
  store.Scan(file, [&](std::string_view k, std::string_view r) {
    out.emplace(k, r);
    return true;
  });
  return out;
}

TEST(SampleDataTest, SameSeedSameDataAnotherSeedOtherData) {
  TempAccount a(Flavour::kServer), b(Flavour::kServer), c(Flavour::kServer);
  sample::SeedSummary sa, sb, sc;
  ASSERT_EQ(sample::Seed(a.store(), {300, 7, {}}, &sa), kOk);
  ASSERT_EQ(sample::Seed(b.store(), {300, 7, {}}, &sb), kOk);
  ASSERT_EQ(sample::Seed(c.store(), {300, 8, {}}, &sc), kOk);
  for (const char* f : kFiles) EXPECT_EQ(a.Dump(f), b.Dump(f)) << f;
  std::vector<DictItem> da, db;
  a.store().Dictionary("CIVILAIDE", &da);
  b.store().Dictionary("CIVILAIDE", &db);
  EXPECT_EQ(da.size(), db.size());
  EXPECT_EQ(sa.records, sb.records);
  EXPECT_EQ(sa.codes, sb.codes);
  EXPECT_NE(a.Dump("CIVILAIDE"), c.Dump("CIVILAIDE"));
  EXPECT_EQ(a.Keys("CIVILAIDE"), c.Keys("CIVILAIDE"));  // the codes do not depend on the seed
}

TEST(SampleDataTest, RecordsHoldTogetherAsTheProgramReadsThem) {
  TempAccount account(Flavour::kServer);
  sample::SeedSummary summary;
  long progress_calls = 0, last_done = 0;
  sample::SeedOptions options{600, 3, [&](long done, long total) {
                                ++progress_calls;
                                last_done = done;
                                EXPECT_EQ(total, 600);
                              }};
  ASSERT_EQ(sample::Seed(account.store(), options, &summary), kOk);
  EXPECT_GT(progress_calls, 1);
  EXPECT_EQ(last_done, 600);
  EXPECT_EQ(summary.persons, 600);
  Store& store = account.store();

  auto persons = Records(store, "CIVILAIDE");
  auto responsables = Records(store, "RESPONSABLE");
  auto communes = Records(store, "COMMUNES");
  auto sectors = Records(store, "SECTEUR");
  ASSERT_EQ(persons.size(), 600u);
  EXPECT_EQ(persons.begin()->first, "00001");
  EXPECT_EQ(persons.rbegin()->first, "00600");
  for (const auto& [key, label] : responsables) EXPECT_NE(key.front(), '0') << key;
  for (const auto& [key, label] : communes) EXPECT_NE(key.front(), '0') << key;
  std::set<std::string> folders;
  for (const auto& [key, rec] : sectors) {
    EXPECT_EQ(key.size(), 3u);
    std::string folder = DynArray(rec).Field(22);
    EXPECT_TRUE(folder.starts_with("C:\\KESTA\\") && folder.ends_with("\\")) << folder;
    folders.insert(folder);
  }
  EXPECT_EQ(folders,
            std::set<std::string>(summary.sector_folders.begin(), summary.sector_folders.end()));

  long deleted = 0, in_sector_012 = 0, with_empty_parts = 0, accented = 0, two_phones = 0;
  for (const auto& [key, rec] : persons) {
    DynArray p(rec);
    EXPECT_TRUE(responsables.count(p.Field(39))) << key;
    EXPECT_TRUE(communes.count(p.Field(41))) << key;
    EXPECT_TRUE(sectors.count(p.Field(40).substr(0, 3))) << key;
    EXPECT_EQ(DynArray(communes[p.Field(41)]).Field(2), p.Field(10)) << key;  // postcode
    for (char ch : p.Field(2)) EXPECT_FALSE(ch >= 'a' && ch <= 'z') << key;   // upper case
    if (!p.Field(43).empty()) ++deleted;
    if (p.Field(40).starts_with("012")) ++in_sector_012;
    if (p.Field(5).empty() || p.Field(6).empty() || p.Field(9).empty()) ++with_empty_parts;
    if ((p.Field(2) + p.Field(3)).find('\xC3') != std::string::npos) ++accented;
    if (p.ValueCount(12) == 2) ++two_phones;
  }
  EXPECT_EQ(deleted, summary.deleted);
  EXPECT_GT(deleted, 0);
  EXPECT_GT(with_empty_parts, 300);
  EXPECT_GT(accented, 30);
  EXPECT_GT(two_phones, 100);

  // The sector search as the import window sends it finds exactly the persons of sector 012.
  DynArray req;
  req.SetField(1, "SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\"");
  req.SetField(2, "CIVILAIDE");
  req.SetField(3, "0");
  std::string result;
  ASSERT_EQ(query::Select(store, req.Text(), &result).status, kOk);
  EXPECT_EQ(DynArray(result).Count(), in_sector_012);
  EXPECT_GT(in_sector_012, 0);

  // Export parameters: the persons' file first, a several-records file, a file marked N, a
  // planning file; every one of them exists.
  DynArray aide(Records(store, "SDPARAMEXPORT")["AIDE"]);
  EXPECT_EQ(aide.Value(1, 1), "CIVILAIDE");
  bool several = false, marked_n = false;
  for (int f = 1; f <= aide.Count(); ++f) {
    EXPECT_TRUE(store.FileExists(aide.Value(f, 1))) << aide.Value(f, 1);
    several |= aide.Value(f, 3) == "SELECT";
    marked_n |= aide.Value(f, 4) == "N";
  }
  EXPECT_TRUE(several && marked_n);
  DynArray planning(Records(store, "SDPARAMEXPORT")["PLANNING"]);
  ASSERT_GE(planning.Count(), 1);
  EXPECT_TRUE(store.FileExists(planning.Value(1, 1)));
  EXPECT_TRUE(Records(store, "SDPARAMEXPORT").count("PARAMETRES"));
  EXPECT_EQ(DynArray(Records(store, "COMPTEUR")["999"]).Field(11), "00600");
  for (const auto& [key, rec] : Records(store, "AIDEINTERV"))
    EXPECT_TRUE(persons.count(key.substr(0, 5))) << key;

  // Every field holding data in an exported file has a plain name: the first item, in the
  // dictionary's order, that reads the whole field (what the conflict details show).
  std::string names;
  for (int f = 1; f <= aide.Count(); ++f) {
    const std::string file = aide.Value(f, 1);
    std::vector<DictItem> items;
    ASSERT_EQ(store.Dictionary(file, &items), kOk);
    std::map<int, std::string> named;
    for (const DictItem& item : items)
      if (item.field > 0 && item.first == 0) named.emplace(item.field, item.name);
    for (const auto& [key, rec] : Records(store, file)) {
      DynArray r(rec);
      for (int field = 1; field <= r.Count(); ++field)
        EXPECT_TRUE(r.Field(field).empty() || named.count(field)) << file << " " << field;
    }
    if (file == "CIVILAIDE") names = named[2] + " " + named[3] + " " + named[12] + " " + named[11];
  }
  EXPECT_EQ(names, "Nom Prenom Telephone Ville");
}

TEST(SampleDataTest, RefusesPersonsAlreadyThereAndAFailedRunLeavesNothing) {
  TempAccount account(Flavour::kServer);
  testing_stores::FailingStore failing(account.store(), 500);
  std::string message;
  EXPECT_EQ(sample::Seed(failing, {200, 1, {}}, nullptr, &message), kIoError);
  EXPECT_NE(message.find("cannot write record"), std::string::npos) << message;
  for (const char* f : kFiles) EXPECT_FALSE(account.store().FileExists(f)) << f;

  ASSERT_EQ(sample::Seed(account.store(), {20, 1, {}}, nullptr), kOk);
  const std::string before = account.Dump("CIVILAIDE");
  EXPECT_EQ(sample::Seed(account.store(), {20, 2, {}}, nullptr, &message), kFileExists);
  EXPECT_EQ(message, "file \"CIVILAIDE\" already holds 20 records; seed fills a fresh account");
  EXPECT_EQ(account.Dump("CIVILAIDE"), before);
}

}  // namespace
}  // namespace cortevane::db
