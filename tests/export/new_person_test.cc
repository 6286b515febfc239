// Persons created on the laptop: a new code from the common counter under its reservation,
// their records re-keyed onto it, and what happens when no sound code can be had.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "db/db_file.h"
#include "db/sqlite/sqlite_store.h"
#include "export_fixture.h"
#include "support/forwarding_store.h"
#include "ui/ui.h"

namespace cortevane::exporting::testing {
namespace {

class NewPersonTest : public ExportTest {};

TEST_F(NewPersonTest, RecordsAreCopiedUnderTheNextCounterCode) {
  // The counter holds 00150; 00118 was created on the laptop with a note keyed 00118s and a
  // note keyed by the code alone.
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123", "mentionne 00118"));
  Put(laptop_, "NOTES", "00118s", "première visite");
  Put(laptop_, "NOTES", "00118", "note sans suffixe");
  Put(laptop_, "BUDGET", "00118", "900");
  Run();

  EXPECT_EQ(Boxes(), kStartBox + "\n" + kFinalBox);
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00151"));
  // Only keys change: the record still says 00118 inside.
  EXPECT_EQ(Dump(server_, "CIVILAIDE"),
            "00151=" + Person("NOUVEAU", "Né", "0123", "mentionne 00118"));
  EXPECT_EQ(Dump(server_, "NOTES"), "00151=note sans suffixe | 00151s=première visite");
  EXPECT_EQ(Dump(server_, "BUDGET"), "00151=900");
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");
}

TEST_F(NewPersonTest, EachNewPersonTakesTheNextCodeInListOrder) {
  Put(laptop_, "CIVILAIDE", "00118", Person("PREMIER", "A", "0123"));
  Put(laptop_, "CIVILAIDE", "00119", Person("SECOND", "B", "0123"));
  Put(laptop_, "NOTES", "00119x", "note");
  Run();

  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("PREMIER", "A", "0123") +
                                            " | 00152=" + Person("SECOND", "B", "0123"));
  EXPECT_EQ(Dump(server_, "NOTES"), "00152x=note");
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00152"));
}

TEST_F(NewPersonTest, ALongerCodeLosesExactlyItsFirstFiveCharacters) {
  Put(laptop_, "CIVILAIDE", "001180", Person("LONG", "C", "0123"));
  Put(laptop_, "NOTES", "001180A", "note longue");
  Run();

  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("LONG", "C", "0123"));
  EXPECT_EQ(Dump(server_, "NOTES"), "001510A=note longue");
}

TEST_F(NewPersonTest, TheCounterIsReadAgainOnceReserved) {
  // Another laptop takes codes up to 00160 while this export asks about its first person.
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne (bureau)", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne (portable)", "0123"));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  ui_.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.style == 36) Put(server_, "COMPTEUR", "999", "Autre^^^^^^^^^^00160");
  };
  Run({ui::kAnswerNo});

  EXPECT_EQ(Get(server_, "CIVILAIDE", "00151"), "-");
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00161"), Person("NOUVEAU", "Né", "0123"));
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), "Autre^^^^^^^^^^00161");
}

struct CounterStop {
  const char* name;
  const char* counter;  // field 11 of COMPTEUR "999" when the new person's turn comes
  const char* message;
  friend void PrintTo(const CounterStop& p, std::ostream* os) { *os << p.name; }
};

class NewPersonCounterTest : public NewPersonTest,
                             public ::testing::WithParamInterface<CounterStop> {};

TEST_P(NewPersonCounterTest, ACounterThatCannotGiveACodeStopsTheExport) {
  const CounterStop& p = GetParam();
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  Put(server_, "COMPTEUR", "999", Counter(p.counter));
  Run();

  EXPECT_EQ(Boxes(), kStartBox + "\n0|Cortevane KESTA|" + p.message);
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter(p.counter));
  // The known person before it is written and released; the new one is not written; nothing
  // is cleared.
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("DUPONT", "Anne-Marie", "0123"));
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  EXPECT_NE(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_TRUE(ui_.MenuEnabled(ui::MenuEntry::kImport));
}

INSTANTIATE_TEST_SUITE_P(
    Counters, NewPersonCounterTest,
    ::testing::Values(CounterStop{"AtTheHighestCode", "32767",
                                  "Le compteur des aidés du serveur a atteint 32767 : aucun "
                                  "nouveau code ne peut être attribué à l'aidé 00118."},
                      CounterStop{"FarAbove", "99999",
                                  "Le compteur des aidés du serveur a atteint 32767 : aucun "
                                  "nouveau code ne peut être attribué à l'aidé 00118."}),
    [](const auto& info) { return std::string(info.param.name); });

// An export that stops after a new person was copied (here: the register cannot be read at
// the end) and is run again copies the person under the code it was given the first time,
// instead of taking a second code and leaving the person twice on the office.
TEST_F(NewPersonTest, ARunAfterAnInterruptedOneKeepsTheCodeGiven) {
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  Put(laptop_, "NOTES", "00118s", "première visite");
  ASSERT_EQ(laptop_.store()->SetPointer(
                "SDEXPORTAIDES", {server_.HostName(), server_.AccountPath(), "REGISTRE_ABSENT"}),
            0);
  Run();
  EXPECT_EQ(LastBox().rfind("Error Code " + std::to_string(db::kQueryUnknownFile) + "\r\n", 0), 0u)
      << LastBox();
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("NOUVEAU", "Né", "0123"));
  EXPECT_EQ(Dump(laptop_, "CODESATTRIBUES"), "00118=00151^00100");

  ui_.ClearLog();
  ASSERT_NO_FATAL_FAILURE(SetUpLaptop(laptop_, server_));
  Put(laptop_, "NOTES", "00118t", "ajoutée entre les deux exportations");
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("NOUVEAU", "Né", "0123"));
  EXPECT_EQ(Dump(server_, "NOTES"),
            "00151s=première visite | 00151t=ajoutée entre les deux exportations");
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00151"));
  EXPECT_EQ(Dump(laptop_, "CODESATTRIBUES"), "");
}

// Notes that cannot be read are not "no note": the export stops before a code is taken.
TEST_F(NewPersonTest, NotesThatCannotBeOpenedStopBeforeACodeIsTaken) {
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  ASSERT_EQ(laptop_.store()->SetPointer(kCodesAttribues, {"localhost", "/nowhere", "X"}), 0);
  Run();
  // The status's own sentence follows on a second line.
  EXPECT_EQ(
      LastBox().rfind("Lecture impossible des codes notés sur le portable (fichier CODESATTRIBUES, "
                      "erreur " +
                          std::to_string(db::kPointerTargetAbsent) +
                          ") : aucun nouveau code n'a été attribué à l'aidé 00118.\r\n",
                      0),
      0u)
      << LastBox();
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00150"));
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "");
}

// A note is only trusted for the cycle that wrote it (same threshold) and for a code that
// cycle's counter can have given (above the threshold); otherwise a fresh code is taken.
TEST_F(NewPersonTest, ANoteOfAnotherCycleOrOfAnImpossibleCodeIsIgnored) {
  Put(laptop_, "CIVILAIDE", "00118", Person("PREMIER", "A", "0123"));
  Put(laptop_, "CIVILAIDE", "00119", Person("SECOND", "B", "0123"));
  ASSERT_EQ(laptop_.store()->CreateFile("CODESATTRIBUES"), 0);
  Put(laptop_, "CODESATTRIBUES", "00118", "00140^00090");
  Put(laptop_, "CODESATTRIBUES", "00119", "00042^00100");
  Run();
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("PREMIER", "A", "0123") +
                                            " | 00152=" + Person("SECOND", "B", "0123"));
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00140"), "-");
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), "-");
  EXPECT_EQ(Dump(laptop_, "CODESATTRIBUES"), "");
}

TEST_F(NewPersonTest, TheLastCodeIsStillGiven) {
  Put(server_, "COMPTEUR", "999", Counter("32766"));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  Run();
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "32767=" + Person("NOUVEAU", "Né", "0123"));
  EXPECT_EQ(LastBox(), kFinalText);
}

TEST_F(NewPersonTest, ACounterThatChangedIntoNonsenseOrVanishedStops) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(server_, "CIVILAIDE", "00042", Person("DUPONT", "Anne (bureau)", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne (portable)", "0123"));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  ui_.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.style == 36) Put(server_, "COMPTEUR", "999", Counter("abc"));
  };
  Run({ui::kAnswerNo});
  EXPECT_EQ(LastBox(),
            "Le champ 11 de l'enregistrement 999 du fichier COMPTEUR n'est pas un nombre : "
            "\"abc\". Aucun nouveau code n'a été attribué à l'aidé 00118.");

  ui_.ClearLog();
  ui_.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.style == 36) {
      ASSERT_EQ(server_.store()->Delete("COMPTEUR", "999"), 0);
    }
  };
  Put(server_, "COMPTEUR", "999", Counter("00150"));
  Run({ui::kAnswerNo});
  EXPECT_EQ(LastBox(),
            "Lecture impossible de l'enregistrement 999 du fichier COMPTEUR (erreur 30001) : "
            "aucun nouveau code n'a été attribué à l'aidé 00118.");
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00151"), "-");
  // The reservation was freed: the record can be reserved again at once.
  Put(server_, "COMPTEUR", "999", Counter("00150"));
  auto counter = server_.OpenFile("COMPTEUR");
  counter->SetKey("999");
  counter->SetLockTimeoutMs(100);
  EXPECT_EQ(counter->ReserveRecord(), 0);
  counter->FreeRecord();
}

TEST_F(NewPersonTest, ACounterHeldTooLongByAnotherExportStops) {
  db::Session other;
  ASSERT_NO_FATAL_FAILURE(ConnectAccount(other, root_ / "server", true));
  auto held = other.OpenFile("COMPTEUR");
  held->SetKey("999");
  ASSERT_EQ(held->ReserveRecord(), 0);
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  export_->SetReservationTimeoutMs(200);
  Run();

  EXPECT_EQ(LastBox(),
            "Réservation impossible de l'enregistrement 999 du fichier COMPTEUR "
            "(erreur " +
                std::to_string(db::kLockTimeout) +
                ") : aucun nouveau code n'a été attribué à l'aidé 00118.\r\nUn enregistrement "
                "est utilisé par un autre utilisateur : réessayez dans quelques instants.");
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "");
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00150"));
  held->FreeRecord();
}

// The counter's record cannot be read again once reserved (the office fails under the lock):
// the export stops and lets the reservation go, so the next export gets the counter at once
// instead of waiting for it and stopping too.
TEST_F(NewPersonTest, AFailedReadUnderTheReservationFreesTheCounter) {
  class FailingReRead final : public test_support::ForwardingStore {
   public:
    using ForwardingStore::ForwardingStore;
    int Reserve(std::string_view f, std::string_view k, int t) override {
      const int status = ForwardingStore::Reserve(f, k, t);
      fail_next_read_ = status == db::kOk && f == "COMPTEUR";
      return status;
    }
    int Read(std::string_view f, std::string_view k, std::string* r) override {
      if (std::exchange(fail_next_read_, false)) return db::kIoError;
      return ForwardingStore::Read(f, k, r);
    }

   private:
    bool fail_next_read_ = false;
  };
  std::shared_ptr<db::SqliteStore> store;
  ASSERT_EQ(db::SqliteStore::Open(root_ / "server", &store), 0);
  db::Session office;
  office.SetDataBaseType(2);
  office.AttachStore(std::make_shared<FailingReRead>(store));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  ui::ScriptedUi ui;
  Mod_Exportation first(laptop_, office, user_, ui);
  ui.AnswerYes();
  first.Demarrage_Exportation();
  ASSERT_FALSE(ui.boxes().empty());
  EXPECT_EQ(ui.boxes().back().text,
            "Lecture impossible de l'enregistrement 999 du fichier COMPTEUR (erreur " +
                std::to_string(db::kIoError) +
                ") : aucun nouveau code n'a été attribué à l'aidé 00118.");

  // The first export's module still holds its files: only a freed reservation lets this pass.
  export_->SetReservationTimeoutMs(100);
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("NOUVEAU", "Né", "0123"));
}

// Two laptops export at the same time, in two processes with their own sessions, against one
// office account: every new person gets its own code.
TEST_F(NewPersonTest, TwoExportsInParallelProcessesNeverShareACode) {
  constexpr int kPersons = 15;
  const std::vector<std::string> users = {"ALICE", "BRUNO"};
  ASSERT_NO_FATAL_FAILURE(SetUpServer(server_, "BRUNO"));
  for (const std::string& user : users) {
    db::Session laptop;
    ASSERT_NO_FATAL_FAILURE(ConnectAccount(laptop, root_ / ("laptop-" + user), false));
    ASSERT_NO_FATAL_FAILURE(SetUpLaptop(laptop, server_));
    for (int i = 1; i <= kPersons; ++i) {
      std::string code = "00" + std::to_string(100 + i);
      Put(laptop, "CIVILAIDE", code, Person(user, code, "0123"));
      Put(laptop, "NOTES", code + "n", user + " " + code);
    }
  }

  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> children;
  for (const std::string& user : users) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(gate[1]);
      char byte;
      (void)!read(gate[0], &byte, 1);  // wait until both children are ready
      db::Session server, laptop;
      ConnectAccount(server, root_ / "server", true);
      ConnectAccount(laptop, root_ / ("laptop-" + user), false);
      ui::ScriptedUi ui;
      Mod_Exportation exporting(laptop, server, user, ui);
      ui.AnswerYes();
      exporting.Demarrage_Exportation();
      bool done = !ui.boxes().empty() && ui.boxes().back().text.starts_with(kFinalText);
      laptop.Disconnect();
      server.Disconnect();
      _exit(done ? 0 : 1);
    }
    children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);  // opens the gate
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  // 30 persons, 30 codes from 00151 to 00180, each person once, its note under its code.
  std::set<std::string> persons;
  int records = 0;
  server_.store()->Scan("CIVILAIDE", [&](std::string_view key, std::string_view record) {
    ++records;
    db::DynArray person{std::string(record)};
    persons.insert(person.Field(2) + " " + person.Field(3));
    EXPECT_GE(key, "00151");
    EXPECT_LE(key, "00180");
    std::string note;
    EXPECT_EQ(server_.store()->Read("NOTES", std::string(key) + "n", &note), 0) << key;
    EXPECT_EQ(note, person.Field(2) + " " + person.Field(3));
    return true;
  });
  EXPECT_EQ(records, 2 * kPersons);
  EXPECT_EQ(persons.size(), 2u * kPersons);
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00180"));
}

}  // namespace
}  // namespace cortevane::exporting::testing
