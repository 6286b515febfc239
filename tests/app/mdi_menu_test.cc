#include "app/mdi_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPointer>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "app/mod_var.h"
#include "support/qt_app.h"
#include "support/temp_account.h"
#include "ui/qt_ui.h"
#include "ui/scripted_ui.h"

namespace cortevane::app {
namespace {

// Stands for the import window: it refuses to close unless left through Sortir, which gives
// Export back, as the real one does.
class FakeImport : public QWidget {
 public:
  FakeImport(ui::Ui& ui, QWidget* parent) : QWidget(parent), ui_(ui) {}
  void Sortir() {
    ui_.SetMenuEnabled(ui::MenuEntry::kExport, true);
    leaving_ = true;
    close();
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (leaving_) {
      event->accept();
    } else {
      event->ignore();
    }
  }

 private:
  ui::Ui& ui_;
  bool leaving_ = false;
};

class MdiMenuTest : public ::testing::Test {
 protected:
  MdiMenuTest() {
    testing::EnsureQApplication();
    var.Ses_Autonome.SetAccountPath("C:\\KESTA\\BASE PORTABLE");
    var.Ses_Serveur.SetAccountPath("kesta bureau");
  }
  ~MdiMenuTest() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  MainWindowJobs Jobs() {
    MainWindowJobs jobs;
    jobs.create_import_window = [this](QWidget* parent) {
      ++imports_made;
      last_import = new FakeImport(ui, parent);
      return last_import.data();
    };
    jobs.run_export = [this] {
      ++exports_run;
      ui.SetMenuEnabled(ui::MenuEntry::kImport, true);  // the export gives Import back
    };
    return jobs;
  }
  QAction& Menu(const char* name) { return *window->findChild<QAction*>(name); }
  std::string Menus() {
    return std::string(Menu("Mnu_Import").isEnabled() ? "I+" : "I-") +
           (Menu("Mnu_Export").isEnabled() ? "E+" : "E-");
  }
  int OpenChildren() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int open = 0;
    for (QMdiSubWindow* frame : window->findChild<QMdiArea*>()->subWindowList()) {
      if (frame->widget() && frame->isVisible()) ++open;
    }
    return open;
  }

  ui::ScriptedUi ui;
  Mod_Var var;
  std::unique_ptr<MDI_Menu> window;
  QPointer<FakeImport> last_import;
  int imports_made = 0;
  int exports_run = 0;
};

TEST_F(MdiMenuTest, TitleNamesBothBasesAndMenusStartEnabled) {
  window = std::make_unique<MDI_Menu>(var, ui, Jobs());
  EXPECT_EQ(window->windowTitle().toStdString(),
            "Base autonome (C:\\KESTA\\BASE PORTABLE) <==//==> Base serveur (kesta bureau)");
  EXPECT_EQ(Menu("Mnu_Import").text().toStdString(), "&Import");
  EXPECT_EQ(Menu("Mnu_Export").text().toStdString(), "&Export");
  EXPECT_EQ(Menu("Mnu_Quitter").text().toStdString(), "&Quitter");
  EXPECT_EQ(Menus(), "I+E+");
  // The entries are the ones the import window and the export switch through the ui, and the
  // status line the one they write to.
  ui.SetMenuEnabled(ui::MenuEntry::kExport, false);
  EXPECT_EQ(Menus(), "I+E-");
  ui.ShowStatus("3 aidés importés le 14/03/2024 à 09:05");
  auto line = [&] {
    auto* label = window->statusBar()->findChild<QLabel*>("Etq_Etat");
    return label && label->isVisibleTo(window.get()) ? label->text().toStdString() : "";
  };
  EXPECT_EQ(line(), "3 aidés importés le 14/03/2024 à 09:05");
  // A menu entry under the pointer sends its (empty) status tip: the line stays.
  QStatusTipEvent tip(QString{});
  QCoreApplication::sendEvent(window.get(), &tip);
  EXPECT_EQ(line(), "3 aidés importés le 14/03/2024 à 09:05");
}

TEST_F(MdiMenuTest, BackgroundPictureIsBuiltIn) {
  const QPixmap background(":/pictures/fond_menu.bmp");
  EXPECT_EQ(background.width(), 795);
  EXPECT_EQ(background.height(), 526);
  EXPECT_EQ(QImage(":/pictures/fond_menu.bmp").depth(), 32);  // read from 24 bits, as RGB32
}

TEST_F(MdiMenuTest, ImportOpensOneWindowAndExportWaitsForItsExit) {
  window = std::make_unique<MDI_Menu>(var, ui, Jobs());
  window->show();
  window->Mnu_Import_Click();
  window->Mnu_Import_Click();  // brings the same window forward
  EXPECT_EQ(imports_made, 1);
  EXPECT_EQ(OpenChildren(), 1);
  EXPECT_EQ(Menus(), "I+E-");

  last_import->Sortir();
  EXPECT_EQ(OpenChildren(), 0);
  EXPECT_EQ(window->import_window(), nullptr);
  EXPECT_EQ(Menus(), "I+E+");

  window->Mnu_Import_Click();  // a new window, not the old one
  EXPECT_EQ(imports_made, 2);
  EXPECT_EQ(OpenChildren(), 1);
  last_import->Sortir();
  window->hide();
}

TEST_F(MdiMenuTest, ExportDisablesImportAndRuns) {
  window = std::make_unique<MDI_Menu>(var, ui, Jobs());
  window->Mnu_Export_Click();
  EXPECT_EQ(exports_run, 1);
  EXPECT_EQ(ui.LogText(), "menu|import|off\nmenu|import|on");
  EXPECT_EQ(Menus(), "I+E+");
}

TEST_F(MdiMenuTest, TheExportsBoxesAndProgressOpenOverTheMainWindow) {
  MainWindowJobs jobs;
  jobs.run_export = [this] {
    ui.MsgBox("Confirmez-vous l'exportation ?", ui::kYesNo | ui::kQuestion);
    ui.ShowProgress("Aidé 1 sur 1");
    ui.MsgBox("Exportation terminée.");
  };
  window = std::make_unique<MDI_Menu>(var, ui, std::move(jobs));
  ui.AnswerYes();
  window->Mnu_Export_Click();
  ASSERT_EQ(ui.boxes().size(), 2u);
  EXPECT_EQ(ui.boxes()[0].owner + " " + ui.boxes()[1].owner, "MDI_Menu MDI_Menu");
  EXPECT_EQ(ui.progress_owner(), "MDI_Menu");
  ui.MsgBox("après");
  EXPECT_EQ(ui.boxes().back().owner, "");
}

TEST_F(MdiMenuTest, UnwiredJobsDoNothingVisible) {
  window = std::make_unique<MDI_Menu>(var, ui, MainWindowJobs{});
  window->Mnu_Import_Click();
  window->Mnu_Export_Click();
  EXPECT_EQ(ui.LogText(), "");
  EXPECT_EQ(Menus(), "I+E+");
  EXPECT_EQ(OpenChildren(), 0);

  // An import window that could not be made gives Export back at once.
  MainWindowJobs failing;
  failing.create_import_window = [](QWidget*) -> QWidget* { return nullptr; };
  window = std::make_unique<MDI_Menu>(var, ui, failing);
  window->Mnu_Import_Click();
  EXPECT_EQ(Menus(), "I+E+");
}

// While the export waits on the server, the program's own ui shows the wait in its modal
// progress window and lets events through: Import, Export and Quitter reached meanwhile start
// nothing, and afterwards the progress and the menus are as before the wait.
TEST_F(MdiMenuTest, WhileTheExportWaitsOnTheServerNothingElseStarts) {
  ui::QtUi qt;
  std::string seen;
  MainWindowJobs jobs = Jobs();
  jobs.run_export = [&] {
    ++exports_run;
    qt.ShowProgress("Aidé 1 sur 3");
    for (int seconds : {0, 1, 1, 2}) qt.ServerWait(seconds);
    QWidget* progress = qt.progress_window();
    seen = progress->findChild<QLabel*>()->text().toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), progress);
    EXPECT_TRUE(qt.WaitingOnServer());
    window->Mnu_Export_Click();
    window->Mnu_Import_Click();
    window->Mnu_Quitter_Click();
    window->close();
    seen += " | " + Menus();
    qt.ServerWait(ui::kServerWaitOver);
    seen += " | " + progress->findChild<QLabel*>()->text().toStdString();
    qt.HideProgress();
  };
  window = std::make_unique<MDI_Menu>(var, qt, std::move(jobs));
  window->show();
  window->Mnu_Export_Click();
  EXPECT_EQ(seen, "Aidé 1 sur 3\nAttente du serveur… 2 s | I-E- | Aidé 1 sur 3");
  EXPECT_EQ(exports_run, 1);
  EXPECT_EQ(imports_made, 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Menus(), "I-E+") << "Import stays off until the export gives it back";
  window->hide();
}

class MdiMenuQuitTest : public MdiMenuTest {
 protected:
  void SetUp() override {
    // Mod_Var's sessions, connected as identification leaves them.
    for (auto [session, account] :
         {std::pair{&var.Ses_Autonome, &laptop}, std::pair{&var.Ses_Serveur, &office}}) {
      session->SetDataBaseType(2);
      session->SetHostName("localhost");
      session->SetAccountPath(account->Path());
      session->SetUserName(account->User());
      session->SetPassword(account->Password());
      ASSERT_EQ(session->Connect(), 0);
    }
    window = std::make_unique<MDI_Menu>(var, ui, Jobs());
    window->show();
  }
  void TearDown() override { window.reset(); }
  std::string Sessions() const {
    return std::string(var.Ses_Autonome.IsConnected() ? "A+" : "A-") +
           (var.Ses_Serveur.IsConnected() ? "S+" : "S-");
  }

  test_support::TempAccount laptop{test_support::Flavour::kLaptop};
  test_support::TempAccount office{test_support::Flavour::kServer};
};

TEST_F(MdiMenuQuitTest, QuitterDisconnectsBothAndCloses) {
  window->Mnu_Quitter_Click();
  EXPECT_EQ(Sessions(), "A-S-");
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MdiMenuQuitTest, QuitterWithTheImportWindowOpenChangesNothing) {
  window->Mnu_Import_Click();
  window->Mnu_Quitter_Click();
  EXPECT_EQ(Sessions(), "A+S+");
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(OpenChildren(), 1);
  EXPECT_EQ(Menus(), "I+E-");

  // Once the import window is left, Quitter works.
  last_import->Sortir();
  window->Mnu_Quitter_Click();
  EXPECT_EQ(Sessions(), "A-S-");
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MdiMenuQuitTest, CloseBoxClosesWithoutDisconnectingUnlessTheImportRefuses) {
  window->Mnu_Import_Click();
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  last_import->Sortir();
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Sessions(), "A+S+");
}

}  // namespace
}  // namespace cortevane::app
