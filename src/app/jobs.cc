#include "app/jobs.h"

#include <ctime>
#include <memory>

#include <QMetaObject>

#include "app/frm_apercu.h"
#include "app/frm_journal.h"
#include "app/mod_var.h"
#include "export/mod_exportation.h"
#include "import/chd_import.h"
#include "ui/ui.h"

namespace cortevane::app {

MainWindowJobs MakeJobs(Mod_Var& var, ui::Ui& ui) {
  MainWindowJobs jobs;
  jobs.create_import_window = [&var, &ui](QWidget* parent) -> QWidget* {
    return new import::Chd_Import(var.Ses_Autonome, var.Ses_Serveur, var.Nom_Utilisateur, ui,
                                  parent);
  };
  // One export for the whole run: it keeps its files and lists from one run to the next.
  auto exportation = std::make_shared<exporting::Mod_Exportation>(var.Ses_Autonome, var.Ses_Serveur,
                                                                  var.Nom_Utilisateur, ui);
  // The run's end line, with its counts or its failure, stays on the status line as the
  // import's does.
  jobs.run_export = [exportation, &ui] {
    exportation->Demarrage_Exportation();
    if (!exportation->Fin().empty()) ui.ShowStatus(exportation->Fin());
  };
  jobs.show_preview = [&var, &ui](QWidget* parent) {
    Frm_Apercu window(var.Ses_Autonome, var.Ses_Serveur, var.Nom_Utilisateur, ui, parent);
    ui::OwnerScope owner(ui, window);
    QMetaObject::invokeMethod(&window, &Frm_Apercu::Demarrer, Qt::QueuedConnection);
    ui.ShowModal(window);
  };
  jobs.show_journal = [&ui](QWidget* parent) {
    Frm_Journal window(ui, platform::kJournalFolder, parent);
    ui.ShowModal(window);
  };
  return jobs;
}

}  // namespace cortevane::app
