// The three-way merge of known persons' records: what is written, what is asked, what the
// answers do, the release of registrations, a failure in the middle and the run after it.
#include <gtest/gtest.h>

#include "export_fixture.h"
#include "ui/ui.h"

namespace cortevane::exporting::testing {
namespace {

std::string Question(const std::string& label, const std::string& who) {
  return "36|Message CORTEVANE|Les informations de " + label + " de l'aidé \"" + who +
         "\"\\r ont évolué sur le serveur depuis l'exportation.\\r\\n"
         "Continuer l'intégration de cet élément ?";
}

TEST_F(ExportTest, OutcomesOfEachKindOfChangeWithoutConflict) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  ImportedNote("00042A", "visite du 3 mars");
  ImportedNote("00042B", "appel");
  ImportedNote("00042D", "à supprimer");
  Put(server_, "BUDGET", "00042", "1200");
  Put(server_, "BUDGET_ALICE", "00042", "1200");
  Put(laptop_, "BUDGET", "00042", "1200");

  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));  // laptop only
  Put(server_, "NOTES", "00042A", "visite du 3 mars, corrigée au bureau");     // server only
  Put(laptop_, "NOTES", "00042B", "appel]rappel");                             // laptop only
  Put(laptop_, "NOTES", "00042C", "nouvelle note");                            // new on laptop
  ASSERT_EQ(laptop_.store()->Delete("NOTES", "00042D"), 0);                    // gone on laptop
  Put(server_, "BUDGET", "00042", "1300");  // both changed, written without asking ("N")
  Put(laptop_, "BUDGET", "00042", "1250");
  Run();

  EXPECT_EQ(Boxes(), kStartBox + "\n" + kFinalBox);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("DUPONT", "Anne-Marie", "0123"));
  EXPECT_EQ(Dump(server_, "NOTES"),
            "00042A=visite du 3 mars, corrigée au bureau | 00042B=appel]rappel | "
            "00042C=nouvelle note | 00042D=à supprimer");
  EXPECT_EQ(Dump(server_, "BUDGET"), "00042=1250");
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  // Released and nothing left: the laptop and the reference copies are emptied.
  EXPECT_EQ(Dump(laptop_, "NOTES"), "");
  EXPECT_EQ(Dump(server_, "NOTES_ALICE"), "");
  EXPECT_EQ(Log().find("pointer|screen|11\nprogress|Aidé 1 sur 1\n") != std::string::npos, true)
      << Log();
  EXPECT_TRUE(
      Log().ends_with("progress|hide\npointer|screen|0\nbox|" + kFinalBox + "\nmenu|import|on"))
      << Log();
}

TEST_F(ExportTest, AcceptanceLastsForTheRestOfOnePersonOnly) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  ImportedNote("00042A", "note");
  Imported("00043", Person("MARTIN", "Paul", "0123"));
  ImportedNote("00043A", "note");
  for (const char* code : {"00042", "00043"}) {
    std::string note = std::string(code) + "A";
    Put(server_, "CIVILAIDE", code, Person("SERVEUR", "x", "0123"));
    Put(server_, "NOTES", note, "note du bureau");
    Put(laptop_, "NOTES", note, "note du portable");
  }
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  Put(laptop_, "CIVILAIDE", "00043", Person("MARTIN", "Paul-Henri", "0123"));
  // 00042: Yes to its first conflict, its note follows without a question.
  // 00043: No to its first conflict, so its note is asked again; Yes to that.
  Run({ui::kAnswerYes, ui::kAnswerNo, ui::kAnswerYes});

  EXPECT_EQ(Boxes(), kStartBox + "\n" + Question("l'état civil", "00042 - DUPONT Anne-Marie") +
                         "\n" + Question("l'état civil", "00043 - MARTIN Paul-Henri") + "\n" +
                         Question("les notes", "00043 - MARTIN Paul-Henri") + "\n" + kFinalBox);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("DUPONT", "Anne-Marie", "0123") +
                                            " | 00043=" + Person("SERVEUR", "x", "0123"));
  EXPECT_EQ(Dump(server_, "NOTES"), "00042A=note du portable | 00043A=note du portable");
}

TEST_F(ExportTest, ChangedOnLaptopAndDeletedOnServerIsAConflict) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  ImportedNote("00042A", "note");
  Put(server_, "BUDGET_ALICE", "00042", "1200");
  Put(laptop_, "BUDGET", "00042", "1250");
  ASSERT_EQ(server_.store()->Delete("NOTES", "00042A"), 0);
  Put(laptop_, "NOTES", "00042A", "note complétée");
  Run({ui::kAnswerNo});

  EXPECT_EQ(Boxes(),
            kStartBox + "\n" + Question("les notes", "00042 - DUPONT Anne") + "\n" + kFinalBox);
  EXPECT_EQ(Dump(server_, "NOTES"), "");             // the No keeps the deletion
  EXPECT_EQ(Dump(server_, "BUDGET"), "00042=1250");  // "N": written without asking
}

TEST_F(ExportTest, OnlyExactParameterValuesChangeTheHandling) {
  // "select" is not "SELECT" (one record keyed by the code) and "n" is not "N" (asked).
  Put(server_, "SDPARAMEXPORT", "AIDE",
      "CIVILAIDE]l'état civil]]^NOTES]les notes]select]^BUDGET]le budget]]n");
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  ImportedNote("00042A", "note");
  Put(laptop_, "NOTES", "00042A", "note du portable");
  Put(server_, "BUDGET_ALICE", "00042", "1200");
  Put(server_, "BUDGET", "00042", "1300");
  Put(laptop_, "BUDGET", "00042", "1250");
  Run({ui::kAnswerNo});

  EXPECT_EQ(Boxes(),
            kStartBox + "\n" + Question("le budget", "00042 - DUPONT Anne") + "\n" + kFinalBox);
  EXPECT_EQ(Dump(server_, "NOTES"), "00042A=note");
  EXPECT_EQ(Dump(server_, "BUDGET"), "00042=1300");
}

TEST_F(ExportTest, TheThresholdSeparatesKnownFromCreatedPersons) {
  Imported("00100", Person("EGAL", "Seuil", "0123"));
  Put(laptop_, "CIVILAIDE", "00100", Person("EGAL", "Seuil modifié", "0123"));
  Put(laptop_, "CIVILAIDE", "00101", Person("NOUVEAU", "Né", "0123"));
  Run();

  EXPECT_EQ(Boxes(), kStartBox + "\n" + kFinalBox);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00100=" + Person("EGAL", "Seuil modifié", "0123") +
                                            " | 00151=" + Person("NOUVEAU", "Né", "0123"));
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00151"));
}

TEST_F(ExportTest, ReleasesOnlyTheUsersOwnRegistrations) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  // The laptop created 00101 while the office gave that code to a person BRUNO took out.
  Put(laptop_, "CIVILAIDE", "00101", Person("NOUVEAU", "Né", "0123"));
  Put(server_, "SDEXPORTAIDES", "00101", "BRUNO^20000^9:30");
  Run();

  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00101=BRUNO^20000^9:30");
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");  // BRUNO's registration is not ALICE's
}

TEST_F(ExportTest, AFailureInTheThirdPersonSendsNothingOfItAndTheRerunAsksOnlyAboutIt) {
  for (const char* code : {"00042", "00043", "00044"}) {
    Imported(code, Person("NOM", code, "0123"));
    Put(laptop_, "CIVILAIDE", code, Person("NOM", std::string(code) + " modifié", "0123"));
    Put(server_, "BUDGET_ALICE", code, "100");
    Put(server_, "BUDGET", code, "100");
    Put(laptop_, "BUDGET", code, "150");
  }
  Put(server_, "CIVILAIDE", "00044", Person("NOM", "00044 bureau", "0123"));
  // While the third person's conflict is asked, the office's BUDGET file goes away: its
  // CIVILAIDE record, written first in the person's transaction, must not stay alone.
  ui_.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.style == 36) Drop(server_, "BUDGET");
  };
  Run({ui::kAnswerYes});

  const std::string first_line =
      "0|Cortevane KESTA|Impossible d'envoyer l'aidé 00044 sur le serveur (erreur 32001) : rien "
      "n'a été écrit pour cet aidé.";
  const std::string second_line =
      "La base du bureau est endommagée : un de ses fichiers manque. Prévenez le bureau.";
  const std::string failure = first_line + "\\r\\n" + second_line;
  EXPECT_EQ(Boxes(), kStartBox + "\n" + Question("l'état civil", "00044 - NOM 00044 modifié") +
                         "\n" + failure);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("NOM", "00042 modifié", "0123") +
                                            " | 00043=" + Person("NOM", "00043 modifié", "0123") +
                                            " | 00044=" + Person("NOM", "00044 bureau", "0123"));
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00044=ALICE^20000^10:5");
  EXPECT_EQ(Dump(server_, "CIVILAIDE_ALICE").empty(), false);  // nothing cleared
  EXPECT_NE(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_TRUE(ui_.MenuEnabled(ui::MenuEntry::kImport));
  EXPECT_TRUE(Log().ends_with("progress|hide\npointer|screen|0\nbox|" + first_line + "\r\n" +
                              second_line + "\nmenu|export|on\nmenu|import|on"))
      << Log();

  // The rerun: what the first run sent is on the office as on the laptop, so it is neither
  // written nor asked again, although it differs from the reference copies.
  ui_.on_box = nullptr;
  ui_.ClearLog();
  ASSERT_EQ(server_.store()->CreateFile("BUDGET"), 0);
  Put(server_, "BUDGET", "00042", "150");
  Put(server_, "BUDGET", "00043", "150");
  Put(server_, "BUDGET", "00044", "100");
  Run({ui::kAnswerYes});
  EXPECT_EQ(Boxes(), kStartBox + "\n" + Question("l'état civil", "00044 - NOM 00044 modifié") +
                         "\n" + kFinalBox);
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("NOM", "00042 modifié", "0123") +
                                            " | 00043=" + Person("NOM", "00043 modifié", "0123") +
                                            " | 00044=" + Person("NOM", "00044 modifié", "0123"));
  EXPECT_EQ(Dump(server_, "BUDGET"), "00042=150 | 00043=150 | 00044=150");
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_EQ(Dump(server_, "CIVILAIDE_ALICE"), "");
}

TEST_F(ExportTest, AFailedReferenceReadStopsBeforeAnythingOfThePersonIsSent) {
  // NOTES_ALICE lives in another account, which goes away while the first person is asked;
  // the office changes the second person's state record meanwhile, so that person, read ahead
  // with the first, is read again.
  db::Session references;
  ASSERT_NO_FATAL_FAILURE(ConnectAccount(references, root_ / "references", true));
  ASSERT_EQ(references.store()->CreateFile("NOTES_ALICE"), 0);
  Drop(server_, "NOTES_ALICE");
  ASSERT_EQ(server_.store()->SetPointer("NOTES_ALICE",
                                        {"localhost", references.AccountPath(), "NOTES_ALICE"}),
            0);
  for (const char* code : {"00042", "00043"}) {
    Imported(code, Person("DUPONT", code, "0123"));
    Put(laptop_, "CIVILAIDE", code, Person("DUPONT", std::string(code) + " modifié", "0123"));
    const std::string key = std::string(code) + "A";
    Put(references, "NOTES_ALICE", key, "note");
    Put(server_, "NOTES", key, "note du bureau");
    Put(laptop_, "NOTES", key, "note du portable");
  }
  ui_.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.style != 36) return;
    references.Disconnect();
    Put(server_, "CIVILAIDE", "00043", Person("DUPONT", "00043", "0124"));
  };
  Run({ui::kAnswerNo, ui::kAnswerNo});

  EXPECT_EQ(Boxes(), kStartBox + "\n" + Question("les notes", "00042 - DUPONT 00042 modifié") +
                         "\n" + Question("les notes", "00043 - DUPONT 00043 modifié") +
                         "\n0|Cortevane KESTA|Erreur lecture NOTES_ALICE, enregistrement "
                         "00043A : 31001\\r\\nLa liaison avec la base a été coupée : quittez le "
                         "programme, puis relancez-le.");
  EXPECT_EQ(Dump(server_, "NOTES"), "00042A=note du bureau | 00043A=note du bureau");
  // The first person went (its state record, its release); the second, nothing of it.
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("DUPONT", "00042 modifié", "0123") +
                                            " | 00043=" + Person("DUPONT", "00043", "0124"));
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00043=ALICE^20000^10:5");
}

}  // namespace
}  // namespace cortevane::exporting::testing

namespace cortevane::exporting::testing {
namespace {

// A code holding one kind of quote selects its records with the other kind; a code no
// sentence can select leaves its person out, reported, registered and on the laptop, while the
// others are exported.
TEST_F(ExportTest, CodesHoldingQuotesAreExportedAndUnselectableOnesLeftOut) {
  for (const char* code : {"00\"42", "00'43", "00\"'44"}) {
    Imported(code, Person("AIDE", code, "0123"));
    ImportedNote(std::string(code) + "A", "note");
    Put(laptop_, "NOTES", std::string(code) + "A", "note du portable");
  }
  Run();
  EXPECT_EQ(Dump(server_, "NOTES"),
            "00\"'44A=note | 00\"42A=note du portable | 00'43A=note du portable");
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00\"'44=ALICE^20000^10:5");
  EXPECT_EQ(Get(laptop_, "NOTES", "00\"'44A"), "note du portable");
  ASSERT_EQ(ui_.boxes().size(), 3u) << Boxes();
  EXPECT_EQ(ui_.boxes()[1].text.substr(ui_.boxes()[1].text.rfind('\n') + 1), "00\"'44");
  EXPECT_EQ(LastBox(), kFinalText);
}

}  // namespace
}  // namespace cortevane::exporting::testing
