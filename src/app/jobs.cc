#include "app/jobs.h"

#include "app/mod_var.h"

namespace cortevane::app {

// Plug the import window and the export in here:
//   jobs.create_import_window = [&var, &ui](QWidget* parent) -> QWidget* {
//     return new import::Chd_Import(var.Ses_Autonome, var.Ses_Serveur, var.Nom_Utilisateur,
//                                   ui, parent);
//   };
//   auto exportation = std::make_shared<exporting::Mod_Exportation>(
//       var.Ses_Autonome, var.Ses_Serveur, var.Nom_Utilisateur, ui);  // one for the whole run
//   jobs.run_export = [exportation] { exportation->Demarrage_Exportation(); };
// Until then Import and Export do nothing.
MainWindowJobs MakeJobs(Mod_Var& var, ui::Ui& ui) {
  (void)var;
  (void)ui;
  MainWindowJobs jobs;
  return jobs;
}

}  // namespace cortevane::app
