// The export proper: every laptop person in turn, the three-way merge of each of its records
// (laptop, server, and the reference copy taken at import) sent with the release of its
// registration, then the clearing check and the final message.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "db/store.h"
#include "export/conflict_details.h"
#include "export/mod_exportation.h"
#include "export/person_plan.h"
#include "export/rules.h"
#include "ui/status_sentences.h"
#include "ui/ui.h"

namespace cortevane::exporting {

using ui::MenuEntry;
using ui::Pointer;
using ui::WithStatusSentence;

void Mod_Exportation::Exportation_Aides() {
  if (!Ses_Autonome.OpenFile("CIVILAIDE")) {
    EchecOuverture("Problème d'ouverture de fichier : CIVILAIDE (", Ses_Autonome);
    return;
  }
  // Only the scanned-documents copy reads it; a missing SECTEUR shows there, per person.
  W_Secteur = Ses_Autonome.OpenFile("SECTEUR");

  if (!Selection_Fichier("CIVILAIDE", "")) return;
  const int nombre = W_ListeAides.Count();
  if (nombre > 0) {
    SDPARAMEXPORT->SetKey("AIDE");
    SDPARAMEXPORT->ReadRecord();
    if (int status = SDPARAMEXPORT->Error(); status != 0) {
      Echec(WithStatusSentence("Erreur lecture SDPARAMEXPORT" + std::to_string(status), status));
      return;
    }
    ENR_SDPARAMEXPORT = SDPARAMEXPORT->GetRecord();
  }
  W_Registre = Ses_Serveur.OpenFile("SDEXPORTAIDES");
  if (!W_Registre) {
    EchecOuverture("Problème d'ouverture de fichier : SDEXPORTAIDES (", Ses_Serveur);
    return;
  }
  planner_ = std::make_unique<Planner>(Ses_Autonome, Ses_Serveur, Nom_Utilisateur,
                                       ENR_SDPARAMEXPORT, ENR_COMPTEURSERV.Field(11));

  // Each person's registration is released with its records: a failure leaves the failing
  // person registered, and the laptop uncleared.
  const std::vector<std::string> codes = KeysOf(W_ListeAides);
  serveur_ = Ses_Serveur.store() ? Ses_Serveur.store()->ServerAddress() : "";
  for (int i = 1; i <= nombre; ++i) {
    W_CodeAide = codes[i - 1];
    ui_.ShowProgress("Aidé " + std::to_string(i) + " sur " + std::to_string(nombre));
    progression_affichee_ = true;
    reprise_permise_ = true;
    const bool envoye = Export_Aide();
    reprise_permise_ = false;
    if (!envoye && (perte_.empty() || !Reprise())) return;
    Copie_Documents(W_CodeAide, W_CodeSecteur);
  }
  if (!Vidage_Portable()) return;

  if (progression_affichee_) {
    ui_.HideProgress();
    progression_affichee_ = false;
  }
  ui_.SetScreenPointer(Pointer::kDefault);
  AnnonceDocumentsNonCopies();
  ui_.MsgBox(Cloture_Journal("Exportation terminée le " +
                                 JournalDateTime(std::chrono::system_clock::now()) + ".",
                             "Exportation des données de l'ordinateur portable vers le serveur "
                             "terminée."),
             ui::kInformation, ui::kMessageTitle);
  ui_.SetMenuEnabled(MenuEntry::kImport, true);
}

// One person, whole: every version of its records read and decided, a new code given or the
// conflicts asked, then what it sends written with the release of its registration.
bool Mod_Exportation::Export_Aide() {
  PersonPlan plan;
  if (!planner_->Plan(W_CodeAide, &plan)) {
    journal_.Line("Aidé " + W_CodeAide);
    return EchecPlan(planner_->failure());
  }
  journal_.Line("Aidé " + W_CodeAide + " " + plan.surname + " " + plan.first_name);
  // A person without a record in the persons file is named, and files its documents, as
  // nobody: never as the person before it.
  W_NomAide = plan.surname;
  W_PrenomAide = plan.first_name;
  W_CodeSecteur = plan.sector;
  bool liberer = false;
  if (!Inscription(W_CodeAide, &liberer)) return false;
  if (plan.created) {
    if (!Nouvel_Aide(&plan)) return false;
  } else {
    Resolve(&plan, [this](const FilePlan& fichier, const RecordPlan& enregistrement) {
      return Question_Conflit(fichier, enregistrement);
    });
  }
  return Envoi(plan, liberer);
}

bool Mod_Exportation::Reprise() {
  const std::string perte = std::move(perte_);
  perte_.clear();
  journal_.Line(
      "  Liaison avec le serveur perdue, rien n'a été écrit pour cet aidé : nouvelle "
      "connexion");
  const std::shared_ptr<db::Store>& store = Ses_Serveur.store();
  if (!store || store->Reconnect() != db::kOk) return Echec(perte, true);
  const std::string serveur = store->ServerAddress();
  journal_.Line(serveur == serveur_ ? "  Connexion rétablie au serveur " + serveur
                                    : "  Changement de serveur : " + serveur_ + " → " + serveur);
  serveur_ = serveur;
  return Export_Aide();
}

// The answer to the person's COMMIT was lost with the connection: the office may hold the
// person written and released, or nothing of it. The next run reads it again and finds it.
bool Mod_Exportation::NonConfirme() {
  reprise_permise_ = false;
  return Echec("Le serveur n'a pas confirmé l'envoi de l'aidé " + W_CodeAide + " - " + W_NomAide +
                   " " + W_PrenomAide + " ; l'exportation suivante le vérifiera.",
               true);
}

// Asked while no transaction is open: the office waits for nobody's answer. The box's details
// show what differs between the three versions, named after the office file's dictionary.
bool Mod_Exportation::Question_Conflit(const FilePlan& fichier, const RecordPlan& enregistrement) {
  auto noms = noms_champs_.find(fichier.file);
  if (noms == noms_champs_.end()) {
    std::vector<db::DictItem> dictionnaire;
    if (Ses_Serveur.store()) Ses_Serveur.store()->Dictionary(fichier.file, &dictionnaire);
    noms = noms_champs_.emplace(fichier.file, FieldNames(dictionnaire)).first;
  }
  const std::string question = ConflictQuestion(fichier.label, W_CodeAide, W_NomAide, W_PrenomAide);
  const std::string details =
      ConflictDetails(enregistrement.key, enregistrement.reference, enregistrement.office,
                      enregistrement.laptop, noms->second);
  const bool oui = ui_.MsgBox(question, ui::kYesNo + ui::kQuestion, ui::kMessageTitle, details) ==
                   ui::kAnswerYes;
  journal_.Line("  Question sur " + fichier.label + " (" + fichier.file + " " + enregistrement.key +
                ") : réponse " + (oui ? "Oui" : "Non"));
  return oui;
}

// Writes what the plan sends and deletes the person's registration (when `liberer`) in one
// office transaction: a failure, a kill or a lost server leaves the office with the whole
// person as before. Nothing to send and nothing to release: no transaction at all.
bool Mod_Exportation::Envoi(const PersonPlan& plan, bool liberer) {
  struct Ecriture {
    db::DbFile* fichier;
    const RecordPlan* enregistrement;
  };
  std::vector<Ecriture> ecritures;
  for (const FilePlan& f : plan.files)
    for (const RecordPlan& r : f.records)
      if (r.send) ecritures.push_back({planner_->OfficeFile(f.file), &r});
  if (ecritures.empty() && !liberer) {
    Journal_Envoi(plan, liberer);
    return true;
  }

  const std::shared_ptr<db::Store>& store = Ses_Serveur.store();
  // A lost server is named even when the store has connected again since (a rollback does).
  auto echec = [&](const std::string& texte, int status) {
    return Echec(WithStatusSentence(texte + std::to_string(status), status),
                 status == db::kServerUnreachable);
  };
  auto rien_envoye = [&](int status) {
    return Echec(WithStatusSentence("Impossible d'envoyer l'aidé " + W_CodeAide +
                                        " sur le serveur (erreur " + std::to_string(status) +
                                        ") : rien n'a été écrit pour cet aidé.",
                                    status),
                 status == db::kServerUnreachable);
  };
  if (!store) return rien_envoye(db::kNotConnected);
  if (int status = store->Begin(); status != db::kOk) return rien_envoye(status);
  for (const Ecriture& e : ecritures) {
    e.fichier->SetKey(e.enregistrement->office_key);
    e.fichier->SetRecord(e.enregistrement->laptop);
    if (int status = e.fichier->WriteRecord(); status != db::kOk) {
      store->Rollback();
      return echec("Impossible d'écrire l'enregistrement " + e.enregistrement->office_key +
                       " du fichier " + e.fichier->Name() + " sur le serveur : ",
                   status);
    }
  }
  if (liberer) {
    W_Registre->SetKey(plan.code);
    if (int status = W_Registre->DeleteRecord();
        status != db::kOk && status != db::kRecordNotFound) {
      store->Rollback();
      return echec(
          "Impossible de supprimer l'enregistrement " + plan.code + " du fichier SDEXPORTAIDES : ",
          status);
    }
  }
  if (int status = store->Commit(); status != db::kOk)
    return status == db::kOutcomeUnknown ? NonConfirme() : rien_envoye(status);
  Journal_Envoi(plan, liberer);
  return true;
}

// What Envoi sent, once it is on the office: the records written, file by file, and the
// release of the registration.
void Mod_Exportation::Journal_Envoi(const PersonPlan& plan, bool liberer) {
  bool ecrit = false;
  for (const FilePlan& f : plan.files) {
    std::string cles;
    int nombre = 0;
    for (const RecordPlan& r : f.records) {
      if (!r.send) continue;
      cles += (nombre++ ? ", " : "") + r.office_key;
    }
    if (nombre == 0) continue;
    ecrit = true;
    journal_.Line("  " + f.file + " : " + std::to_string(nombre) +
                  (nombre == 1 ? " enregistrement écrit (" : " enregistrements écrits (") + cles +
                  ")");
  }
  // Its changes on the office and its registration gone: an earlier run sent it, without
  // hearing the office confirm it.
  bool deja = false;
  for (const FilePlan& f : plan.files)
    for (const RecordPlan& r : f.records) deja = deja || r.verdict == Verdict::kAlreadySent;
  if (!ecrit)
    journal_.Line(deja && !liberer ? "  Déjà sur le serveur" : "  Aucun enregistrement à écrire");
  if (liberer) journal_.Line("  Inscription libérée");
}

bool Mod_Exportation::EchecPlan(const PlanFailure& failure) {
  const std::string statut = std::to_string(failure.status);
  const bool perdu = failure.status == db::kServerUnreachable;
  switch (failure.kind) {
    case PlanFailure::kOpenOffice:
      return Echec(WithStatusSentence(
                       "Problème d'ouverture de fichier : " + failure.file + " (" + statut + ")",
                       failure.status),
                   perdu);
    case PlanFailure::kOpenLaptop:
      return Echec(WithStatusSentence(
          "Problème d'ouverture de fichier : " + failure.file + "( " + statut + ")",
          failure.status));
    case PlanFailure::kSelection:
      return Echec(WithStatusSentence("Error Code " + statut, failure.status));
    case PlanFailure::kRead:
    case PlanFailure::kNone:
      break;
  }
  // Nothing is decided on a read that failed: what it would use belongs to no record.
  return Echec(WithStatusSentence("Erreur lecture " + failure.file + ", enregistrement " +
                                      failure.key + " : " + statut,
                                  failure.status),
               perdu);
}

// Reads `cle` of `fichier` into *enr: found, or not found (an empty record). Any other status
// ends the export: what the variables hold then belongs to another key.
bool Mod_Exportation::Lecture(db::DbFile& fichier, const std::string& cle, db::DynArray* enr,
                              bool* trouve) {
  fichier.SetKey(cle);
  int status = fichier.ReadRecord();
  *trouve = status == db::kOk;
  if (status == db::kOk) {
    *enr = fichier.GetRecord();
    return true;
  }
  *enr = db::DynArray();
  if (status == db::kRecordNotFound) return true;
  return Echec(WithStatusSentence("Erreur lecture " + fichier.Name() + ", enregistrement " + cle +
                                      " : " + std::to_string(status),
                                  status));
}

// Whether the office's register holds the user's registration of `code`, read before the
// person's transaction. A registration held by another user under the same code (a code
// created on the laptop that the office has since given to someone else) is not this
// export's to remove.
bool Mod_Exportation::Inscription(const std::string& code, bool* a_liberer) {
  db::DynArray inscription;
  bool trouve = false;
  if (!Lecture(*W_Registre, code, &inscription, &trouve)) return false;
  *a_liberer = trouve && inscription.Field(1) == Nom_Utilisateur;
  return true;
}

}  // namespace cortevane::exporting
