// Mod_Menu: the start-up procedure, the program's only entry point after main(). In order:
// the configuration is read (Frm_SelectionBase, loaded unseen); the bases are chosen, by
// themselves when the file lists exactly one laptop base with a name, else by the user in that
// dialog; the user identifies (Frm_Connexion) until both sessions connect; the presentation
// screen is shown, and opens the main window two seconds later. Each dialog's cancel, and an
// unusable configuration file, end the program at once.
//
// Mod_Menu owns the windows it opens; it and `var` must outlive the event loop.
#pragma once

#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/ecran_presentation.h"
#include "app/mdi_menu.h"

namespace cortevane::ui {
class Ui;
}

namespace cortevane::app {

struct Mod_Var;

class Mod_Menu {
 public:
  using JobsFactory = std::function<MainWindowJobs(Mod_Var&, ui::Ui&)>;

  // `make_jobs` gives the main window its import window and export when it opens.
  Mod_Menu(Mod_Var& var, ui::Ui& ui, JobsFactory make_jobs);
  ~Mod_Menu();

  // Runs the start-up up to the presentation screen, reading the configuration at
  // `configuration_file`. Returns true once the presentation screen is shown (the event loop
  // takes over); false when the program was ended on the way, which only a scripted ui
  // returns from.
  bool Demarrage(const std::filesystem::path& configuration_file);

  EcranPresentation* presentation() const { return presentation_; }
  MDI_Menu* main_window() const { return main_window_.get(); }

 private:
  void OpenMainWindow();

  Mod_Var& var_;
  ui::Ui& ui_;
  JobsFactory make_jobs_;
  QPointer<EcranPresentation> presentation_;  // deletes itself when it closes
  std::unique_ptr<MDI_Menu> main_window_;
};

}  // namespace cortevane::app
