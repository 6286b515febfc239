// The conflict answers on both office stores: a record the office changes while the person's
// question waits is never overwritten unseen (the person's transaction finds another version
// than the one decided on, writes nothing, and the person is read and asked again; the change
// made through another connection), and changes of different fields are merged.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "db/postgres/postgres_store.h"
#include "db/sqlite/sqlite_store.h"
#include "export_fixture.h"
#include "support/pg_server.h"
#include "ui/ui.h"

namespace cortevane::exporting::testing {
namespace {

namespace fs = std::filesystem;

class OfficeChangeTest : public ExportTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    if (!GetParam()) {
      std::shared_ptr<db::SqliteStore> other;
      ASSERT_EQ(db::SqliteStore::Open(root_ / "server", &other), db::kOk);
      other_ = other;
      return;
    }
    address_ = cortevane::testing::NewPgAccount("officechange");
    if (!address_) GTEST_SKIP() << "no PostgreSQL test server";
    int status = db::kOk;
    auto store = db::PostgresStore::Connect(*address_, &status);
    ASSERT_EQ(status, db::kOk);
    // The export works on the PostgreSQL office from now on: the fixture's server session
    // is attached to it, and the laptop's register pointer leads there.
    server_.Disconnect();
    server_.SetHostName(address_->host);
    server_.SetAccountPath(address_->account);
    server_.AttachStore(store);
    ASSERT_NO_FATAL_FAILURE(SetUpServer(server_, user_));
    ASSERT_EQ(laptop_.store()->SetPointer("SDEXPORTAIDES",
                                          {address_->host, address_->account, "SDEXPORTAIDES"}),
              db::kOk);
    other_ = db::PostgresStore::Connect(*address_, &status);
    ASSERT_EQ(status, db::kOk);
  }
  void TearDown() override {
    other_.reset();
    ExportTest::TearDown();
    if (address_) db::PostgresStore::DropAccount(*address_);
  }

  // Each question box, before it is answered, lets `change` act on the office through the
  // other connection (its argument: the number of the question, from 1).
  void WhileAsked(std::function<void(int)> change) {
    ui_.on_box = [this, change, asked = 0](const ui::ScriptedUi::Box& box) mutable {
      if (box.text.starts_with("Les informations de ")) change(++asked);
    };
  }
  void OfficeWrites(std::string_view file, std::string_view key, std::string_view visible) {
    ASSERT_EQ(other_->Write(file, key, db::FromVisible(visible)), db::kOk);
  }
  std::string Journal() const {
    std::stringstream text;
    for (const auto& entry : fs::directory_iterator(drive_c_ / "KESTA" / "JOURNAL"))
      text << std::ifstream(entry.path()).rdbuf();
    return text.str();
  }

  std::optional<db::PgAddress> address_;
  std::shared_ptr<db::Store> other_;
};

TEST_P(OfficeChangeTest, ARecordChangedWhileAskedIsAskedAgainWithItsNewVersion) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne", "0123", "bureau 1"));
  Put(laptop_, "NOTES", "00042C", "nouvelle note");  // absent on the office when decided
  WhileAsked([&](int question) {
    if (question != 1) return;
    OfficeWrites("CIVILAIDE", "00042", Person("DUPONT", "Anne", "0123", "bureau 2"));
    OfficeWrites("NOTES", "00042C", "note du bureau");
  });
  // Yes to the question on the version read first; then, asked again with what the office
  // now holds, No to both questions.
  Run({ui::kAnswerYes, ui::kAnswerNo, ui::kAnswerNo});

  ASSERT_EQ(ui_.boxes().size(), 5u) << Boxes();
  EXPECT_NE(ui_.boxes()[1].details.find("bureau 1"), std::string::npos);
  EXPECT_NE(ui_.boxes()[2].details.find("bureau 2"), std::string::npos);
  EXPECT_NE(ui_.boxes()[3].text.find("les notes"), std::string::npos);
  EXPECT_EQ(LastBox().rfind(kFinalText, 0), 0u) << LastBox();
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne", "0123", "bureau 2"));
  EXPECT_EQ(Get(server_, "NOTES", "00042C"), "note du bureau");
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  EXPECT_NE(Journal().find("CIVILAIDE 00042 a changé sur le serveur depuis sa lecture : rien "
                           "n'est écrit, l'aidé est relu et ses questions reposées (essai 2)"),
            std::string::npos)
      << Journal();
  EXPECT_NE(Journal().find("Valeurs du portable non envoyées :"), std::string::npos);
  EXPECT_NE(Journal().find("Champ 3 : Anne-Marie"), std::string::npos);
  EXPECT_NE(Journal().find("Champ 1 : nouvelle note"), std::string::npos);
}

TEST_P(OfficeChangeTest, AnOfficeThatKeepsChangingStopsTheExportWithNothingOfThePerson) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne", "0123", "bureau 0"));
  Put(laptop_, "BUDGET", "00042", "150");  // written without a question, if ever
  WhileAsked([&](int question) {
    OfficeWrites("CIVILAIDE", "00042",
                 Person("DUPONT", "Anne", "0123", "bureau " + std::to_string(question)));
  });
  Run({ui::kAnswerYes, ui::kAnswerYes, ui::kAnswerYes, ui::kAnswerYes});

  EXPECT_EQ(ui_.boxes().size(), 6u) << Boxes();
  EXPECT_NE(LastBox().find("L'aidé 00042 - DUPONT Anne-Marie n'a pas pu être exporté"),
            std::string::npos)
      << LastBox();
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne", "0123", "bureau 4"));
  EXPECT_EQ(Get(server_, "BUDGET", "00042"), "-");
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00042=ALICE^20000^10:5");
  EXPECT_EQ(Get(laptop_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne-Marie", "0123"));
}

// Fusionner answers one record; Oui still accepts the person's later conflicts as the laptop's,
// mergeable or not. The last box sums the run up.
TEST_P(OfficeChangeTest, DisjointChangesAreMergedOnRequest) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne", "0124"));
  for (const char* key : {"00042A", "00042B"}) {
    ImportedNote(key, "a^b");
    Put(server_, "NOTES", key, "A^b");
    Put(laptop_, "NOTES", key, "a^B");
  }
  Run({ui::kAnswerMerge, ui::kAnswerYes});

  ASSERT_EQ(ui_.boxes().size(), 4u) << Boxes();
  EXPECT_EQ(ui_.boxes()[1].style, ui::kYesNo + ui::kMergeButton + ui::kQuestion);
  EXPECT_NE(ui_.boxes()[1].details.find("Champ 3, modifié sur le portable"), std::string::npos)
      << ui_.boxes()[1].details;
  EXPECT_NE(ui_.boxes()[1].details.find("Champ 40, modifié sur le serveur"), std::string::npos);
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne-Marie", "0124"));
  EXPECT_EQ(Dump(server_, "NOTES"), "00042A=a^B | 00042B=a^B");
  EXPECT_NE(Journal().find("CIVILAIDE : 1 enregistrement écrit (00042 fusionné)"),
            std::string::npos)
      << Journal();
  const std::string summary =
      "\r\n1 aidé envoyé, 2 questions dont 1 fusion, aucun nouveau code ; "
      "journal : C:\\KESTA\\JOURNAL\\";
  EXPECT_NE(ui_.boxes().back().text.find(summary), std::string::npos) << ui_.boxes().back().text;
  EXPECT_EQ(export_->Bilan().merges, 1);
}

// The next persons' office versions are read together, before the first of them is asked: a
// later person's record that the office changes meanwhile is caught by that person's write,
// read again and asked about, never overwritten.
TEST_P(OfficeChangeTest, AVersionReadAheadThatTheOfficeChangesIsCaughtByItsWrite) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne", "0124"));
  Imported("00043", Person("MARTIN", "Paul", "0123"));
  Put(laptop_, "CIVILAIDE", "00043", Person("MARTIN", "Paul", "0125"));  // laptop only, so far
  WhileAsked([&](int question) {
    if (question == 1) OfficeWrites("CIVILAIDE", "00043", Person("MARTIN", "Paul", "0126"));
  });
  Run({ui::kAnswerYes, ui::kAnswerNo});

  ASSERT_EQ(ui_.boxes().size(), 4u) << Boxes();
  EXPECT_NE(ui_.boxes()[2].text.find("MARTIN"), std::string::npos) << Boxes();
  EXPECT_NE(ui_.boxes()[2].details.find("0126"), std::string::npos) << ui_.boxes()[2].details;
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne-Marie", "0123"));
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00043"), Person("MARTIN", "Paul", "0126"));
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  EXPECT_NE(Journal().find("CIVILAIDE 00043 a changé sur le serveur depuis sa lecture"),
            std::string::npos)
      << Journal();
}

// Over a PostgreSQL office, a person without a question costs one request: its reads came
// with its batch's, a request a file and side for the whole batch.
TEST_P(OfficeChangeTest, APersonWithoutAQuestionIsOneRequestToTheOffice) {
  if (!GetParam()) GTEST_SKIP() << "counted on the PostgreSQL office";
  constexpr int kPersons = 12;
  for (int p = 0; p < kPersons; ++p) {
    const std::string code = "000" + std::to_string(10 + p);
    Imported(code, Person("NOM" + code, "Prénom", "0123"));
    ImportedNote(code + "A", "note");
    if (p % 2 == 0) Put(laptop_, "CIVILAIDE", code, Person("NOM" + code, "Changé", "0123"));
    if (p % 3 == 0) Put(laptop_, "NOTES", code + "B", "nouvelle note");
  }
  auto* store = static_cast<db::PostgresStore*>(server_.store().get());
  long long first = -1, last = -1;
  ui_.on_progress = [&](std::string_view text) {
    if (text == "Aidé 1 sur " + std::to_string(kPersons)) first = store->round_trips();
    if (text == "Aidé " + std::to_string(kPersons) + " sur " + std::to_string(kPersons))
      last = store->round_trips();
  };
  Run();

  EXPECT_EQ(LastBox().rfind(kFinalText, 0), 0u) << LastBox();
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  EXPECT_EQ(Get(server_, "NOTES", "00010B"), "nouvelle note");
  ASSERT_GE(first, 0);
  EXPECT_EQ(last - first, kPersons - 1) << "requests of persons 1 to " << kPersons - 1;
}

// New codes while another laptop takes codes too: one taken elsewhere after this export read
// the counter is never given again, whether the code comes in one request (office server) or
// under the reservation.
TEST_P(OfficeChangeTest, ANewPersonsCodeFollowsCodesTakenElsewhereMeanwhile) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne", "0123", "bureau"));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Un", "0123"));
  Put(laptop_, "CIVILAIDE", "00119", Person("NOUVEAU", "Deux", "0123"));
  WhileAsked([&](int) { OfficeWrites("COMPTEUR", "999", Counter("00160")); });
  Run({ui::kAnswerYes});

  EXPECT_EQ(LastBox().rfind(kFinalText, 0), 0u) << LastBox();
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00162"));
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00161"), Person("NOUVEAU", "Un", "0123"));
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00162"), Person("NOUVEAU", "Deux", "0123"));
}

// The export's own requests to a PostgreSQL office besides the persons': its start (files
// looked up together, parameters and counters), a new person's code in one request, and its
// end (the register checked, the reference copies emptied together).
TEST_P(OfficeChangeTest, StartEndAndNewCodesCostFewRequests) {
  for (const char* code : {"00010", "00011", "00012"}) {
    Imported(code, Person(std::string("NOM") + code, "Prénom", "0123"));
    ImportedNote(std::string(code) + "A", "note");
  }
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Un", "0123"));
  Put(laptop_, "CIVILAIDE", "00119", Person("NOUVEAU", "Deux", "0123"));
  auto* store = dynamic_cast<db::PostgresStore*>(server_.store().get());
  const long long before = store != nullptr ? store->round_trips() : 0;
  Run();
  const long long requests = store != nullptr ? store->round_trips() - before : 0;

  EXPECT_EQ(LastBox().rfind(kFinalText, 0), 0u) << LastBox();
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00152"), Person("NOUVEAU", "Deux", "0123"));
  for (const char* copy : {"CIVILAIDE_ALICE", "NOTES_ALICE", "BUDGET_ALICE"})
    EXPECT_EQ(Dump(server_, copy), "") << copy;
  EXPECT_EQ(Dump(laptop_, "NOTES"), "");
  if (store == nullptr) return;
  // Start 6 (two look-ups, four reads), the batch's reads 5 (the two files holding its
  // persons' records, on both sides, and the registrations), 1 a known person, 2 a new one,
  // end 4 (the register, its item, the copies emptied, the planning parameters).
  EXPECT_LE(requests, 6 + 5 + 3 * 1 + 2 * 2 + 4);
}

INSTANTIATE_TEST_SUITE_P(Stores, OfficeChangeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Embedded"; });

}  // namespace
}  // namespace cortevane::exporting::testing
