#include "ui/scripted_ui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>

#include "support/qt_app.h"

namespace cortevane::ui {
namespace {

class ScriptedUiTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::EnsureQApplication(); }
};

TEST_F(ScriptedUiTest, ModalDialogsArePlayedByTheScriptInOrder) {
  ScriptedUi ui;
  QDialog first;
  first.setObjectName("Frm_SelectionBase");
  QDialog second;
  second.setObjectName("Frm_Connexion");
  bool was_visible = false;
  ui.OnModal([&](QDialog& dialog) {
    was_visible = dialog.isVisible();
    dialog.accept();
  });
  ui.OnModal([](QDialog&) {});  // leaves the dialog open: the "modal loop" still ends

  EXPECT_EQ(ui.ShowModal(first), QDialog::Accepted);
  EXPECT_TRUE(was_visible);
  EXPECT_FALSE(first.isVisible());
  ui.ShowModal(second);
  EXPECT_FALSE(second.isVisible());
  EXPECT_EQ(ui.unanswered(), 0);
  EXPECT_EQ(ui.ShowModal(second), QDialog::Rejected);  // nothing scripted
  EXPECT_EQ(ui.unanswered(), 1);
  EXPECT_EQ(ui.LogText(), "modal|Frm_SelectionBase\nmodal|Frm_Connexion\nmodal|Frm_Connexion");
}

TEST_F(ScriptedUiTest, BoxesAndProgressRecordTheirOwner) {
  ScriptedUi ui;
  QWidget main_window;
  main_window.setObjectName("MDI_Menu");
  ui.MsgBox("sans propriétaire");
  {
    OwnerScope scope(ui, main_window);
    auto* import_window = new QWidget(&main_window);
    import_window->setObjectName("Chd_Import");
    {
      OwnerScope inner(ui, *import_window);
      ui.ShowProgress("Copie");
      ui.MsgBox("de l'import");
    }
    ui.MsgBox("de l'export");
    OwnerScope gone(ui, *import_window);
    delete import_window;  // an owner that went no longer counts
    ui.MsgBox("encore");
  }
  ui.MsgBox("après");
  std::string owners;
  for (const auto& box : ui.boxes()) owners += "[" + box.owner + "]";
  EXPECT_EQ(owners, "[][Chd_Import][MDI_Menu][MDI_Menu][]");
  EXPECT_EQ(ui.progress_owner(), "Chd_Import");
}

// "Fusionner" answers only a box that offers it; scripted for another box it is a test error.
TEST_F(ScriptedUiTest, AMergeAnswerNeedsTheMergeButton) {
  ScriptedUi ui;
  ui.Answer(kAnswerMerge);
  ui.Answer(kAnswerMerge);
  EXPECT_EQ(ui.MsgBox("Q1", kYesNo + kQuestion + kMergeButton), kAnswerMerge);
  EXPECT_EQ(ui.unanswered(), 0);
  EXPECT_EQ(ui.MsgBox("Q2", kYesNo + kQuestion), kAnswerNo);
  EXPECT_EQ(ui.unanswered(), 1);
  EXPECT_EQ(ui.boxes()[0].style, kYesNo + kQuestion + kMergeButton);
  EXPECT_EQ(ui.LogText(), "box|" + std::to_string(kYesNo + kQuestion + kMergeButton) +
                              "|Cortevane KESTA|Q1\nbox|36|Cortevane KESTA|Q2\nnot-offered|20");
}

TEST_F(ScriptedUiTest, MenuStateReachesRegisteredActions) {
  ScriptedUi ui;
  QAction action("Export");
  ui.SetMenuEnabled(MenuEntry::kExport, false);
  ui.RegisterMenuEntry(MenuEntry::kExport, &action);
  EXPECT_FALSE(action.isEnabled());
  ui.SetMenuEnabled(MenuEntry::kExport, true);
  EXPECT_TRUE(action.isEnabled());
  EXPECT_EQ(ui.LogText(), "menu|export|off\nmenu|export|on");
}

}  // namespace
}  // namespace cortevane::ui
