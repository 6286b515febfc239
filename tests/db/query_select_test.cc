// DBA.SELECT on an embedded account: every sentence the program sends, with the results it
// expects, the justification rules, index use, pointers, and the failures.
#include <gtest/gtest.h>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/dyn_array.h"
#include "db/query/evaluator.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"
#include "query_test_stores.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;
using testing_stores::CountingStore;

std::string Request(std::string_view sentence, std::string_view file, std::string_view wanted) {
  DynArray r;
  r.SetField(1, sentence);
  r.SetField(2, file);
  r.SetField(3, wanted);
  return r.Text();
}

// The result with visible marks, records joined by " | " so a failure reads line by line.
std::string Visible(const std::string& result) {
  std::string out;
  for (char c : result) {
    if (c == kFieldMark)
      out += " | ";
    else
      out += ToVisible(std::string(1, c));
  }
  return out;
}

class QuerySelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Persons: key, then fields 2 (surname), 3 (first name), 5 to 11 (address, city), 39
    // (responsable), 40 (sector code), 41 (commune), 43 (state).
    Person("00001", "DUPONT", "Anne", "12", "0121", "3", "");
    Person("00002", "DUPONT", "Alain", "15", "012", "4", "");
    Person("00010", "DUPUIS", "Zoé", "12", "0152", "3", "S");
    Person("00003", "MARTIN", "Hélène", "7", "015", "3", " ");
    Person("00004", "DURAND", "Luc", "15", "120", "5", "");
    Person("00005", "DUP", "Éric", "8", "0125", "5", "");
    Person("00006", "LEGRAND]DUPRÉ", "Marie]Thérèse", "9", "999", "5", "");
    Person("00007", "dupont", "Paul", "12", "12", "6", "");
    account_.SetDict("CIVILAIDE", {"NomAide", 2, 0, false, true});
    account_.SetDict("CIVILAIDE", {"PrenomAide", 3, 0, false, true});
    account_.SetDict("CIVILAIDE", {"CodeAide", 0, 0, true, false});
    account_.SetDict("CIVILAIDE", {"CodeSecteurAide", 40, 3, true, true});
    account_.SetDict("CIVILAIDE", {"RespAide", 39, 0, false, true});

    account_.Put("RESPONSABLE", "12", "MOREAU Julie");
    account_.Put("RESPONSABLE", "7", "BLANC Paul");
    account_.Put("RESPONSABLE", "15", "ANDRÉ Luc");
    account_.Put("COMMUNES", "3", "RENNES");
    account_.Put("COMMUNES", "10", "BRUZ");
    account_.Put("SECTEUR", "012", "Rennes Nord");
    account_.Put("SECTEUR", "015", "Bruz");
    account_.Put("SDEXPORTAIDES", "00010", "TESTEUR^7117^9:5");
    account_.Put("SDEXPORTAIDES", "00002", "MARTIN^7117^14:30");
    account_.Put("SDEXPORTAIDES", "00001", "TESTEUR^7117^14:30");
    account_.Put("AIDEINTERV", "00042", "a");
    account_.Put("AIDEINTERV", "00042*001", "b");
    account_.Put("AIDEINTERV", "00042*002", "c");
    account_.Put("AIDEINTERV", "00420*001", "d");
    account_.Put("AIDEINTERV", "00043*001", "e");
    account_.Put("AIDEINTERV", "0004", "f");
  }

  void Person(std::string_view key, std::string_view name, std::string_view first,
              std::string_view resp, std::string_view sector, std::string_view commune,
              std::string_view state) {
    std::string rec = "M.^" + std::string(name) + "^" + std::string(first) +
                      "^^Bât. A^^3^rue de l'Église^^35000^RENNES";
    for (int f = 12; f <= 38; ++f) rec += "^";
    rec += "^" + std::string(resp) + "^" + std::string(sector) + "^" + std::string(commune) + "^^" +
           std::string(state);
    account_.Put("CIVILAIDE", key, rec);
  }

  // Runs a request on the account's store; "error N: message" when it fails.
  std::string Select(std::string_view sentence, std::string_view file, std::string_view wanted,
                     Store* store = nullptr) {
    std::string result;
    query::QueryError e =
        query::Select(store ? *store : account_.store(), Request(sentence, file, wanted), &result);
    if (e.status != kOk) return "error " + std::to_string(e.status) + ": " + e.message;
    return Visible(result);
  }

  TempAccount account_{Flavour::kServer};
};

constexpr const char* kPersonFields = "0 2 3 5 6 7 8 9 10 11 43";
constexpr const char* kSort = " PAR NomAide PAR PrenomAide PAR CodeAide";

TEST_F(QuerySelectTest, NameSearchBeginsWithSortedByNameFirstNameCode) {
  EXPECT_EQ(Select(std::string("SSELECT CIVILAIDE AVEC NomAide = \"DUP]\"") + kSort, "CIVILAIDE",
                   kPersonFields),
            "00005]DUP]Éric]Bât. A]]3]rue de l'Église]]35000]RENNES] | "
            "00002]DUPONT]Alain]Bât. A]]3]rue de l'Église]]35000]RENNES] | "
            "00001]DUPONT]Anne]Bât. A]]3]rue de l'Église]]35000]RENNES] | "
            "00010]DUPUIS]Zoé]Bât. A]]3]rue de l'Église]]35000]RENNES]S | "
            "00006]LEGRAND\\DUPRÉ]Marie\\Thérèse]Bât. A]]3]rue de l'Église]]35000]RENNES]");
  // Any one value of a multivalued field may match; the whole field comes back as one value.
  EXPECT_EQ(Select(std::string("SSELECT CIVILAIDE AVEC NomAide = \"DUPR]\"") + kSort, "CIVILAIDE",
                   "0 2 3"),
            "00006]LEGRAND\\DUPRÉ]Marie\\Thérèse");
  EXPECT_EQ(Select("SSELECT CIVILAIDE AVEC NomAide = \"ZZ]\"", "CIVILAIDE", kPersonFields), "");
}

// A wanted field comes back as one value: each of its own value marks, first, last and
// doubled ones too, becomes a subvalue mark, and its subvalue marks stay.
TEST_F(QuerySelectTest, EveryValueMarkOfAWantedFieldIsLowered) {
  account_.Put("NOTES", "1", "]A]]B]^x\\y]z^^]");
  account_.Put("NOTES", "2", "plain");
  EXPECT_EQ(Select("SSELECT NOTES", "NOTES", "0 1 2 3 4 9"),
            "1]\\A\\\\B\\]x\\y\\z]]\\] | 2]plain]]]]");
}

TEST_F(QuerySelectTest, CriteriaSearchesOfResponsableSectorAndCommune) {
  EXPECT_EQ(Select(std::string("SSELECT CIVILAIDE  AVEC 39 = \"12\" OR = \"15\"") + kSort,
                   "CIVILAIDE", "0 39"),
            "00002]15 | 00001]12 | 00010]12 | 00004]15 | 00007]12");
  // Sector: the first 3 characters of field 40, right-justified, so "12" finds 012x but not
  // 120, and 12 (shorter than 3) itself.
  EXPECT_EQ(
      Select(std::string("SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"15\"") + kSort,
             "CIVILAIDE", "0 40"),
      "00005]0125 | 00002]012 | 00001]0121 | 00010]0152 | 00003]015 | 00007]12");
  EXPECT_EQ(Select(std::string("SSELECT CIVILAIDE  AVEC 41 = \"3\"") + kSort, "CIVILAIDE", "0"),
            "00001 | 00010 | 00003");
}

TEST_F(QuerySelectTest, CriteriaListsRegisterAndExportSelections) {
  EXPECT_EQ(Select("SELECT RESPONSABLE PAR 1", "RESPONSABLE", "0 1"),
            "15]ANDRÉ Luc | 7]BLANC Paul | 12]MOREAU Julie");
  EXPECT_EQ(Select("SELECT COMMUNES PAR 1 ", "COMMUNES", "0 1"), "10]BRUZ | 3]RENNES");
  EXPECT_EQ(Select("SELECT SECTEUR PAR 1", "SECTEUR", "0 1"), "015]Bruz | 012]Rennes Nord");
  EXPECT_EQ(Select("SSELECT SDEXPORTAIDES PAR @ID", "SDEXPORTAIDES", "0 1"),
            "00001]TESTEUR | 00002]MARTIN | 00010]TESTEUR");
  EXPECT_EQ(Select("SELECT SDEXPORTAIDES AVEC 1 = \"TESTEUR\"", "SDEXPORTAIDES", "0"),
            "00001 | 00010");
  EXPECT_EQ(Select("SELECT CIVILAIDE", "CIVILAIDE", "0"),
            "00001 | 00002 | 00003 | 00004 | 00005 | 00006 | 00007 | 00010");
  // A person's records of a several-records file: keys beginning with the code, the code
  // itself included, nothing that merely contains it.
  EXPECT_EQ(Select("SELECT AIDEINTERV AVEC 0 = \"00042]\"", "AIDEINTERV", "0"),
            "00042 | 00042*001 | 00042*002");
}

TEST_F(QuerySelectTest, JustificationDecidesComparisonAndOrder) {
  account_.Put("NUMS", "a", "10");
  account_.Put("NUMS", "b", "2");
  account_.Put("NUMS", "c", "012");
  account_.Put("NUMS", "d", "12");
  account_.Put("NUMS", "e", "ABC");
  account_.Put("NUMS", "f", "");
  account_.Put("NUMS", "g", "abc");
  account_.SetDict("NUMS", {"Num", 1, 0, true, false});
  account_.SetDict("NUMS", {"Txt", 1, 0, false, false});
  EXPECT_EQ(Select("SSELECT NUMS PAR Num", "NUMS", "1"), " | 2 | 10 | 012 | 12 | ABC | abc");
  EXPECT_EQ(Select("SSELECT NUMS PAR Txt", "NUMS", "1"), " | 012 | 10 | 12 | 2 | ABC | abc");
  EXPECT_EQ(Select("SSELECT NUMS PAR.DSND Num", "NUMS", "1"), "abc | ABC | 012 | 12 | 10 | 2 | ");
  EXPECT_EQ(Select("SSELECT NUMS AVEC Num = \"12\"", "NUMS", "0"), "c | d");
  EXPECT_EQ(Select("SSELECT NUMS AVEC Txt = \"12\"", "NUMS", "0"), "d");
  EXPECT_EQ(Select("SSELECT NUMS AVEC 1 = \"12\"", "NUMS", "0"), "d");
  EXPECT_EQ(Select("SSELECT NUMS AVEC 1 = \"abc\"", "NUMS", "0"), "g");  // case counts
  EXPECT_EQ(Select("SSELECT NUMS AVEC Num > \"9\" AND Num < \"100\"", "NUMS", "1"),
            "10 | 012 | 12");
  EXPECT_EQ(Select("SSELECT NUMS AVEC Num = \"1]\"", "NUMS", "1"), "10 | 12");  // text prefix
  EXPECT_EQ(Select("SSELECT NUMS AVEC 1 # \"\" AND 1 # \"[C\"", "NUMS", "0"), "a | b | c | d | g");
  EXPECT_EQ(Select("SSELECT NUMS AVEC 1", "NUMS", "0"), "a | b | c | d | e | g");
  // Equal sort values keep key order under SSELECT, numbers equal in value too.
  account_.Put("NUMS", "0", "2");
  EXPECT_EQ(Select("SSELECT NUMS AVEC Num = \"2\" PAR Num", "NUMS", "0"), "0 | b");
  account_.Put("NUMS", "h", "0012");
  EXPECT_EQ(Select("SSELECT NUMS AVEC Num = \"12\" PAR Num", "NUMS", "0 1"),
            "c]012 | d]12 | h]0012");
}

TEST_F(QuerySelectTest, IndexedTestsReadOnlyTheMatchingRecords) {
  {
    CountingStore counting(account_.store());
    EXPECT_EQ(Select(std::string("SSELECT CIVILAIDE AVEC NomAide = \"DUP]\"") + kSort, "CIVILAIDE",
                     "0", &counting),
              "00005 | 00002 | 00001 | 00010 | 00006");
    EXPECT_EQ(counting.scans, 0);
    EXPECT_EQ(counting.lookups, 1);
    EXPECT_EQ(counting.reads, 5);
  }
  {
    CountingStore counting(account_.store());
    Select("SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"15\"", "CIVILAIDE", "0",
           &counting);
    EXPECT_EQ(counting.scans, 0);
    EXPECT_EQ(counting.lookups, 2);
  }
  {
    // A bare field number whose whole field a text item indexes uses that index.
    CountingStore counting(account_.store());
    EXPECT_EQ(
        Select("SSELECT CIVILAIDE AVEC 39 = \"12\" AND 43 = \"S\"", "CIVILAIDE", "0", &counting),
        "00010");
    EXPECT_EQ(counting.scans, 0);
    EXPECT_EQ(counting.reads, 3);
  }
  {
    // An exact key is one read.
    CountingStore counting(account_.store());
    EXPECT_EQ(Select("SELECT CIVILAIDE AVEC @ID = \"00003\"", "CIVILAIDE", "0 2", &counting),
              "00003]MARTIN");
    EXPECT_EQ(counting.scans, 0);
    EXPECT_EQ(counting.reads, 1);
  }
  {
    // Without an indexed test in every branch of an OR, the file is read once, and no index
    // is consulted for nothing.
    CountingStore counting(account_.store());
    EXPECT_EQ(Select("SSELECT CIVILAIDE AVEC NomAide = \"DUPU]\" OR 43 = \"S\"", "CIVILAIDE", "0",
                     &counting),
              "00010");
    EXPECT_EQ(counting.scans, 1);
    EXPECT_EQ(counting.lookups, 0);
  }
}

TEST_F(QuerySelectTest, BeginsWithOnTheKeyReadsOnlyItsKeyRanges) {
  struct Case {
    const char* sentence;
    const char* expected;
    int ranged;  // records read from the key ranges, without an index on the key
  };
  const Case cases[] = {
      {"SELECT AIDEINTERV AVEC 0 = \"00042]\"", "00042 | 00042*001 | 00042*002", 3},
      {"SELECT AIDEINTERV AVEC @ID = \"00042*00]\" OR = \"0004]\"",
       "0004 | 00042 | 00042*001 | 00042*002 | 00043*001", 5},
      {"SELECT AIDEINTERV AVEC @ID = \"00042*00]\"", "00042*001 | 00042*002", 2},
      // An exact key among begins-with tests is a range too, narrowed by the whole test.
      {"SELECT AIDEINTERV AVEC 0 = \"0004\" OR 0 = \"0041]\"", "0004", 5},
      {"SELECT AIDEINTERV AVEC 0 = \"00042]\" AND 1 = \"b\"", "00042*001", 3},
      {"SELECT AIDEINTERV AVEC 0 = \"0004\"", "0004", 0},
      {"SELECT AIDEINTERV AVEC 0 = \"0041]\"", "", 0},
  };
  // The same without and with an index on the first 5 characters of the key.
  for (bool cut_index : {false, true}) {
    if (cut_index) account_.SetDict("AIDEINTERV", {"CleAide", 0, 5, false, true});
    for (const Case& c : cases) {
      CountingStore counting(account_.store());
      EXPECT_EQ(Select(c.sentence, "AIDEINTERV", "0", &counting), c.expected) << c.sentence;
      EXPECT_EQ(counting.scans, 0) << c.sentence;
      if (!cut_index) {
        EXPECT_EQ(counting.ranged, c.ranged) << c.sentence;
      }
    }
  }
}

TEST_F(QuerySelectTest, IndexStaysRightThroughWritesDeletesAndEmptyFile) {
  const std::string q = std::string("SSELECT CIVILAIDE AVEC NomAide = \"DUPON]\"") + kSort;
  auto session = account_.Connect();
  ASSERT_TRUE(session);
  auto file = session->OpenFile("CIVILAIDE");
  ASSERT_TRUE(file);
  file->SetKey("00002");
  ASSERT_EQ(file->ReadRecord(), kOk);
  DynArray rec = file->GetRecord();
  rec.SetField(2, "BERNARD");  // renamed: must leave the DUPON index entries
  file->SetRecord(rec);
  ASSERT_EQ(file->WriteRecord(), kOk);
  file->SetKey("00099");
  rec.SetField(2, "DUPONTEL");
  file->SetRecord(rec);
  ASSERT_EQ(file->WriteRecord(), kOk);
  file->SetKey("00001");
  ASSERT_EQ(file->DeleteRecord(), kOk);
  EXPECT_EQ(Select(q, "CIVILAIDE", "0 2"), "00099]DUPONTEL");
  ASSERT_EQ(file->EmptyFile(), kOk);
  EXPECT_EQ(Select(q, "CIVILAIDE", "0"), "");
}

TEST_F(QuerySelectTest, FailuresHaveAStatusOfTheirOwn) {
  EXPECT_EQ(Select("SELECT NOFILE", "NOFILE", "0"), "error 33004: file \"NOFILE\" does not exist");
  EXPECT_EQ(Select("SELECT CIVILAIDE PAR NomAid", "CIVILAIDE", "0"),
            "error 33005: item \"NomAid\" is not in the dictionary of \"CIVILAIDE\"");
  EXPECT_EQ(Select("SELECT CIVILAIDE AVEC Foo = \"1\"", "CIVILAIDE", "0"),
            "error 33005: item \"Foo\" is not in the dictionary of \"CIVILAIDE\"");
  EXPECT_EQ(Select("SELECT CIVILAIDE AVEC", "CIVILAIDE", "0"),
            "error 33003: unexpected end of sentence: expected an item (a field number, @ID or a "
            "dictionary name)");
  EXPECT_EQ(Select("SELECT CIVILAIDE", "CIVILAIDE", "0 x"),
            "error 33002: the wanted fields \"0 x\" are not field numbers separated by blanks");
  EXPECT_EQ(Select("SELECT CIVILAIDE", "CIVILAIDE", ""),
            "error 33002: the wanted fields \"\" are not field numbers separated by blanks");
  EXPECT_EQ(Select("SELECT CIVILAIDE", "SECTEUR", "0"),
            "error 33002: the sentence names the file \"CIVILAIDE\" but the request names "
            "\"SECTEUR\"");
}

TEST_F(QuerySelectTest, ThroughASessionAndAcrossAFilePointer) {
  TempAccount laptop(Flavour::kLaptop);
  laptop.SetPointer("SDEXPORTAIDES", "localhost", account_.Path(), "SDEXPORTAIDES");
  auto on_laptop = laptop.Connect();
  ASSERT_TRUE(on_laptop);
  const std::string req =
      Request("SELECT SDEXPORTAIDES AVEC 1 = \"TESTEUR\"", "SDEXPORTAIDES", "0");

  auto call = [&](Session& s, std::string_view routine, std::string* out) {
    auto sub = s.Subroutine(routine, 3);
    sub->ResetArgs();
    sub->SetArg(0, "");
    sub->SetArg(1, req);
    int st = sub->Call();
    EXPECT_EQ(st, sub->Error());
    *out = sub->GetArg(2);
    return st;
  };
  std::string out;
  // Without a session on the server account the pointer leads nowhere.
  EXPECT_EQ(call(*on_laptop, "DBA.SELECT", &out), kPointerTargetAbsent);
  {
    auto on_server = account_.Connect();
    ASSERT_TRUE(on_server);
    ASSERT_EQ(call(*on_laptop, "DBA.SELECT", &out), kOk);
    EXPECT_EQ(Visible(out), "00001 | 00010");
    ASSERT_EQ(call(*on_server, "DBA.SELECT", &out), kOk);
    EXPECT_EQ(Visible(out), "00001 | 00010");
  }
  EXPECT_EQ(call(*on_laptop, "DBA.SELECT", &out), kPointerTargetAbsent);
  EXPECT_EQ(call(*on_laptop, "IMPORTDONNEES", &out), kNoSuchRoutine);
}

}  // namespace
}  // namespace cortevane::db
