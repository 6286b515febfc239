#include "connection/frm_connexion.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "db/session.h"
#include "support/qt_app.h"
#include "support/temp_account.h"
#include "support/tls_relay.h"
#include "ui/scripted_ui.h"

namespace cortevane::connection {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

class FrmConnexionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::EnsureQApplication();
    // The laptop and the office base, both with user DUPONT, as the base choice leaves them.
    laptop.AddUser("DUPONT", "MoT-dE-pAsSe");
    office.AddUser("DUPONT", "MoT-dE-pAsSe");
    autonome.SetAccountPath(laptop.Path());
    autonome.SetHostName("localhost");
    serveur.SetAccountPath(office.Path());
    serveur.SetHostName("localhost");
    form.Form_Load();
    form.show();
  }
  void TearDown() override { form.hide(); }

  QLineEdit& User() { return *form.findChild<QLineEdit*>("Txt_Utilisateur"); }
  QLineEdit& Password() { return *form.findChild<QLineEdit*>("Txt_MotPasse"); }
  void Type(const char* user, const char* password) {
    User().setText(user);
    Password().setText(password);
  }
  std::string State() const {
    return std::string(autonome.IsConnected() ? "A+" : "A-") +
           (serveur.IsConnected() ? "S+" : "S-");
  }

  QApplication& app = testing::EnsureQApplication();  // before any widget
  TempAccount laptop{Flavour::kLaptop};
  TempAccount office{Flavour::kServer};
  ui::ScriptedUi ui;
  db::Session autonome;
  db::Session serveur;
  Frm_Connexion form{autonome, serveur, ui, [] { return std::string("dupont"); }};
};

TEST_F(FrmConnexionTest, ProposesTheLoginNameSelectedAndMasksThePassword) {
  EXPECT_EQ(User().text().toStdString(), "dupont");
  EXPECT_EQ(User().selectedText().toStdString(), "dupont");
  EXPECT_EQ(Password().echoMode(), QLineEdit::Password);
  EXPECT_EQ(Password().text().toStdString(), "");
  EXPECT_EQ(form.windowTitle().toStdString(), "Identification");
}

TEST_F(FrmConnexionTest, SuccessConnectsBothInUpperCaseAndCloses) {
  Password().setText("MoT-dE-pAsSe");
  QTest::mouseClick(form.findChild<QPushButton*>("Cmd_Ok"), Qt::LeftButton);
  EXPECT_EQ(State(), "A+S+");
  EXPECT_EQ(autonome.UserName() + "," + serveur.UserName(), "DUPONT,DUPONT");
  EXPECT_EQ(autonome.DataBaseType() + serveur.DataBaseType(), 4);
  EXPECT_EQ(form.Nom_Utilisateur(), "DUPONT");
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(ui.LogText(), "pointer|screen|11\nevents\npointer|screen|0");
}

TEST_F(FrmConnexionTest, AFailureKeepsTheNameEmptiesThePasswordAndWaits) {
  Type("dupont ", "mot-de-passe");  // a trailing space is kept; the password's case matters
  form.Cmd_Ok_Click();
  EXPECT_EQ(ui.LogText(),
            "pointer|screen|11\nevents\npointer|screen|0\nbox|48|Message CORTEVANE|Le mot de "
            "passe saisi n'est pas correct.\r\nCe nom d'utilisateur n'est pas accepté : il ne doit "
            "contenir ni espace, ni guillemet, ni caractère spécial.");
  EXPECT_EQ(autonome.UserName(), "DUPONT ");
  EXPECT_EQ(serveur.Password(), "mot-de-passe");
  EXPECT_EQ(User().text().toStdString(), "dupont ");
  EXPECT_EQ(Password().text().toStdString(), "");
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_EQ(form.Nom_Utilisateur(), "");

  Type("dupont", "MoT-dE-pAsSe");
  ui.ClearLog();
  form.Cmd_Ok_Click();
  EXPECT_EQ(State(), "A+S+");
  EXPECT_EQ(form.Nom_Utilisateur(), "DUPONT");
}

TEST_F(FrmConnexionTest, AnOfficeServerThatCannotBeAuthenticatedIsToldAndGetsNoPassword) {
  // A relay on the way to a distant office answers "no TLS" and asks for the password in
  // clear; no certificate authority of the office is installed on this laptop.
  test_support::TlsRelay relay("127.0.0.2", "");
  ASSERT_NE(relay.port(), 0);
  const char* authority = std::getenv("PGSSLROOTCERT");
  const std::string saved = authority ? authority : "";
  setenv("PGSSLROOTCERT", "/nonexistent/root.crt", 1);
  serveur.SetHostName(relay.host());
  serveur.SetAccountPath("kesta");
  Type("dupont", "MoT-dE-pAsSe");
  form.Cmd_Ok_Click();
  authority ? setenv("PGSSLROOTCERT", saved.c_str(), 1) : unsetenv("PGSSLROOTCERT");
  EXPECT_EQ(State(), "A+S-");
  EXPECT_EQ(ui.LogText(),
            "pointer|screen|11\nevents\npointer|screen|0\nbox|48|Message CORTEVANE|La "
            "connexion à la base du bureau est refusée : le mot de passe n'a pas été "
            "envoyé.\r\nLe serveur du bureau n'a pas pu être authentifié : il demande le mot "
            "de passe sans le lier à la connexion chiffrée.");
  EXPECT_EQ(relay.received().find("MoT-dE-pAsSe"), std::string::npos);
  EXPECT_EQ(Password().text().toStdString(), "");
}

TEST_F(FrmConnexionTest, RetryAfterOnlyTheLaptopConnected) {
  // The office base cannot be reached on the first try, the laptop's can.
  serveur.SetAccountPath((office.Scratch() / "absente").string());
  Type("dupont", "MoT-dE-pAsSe");
  form.Cmd_Ok_Click();
  EXPECT_EQ(State(), "A+S-");
  EXPECT_EQ(ui.boxes().size(), 1u);

  // The next OK tries both again, and succeeds once both can connect.
  serveur.SetAccountPath(office.Path());
  Password().setText("MoT-dE-pAsSe");
  ui.ClearLog();
  form.Cmd_Ok_Click();
  EXPECT_EQ(State(), "A+S+");
  EXPECT_EQ(autonome.Error(), 0);
  EXPECT_EQ(form.Nom_Utilisateur(), "DUPONT");
  EXPECT_EQ(ui.boxes().size(), 0u);
}

// The first line stays; the second names what each failing base met, so that nobody retypes
// a good password against a base that is not there.
TEST_F(FrmConnexionTest, TheSecondLineNamesTheRealCause) {
  const std::string absent = (laptop.Scratch() / "ABSENTE").string();
  const std::string broken = (laptop.Scratch() / "ABIMEE").string();
  std::filesystem::create_directories(broken);
  std::ofstream(std::filesystem::path(broken) / "account.db") << std::string(5000, '\x01');
  struct Case {
    std::string laptop_path, office_host, password, second_line;
  };
  const Case cases[] = {
      {laptop.Path(), "localhost", "faux",
       "Utilisateur inconnu ou mot de passe erroné pour les deux bases."},
      {absent, "localhost", "MoT-dE-pAsSe",
       "La base de l'ordinateur portable est introuvable : le dossier « " + absent +
           " » n'existe pas."},
      {laptop.Path(), "127.0.0.1:1", "MoT-dE-pAsSe",
       "Le serveur « 127.0.0.1:1 » de la base du bureau ne répond pas : vérifiez la liaison, "
       "puis recommencez."},
      {broken, "localhost", "MoT-dE-pAsSe",
       "La base de l'ordinateur portable est endommagée : son fichier ne peut pas être lu. "
       "Vérifiez-la avec : cortevane-admin --account \"" +
           broken + "\" account check"},
  };
  for (const Case& c : cases) {
    autonome.SetAccountPath(c.laptop_path);
    serveur.SetAccountPath(c.office_host == "localhost" ? office.Path() : "kesta_bureau");
    serveur.SetHostName(c.office_host);
    Type("dupont", c.password.c_str());
    ui.ClearLog();
    form.Cmd_Ok_Click();
    ASSERT_EQ(ui.boxes().size(), 1u) << c.second_line;
    EXPECT_EQ(ui.boxes()[0].text, "Le mot de passe saisi n'est pas correct.\r\n" + c.second_line);
  }
}

TEST_F(FrmConnexionTest, EscapeEndsTheProgramTheCloseBoxDoesNothing) {
  form.close();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(ui.LogText(), "");
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_EQ(ui.LogText(), "end");
  EXPECT_EQ(State(), "A-S-");
  EXPECT_EQ(form.Nom_Utilisateur(), "");
}

}  // namespace
}  // namespace cortevane::connection
