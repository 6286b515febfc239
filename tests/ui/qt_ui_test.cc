#include "ui/qt_ui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <string>

#include "support/qt_app.h"

namespace cortevane::ui {
namespace {

class QtUiTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::EnsureQApplication(); }
  void TearDown() override {
    // No test may leave a window behind for the next one.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      EXPECT_FALSE(widget->isVisible()) << widget->objectName().toStdString();
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
};

// What the user sees of a message box, rendered as one string: icon|buttons|default|title|text.
std::string Describe(const QMessageBox& box) {
  std::string icon;
  switch (box.icon()) {
    case QMessageBox::Critical:
      icon = "critical";
      break;
    case QMessageBox::Question:
      icon = "question";
      break;
    case QMessageBox::Warning:
      icon = "exclamation";
      break;
    case QMessageBox::Information:
      icon = "information";
      break;
    default:
      icon = "none";
  }
  std::string buttons;
  for (QAbstractButton* button : box.buttons()) {
    if (!buttons.empty()) buttons += ",";
    buttons += button->text().remove('&').toStdString();
  }
  const std::string def =
      box.defaultButton() ? box.defaultButton()->text().remove('&').toStdString() : "";
  return icon + "|" + buttons + "|" + def + "|" + box.windowTitle().toStdString() + "|" +
         box.text().toStdString();
}

TEST_F(QtUiTest, MessageBoxesFollowTheStyleValue) {
  struct Case {
    int style;
    std::string title;
    std::string expected;
  };
  const Case cases[] = {
      {kCritical, std::string(kMessageTitle), "critical|OK|OK|Message CORTEVANE|Problème d'accès"},
      {kExclamation, std::string(kMessageTitle),
       "exclamation|OK|OK|Message CORTEVANE|Problème d'accès"},
      {kInformation, "", "information|OK|OK|Cortevane KESTA|Problème d'accès"},
      {kOkOnly, "", "none|OK|OK|Cortevane KESTA|Problème d'accès"},
      {kYesNo + kQuestion, "Export", "question|Oui,Non|Oui|Export|Problème d'accès"},
      {kYesNo + kExclamation + 256, "", "exclamation|Oui,Non|Non|Cortevane KESTA|Problème d'accès"},
      {kYesNo + kQuestion + kMergeButton, "",
       "question|Fusionner,Oui,Non|Oui|Cortevane KESTA|Problème d'accès"},
  };
  for (const Case& c : cases) {
    auto box = MakeMessageBox("Problème d'accès", c.style, c.title, nullptr);
    EXPECT_EQ(Describe(*box), c.expected) << "style " << c.style;
  }
}

TEST_F(QtUiTest, MessageTextIsNeverTakenAsMarkup) {
  auto box = MakeMessageBox("<b>DUPONT</b> & fils", kOkOnly, {}, nullptr);
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_EQ(box->text().toStdString(), "<b>DUPONT</b> & fils");
}

TEST_F(QtUiTest, DetailsAreAddedWithoutChangingTheBox) {
  auto plain = MakeMessageBox("Continuer ?", kYesNo + kQuestion, kMessageTitle, nullptr);
  auto box = MakeMessageBox("Continuer ?", kYesNo + kQuestion, kMessageTitle, nullptr,
                            "Champ 2 <b>\n  sur le serveur : DURAND");
  EXPECT_TRUE(plain->detailedText().isEmpty());
  EXPECT_EQ(box->detailedText().toStdString(), "Champ 2 <b>\n  sur le serveur : DURAND");
  // The same icon, title, text, Yes/No buttons and default, plus the French details button,
  // which keeps French words when it is clicked open and closed.
  QAbstractButton* details = nullptr;
  for (QAbstractButton* b : box->buttons()) {
    if (box->buttonRole(b) == QMessageBox::ActionRole) details = b;
  }
  ASSERT_NE(details, nullptr);
  EXPECT_EQ(Describe(*box), "question|Détails…,Oui,Non|Oui|Message CORTEVANE|Continuer ?");
  details->click();
  EXPECT_EQ(details->text().remove('&').toStdString(), "Masquer les détails");
  details->click();
  EXPECT_EQ(details->text().remove('&').toStdString(), "Détails…");
}

// A question stays up through Escape and its window's close button until one of its buttons is
// pressed; an OK box still goes with Escape. Each case: style, then the button finally pressed
// (empty: none, Escape must have closed the box), then the answer.
TEST_F(QtUiTest, QuestionsWaitForAButton) {
  struct Case {
    int style;
    const char* button;
    int answer;
  } const cases[] = {
      {kYesNo + kQuestion, "Non", kAnswerNo},
      {kYesNo + kExclamation, "Oui", kAnswerYes},
      {kYesNo + kQuestion + kMergeButton, "Fusionner", kAnswerMerge},
      {kYesNo + kQuestion + kMergeButton, "Non", kAnswerNo},
      {kExclamation, "", kAnswerOk},
  };
  for (const Case& c : cases) {
    QtUi ui;
    std::string seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      QTest::keyClick(box, Qt::Key_Escape);
      if (!*c.button) return;
      seen += box->isVisible() ? "escape ignored" : "escape closed";
      seen += box->close() || !box->isVisible() ? ", closed" : ", close ignored";
      for (QAbstractButton* b : box->buttons())
        if (b->text().remove('&') == c.button) b->click();
    });
    EXPECT_EQ(ui.MsgBox("Continuer ?", c.style, kMessageTitle, "détails"), c.answer);
    if (*c.button) {
      EXPECT_EQ(seen, "escape ignored, close ignored") << c.style;
    }
  }
}

// Fifteen lines of details are read without scrolling, and a usual value fits on its line.
TEST_F(QtUiTest, DetailsPaneShowsFifteenLines) {
  std::string details;
  for (int i = 1; i <= 15; ++i)
    details += "  sur le portable : " + std::string(60, 'e') + std::to_string(i) + "\n";
  details.pop_back();
  auto box = MakeMessageBox("Continuer ?", kYesNo + kQuestion, kMessageTitle, nullptr, details);
  box->show();
  for (QAbstractButton* b : box->buttons())
    if (box->buttonRole(b) == QMessageBox::ActionRole) b->click();
  auto* pane = box->findChild<QTextEdit*>();
  ASSERT_NE(pane, nullptr);
  ASSERT_TRUE(pane->isVisible());
  EXPECT_EQ(pane->verticalScrollBar()->maximum(), 0);
  box->done(0);
}

TEST_F(QtUiTest, AnswersAreTheClassicValues) {
  EXPECT_EQ(AnswerOf(QMessageBox::Ok), kAnswerOk);
  EXPECT_EQ(AnswerOf(QMessageBox::Yes), kAnswerYes);
  EXPECT_EQ(AnswerOf(QMessageBox::No), kAnswerNo);
}

TEST_F(QtUiTest, ScreenPointerBackToNormalUndoesEveryHourglass) {
  QtUi ui;
  ui.SetScreenPointer(Pointer::kHourglass);
  ui.SetScreenPointer(Pointer::kHourglass);  // nested waits do not stack
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QApplication::setOverrideCursor(Qt::IBeamCursor);  // even one set by someone else
  ui.SetScreenPointer(Pointer::kDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtUiTest, WindowPointerFindsTheWindowByName) {
  QtUi ui;
  QWidget window;
  window.setObjectName("Chd_Import");
  ui.SetWindowPointer("Chd_Import", Pointer::kHourglass);
  EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
  ui.SetWindowPointer("Chd_Import", Pointer::kDefault);
  EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
  ui.SetWindowPointer("Absente", Pointer::kHourglass);  // no such window: nothing happens
}

TEST_F(QtUiTest, MenuEntriesReachTheRegisteredActions) {
  QtUi ui;
  ui.SetMenuEnabled(MenuEntry::kExport, false);  // before the main window exists
  QAction import_action("Import");
  QAction export_action("Export");
  ui.RegisterMenuEntry(MenuEntry::kImport, &import_action);
  ui.RegisterMenuEntry(MenuEntry::kExport, &export_action);
  EXPECT_TRUE(import_action.isEnabled());
  EXPECT_FALSE(export_action.isEnabled());

  ui.SetMenuEnabled(MenuEntry::kImport, false);
  ui.SetMenuEnabled(MenuEntry::kExport, true);
  EXPECT_FALSE(import_action.isEnabled());
  EXPECT_TRUE(export_action.isEnabled());
  EXPECT_FALSE(ui.MenuEnabled(MenuEntry::kImport));
  EXPECT_TRUE(ui.MenuEnabled(MenuEntry::kExport));
}

TEST_F(QtUiTest, MenuEntryOutlivedByTheUi) {
  QtUi ui;
  {
    QAction action("Import");
    ui.RegisterMenuEntry(MenuEntry::kImport, &action);
  }
  ui.SetMenuEnabled(MenuEntry::kImport, false);  // the action is gone: no crash
  EXPECT_FALSE(ui.MenuEnabled(MenuEntry::kImport));
}

TEST_F(QtUiTest, ProgressIsOneModalWindowUpdatedInPlace) {
  QtUi ui;
  ui.ShowProgress("Aidé 1 sur 200");
  QWidget* window = ui.progress_window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);
  ui.ShowProgress("Aidé 2 sur 200");
  EXPECT_EQ(ui.progress_window(), window);
  ASSERT_NE(window->findChild<QLabel*>(), nullptr);
  EXPECT_EQ(window->findChild<QLabel*>()->text().toStdString(), "Aidé 2 sur 200");
  EXPECT_TRUE(window->findChildren<QPushButton*>().isEmpty());  // nothing to click
  ui.HideProgress();
  EXPECT_EQ(ui.progress_window(), nullptr);
  ui.HideProgress();  // twice is harmless
}

TEST_F(QtUiTest, ProgressSurvivesTheWindowItCovers) {
  QtUi ui;
  auto* owner = new QWidget;
  owner->show();
  owner->activateWindow();
  QApplication::setActiveWindow(owner);
  ui.ShowProgress("Copie des documents");
  delete owner;  // may take the progress window with it
  ui.ShowProgress("Copie des documents");
  EXPECT_TRUE(ui.progress_window()->isVisible());
  ui.HideProgress();
}

TEST_F(QtUiTest, BoxesAndProgressOpenOverTheirOwner) {
  QtUi ui;
  QWidget main_window;
  main_window.setGeometry(300, 200, 800, 600);
  main_window.show();
  QWidget* inner = new QWidget(&main_window);  // a child such as the import window
  QWidget elsewhere;                           // the active window is not the owner
  elsewhere.setGeometry(0, 0, 200, 100);
  elsewhere.show();
  QApplication::setActiveWindow(&elsewhere);
  auto near_centre = [&](const QWidget& w) {
    const QPoint d = w.frameGeometry().center() - main_window.frameGeometry().center();
    return d.manhattanLength() <= 4;
  };
  OwnerScope outer(ui, main_window);
  {
    OwnerScope scope(ui, *inner);
    QWidget* parent = nullptr;
    bool centred = false;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) return;
      parent = box->parentWidget();
      centred = near_centre(*box);
      box->close();
    });
    ui.MsgBox("Cet aidé n'existe pas.");
    EXPECT_EQ(parent, inner);
    EXPECT_TRUE(centred);
  }
  ui.ShowProgress("Aidé 1 sur 2");
  EXPECT_EQ(ui.progress_window()->parentWidget(), &main_window);
  EXPECT_TRUE(near_centre(*ui.progress_window()))
      << ui.progress_window()->frameGeometry().center().x() << ","
      << ui.progress_window()->frameGeometry().center().y();
  ui.HideProgress();
  main_window.hide();
  elsewhere.hide();
}

}  // namespace
}  // namespace cortevane::ui
