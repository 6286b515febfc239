#include "app/mod_menu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "app/ecran_presentation.h"
#include "app/mod_var.h"
#include "support/qt_app.h"
#include "support/temp_account.h"
#include "ui/scripted_ui.h"

namespace cortevane::app {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

class ModMenuTest : public ::testing::Test {
 protected:
  ModMenuTest() { testing::EnsureQApplication(); }
  ~ModMenuTest() override {
    menu.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // A configuration file with the given [BASES] lines; the office base is the real one.
  std::filesystem::path Configuration(const std::string& bases) {
    const auto path = folder.path() / "Cortevane.ini";
    std::ofstream(path, std::ios::binary)
        << "[SERVEUR]\r\nServeur=localhost\r\n\r\n[DISTANT SERVEUR]\r\nServeur2=127.0.0.1\r\n\r\n"
        << "[BASES]\r\n"
        << bases << "\r\n[DISTANT BASES]\r\nBureau=" << office.Path() << "\r\nAutre=ailleurs\r\n";
    return path;
  }
  std::string OneLaptopBase() { return "Portable=" + laptop.Path() + "\r\n"; }

  // Plays the identification dialog: name and password typed, OK clicked.
  void Identify(const char* user, const char* password) {
    ui.OnModal([=](QDialog& dialog) {
      dialog.findChild<QLineEdit*>("Txt_Utilisateur")->setText(user);
      dialog.findChild<QLineEdit*>("Txt_MotPasse")->setText(password);
      dialog.findChild<QPushButton*>("Cmd_Ok")->click();
    });
  }
  // Plays the selection dialog: the entry at `index` chosen, OK clicked.
  void Choose(int index) {
    ui.OnModal([=](QDialog& dialog) {
      dialog.findChild<QComboBox*>("Cbo_BaseDispo")->setCurrentIndex(index);
      dialog.findChild<QPushButton*>("Cmd_OK")->click();
    });
  }
  void Start(const std::string& bases, bool expected = true) {
    menu = std::make_unique<Mod_Menu>(var, ui, [this](Mod_Var&, ui::Ui&) {
      ++jobs_made;
      return MainWindowJobs{};
    });
    EXPECT_EQ(menu->Demarrage(Configuration(bases)), expected);
  }
  std::string Sessions() const {
    return var.Ses_Autonome.AccountPath() + "@" + var.Ses_Autonome.HostName() + " " +
           var.Ses_Serveur.AccountPath() + "@" + var.Ses_Serveur.HostName();
  }

  test_support::TempFolder folder;
  TempAccount laptop{Flavour::kLaptop, "DUPONT", "secret"};
  TempAccount office{Flavour::kServer, "DUPONT", "secret"};
  ui::ScriptedUi ui;
  Mod_Var var;
  std::unique_ptr<Mod_Menu> menu;
  int jobs_made = 0;
};

TEST_F(ModMenuTest, OneLaptopBaseIsChosenWithoutAsking) {
  Identify("dupont", "secret");
  Start(OneLaptopBase());
  EXPECT_EQ(ui.LogText(), "modal|Frm_Connexion\npointer|screen|11\nevents\npointer|screen|0");
  EXPECT_EQ(Sessions(), laptop.Path() + "@localhost " + office.Path() + "@127.0.0.1");
  EXPECT_TRUE(var.Ses_Autonome.IsConnected() && var.Ses_Serveur.IsConnected());
  EXPECT_EQ(var.Nom_Utilisateur, "DUPONT");
  EXPECT_EQ(var.W_Serveur + "|" + var.W_ServeurDistant, "localhost|127.0.0.1");
  EXPECT_EQ(var.W_Bases.Text(), laptop.Path());
  EXPECT_EQ(var.W_BasesDistantes.Value(2, 1), "ailleurs");
  ASSERT_NE(menu->presentation(), nullptr);
  EXPECT_TRUE(menu->presentation()->isVisible());
  EXPECT_EQ(menu->main_window(), nullptr);
}

TEST_F(ModMenuTest, SeveralBasesOrAnUnnamedOneAreAskedFor) {
  Choose(1);
  Identify("dupont", "secret");
  Start("Essai=C:\\ESSAI\r\n" + OneLaptopBase());
  EXPECT_EQ(ui.log().front(), "modal|Frm_SelectionBase");
  EXPECT_EQ(ui.log()[1], "modal|Frm_Connexion");
  EXPECT_EQ(var.Nom_Utilisateur, "DUPONT");
  EXPECT_EQ(var.Ses_Autonome.AccountPath(), laptop.Path());
  EXPECT_EQ(ui.unanswered(), 0);
}

TEST_F(ModMenuTest, ASingleEntryWithoutNameIsShownNotChosen) {
  ui.OnModal([](QDialog& dialog) { dialog.findChild<QPushButton*>("Cmd_Quitter")->click(); });
  Start("=" + laptop.Path() + "\r\n", false);
  EXPECT_EQ(ui.LogText(), "modal|Frm_SelectionBase\nend");
  EXPECT_EQ(Sessions(), "@ @");
}

TEST_F(ModMenuTest, TheWaysOutEndTheProgramAtOnce) {
  // An unusable file: its message, the end, and no dialog.
  menu = std::make_unique<Mod_Menu>(var, ui, Mod_Menu::JobsFactory{});
  EXPECT_FALSE(menu->Demarrage(folder.path() / "absent.ini"));
  EXPECT_EQ(ui.LogText(),
            "box|16|Message CORTEVANE|Problème dans le nom ou l'adresse IP d'un serveur\r\n"
            "Le fichier de configuration « " +
                (folder.path() / "absent.ini").string() + " » est introuvable.\nend");

  // Annuler at identification: nothing connected, no presentation.
  ui.ClearLog();
  ui.OnModal([](QDialog& dialog) { dialog.findChild<QPushButton*>("Cmd_Annuler")->click(); });
  Start(OneLaptopBase(), false);
  EXPECT_EQ(ui.LogText(), "modal|Frm_Connexion\nend");
  EXPECT_FALSE(var.Ses_Autonome.IsConnected() || var.Ses_Serveur.IsConnected());
  EXPECT_EQ(menu->presentation(), nullptr);
}

TEST_F(ModMenuTest, PresentationOpensTheMainWindowOnItsSecondTick) {
  Identify("dupont", "secret");
  Start(OneLaptopBase());
  EcranPresentation* screen = menu->presentation();
  ASSERT_NE(screen, nullptr);
  ui.ClearLog();

  screen->Timer1_Timer();
  EXPECT_EQ(menu->main_window(), nullptr);
  EXPECT_EQ(ui.LogText(), "");
  screen->Timer1_Timer();
  ASSERT_NE(menu->main_window(), nullptr);
  EXPECT_TRUE(menu->main_window()->isVisible());
  EXPECT_EQ(menu->main_window()->windowTitle().toStdString(),
            "Base autonome (" + laptop.Path() + ") <==//==> Base serveur (" + office.Path() + ")");
  EXPECT_EQ(ui.LogText(), "pointer|screen|11\npointer|screen|0");
  EXPECT_EQ(jobs_made, 1);

  // The screen is gone for good.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(menu->presentation(), nullptr);
}

TEST_F(ModMenuTest, PresentationTimingAndContent) {
  Identify("dupont", "secret");
  Start(OneLaptopBase());
  EcranPresentation* screen = menu->presentation();
  ASSERT_NE(screen, nullptr);
  EXPECT_TRUE(screen->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(screen->windowFlags() & Qt::WindowType_Mask, Qt::SplashScreen);  // no task bar entry
  EXPECT_EQ(screen->findChild<QLabel*>("lblProductName")->text().toStdString(), "CORTEVANE KESTA");
  EXPECT_EQ(screen->findChild<QLabel*>("lblVersion")->text().toStdString(), "Version 2.0");
  const QPixmap picture = screen->findChild<QLabel*>("Image1")->pixmap();
  EXPECT_EQ(picture.size(), QSize(424, 424));

  // Real time: nothing after the first second, the main window after the second.
  QTest::qWait(1500);
  EXPECT_EQ(menu->main_window(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return menu->main_window() != nullptr; }, 2000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return menu->presentation() == nullptr; }, 1000));
  menu->main_window()->hide();
}

}  // namespace
}  // namespace cortevane::app
