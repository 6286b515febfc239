// The export's journal on the laptop's drive: what a run writes there, that each line is
// there as soon as it happens, and that a journal which cannot be written stops nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "export_fixture.h"
#include "support/forwarding_store.h"
#include "ui/ui.h"

namespace cortevane::exporting::testing {
namespace {

namespace fs = std::filesystem;

class JournalTest : public ExportTest {
 protected:
  fs::path Folder() const { return drive_c_ / "KESTA" / "JOURNAL"; }

  std::vector<fs::path> Journals() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(Folder(), ec), end; !ec && it != end; it.increment(ec))
      files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
  }

  // The only journal's text, with the times of the lines and of the start and end taken out
  // and the line ends shown as "\n".
  std::string Text() const {
    const auto files = Journals();
    if (files.size() != 1) return "journals: " + std::to_string(files.size());
    std::ifstream in(files[0], std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string text = std::regex_replace(bytes.str(), std::regex("\r\n"), "\n");
    text = std::regex_replace(text, std::regex("(^|\n)\\d\\d:\\d\\d:\\d\\d "), "$1");
    return std::regex_replace(text, std::regex("\\d\\d/\\d\\d/\\d{4} à \\d\\d:\\d\\d:\\d\\d"),
                              "<date>");
  }

  std::string Header() const {
    return "Exportation des données de l'ordinateur portable vers le serveur, commencée le "
           "<date>\nUtilisateur : ALICE\nBase du portable : " +
           (root_ / "laptop").string() +
           " sur localhost\nBase du serveur : " + (root_ / "server").string() + " sur localhost\n";
  }
};

TEST_F(JournalTest, ARunTellsEachPersonAndTheClearingLineByLine) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  ImportedNote("00042A", "note");
  Put(laptop_, "NOTES", "00042A", "note du portable");
  Put(server_, "NOTES", "00042A", "note du bureau");
  Put(laptop_, "NOTES", "00042B", "nouvelle");
  Put(laptop_, "BUDGET", "00042", "150");
  DocumentFolder("00042");
  Imported("00043", Person("MARTIN", "Paul", "0133"));  // sector 013 has no folder
  DocumentFolder("00043");
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  // While the question waits, what happened before it is already in the journal.
  std::string during_question;
  ui_.on_box = [&](const ui::ScriptedUi::Box& box) {
    if (box.style == ui::kYesNo + ui::kQuestion) during_question = Text();
  };
  Run({ui::kAnswerNo});
  EXPECT_EQ(during_question, Header() + "Aidé 00042 DUPONT Anne\n");
  const std::string docs = "C:\\KESTA\\DOCSCAN\\";
  EXPECT_EQ(Text(), Header() +
                        "Aidé 00042 DUPONT Anne\n"
                        "  Question sur les notes (NOTES 00042A) : réponse Non\n"
                        "    Valeurs du portable non envoyées :\n"
                        "      Champ 1 : note du portable\n"
                        "  NOTES : 1 enregistrement écrit (00042B)\n"
                        "  BUDGET : 1 enregistrement écrit (00042)\n"
                        "  Inscription libérée\n"
                        "  Documents copiés : " +
                        docs + "00042 vers " + (root_ / "share" / "nord").string() +
                        "/00042\n"
                        "Aidé 00043 MARTIN Paul\n"
                        "  Aucun enregistrement à écrire\n"
                        "  Inscription libérée\n"
                        "  Documents non copiés : " +
                        docs +
                        "00043 : le secteur 013 n'a pas de dossier de destination\n"
                        "Aidé 00118 NOUVEAU Né\n"
                        "  Nouveau code : 00118 → 00151\n"
                        "  CIVILAIDE : 1 enregistrement écrit (00151)\n"
                        "  Documents : aucun dossier " +
                        docs +
                        "00118\n"
                        "Vidage : vidés CIVILAIDE (portable), CIVILAIDE_ALICE (serveur), NOTES "
                        "(portable), NOTES_ALICE (serveur), BUDGET (portable), BUDGET_ALICE "
                        "(serveur), AGENDA (portable).\n"
                        "Exportation terminée le <date> : 3 aidés envoyés, 1 question dont 0 "
                        "fusion, nouveau code : 00118 → 00151 ; journal : C:\\KESTA\\JOURNAL\\" +
                        Journals().at(0).filename().string() + ".\n");
  // The same end line, for the main window's status line.
  EXPECT_TRUE(export_->Fin().starts_with("Exportation terminée le ")) << export_->Fin();
  EXPECT_TRUE(
      export_->Fin().ends_with(" : 3 aidés envoyés, 1 question dont 0 fusion, nouveau "
                               "code : 00118 → 00151 ; journal : C:\\KESTA\\JOURNAL\\" +
                               Journals().at(0).filename().string() + "."))
      << export_->Fin();
}

TEST_F(JournalTest, AFailedRunEndsItsJournalWithTheMessage) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Drop(server_, "BUDGET_ALICE");
  Run();
  const auto files = Journals();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                               std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.txt)")))
      << files[0];
  // The box's second line names the damaged office base; the journal keeps both lines.
  EXPECT_EQ(Text(), Header() + "Aidé 00042\nExportation interrompue le <date> : " +
                        std::regex_replace(LastBox(), std::regex("\r\n"), "\n") + "\n");
  EXPECT_TRUE(
      LastBox().ends_with("(32001)\r\nLa base du bureau est endommagée : un de ses "
                          "fichiers manque. Prévenez le bureau."))
      << LastBox();
  // The status line takes the end line without the cause's line.
  EXPECT_TRUE(std::regex_match(export_->Fin(),
                               std::regex("Exportation interrompue le .* : Problème d'ouverture de "
                                          "fichier : BUDGET \\(32001\\)")))
      << export_->Fin();
  // A second run in the same second keeps the first journal.
  Run();
  Run();
  EXPECT_EQ(Journals().size(), 3u);
}

// The office commits a person but its answer is lost with the connection: the box and the
// journal say the office did not confirm it, never that nothing was written; the next run
// finds the person there and its journal says so.
TEST_F(JournalTest, APersonWhoseCommitWentUnansweredIsNamedAsAlreadyThereByTheNextRun) {
  class LostAnswer final : public test_support::ForwardingStore {
   public:
    using ForwardingStore::ForwardingStore;
    int Commit() override {
      const int status = ForwardingStore::Commit();
      return status == db::kOk && std::exchange(lose_, false) ? db::kOutcomeUnknown : status;
    }

   private:
    bool lose_ = true;
  };
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "BUDGET", "00042", "150");
  Imported("00043", Person("MARTIN", "Paul", "0133"));
  server_.AttachStore(std::make_shared<LostAnswer>(server_.store()));
  Run();
  const std::string unconfirmed =
      "Le serveur n'a pas confirmé l'envoi de l'aidé 00042 - DUPONT Anne ; l'exportation "
      "suivante le vérifiera.";
  EXPECT_EQ(LastBox().rfind(unconfirmed, 0), 0u) << LastBox();
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
  std::string journals;
  for (const fs::path& file : Journals()) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    journals += std::regex_replace(bytes.str(), std::regex("\r\n\\d\\d:\\d\\d:\\d\\d "), "\n");
  }
  EXPECT_NE(journals.find("Exportation interrompue le "), std::string::npos) << journals;
  EXPECT_NE(journals.find(" : " + unconfirmed), std::string::npos) << journals;
  EXPECT_NE(journals.find("Aidé 00042 DUPONT Anne\n  Déjà sur le serveur\n"), std::string::npos)
      << journals;
  EXPECT_EQ(journals.find("rien n'a été écrit"), std::string::npos) << journals;
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenStopsNothingAndIsTold) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  Put(laptop_, "CIVILAIDE", "00042", Person("DUPONT", "Anne-Marie", "0123"));
  fs::create_directories(Folder().parent_path());
  std::ofstream(Folder()) << "a file where the folder should be";
  Run();
  EXPECT_EQ(Get(server_, "CIVILAIDE", "00042"), Person("DUPONT", "Anne-Marie", "0123"));
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_EQ(ui_.boxes().back().style, ui::kInformation);
  EXPECT_EQ(LastBox(), kFinalText +
                           "\r\nLe journal de cette exportation n'a pas pu être écrit dans "
                           "C:\\KESTA\\JOURNAL\\ (un fichier porte le nom d'un dossier du "
                           "chemin).");
}

}  // namespace
}  // namespace cortevane::exporting::testing
