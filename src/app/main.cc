// Cortevane: moves assisted persons' files between the laptop's base and the office base.
// No command line: everything comes from Cortevane.ini and the user. The one option,
// --version, is for installers and support, and needs no display.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string_view>

#include "app/jobs.h"
#include "app/mod_menu.h"
#include "app/mod_var.h"
#include "app/translations.h"
#include "connection/configuration.h"
#include "ui/qt_ui.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::printf("cortevane %s\n", CORTEVANE_VERSION);
    return 0;
  }
  QApplication application(argc, argv);
  if (!cortevane::app::InstallQtFrench(application))
    std::fprintf(stderr, "cortevane: Qt's French translations (qtbase_fr) were not found\n");
  application.setWindowIcon(QIcon(":/pictures/presentation.bmp"));
  cortevane::ui::QtUi ui;
  cortevane::app::Mod_Var var;
  cortevane::app::Mod_Menu menu(var, ui, cortevane::app::MakeJobs);
  if (!menu.Demarrage(cortevane::connection::ConfigurationPath())) return 0;
  return application.exec();
}
