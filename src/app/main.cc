// Cortevane: moves assisted persons' files between the laptop's base and the office base.
// No command line: everything comes from Cortevane.ini and the user.
#include <QApplication>
#include <QIcon>

#include "app/jobs.h"
#include "app/mod_menu.h"
#include "app/mod_var.h"
#include "connection/configuration.h"
#include "ui/qt_ui.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setWindowIcon(QIcon(":/pictures/presentation.bmp"));
  cortevane::ui::QtUi ui;
  cortevane::app::Mod_Var var;
  cortevane::app::Mod_Menu menu(var, ui, cortevane::app::MakeJobs);
  if (!menu.Demarrage(cortevane::connection::ConfigurationPath())) return 0;
  return application.exec();
}
