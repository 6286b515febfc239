// "Ok": the register check, the registrations, the call of IMPORTDONNEES, and what is left on
// the server when the import is refused or fails.
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "db/db_file.h"
#include "db/status.h"
#include "import_fixture.h"

namespace cortevane::import::testing {
namespace {

class OkTest : public ImportTest {
 protected:
  // Opens the window and chooses the persons of `codes` (searched by code one by one).
  std::unique_ptr<Chd_Import> OpenWith(std::initializer_list<const char*> codes) {
    auto w = Open();
    for (const char* code : codes) {
      Field(*w, "Txt_CodeAide")->setText(code);
      w->Cmd_Tous_Click();
    }
    EXPECT_EQ(Boxes(ui_), "");
    ui_.ClearLog();
    return w;
  }
  // The register as "key=user^date^time" records.
  std::string Register() { return server_.Dump("SDEXPORTAIDES"); }
  // 14 March 2024, stored form, for the fixture's clock.
  static constexpr const char* kDate = "20528";
};

TEST_F(OkTest, EmptySelectionImportsNothing) {
  auto w = OpenWith({});
  w->show();
  Child<QPushButton>(*w, "Cmd_Ok")->click();  // before any search: the window still copes
  EXPECT_EQ(ui_.LogText(),
            "pointer|Chd_Import|11\n"
            "box|48|Message CORTEVANE|Aucun aidé valide à exporter.\n"
            "pointer|Chd_Import|0\n"
            "pointer|Chd_Import|0\nmenu|export|on");
  EXPECT_EQ(Register(), "");
  EXPECT_FALSE(w->isVisible());
}

TEST_F(OkTest, UsersOwnRegistrationIsToldAtOpeningAndRefusesEverything) {
  server_.Put("SDEXPORTAIDES", "00009", "TESTEUR^20000^8:0");
  server_.Put("SDEXPORTAIDES", "00010", "TESTEUR^20000^8:0");
  server_.Put("SDEXPORTAIDES", "00011", "MARTIN^20000^8:0");
  auto w = Open();
  const std::string early =
      "TESTEUR, vous avez encore 2 aidés sur le portable : faites d'abord une exportation, "
      "aucune importation n'est possible avant.";
  EXPECT_EQ(ui_.LogText(), "status|" + early + "\nbox|48|Message CORTEVANE|" + early);
  Field(*w, "Txt_CodeAide")->setText("00001");
  w->Cmd_Tous_Click();
  ui_.ClearLog();
  w->Cmd_Ok_Click();
  EXPECT_EQ(Boxes(ui_),
            "box|48|Message CORTEVANE|Impossible d'importer, TESTEUR, vous devez effectuer une "
            "exportation pour pouvoir importer.\r\nAucun aidé importé.");
  EXPECT_EQ(Register(),
            "00009=TESTEUR^20000^8:0 | 00010=TESTEUR^20000^8:0 | 00011=MARTIN^20000^8:0");
  EXPECT_TRUE(w->W_Fin());
  EXPECT_EQ(ui_.log().back(), "menu|export|on");
}

TEST_F(OkTest, PersonOutWithAnotherUserLeavesNoRegistrationBehind) {
  // The refused person is the second one: the first is not registered either.
  server_.Put("SDEXPORTAIDES", "00002", "MARTIN^20000^8:0");
  auto w = OpenWith({"00001", "00002", "00003"});
  w->Cmd_Ok_Click();
  EXPECT_EQ(Boxes(ui_),
            "box|48|Message CORTEVANE|Impossible d'importer. L'utilisateur MARTIN a déjà importé "
            "l'aidé 00002.\r\nAucun aidé importé.");
  EXPECT_EQ(Register(), "00002=MARTIN^20000^8:0");
  EXPECT_EQ(w->W_ListeCodes().Text(), "");
}

TEST_F(OkTest, RegistrationsAreWrittenThenWithdrawnWhenTheCopyFails) {
  // The laptop's persons file holds a record: the server routine refuses the copy.
  laptop_.Put("CIVILAIDE", "00099", "OLD");
  server_.Put("SDEXPORTAIDES", "00500", "MARTIN^20000^8:0");  // someone else's: stays
  auto w = OpenWith({"00042", "00007", "00001"});
  std::string register_during_copy;
  ui_.on_progress = [&](const std::string& text) {
    if (text.rfind("Copie", 0) == 0) register_during_copy = Register();
  };
  w->Cmd_Ok_Click();
  EXPECT_EQ(register_during_copy, std::string("00001=TESTEUR^") + kDate + "^9:5 | 00007=TESTEUR^" +
                                      kDate + "^9:5 | 00042=TESTEUR^" + kDate +
                                      "^9:5 | 00500=MARTIN^20000^8:0");
  EXPECT_EQ(db::ToVisible(w->W_ListeCodes().Text()), "00042^00007^00001");
  EXPECT_EQ(Boxes(ui_), "box|0|Cortevane KESTA|Impossible d'exécuter la commande : " +
                            std::to_string(db::kLaptopNotEmpty) +
                            "\r\nLe portable contient encore des dossiers d'aidés : faites "
                            "d'abord une exportation.");
  EXPECT_EQ(Register(), "00500=MARTIN^20000^8:0");
  EXPECT_FALSE(ui_.progress_shown());
  EXPECT_TRUE(w->W_Fin());
  // Boxes and progress windows open over the import window.
  EXPECT_EQ(ui_.progress_owner(), "Chd_Import");
  EXPECT_EQ(ui_.boxes().front().owner, "Chd_Import");
}

// What was done is said: on the main window's status line and in a journal of the import
// beside the exports' ones, for a copy that succeeds and one that fails.
TEST_F(OkTest, EachCopyIsToldOnTheStatusLineAndInItsJournal) {
  auto journal = [&] {
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(journal_.path())) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream bytes;
      bytes << in.rdbuf();
      text += entry.path().filename().string() + ":\n" +
              std::regex_replace(bytes.str(), std::regex("\\d\\d:\\d\\d:\\d\\d |\r"), "");
      std::filesystem::remove(entry.path());
    }
    return text;
  };
  auto w = OpenWith({"00042", "00001"});
  w->Cmd_Ok_Click();
  EXPECT_EQ(Boxes(ui_), "");
  EXPECT_EQ(ui_.status(), "2 aidés importés le 14/03/2024 à 09:05");
  EXPECT_EQ(journal(),
            "importation_2024-03-14_09-05-00.txt:\n"
            "Importation de TESTEUR : 2 aidés choisis\n  Aidé 00042\n  Aidé 00001\n"
            "2 aidés importés le 14/03/2024 à 09:05\n");

  laptop_.Put("CIVILAIDE", "00099", "OLD");  // the server routine refuses this copy
  server_.store().Clear("SDEXPORTAIDES");
  w = OpenWith({"00007"});
  w->Cmd_Ok_Click();
  const std::string failed = "Importation échouée le 14/03/2024 à 09:05 (" +
                             std::to_string(db::kLaptopNotEmpty) + ") : aucun aidé importé";
  EXPECT_EQ(ui_.status(), failed);
  EXPECT_EQ(journal(),
            "importation_2024-03-14_09-05-00.txt:\n"
            "Importation de TESTEUR : 1 aidé choisi\n  Aidé 00007\n" +
                failed +
                "\nLe portable contient encore des dossiers d'aidés : faites d'abord une "
                "exportation.\n" +
                failed + "\n");
}

TEST_F(OkTest, RegisterQueryFailureStopsBeforeAnyWrite) {
  auto w = OpenWith({"00001"});
  server_.store().DropFile("SDEXPORTAIDES");
  w->Cmd_Ok_Click();
  EXPECT_EQ(Boxes(ui_),
            "box|0|Cortevane KESTA|Error Code " + std::to_string(db::kQueryUnknownFile) +
                "\r\nLa base du bureau est endommagée : un de ses fichiers manque. Prévenez le "
                "bureau.");
  EXPECT_EQ(ui_.log().back(), "menu|export|on");
}

TEST_F(OkTest, MissingFilesAtOpeningAreReportedAndTheWindowLeaves) {
  server_.store().DropFile("SDEXPORTAIDES");
  server_.store().DropFile("TEMPO");  // nothing reads TEMPO: its absence alone is no failure
  ui_.SetMenuEnabled(ui::MenuEntry::kExport, false);
  ui_.ClearLog();
  auto w = Open();
  w->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(Boxes(ui_), "box|0|Cortevane KESTA|Problème d'ouverture de fichier : SDEXPORTAIDES (" +
                            std::to_string(db::kNoSuchFile) +
                            ")\r\nLa base du bureau est endommagée : un de ses fichiers manque. "
                            "Prévenez le bureau.");
  EXPECT_EQ(ui_.boxes().front().owner, "Chd_Import");
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(ui_.MenuEnabled(ui::MenuEntry::kExport));
}

// The race of two imports of one person: the rival session holds the person's register
// record while the window checks the register (still empty for that person), then registers
// it and lets go. The window's registrations wait for the record, see it taken under the
// lock, and leave nothing of the window's own behind.
TEST_F(OkTest, RaceForOnePersonLeavesTheLoserWithNothing) {
  server_.AddUser("MARTIN", "secret-43");
  auto rival_session = server_.Unconnected();
  rival_session->SetUserName("MARTIN");
  rival_session->SetPassword("secret-43");
  ASSERT_EQ(rival_session->Connect(), db::kOk);
  auto rival = rival_session->OpenFile("SDEXPORTAIDES");
  ASSERT_TRUE(rival);
  rival->SetKey("00002");
  ASSERT_EQ(rival->ReserveRecord(), db::kRecordNotFound);

  auto w = OpenWith({"00001", "00002", "00003"});
  std::atomic<bool> window_waits{false};
  ui_.on_progress = [&](const std::string& text) {
    if (text.find("au registre") != std::string::npos) window_waits = true;
  };
  std::thread other([&] {
    while (!window_waits) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rival->SetRecord(db::DynArray(db::FromVisible("MARTIN^20528^9:5")));
    rival->WriteRecord();
    rival->FreeRecord();
  });
  w->Cmd_Ok_Click();
  other.join();

  EXPECT_EQ(Boxes(ui_),
            "box|48|Message CORTEVANE|Impossible d'importer. L'utilisateur MARTIN a déjà importé "
            "l'aidé 00002.\r\nAucun aidé importé.");
  EXPECT_EQ(Register(), "00002=MARTIN^20528^9:5");
  EXPECT_EQ(w->W_ListeCodes().Text(), "");
  EXPECT_EQ(laptop_.Keys("CIVILAIDE"), "");
}

}  // namespace
}  // namespace cortevane::import::testing
