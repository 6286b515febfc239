// Every dialog of the program is wide enough for its whole title, and its buttons keep their
// natural width (none stretched across the window).
#include <gtest/gtest.h>

#include <QPushButton>

#include "connection/frm_connexion.h"
#include "connection/frm_selection_base.h"
#include "db/session.h"
#include "support/qt_app.h"
#include "ui/qt_ui.h"
#include "ui/scripted_ui.h"

namespace cortevane::app {
namespace {

// "" when `window`, shown, fits its title and every button is at its natural width; else what
// is wrong.
std::string LayoutFaults(QWidget& window) {
  window.show();
  QCoreApplication::processEvents();
  std::string faults;
  if (window.width() < ui::TitleWidth(window))
    faults +=
        window.windowTitle().toStdString() + " cut at " + std::to_string(window.width()) + "; ";
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    if (button->isVisible() && button->width() > button->sizeHint().width() + 2)
      faults += button->text().toStdString() + " stretched; ";
  }
  window.hide();
  return faults;
}

TEST(LayoutTest, TitlesFitAndButtonsKeepTheirWidth) {
  testing::EnsureQApplication();
  ui::ScriptedUi scripted;
  db::Session laptop, office;
  connection::Frm_SelectionBase selection(laptop, office, scripted);
  EXPECT_EQ(LayoutFaults(selection), "");
  connection::Frm_Connexion identification(laptop, office, scripted);
  EXPECT_EQ(LayoutFaults(identification), "");
  ui::QtUi qt;
  qt.ShowProgress("Aidé 1 sur 2");
  EXPECT_EQ(LayoutFaults(*qt.progress_window()), "");
  qt.HideProgress();
}

}  // namespace
}  // namespace cortevane::app
