// The start of an export (confirmation, checks of the server files, parameters and counters)
// and the two ways an export ends early: a failure, or the user declining; the run's journal.
#include <chrono>
#include <string>
#include <utility>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "db/store.h"
#include "export/mod_exportation.h"
#include "export/person_plan.h"
#include "export/rules.h"
#include "ui/status_sentences.h"
#include "ui/ui.h"

namespace cortevane::exporting {

using ui::MenuEntry;
using ui::Pointer;
using ui::StatusSentence;
using ui::WithStatusSentence;

Mod_Exportation::Mod_Exportation(db::Session& ses_autonome, db::Session& ses_serveur,
                                 const std::string& nom_utilisateur, ui::Ui& ui)
    : Ses_Autonome(ses_autonome),
      Ses_Serveur(ses_serveur),
      Nom_Utilisateur(nom_utilisateur),
      ui_(ui) {}

Mod_Exportation::~Mod_Exportation() = default;

void Mod_Exportation::Demarrage_Exportation() {
  fin_.clear();
  // The scanned-documents copy uses the platform layer's folder functions, which need no
  // object of their own: there is nothing to create before the question.
  int reponse = ui_.MsgBox(
      "Souhaitez-vous démarrer le traitement d'exportation des données de l'ordinateur "
      "portable vers le serveur ?",
      ui::kYesNo + ui::kExclamation, ui::kMessageTitle);
  if (reponse != ui::kAnswerYes) {
    ui_.SetMenuEnabled(MenuEntry::kExport, true);
    ui_.SetMenuEnabled(MenuEntry::kImport, true);
    return;
  }
  ui_.SetScreenPointer(Pointer::kHourglass);
  bilan_ = ExportSummary();
  Ouverture_Journal();
  bilan_.journal = journal_.failed() ? std::string() : journal_.path();
  progression_affichee_ = false;
  documents_non_copies_.clear();
  aides_ignores_.clear();
  noms_champs_.clear();  // a dictionary may have changed since the last run

  // The office files of the start are looked up together, and all opened before anything is
  // read from them: each opening then costs no request of its own.
  const std::string compteur_utilisateur = "COMPTEUR_" + Nom_Utilisateur;
  if (const auto& store = Ses_Serveur.store())
    store->LookUpFiles({"SDEXPORTAIDES", "SDPARAMEXPORT", compteur_utilisateur, "COMPTEUR"});
  // Only checked here: the release of each person reopens it.
  if (!Ses_Serveur.OpenFile("SDEXPORTAIDES")) {
    EchecOuverture("Problème d'ouverture de fichier : SDEXPORTAIDES (", Ses_Serveur);
    return;
  }
  // The laptop's register stands for the office's, and the clearing after the last person
  // reads it: an office it cannot be found on stops the export before anything is sent,
  // never once every person is sent and released.
  if (!Ses_Autonome.OpenFile("SDEXPORTAIDES") && Ses_Autonome.Error() == db::kPointerTargetAbsent) {
    EchecOuverture("Problème d'ouverture de fichier : SDEXPORTAIDES (", Ses_Autonome);
    return;
  }
  SDPARAMEXPORT = Ses_Serveur.OpenFile("SDPARAMEXPORT");
  if (!SDPARAMEXPORT) {
    EchecOuverture("Problème d'ouverture de fichier : SDPARAMEXPORT (", Ses_Serveur);
    return;
  }
  // Both counter files, before the parameters are read.
  COMPTEURSERV = Ses_Serveur.OpenFile(compteur_utilisateur);
  if (!COMPTEURSERV) {
    EchecOuverture("Problème d'ouverture de fichier : COMPTEURSERV (", Ses_Serveur);
    return;
  }
  COMPTEURSERVACTIF = Ses_Serveur.OpenFile("COMPTEUR");
  if (!COMPTEURSERVACTIF) {
    EchecOuverture("Problème d'ouverture de fichier : COMPTEURSERVACTIF (", Ses_Serveur);
    return;
  }
  SDPARAMEXPORT->SetKey("PARAMETRES");
  SDPARAMEXPORT->ReadRecord();
  if (int status = SDPARAMEXPORT->Error(); status != 0) {
    Echec(WithStatusSentence("Erreur lecture SDPARAMEXPORT" + std::to_string(status), status,
                             Lieu(Ses_Serveur)));
    return;
  }
  ENR_SDPARAMEXPORT = SDPARAMEXPORT->GetRecord();
  if (!Chargement_Compteurs()) return;
  Exportation_Aides();
}

// Both counter records must be there and hold a number in field 11 before anything is
// written: the threshold decides which persons are new, the common counter gives their codes.
bool Mod_Exportation::Chargement_Compteurs() {
  for (auto [file, record] : {std::pair{COMPTEURSERV.get(), &ENR_COMPTEURSERV},
                              std::pair{COMPTEURSERVACTIF.get(), &ENR_COMPTEURSERVACTIF}}) {
    int status = db::kOk;
    if (std::string probleme = ReadCounter(*file, record, &status); !probleme.empty())
      return Echec(WithStatusSentence(probleme, status, Lieu(Ses_Serveur)));
  }
  return true;
}

bool Mod_Exportation::Echec(const std::string& text, bool serveur_perdu) {
  if (const auto& store = Ses_Serveur.store();
      reprise_permise_ && (serveur_perdu || (store && store->Health() != db::kOk))) {
    perte_ = text;
    return false;
  }
  if (progression_affichee_) {
    ui_.HideProgress();
    progression_affichee_ = false;
  }
  ui_.SetScreenPointer(Pointer::kDefault);
  AnnonceDocumentsNonCopies();
  std::string message = text;
  // A failure because the office server went away is not the user's to mend: say what
  // happened and that a later export takes up the work, in place of the status's own
  // sentence for an unreachable base.
  if (const auto& store = Ses_Serveur.store();
      serveur_perdu || (store && store->Health() != db::kOk)) {
    const std::string unreachable = "\r\n" + StatusSentence(db::kServerUnreachable);
    if (message.ends_with(unreachable)) message.resize(message.size() - unreachable.size());
    message +=
        "\r\nLa liaison avec le serveur a été perdue. Ce qui a déjà été écrit sur le serveur "
        "est conservé : relancez l'exportation lorsque le serveur sera de nouveau accessible.";
  }
  message = Cloture_Journal("Exportation interrompue le " +
                                JournalDateTime(std::chrono::system_clock::now()) + " : " + message,
                            message);
  ui_.MsgBox(message);
  ui_.SetMenuEnabled(MenuEntry::kExport, true);
  ui_.SetMenuEnabled(MenuEntry::kImport, true);
  return false;
}

void Mod_Exportation::Ouverture_Journal() {
  const auto debut = std::chrono::system_clock::now();
  journal_.Open(debut);
  journal_.Line("Exportation des données de l'ordinateur portable vers le serveur, commencée le " +
                JournalDateTime(debut));
  journal_.Line("Utilisateur : " + Nom_Utilisateur);
  journal_.Line("Base du portable : " + Ses_Autonome.AccountPath() + " sur " +
                Ses_Autonome.HostName());
  journal_.Line("Base du serveur : " + Ses_Serveur.AccountPath() + " sur " +
                Ses_Serveur.HostName());
  if (Ses_Serveur.store() && !Ses_Serveur.store()->ServerAuthenticated())
    journal_.Line(
        "Serveur du bureau non authentifié : son certificat n'a pas été vérifié "
        "(autorité de certification du bureau absente de ce portable).");
}

std::string Mod_Exportation::Cloture_Journal(const std::string& derniere_ligne,
                                             std::string message) {
  journal_.Line(derniere_ligne);
  journal_.Close();
  fin_ = derniere_ligne.substr(0, derniere_ligne.find("\r\n"));
  if (journal_.failed()) message += "\r\n" + journal_.Problem();
  return message;
}

std::string SummaryLine(const ExportSummary& summary) {
  auto plural = [](int n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n > 1 ? many : one);
  };
  std::string line = plural(summary.persons, "aidé envoyé", "aidés envoyés") + ", " +
                     plural(summary.questions, "question", "questions") + " dont " +
                     plural(summary.merges, "fusion", "fusions") + ", ";
  if (summary.new_codes.empty()) {
    line += "aucun nouveau code";
  } else {
    line += summary.new_codes.size() == 1 ? "nouveau code : " : "nouveaux codes : ";
    for (size_t i = 0; i < summary.new_codes.size(); ++i) {
      line += (i ? ", " : "") + summary.new_codes[i].first + " → " + summary.new_codes[i].second;
    }
  }
  return summary.journal.empty() ? line : line + " ; journal : " + summary.journal;
}

bool Mod_Exportation::EchecOuverture(const std::string& texte, const db::Session& session) {
  return Echec(WithStatusSentence(texte + std::to_string(session.Error()) + ")", session.Error(),
                                  Lieu(session)));
}

ui::Place Mod_Exportation::Lieu(const db::Session& session) const {
  return {&session == &Ses_Autonome ? ui::Place::kLaptop : ui::Place::kOffice,
          session.AccountPath(), session.HostName()};
}

// Folders that could not be copied are told before the export's last word, so the user can
// copy them by hand; the export itself goes on without them.
void Mod_Exportation::AnnonceDocumentsNonCopies() {
  if (documents_non_copies_.empty()) return;
  std::string text = "Les documents numérisés suivants n'ont pas été copiés :";
  for (const std::string& ligne : documents_non_copies_) text += "\r\n" + ligne;
  documents_non_copies_.clear();
  ui_.MsgBox(text, ui::kExclamation, ui::kMessageTitle);
}

}  // namespace cortevane::exporting
