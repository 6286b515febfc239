// Cortevane: moves assisted persons' files between the laptop's base and the office base.
// No command line: everything comes from Cortevane.ini and the user. The two options,
// --help and --version, are for installers and support: they print and end before anything
// needs a display.
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

namespace {

constexpr char kHelp[] =
    "Usage : cortevane [--help | --version]\n"
    "\n"
    "Cortevane transfère les dossiers des aidés entre la base du bureau et la base de\n"
    "l'ordinateur portable : importation (bureau vers portable) et exportation (portable\n"
    "vers bureau). Le programme lit les serveurs et les bases dans C:\\WINDOWS\\Cortevane.ini\n"
    "(sous Linux, dans le dossier indiqué par CORTEVANE_DRIVE_C, par défaut\n"
    "~/.local/share/cortevane/drive_c), puis demande l'utilisateur et le mot de passe.\n"
    "\n"
    "  --help     affiche cette aide et quitte\n"
    "  --version  affiche la version et quitte\n"
    "\n"
    "Voir aussi : man cortevane, cortevane-admin --help.\n";

}  // namespace

int main(int argc, char** argv) {
  // Read before the QApplication exists: that one needs a display. Other arguments are Qt's.
  for (int i = 1; i < argc; ++i) {
    const std::string_view option(argv[i]);
    if (option == "--version" || option == "-V") {
      std::printf("cortevane %s\n", CORTEVANE_VERSION);
      return 0;
    }
    if (option == "--help" || option == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
  }
  QApplication application(argc, argv);
  if (!cortevane::app::InstallQtFrench(application))
    std::fprintf(stderr, "cortevane: Qt's French translations (qtbase_fr) were not found\n");
  // The small sizes are drawn for their size; the picture serves the large ones.
  QIcon icon(":/pictures/presentation.bmp");
  icon.addFile(":/pictures/icons/cortevane-16.png", QSize(16, 16));
  icon.addFile(":/pictures/icons/cortevane-32.png", QSize(32, 32));
  application.setWindowIcon(icon);
  cortevane::ui::QtUi ui;
  cortevane::app::Mod_Var var;
  cortevane::app::Mod_Menu menu(var, ui, cortevane::app::MakeJobs);
  if (!menu.Demarrage(cortevane::connection::ConfigurationPath())) return 0;
  return application.exec();
}
