// Scanned documents going to their sector's folder, the folders that cannot go and how the
// user hears of them, and the clearing of the laptop and reference copies at the end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "db/query_test_stores.h"
#include "export_fixture.h"
#include "ui/ui.h"

namespace cortevane::exporting::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class DocumentsTest : public ExportTest {
 protected:
  fs::path Share(std::string_view code) { return root_ / "share" / "nord" / std::string(code); }
  std::string Source(std::string_view code) { return "C:\\KESTA\\DOCSCAN\\" + std::string(code); }
};

TEST_F(DocumentsTest, FoldersGoToTheirSectorUnderTheLaptopCode) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));  // sector key 012
  DocumentFolder("00042", "scan.pdf");
  fs::create_directories(Share("00042"));
  std::ofstream(Share("00042") / "scan.pdf") << "old scan";
  std::ofstream(Share("00042") / "other.pdf") << "kept";
  Imported("00043", Person("MARTIN", "Paul", "7"));  // a one-character sector code
  Put(laptop_, "SECTEUR", "7", "Secteur 7^^^^^^^^^^^^^^^^^^^^^" + (root_ / "s7").string() + "/");
  DocumentFolder("00043");
  Imported("00044", Person("SANS", "Documents", "0123"));  // no folder: nothing to do
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  DocumentFolder("00118");
  Run();

  EXPECT_EQ(Boxes(), kStartBox + "\n" + kFinalBox);
  EXPECT_EQ(ReadFile(Share("00042") / "scan.pdf"), "scan of 00042");  // replaced
  EXPECT_EQ(ReadFile(Share("00042") / "other.pdf"), "kept");
  EXPECT_EQ(ReadFile(root_ / "s7" / "00043" / "scan.pdf"), "scan of 00043");
  EXPECT_FALSE(fs::exists(Share("00044")));
  // A person given a new code keeps its laptop code for its documents.
  EXPECT_EQ(ReadFile(Share("00118") / "scan.pdf"), "scan of 00118");
  EXPECT_FALSE(fs::exists(Share("00151")));
}

TEST_F(DocumentsTest, FoldersThatCannotBeCopiedAreToldBeforeTheFinalMessage) {
  Imported("00042", Person("DUPONT", "Anne", "0133"));  // sector 013 has no folder
  DocumentFolder("00042");
  Imported("00043", Person("MARTIN", "Paul", "0999"));  // no sector 099 on the laptop
  DocumentFolder("00043");
  Imported("00044", Person("SANS", "Secteur", ""));
  DocumentFolder("00044");
  Imported("00045", Person("BLOQUE", "Copie", "0123"));  // a file stands where the folder goes
  DocumentFolder("00045");
  fs::create_directories(Share("00045").parent_path());
  std::ofstream(Share("00045")) << "not a folder";
  Imported("00046", Person("NORMAL", "Copie", "0123"));
  DocumentFolder("00046");
  Run();

  ASSERT_EQ(ui_.boxes().size(), 3u) << Boxes();
  const std::string& told = ui_.boxes()[1].text;
  EXPECT_EQ(ui_.boxes()[1].style, ui::kExclamation);
  EXPECT_EQ(ui_.boxes()[1].title, "Message CORTEVANE");
  const std::string expected_start =
      "Les documents numérisés suivants n'ont pas été copiés :\r\n" + Source("00042") +
      " : le secteur 013 n'a pas de dossier de destination\r\n" + Source("00043") +
      " : secteur 099 introuvable sur le portable (erreur 30001)\r\n" + Source("00044") +
      " : l'aidé n'a pas de code secteur\r\n" + Source("00045") + " vers " +
      Share("00045").string() + " : copie impossible (erreur ";
  EXPECT_EQ(told.substr(0, expected_start.size()), expected_start) << told;
  // The number comes with its reason on the next line.
  EXPECT_TRUE(
      told.ends_with("copie impossible (erreur 20)\r\nLe dossier ne peut pas être écrit : "
                     "un fichier porte le nom d'un dossier du chemin."))
      << told;
  EXPECT_EQ(told.find("00046"), std::string::npos);
  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(ReadFile(Share("00046") / "scan.pdf"), "scan of 00046");
  // The export itself went through: released and cleared.
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "");
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_TRUE(Log().ends_with("progress|hide\npointer|screen|0\nbox|48|Message CORTEVANE|" + told +
                              "\nbox|" + kFinalBox + "\nmenu|import|on"));
}

// A link to a file outside the documents folder and a pipe are named, not copied; the rest
// of the folder goes.
TEST_F(DocumentsTest, LinksAndSpecialFilesAreToldNotCopied) {
  Imported("00042", Person("DUPONT", "Anne", "0123"));
  const fs::path folder = DocumentFolder("00042");
  std::ofstream(root_ / "secret.txt") << "secret";
  fs::create_symlink(root_ / "secret.txt", folder / "lien.pdf");
  ASSERT_EQ(mkfifo((folder / "tube").c_str(), 0600), 0);
  Run();

  ASSERT_EQ(ui_.boxes().size(), 3u) << Boxes();
  EXPECT_EQ(ui_.boxes()[1].text, "Les documents numérisés suivants n'ont pas été copiés :\r\n" +
                                     Source("00042") + "\\lien.pdf : lien symbolique ignoré\r\n" +
                                     Source("00042") + "\\tube : fichier spécial ignoré");
  EXPECT_EQ(ReadFile(Share("00042") / "scan.pdf"), "scan of 00042");
  EXPECT_FALSE(fs::exists(Share("00042") / "lien.pdf"));
  EXPECT_FALSE(fs::exists(Share("00042") / "tube"));
}

// A destination disk that fills up during the copy is named as full, and leaves no partial
// document behind. The folder comes from full_disk.sh.
TEST_F(DocumentsTest, AFullDestinationDiskIsToldAsSuch) {
  const char* full = std::getenv("CORTEVANE_FULL_DISK");
  if (!full) GTEST_SKIP() << "run by the documents_full_disk test, on a small disk of its own";
  Imported("00042", Person("DUPONT", "Anne", "7"));
  Put(laptop_, "SECTEUR", "7", "Secteur 7^^^^^^^^^^^^^^^^^^^^^" + std::string(full) + "/");
  const fs::path folder = DocumentFolder("00042");
  std::ofstream(folder / "grand.pdf") << std::string(256 * 1024, 'x');
  Run();

  ASSERT_EQ(ui_.boxes().size(), 3u) << Boxes();
  const std::string why = " vers " + std::string(full) +
                          "/00042 : copie impossible (erreur 28)\r\nLe dossier ne peut pas être "
                          "écrit : disque plein.";
  EXPECT_EQ(ui_.boxes()[1].text,
            "Les documents numérisés suivants n'ont pas été copiés :\r\n" + Source("00042") + why);
  for (const auto& entry : fs::directory_iterator(fs::path(full) / "00042"))
    EXPECT_EQ(entry.path().filename().string().find("partial"), std::string::npos) << entry.path();
}

TEST_F(DocumentsTest, FoldersNotCopiedAreToldAlsoWhenTheExportFailsLater) {
  Imported("00042", Person("DUPONT", "Anne", "0133"));
  DocumentFolder("00042");
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  Put(server_, "COMPTEUR", "999", Counter("32767"));
  Run();
  ASSERT_EQ(ui_.boxes().size(), 3u) << Boxes();
  EXPECT_EQ(ui_.boxes()[1].style, ui::kExclamation);
  EXPECT_EQ(ui_.boxes()[2].style, 0);
}

class ClearingTest : public ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    Imported("00042", Person("DUPONT", "Anne", "0123"));
    ImportedNote("00042A", "note");
    Put(server_, "BUDGET_ALICE", "00042", "100");
    Put(laptop_, "BUDGET", "00042", "100");
    Put(laptop_, "AGENDA", "00042*1", "rendez-vous");
  }
  // Laptop files, then reference copies, as "file: dump" lines.
  std::string State() {
    std::string out;
    for (const char* file : {"CIVILAIDE", "NOTES", "BUDGET", "AGENDA", "SECTEUR"})
      out += std::string("laptop ") + file + ": " + Dump(laptop_, file) + "\n";
    for (const char* file : {"CIVILAIDE_ALICE", "NOTES_ALICE", "BUDGET_ALICE"})
      out += std::string("server ") + file + ": " + Dump(server_, file) + "\n";
    return out;
  }
};

TEST_F(ClearingTest, WithNothingLeftRegisteredEverythingListedIsEmptied) {
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(State(),
            "laptop CIVILAIDE: \nlaptop NOTES: \nlaptop BUDGET: \nlaptop AGENDA: \n"
            "laptop SECTEUR: 012=Secteur Nord^^^^^^^^^^^^^^^^^^^^^" +
                (root_ / "share" / "nord").string() +
                "/ | 013=Secteur Sud\n"
                "server CIVILAIDE_ALICE: \nserver NOTES_ALICE: \nserver BUDGET_ALICE: \n");
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00042=" + Person("DUPONT", "Anne", "0123"));
  EXPECT_EQ(Dump(server_, "NOTES"), "00042A=note");
}

TEST_F(ClearingTest, ARemainingRegistrationKeepsEverything) {
  Put(server_, "SDEXPORTAIDES", "00050", "ALICE^20000^10:5");  // taken out, not on this laptop
  Put(server_, "SDEXPORTAIDES", "00051", "BRUNO^20000^10:5");
  const std::string before = State();
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(State(), before);
  EXPECT_EQ(Dump(server_, "SDEXPORTAIDES"), "00050=ALICE^20000^10:5 | 00051=BRUNO^20000^10:5");
}

TEST_F(ClearingTest, WithoutPlanningRecordThePlanningFilesStay) {
  ASSERT_EQ(server_.store()->Delete("SDPARAMEXPORT", "PLANNING"), 0);
  Run();
  EXPECT_EQ(LastBox(), kFinalText);
  EXPECT_EQ(Dump(laptop_, "AGENDA"), "00042*1=rendez-vous");
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_EQ(Dump(server_, "NOTES_ALICE"), "");
}

TEST_F(ClearingTest, AnEmptyLaptopStillClearsAndEnds) {
  ASSERT_EQ(laptop_.store()->Clear("CIVILAIDE"), 0);
  ASSERT_EQ(server_.store()->Delete("SDEXPORTAIDES", "00042"), 0);
  Run();
  EXPECT_EQ(Log(), "box|" + kStartBox + "\npointer|screen|11\npointer|screen|0\nbox|" + kFinalBox +
                       "\nmenu|import|on");
  EXPECT_EQ(Dump(laptop_, "NOTES"), "");
  EXPECT_EQ(Dump(laptop_, "AGENDA"), "");
  EXPECT_EQ(Dump(server_, "CIVILAIDE_ALICE"), "");
}

TEST_F(ClearingTest, AFailedRegistrationCheckClearsNothing) {
  // The register pointer leads to a file the office does not have (a pointer to an account
  // no session is connected to stops the export before anything is sent).
  ASSERT_EQ(laptop_.store()->SetPointer(
                "SDEXPORTAIDES", {server_.HostName(), server_.AccountPath(), "REGISTRE_ABSENT"}),
            0);
  ASSERT_EQ(server_.store()->Delete("SDEXPORTAIDES", "00042"), 0);
  const std::string before = State();
  Run();
  ASSERT_EQ(ui_.boxes().size(), 2u) << Boxes();
  EXPECT_EQ(LastBox().rfind("Error Code ", 0), 0u) << LastBox();
  EXPECT_NE(LastBox(), "Error Code 0");
  EXPECT_EQ(State(), before);
  EXPECT_TRUE(ui_.MenuEnabled(ui::MenuEntry::kImport));
}

// A laptop file that cannot be emptied is told instead of a finished export; its reference
// copy is kept, so the laptop's records are never compared with an emptied one; the next
// export, with nothing left to send, finishes the clearing.
TEST_F(ClearingTest, AFileThatCannotBeEmptiedIsToldAndTheNextExportFinishes) {
  struct ClearFails : db::testing_stores::ForwardingStore {
    explicit ClearFails(std::shared_ptr<db::Store> real)
        : ForwardingStore(*real), real_(std::move(real)) {}
    int Clear(std::string_view file) override {
      return failing && file == "NOTES" ? db::kIoError : ForwardingStore::Clear(file);
    }
    bool failing = true;
    std::shared_ptr<db::Store> real_;
  };
  auto store = std::make_shared<ClearFails>(laptop_.store());
  laptop_.AttachStore(store);
  Run();
  EXPECT_EQ(LastBox(),
            "Le vidage après exportation n'a pas pu être achevé. Fichiers non vidés :\r\nNOTES "
            "(erreur " +
                std::to_string(db::kIoError) +
                ")\r\nRelancez l'exportation pour achever le vidage.");
  EXPECT_EQ(Dump(laptop_, "NOTES"), "00042A=note");
  EXPECT_EQ(Dump(server_, "NOTES_ALICE"), "00042A=note");
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE"), "");
  EXPECT_EQ(Dump(server_, "CIVILAIDE_ALICE"), "");

  store->failing = false;
  ui_.ClearLog();
  Run();
  EXPECT_EQ(Boxes(), kStartBox + "\n" + kFinalBox);
  EXPECT_EQ(Dump(laptop_, "NOTES"), "");
  EXPECT_EQ(Dump(server_, "NOTES_ALICE"), "");
}

}  // namespace
}  // namespace cortevane::exporting::testing
