// The "Suivi" views: what an export would now do, on an embedded office and on a PostgreSQL
// one, stopped half-way or run to the end, reading only; and the journal of past runs, each
// opened read-only.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <fstream>

#include "app/frm_apercu.h"
#include "app/frm_journal.h"
#include "export_fixture.h"
#include "support/pg_server.h"
#include "support/qt_app.h"

namespace cortevane::exporting::testing {
namespace {

class SuiviTest : public ExportTest {
 protected:
  void SetUp() override {
    cortevane::testing::EnsureQApplication();
    ExportTest::SetUp();
  }
  // 00042 unchanged, 00043 changed on the laptop and its note on both sides, 00118 new.
  void Scenario(db::Session& office) {
    auto imported = [&](const std::string& file, const std::string& key, const std::string& rec) {
      Put(office, file, key, rec);
      Put(office, file + "_" + user_, key, rec);
      Put(laptop_, file, key, rec);
    };
    imported("CIVILAIDE", "00042", Person("DUPONT", "Anne", "0123"));
    imported("CIVILAIDE", "00043", Person("MARTIN", "Paul", "0123"));
    imported("NOTES", "00043A", "note");
    Put(laptop_, "CIVILAIDE", "00043", Person("MARTIN", "Paule", "0123"));
    Put(laptop_, "NOTES", "00043A", "note du portable");
    Put(office, "NOTES", "00043A", "note du bureau");
    Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  }
  // Runs the preview to its end on `office`; its lines.
  std::string Preview(db::Session& office) {
    app::Frm_Apercu window(laptop_, office, user_, ui_);
    EXPECT_TRUE(window.Demarrer());
    while (window.Etape()) {
    }
    EXPECT_FALSE(window.running());
    return window.Lignes();
  }
  const std::string kExpected =
      "00042|DUPONT Anne|inchangé\n"
      "00043|MARTIN Paule|enregistrements à écrire : CIVILAIDE 1 ; question possible sur NOTES "
      "(1 enregistrement)\n"
      "00118|NOUVEAU Né|nouvel aidé, recevrait un code ; enregistrements à écrire : CIVILAIDE 1\n"
      "Total : 3 aidés, 1 inchangé, 2 enregistrements à écrire, 1 fichier avec une question "
      "possible, 1 nouvel aidé à coder.";
};

TEST_F(SuiviTest, PreviewOnAnEmbeddedOfficeReadsOnlyAndStops) {
  Scenario(server_);
  const std::string before = Dump(server_, "CIVILAIDE") + Dump(server_, "NOTES") +
                             Dump(server_, "COMPTEUR") + Dump(laptop_, "CIVILAIDE");
  EXPECT_EQ(Preview(server_), kExpected);
  EXPECT_EQ(Dump(server_, "CIVILAIDE") + Dump(server_, "NOTES") + Dump(server_, "COMPTEUR") +
                Dump(laptop_, "CIVILAIDE"),
            before);
  EXPECT_EQ(ui_.LogText(), "");

  // Stopped after the first person: one line, and it stays so.
  app::Frm_Apercu window(laptop_, server_, user_, ui_);
  ASSERT_TRUE(window.Demarrer());
  EXPECT_TRUE(window.running());
  EXPECT_TRUE(window.Etape());
  window.findChild<QPushButton*>("Cmd_Arreter")->click();
  EXPECT_FALSE(window.running());
  EXPECT_EQ(window.Lignes().substr(0, window.Lignes().find('\n')), "00042|DUPONT Anne|inchangé");

  // An office without the user's counter: told, with the second line, and nothing listed.
  Drop(server_, "COMPTEUR_" + user_);
  app::Frm_Apercu broken(laptop_, server_, user_, ui_);
  EXPECT_FALSE(broken.Demarrer());
  EXPECT_EQ(Boxes(),
            "48|Message CORTEVANE|L'aperçu de l'exportation ne peut pas être fait : "
            "fichier du bureau COMPTEUR_ALICE (32001)\\r\\nLa base du bureau est "
            "endommagée : un de ses fichiers manque. Prévenez le bureau.");
}

TEST_F(SuiviTest, PreviewOnAPostgresOffice) {
  const auto address = cortevane::testing::NewPgAccount("suivi");
  if (!address) GTEST_SKIP() << "no PostgreSQL test server";
  int status = db::kOk;
  auto store = db::PostgresStore::Connect(*address, &status);
  ASSERT_EQ(status, db::kOk);
  db::Session office;
  office.AttachStore(store);
  ASSERT_NO_FATAL_FAILURE(SetUpServer(office, user_));
  Scenario(office);
  EXPECT_EQ(Preview(office), kExpected);
  office.Disconnect();
  db::PostgresStore::DropAccount(*address);
}

TEST_F(SuiviTest, JournalListsRunsNewestFirstAndOpensThemReadOnly) {
  const auto folder = root_ / "JOURNAL";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "2026-12-08_09-41-21.txt")
      << "09:41:22 Aidé 00042 DUPONT Anne\r\n09:41:25 Exportation terminée.\r\n";
  std::ofstream(folder / "importation_2026-12-09_14-30-00.txt")
      << "14:30:00   Aidé 00042\r\n14:30:01 1 aidé importé le 09/12/2026 à 14:30\r\n";
  app::Frm_Journal window(ui_, (folder / "").string());
  EXPECT_EQ(window.Lignes(),
            "09/12/2026 14:30:00|Importation|1||0|1 aidé importé le 09/12/2026 à 14:30\n"
            "08/12/2026 09:41:21|Exportation|1|0|0|Exportation terminée.\n");
  EXPECT_EQ(window.findChild<QLabel*>("Etq_Nombre")->text().toStdString(),
            "1 importation, 1 exportation");
  std::string shown;
  bool read_only = false;
  ui_.OnModal([&](QDialog& view) {
    auto* text = view.findChild<QPlainTextEdit*>("Txt_Journal");
    shown = view.windowTitle().toStdString() + "\n" + text->toPlainText().toStdString();
    read_only = text->isReadOnly();
  });
  window.findChild<QPushButton*>("Cmd_Ouvrir")->click();  // the newest, chosen at opening
  EXPECT_EQ(ui_.LogText(), "modal|Frm_JournalTexte");
  EXPECT_EQ(shown,
            "Importation du 09/12/2026 14:30:00\n14:30:00   Aidé 00042\n14:30:01 1 aidé importé le "
            "09/12/2026 à 14:30\n");
  EXPECT_TRUE(read_only);
}

}  // namespace
}  // namespace cortevane::exporting::testing
