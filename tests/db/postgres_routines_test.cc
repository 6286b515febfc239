// The catalogued routines on an office base kept on PostgreSQL, checked against the embedded
// store: the same seed on both, the same sentences, the same results to the byte. The copy of
// persons runs from the PostgreSQL office base to an embedded laptop base, as in the field.
#include <gtest/gtest.h>

#include <memory>

#include "db/db_subroutine.h"
#include "db/dyn_array.h"
#include "db/postgres/postgres_store.h"
#include "db/sample_data.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "support/pg_server.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;
using test_support::TempFolder;

std::string Request(std::string_view sentence, std::string_view file, std::string_view wanted) {
  DynArray r;
  r.SetField(1, sentence);
  r.SetField(2, file);
  r.SetField(3, wanted);
  return r.Text();
}

int Select(Session& session, const std::string& request, std::string* result) {
  auto routine = session.Subroutine("DBA.SELECT", 3);
  routine->ResetArgs();
  routine->SetArg(0, "");
  routine->SetArg(1, request);
  int status = routine->Call();
  *result = status == kOk ? routine->GetArg(2) : "";
  return status;
}

class PostgresRoutinesTest : public ::testing::Test {
 protected:
  static constexpr long kPersons = 300;

  void SetUp() override {
    auto address = testing::NewPgAccount("routines", true);
    if (!address) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
    int status = -1;
    office_store_ = PostgresStore::Connect(*address, &status);
    ASSERT_EQ(status, kOk);
    ASSERT_EQ(sample::Seed(*office_store_, {kPersons, 7, {}}, nullptr), kOk);
    ASSERT_EQ(office_store_->CreateUser("TESTEUR", "secret-42"), kOk);

    office_.SetDataBaseType(2);
    office_.SetHostName(address->host);
    office_.SetAccountPath(address->account);
    office_.SetUserName("TESTEUR");
    office_.SetPassword("secret-42");
    ASSERT_EQ(office_.Connect(), kOk) << "the program's own way in, with the user's role";

    // The same seed in an embedded office base, the reference for every result.
    ASSERT_EQ(SqliteStore::Create(reference_folder_.path() / "BASE", true), kOk);
    std::shared_ptr<SqliteStore> reference;
    ASSERT_EQ(SqliteStore::Open(reference_folder_.path() / "BASE", &reference), kOk);
    ASSERT_EQ(sample::Seed(*reference, {kPersons, 7, {}}, nullptr), kOk);
    reference_.SetAccountPath((reference_folder_.path() / "BASE").string());
    reference_.SetHostName("localhost");
    reference_.AttachStore(reference);
  }

  std::shared_ptr<PostgresStore> office_store_;
  Session office_;
  TempFolder reference_folder_;
  Session reference_;
};

TEST_F(PostgresRoutinesTest, EverySentenceOfTheProgramGivesTheEmbeddedResult) {
  const std::string person_fields = "0 2 3 5 6 7 8 9 10 11 43";
  const std::vector<std::string> requests = {
      Request("SSELECT CIVILAIDE AVEC NomAide = \"MA]\" PAR NomAide PAR PrenomAide PAR CodeAide",
              "CIVILAIDE", person_fields),
      Request("SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"3\" PAR NomAide PAR "
              "PrenomAide PAR CodeAide",
              "CIVILAIDE", person_fields),
      Request("SSELECT CIVILAIDE AVEC 39 = \"2\" OR = \"5\" PAR CodeAide", "CIVILAIDE",
              person_fields),
      Request("SSELECT CIVILAIDE AVEC 41 = \"3\" PAR NomAide", "CIVILAIDE", person_fields),
      Request("SSELECT RESPONSABLE PAR 1", "RESPONSABLE", "0 1"),
      Request("SSELECT SECTEUR PAR 1", "SECTEUR", "0 1"),
      Request("SELECT CIVILAIDE AVEC @ID = \"00042\"", "CIVILAIDE", person_fields),
      Request("SSELECT AIDEINTERV AVEC @ID = \"00042]\"", "AIDEINTERV", "0"),
      Request("SSELECT CIVILAIDE AVEC 43 # \"\" PAR CodeAide", "CIVILAIDE", "0 43"),
  };
  for (const std::string& request : requests) {
    std::string on_office, on_reference;
    ASSERT_EQ(Select(reference_, request, &on_reference), kOk) << ToVisible(request);
    ASSERT_EQ(Select(office_, request, &on_office), kOk) << ToVisible(request);
    EXPECT_FALSE(on_reference.empty())
        << "a sentence that selects nothing proves little: " << ToVisible(request);
    EXPECT_TRUE(on_office == on_reference)
        << ToVisible(request) << "\noffice:    " << ToVisible(on_office).substr(0, 300)
        << "\nreference: " << ToVisible(on_reference).substr(0, 300);
  }
  std::string result;
  EXPECT_EQ(Select(office_, Request("SSELECT CIVILAIDE AVEC \"DUP", "CIVILAIDE", "0"), &result),
            kQuerySyntax);
  EXPECT_EQ(Select(office_, Request("SSELECT NOFILE", "NOFILE", "0"), &result), kQueryUnknownFile);
}

TEST_F(PostgresRoutinesTest, AWarmSearchIsOneRequestAndSeesAnotherConnectionsChanges) {
  auto* store = static_cast<PostgresStore*>(office_.store().get());
  const std::string search =
      Request("SSELECT CIVILAIDE AVEC NomAide = \"M]\" PAR NomAide PAR PrenomAide PAR CodeAide",
              "CIVILAIDE", "0 2 3 5 6 7 8 9 10 11 43");
  const std::string keys =
      Request("SELECT AIDEINTERV AVEC 0 = \"0004]\" OR = \"0012]\"", "AIDEINTERV", "0");
  std::string result, expected;
  for (const std::string& request : {search, keys}) {
    ASSERT_EQ(Select(office_, request, &result), kOk);  // the file and dictionary are known now
    const long long before = store->round_trips();
    ASSERT_EQ(Select(office_, request, &result), kOk);
    EXPECT_GT(DynArray(result).Count(), 1);
    // The statement that reads the records checks that the file and its dictionary are still
    // as known (another connection may have changed them).
    EXPECT_EQ(store->round_trips() - before, 1) << ToVisible(request);
  }

  // Another connection moves the surname item onto the first names: the next search reads
  // the new dictionary, as the embedded base does with the same change.
  const DictItem moved{"NomAide", 3, 0, false, true};
  ASSERT_EQ(office_store_->SetDictItem("CIVILAIDE", moved), kOk);
  ASSERT_EQ(reference_.store()->SetDictItem("CIVILAIDE", moved), kOk);
  ASSERT_EQ(Select(office_, search, &result), kOk);
  ASSERT_EQ(Select(reference_, search, &expected), kOk);
  EXPECT_FALSE(expected.empty());
  EXPECT_TRUE(result == expected) << ToVisible(result).substr(0, 200);

  // A file dropped by another connection is a file the sentence names in vain.
  ASSERT_EQ(office_store_->DropFile("AIDEINTERV"), kOk);
  EXPECT_EQ(Select(office_, keys, &result), kQueryUnknownFile);
}

TEST_F(PostgresRoutinesTest, ImportDonneesCopiesFromTheOfficeToAnEmbeddedLaptop) {
  TempAccount laptop(Flavour::kLaptop);
  auto laptop_session = laptop.Connect();
  ASSERT_NE(laptop_session, nullptr);
  auto routine = office_.Subroutine("IMPORTDONNEES", 3);
  routine->ResetArgs();
  routine->SetArg(0, "TESTEUR|localhost|" + laptop.Path() + "|" + office_.HostName() + "|" +
                         office_.AccountPath());
  routine->SetArg(1, FromVisible("00042^00007"));
  ASSERT_EQ(routine->Call(), kOk);

  // The laptop holds the persons exactly as the office has them, and the office keeps the
  // reference copies under the user's name.
  std::string office_record, copy;
  for (const char* key : {"00042", "00007"}) {
    ASSERT_EQ(office_store_->Read("CIVILAIDE", key, &office_record), kOk);
    EXPECT_EQ(db::FromVisible(laptop.Get("CIVILAIDE", key)), office_record) << key;
    ASSERT_EQ(office_store_->Read("CIVILAIDE_TESTEUR", key, &copy), kOk) << key;
    EXPECT_EQ(copy, office_record);
  }
  EXPECT_EQ(laptop.Keys("CIVILAIDE"), "00007 00042");

  // A second import onto the same laptop is refused and writes nothing.
  routine->SetArg(1, "00001");
  EXPECT_EQ(routine->Call(), kLaptopNotEmpty);
  EXPECT_EQ(laptop.Keys("CIVILAIDE"), "00007 00042");
  EXPECT_EQ(office_store_->Read("CIVILAIDE_TESTEUR", "00001", &copy), kRecordNotFound);
}

}  // namespace
}  // namespace cortevane::db
