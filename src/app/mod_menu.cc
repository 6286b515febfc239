#include "app/mod_menu.h"

#include <QDialog>

#include "app/ecran_presentation.h"
#include "app/mod_var.h"
#include "connection/frm_connexion.h"
#include "connection/frm_selection_base.h"
#include "connection/session_steps.h"
#include "db/session.h"
#include "db/store.h"
#include "ui/ui.h"

namespace cortevane::app {

static_assert(db::kWaitOver == ui::kServerWaitOver);

Mod_Menu::Mod_Menu(Mod_Var& var, ui::Ui& ui, JobsFactory make_jobs)
    : var_(var), ui_(ui), make_jobs_(std::move(make_jobs)) {
  // Whatever waits on a server, from the first connection on, shows the wait and keeps the
  // windows painted.
  for (db::Session* session : {&var_.Ses_Autonome, &var_.Ses_Serveur})
    session->SetWaitObserver([&ui](int seconds) { ui.ServerWait(seconds); });
}

Mod_Menu::~Mod_Menu() { delete presentation_.data(); }

bool Mod_Menu::Demarrage(const std::filesystem::path& configuration_file) {
  // The sessions were made empty with var_, the laptop's first.
  {
    connection::Frm_SelectionBase selection(var_.Ses_Autonome, var_.Ses_Serveur, ui_);
    if (!selection.Form_Load(configuration_file)) return false;
    const connection::Configuration& c = selection.configuration();
    var_.W_Serveur = c.W_Serveur;
    var_.W_ServeurDistant = c.W_ServeurDistant;
    var_.W_Bases = c.W_Bases;
    var_.W_BasesDistantes = c.W_BasesDistantes;

    if (selection.ListCount() == 1 && !selection.ListText(0).empty()) {
      connection::Choix_Bases(var_.Ses_Autonome, var_.Ses_Serveur, c, 0);
    } else if (ui_.ShowModal(selection) != QDialog::Accepted) {
      return false;
    }
  }
  {
    connection::Frm_Connexion identification(var_.Ses_Autonome, var_.Ses_Serveur, ui_);
    identification.Form_Load();
    if (ui_.ShowModal(identification) != QDialog::Accepted) return false;
    var_.Nom_Utilisateur = identification.Nom_Utilisateur();
  }
  presentation_ = new EcranPresentation(ui_, [this] { OpenMainWindow(); });
  presentation_->show();
  return true;
}

void Mod_Menu::OpenMainWindow() {
  if (main_window_) return;  // one main window per run
  main_window_ =
      std::make_unique<MDI_Menu>(var_, ui_, make_jobs_ ? make_jobs_(var_, ui_) : MainWindowJobs{});
  main_window_->show();
  main_window_->activateWindow();  // it takes over from the presentation screen
}

}  // namespace cortevane::app
