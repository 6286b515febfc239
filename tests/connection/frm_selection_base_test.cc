#include "connection/frm_selection_base.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "db/session.h"
#include "support/qt_app.h"
#include "support/temp_account.h"
#include "ui/scripted_ui.h"

namespace cortevane::connection {
namespace {

const char kThreeBases[] =
    "[SERVEUR]\r\nServeur=localhost\r\n\r\n[DISTANT SERVEUR]\r\nServeur2=bureau\r\n\r\n"
    "[BASES]\r\nUn=C:\\UN\r\nDeux=C:\\DEUX\r\nTrois=C:\\TROIS\r\n\r\n"
    "[DISTANT BASES]\r\nBureau=kesta_bureau\r\n";

class FrmSelectionBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::EnsureQApplication(); }

  bool Load(std::string_view text) {
    return form.Form_Load(std::optional(ConfigurationLines(text)));
  }
  QComboBox& Combo() { return *form.findChild<QComboBox*>("Cbo_BaseDispo"); }
  std::string Sessions() const {
    return autonome.AccountPath() + "@" + autonome.HostName() + " " + serveur.AccountPath() + "@" +
           serveur.HostName();
  }

  QApplication& app = testing::EnsureQApplication();  // before any widget
  ui::ScriptedUi ui;
  db::Session autonome;
  db::Session serveur;
  Frm_SelectionBase form{autonome, serveur, ui};
};

TEST_F(FrmSelectionBaseTest, LoadingFillsTheListInFileOrder) {
  ASSERT_TRUE(Load(kThreeBases));
  EXPECT_EQ(form.ListCount(), 3);
  EXPECT_EQ(form.ListText(0) + "," + form.ListText(1) + "," + form.ListText(2), "Un,Deux,Trois");
  EXPECT_EQ(form.windowTitle().toStdString(), "Sélection de la Base de Données");
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(ui.LogText(), "");
}

TEST_F(FrmSelectionBaseTest, UnusableFilesEndTheProgramWithTheirMessage) {
  struct Case {
    std::optional<std::string> file;
    std::string log;
  };
  const std::string server =
      "box|16|Message CORTEVANE|Problème dans le nom ou l'adresse IP d'un serveur\r\n";
  const std::string base = "box|16|Message CORTEVANE|Base de données manquante.\r\n";
  const Case cases[] = {
      {std::nullopt, server + "Le fichier de configuration est introuvable."},
      {"[SERVEUR]\nServeur=   \n[DISTANT SERVEUR]\nServeur2=bureau\n[BASES]\nA=a\n\n"
       "[DISTANT BASES]\nB=b\n",
       server + "Dans le fichier de configuration, la ligne qui suit [SERVEUR] ne donne aucun nom "
                "de serveur."},
      {"[SERVEUR]\nServeur=localhost\n[BASES]\nA=a\n",
       server + "Dans le fichier de configuration, la section [DISTANT SERVEUR] manque."},
      {"[SERVEUR]\nServeur=localhost\n[DISTANT SERVEUR]\nServeur2=bureau\n",
       base +
           "Dans le fichier de configuration, la section [BASES] manque ou ne donne aucune base."},
      {"[SERVEUR]\nServeur=localhost\n[DISTANT SERVEUR]\nServeur2=bureau\n[BASES]\nA=a\n",
       base + "Dans le fichier de configuration, la section [DISTANT BASES] manque ou ne donne "
              "aucune base."},
  };
  for (const Case& c : cases) {
    ui::ScriptedUi fresh;
    Frm_SelectionBase window(autonome, serveur, fresh);
    std::optional<std::vector<std::string>> lines;
    if (c.file) lines = ConfigurationLines(*c.file);
    EXPECT_FALSE(window.Form_Load(lines));
    EXPECT_EQ(fresh.LogText(), c.log + "\nend");
  }
}

TEST_F(FrmSelectionBaseTest, ReadsTheFileFromDisk) {
  test_support::TempFolder folder;
  const auto path = folder.path() / "Cortevane.ini";
  std::ofstream(path, std::ios::binary) << kThreeBases;
  EXPECT_TRUE(form.Form_Load(path));
  EXPECT_EQ(form.ListCount(), 3);
  EXPECT_EQ(ui.LogText(), "");
  // Absent, or a folder in the file's place: the message of an unusable file naming the file,
  // then the end.
  const std::string unusable =
      "box|16|Message CORTEVANE|Problème dans le nom ou l'adresse IP d'un serveur\r\n"
      "Le fichier de configuration « ";
  EXPECT_FALSE(form.Form_Load(folder.path() / "absent.ini"));
  EXPECT_EQ(ui.LogText(),
            unusable + (folder.path() / "absent.ini").string() + " » est introuvable.\nend");
  std::filesystem::create_directory(folder.path() / "dossier.ini");
  ui.ClearLog();
  EXPECT_FALSE(form.Form_Load(folder.path() / "dossier.ini"));
  EXPECT_EQ(ui.LogText(),
            unusable + (folder.path() / "dossier.ini").string() + " » ne peut pas être lu.\nend");
}

TEST_F(FrmSelectionBaseTest, OpensWithNothingChosen) {
  ASSERT_TRUE(Load(kThreeBases));
  form.show();
  EXPECT_EQ(Combo().currentIndex(), -1);
  EXPECT_EQ(Combo().currentText().toStdString(), "");
  QTest::keyClick(&Combo(), Qt::Key_Return);
  EXPECT_EQ(ui.LogText(), "box|48|Message CORTEVANE|Vous devez sélectionner une base de données.");
  EXPECT_EQ(Sessions(), "@ @");
  EXPECT_TRUE(form.isVisible());
  form.hide();
}

TEST_F(FrmSelectionBaseTest, OkChoosesThePickedBaseAndAlwaysTheFirstOfficeBase) {
  ASSERT_TRUE(Load(kThreeBases));
  Combo().setCurrentIndex(2);
  form.show();
  QTest::mouseClick(form.findChild<QPushButton*>("Cmd_OK"), Qt::LeftButton);
  EXPECT_EQ(Sessions(), "C:\\TROIS@localhost kesta_bureau@bureau");
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(ui.LogText(), "");
}

TEST_F(FrmSelectionBaseTest, OkWithoutARealChoiceAsksForOne) {
  ASSERT_TRUE(Load(std::string(kThreeBases) + "\n[BASES]\n=C:\\SANS NOM\n"));
  const std::string message =
      "box|48|Message CORTEVANE|Vous devez sélectionner une base de données.";
  form.show();
  for (const char* typed : {"", "   ", "Quatre"}) {
    ui.ClearLog();
    Combo().setEditText(typed);
    form.Cmd_Ok_Click();
    EXPECT_EQ(ui.LogText(), message) << '"' << typed << '"';
    EXPECT_TRUE(form.isVisible());
  }
  // The entry without a name cannot be chosen either.
  Combo().setCurrentIndex(3);
  ui.ClearLog();
  form.Cmd_Ok_Click();
  EXPECT_EQ(ui.LogText(), message);
  EXPECT_EQ(Sessions(), "@ @");
  // A typed name that is an entry's chooses that entry.
  Combo().setCurrentIndex(0);
  Combo().setEditText("Deux");
  form.Cmd_Ok_Click();
  EXPECT_EQ(Sessions(), "C:\\DEUX@localhost kesta_bureau@bureau");
  form.hide();
}

TEST_F(FrmSelectionBaseTest, QuitterAndEscapeEndTheProgramTheCloseBoxDoesNothing) {
  ASSERT_TRUE(Load(kThreeBases));
  form.show();
  form.close();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(ui.LogText(), "");
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_EQ(ui.LogText(), "end");
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(Sessions(), "@ @");
  ui.ClearLog();
  form.show();
  QTest::mouseClick(form.findChild<QPushButton*>("Cmd_Quitter"), Qt::LeftButton);
  EXPECT_EQ(ui.LogText(), "end");
  form.hide();
}

}  // namespace
}  // namespace cortevane::connection
