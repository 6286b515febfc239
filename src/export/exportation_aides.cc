// The export proper: every laptop person in turn, the three-way merge of each of its records
// (laptop, server, and the reference copy taken at import) sent with the release of its
// registration, then the clearing check and the final message.
#include <algorithm>
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
      Echec(WithStatusSentence("Erreur lecture SDPARAMEXPORT" + std::to_string(status), status,
                               Lieu(Ses_Serveur)));
      return;
    }
    ENR_SDPARAMEXPORT = SDPARAMEXPORT->GetRecord();
  }
  // The register and every office file the persons are read from and written to, looked up in
  // one request: the openings that follow, before the first read, cost none of their own.
  if (const auto& store = Ses_Serveur.store(); store && nombre > 0) {
    std::vector<std::string> fichiers = {"SDEXPORTAIDES"};
    for (int i = 1; i <= ENR_SDPARAMEXPORT.Count(); ++i) {
      const std::string fichier = ENR_SDPARAMEXPORT.Value(i, 1);
      fichiers.push_back(fichier + "_" + Nom_Utilisateur);
      fichiers.push_back(fichier);
    }
    store->LookUpFiles(fichiers);
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
    if ((i - 1) % kPersonsReadAhead == 0)
      Lecture_Lot(
          {codes.begin() + (i - 1), codes.begin() + std::min(nombre, i - 1 + kPersonsReadAhead)});
    W_CodeAide = codes[i - 1];
    ui_.ShowProgress("Aidé " + std::to_string(i) + " sur " + std::to_string(nombre));
    progression_affichee_ = true;
    bool ignore = false;
    reprise_permise_ = true;
    const bool envoye = Export_Aide(&ignore);
    reprise_permise_ = false;
    if (!envoye && (perte_.empty() || !Reprise(&ignore))) return;
    if (!ignore) Copie_Documents(W_CodeAide, W_CodeSecteur);
  }
  // A person left out keeps its laptop records: nothing is cleared.
  if (aides_ignores_.empty()) {
    if (!Vidage_Portable()) return;
  } else {
    journal_.Line("Le portable n'est pas vidé : des aidés n'ont pas été exportés.");
  }

  if (progression_affichee_) {
    ui_.HideProgress();
    progression_affichee_ = false;
  }
  ui_.SetScreenPointer(Pointer::kDefault);
  AnnonceDocumentsNonCopies();
  if (!aides_ignores_.empty()) {
    std::string texte =
        "Les aidés suivants n'ont pas été exportés et restent sur le portable : leur code "
        "contient à la fois des guillemets \" et ' ou un séparateur, qui empêchent de choisir "
        "leurs enregistrements.";
    for (const std::string& code : aides_ignores_) texte += "\r\n" + code;
    ui_.MsgBox(texte, ui::kExclamation, ui::kMessageTitle);
  }
  const std::string bilan = SummaryLine(bilan_);
  ui_.MsgBox(
      Cloture_Journal("Exportation terminée le " +
                          JournalDateTime(std::chrono::system_clock::now()) + " : " + bilan + ".",
                      "Exportation des données de l'ordinateur portable vers le serveur "
                      "terminée.\r\n" +
                          bilan + "."),
      ui::kInformation, ui::kMessageTitle);
  ui_.SetMenuEnabled(MenuEntry::kImport, true);
}

// One person, whole: every version of its records read and decided, a new code given or the
// conflicts asked, then what it sends written with the release of its registration. When the
// office changed one of the records while the questions waited (the write finds another
// version than the one decided on), nothing of the person is written: it is read, decided and
// asked again, at most kNouveauxEssais times.
bool Mod_Exportation::Export_Aide(bool* ignore) {
  *ignore = false;
  for (int essai = 0;; ++essai) {
    PersonPlan plan;
    if (!planner_->Plan(W_CodeAide, &plan)) {
      if (essai == 0) journal_.Line("Aidé " + W_CodeAide);
      if (planner_->failure().kind != PlanFailure::kUnselectableKey)
        return EchecPlan(planner_->failure());
      // Nothing of the person is sent, its registration stays, the laptop is not cleared.
      *ignore = true;
      aides_ignores_.push_back(W_CodeAide);
      journal_.Line(
          "  Aidé non exporté : son code ne peut pas servir à choisir ses "
          "enregistrements du fichier " +
          planner_->failure().file + " (guillemets des deux sortes ou séparateurs)");
      return true;
    }
    if (essai == 0)
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
    std::string modifie;
    if (!Envoi(plan, liberer, &modifie)) return false;
    if (modifie.empty()) {
      ++bilan_.persons;
      if (plan.created) bilan_.new_codes.emplace_back(plan.code, plan.new_code);
      return true;
    }
    journal_.Line(
        "  " + modifie + " a changé sur le serveur depuis sa lecture : rien n'est écrit, " +
        (essai < kNouveauxEssais
             ? "l'aidé est relu et ses questions reposées (essai " + std::to_string(essai + 2) + ")"
             : "abandon"));
    if (essai == kNouveauxEssais) {
      return Echec("L'aidé " + W_CodeAide + " - " + W_NomAide + " " + W_PrenomAide +
                   " n'a pas pu être exporté : ses enregistrements ont encore changé sur le "
                   "serveur pendant l'exportation, " +
                   std::to_string(kNouveauxEssais + 1) +
                   " fois de suite. Rien n'a été écrit pour cet aidé ; relancez l'exportation "
                   "un peu plus tard.");
    }
  }
}

bool Mod_Exportation::Reprise(bool* ignore) {
  const std::string perte = std::move(perte_);
  perte_.clear();
  journal_.Line(
      "  Liaison avec le serveur perdue, rien n'a été écrit pour cet aidé : nouvelle "
      "connexion");
  // What was read ahead came from the lost connection: the next persons read afresh.
  planner_->ForgetAhead();
  inscriptions_.clear();
  const std::shared_ptr<db::Store>& store = Ses_Serveur.store();
  if (!store || store->Reconnect() != db::kOk) return Echec(perte, true);
  const std::string serveur = store->ServerAddress();
  journal_.Line(serveur == serveur_ ? "  Connexion rétablie au serveur " + serveur
                                    : "  Changement de serveur : " + serveur_ + " → " + serveur);
  serveur_ = serveur;
  return Export_Aide(ignore);
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
// show what differs between the three versions, named after the office file's dictionary, and
// which side changed each field; a conflict whose sides changed different fields offers the
// merge as a third answer. A "Non" leaves in the journal the laptop's values it declines.
Answer Mod_Exportation::Question_Conflit(const FilePlan& fichier,
                                         const RecordPlan& enregistrement) {
  const std::map<int, std::string>& noms = NomsChamps(fichier.file);
  const std::string question = ConflictQuestion(fichier.label, W_CodeAide, W_NomAide, W_PrenomAide);
  const std::string details = ConflictDetails(enregistrement.key, enregistrement.reference,
                                              enregistrement.office, enregistrement.laptop, noms);
  const int style = ui::kYesNo + ui::kQuestion + (enregistrement.mergeable ? ui::kMergeButton : 0);
  const int reponse = ui_.MsgBox(question, style, ui::kMessageTitle, details);
  ++bilan_.questions;
  const Answer answer = reponse == ui::kAnswerYes                                 ? Answer::kYes
                        : reponse == ui::kAnswerMerge && enregistrement.mergeable ? Answer::kMerge
                                                                                  : Answer::kNo;
  journal_.Line("  Question sur " + fichier.label + " (" + fichier.file + " " + enregistrement.key +
                ") : réponse " +
                (answer == Answer::kYes     ? "Oui"
                 : answer == Answer::kMerge ? "Fusionner (les champs modifiés au bureau et sur "
                                              "le portable sont réunis)"
                                            : "Non"));
  if (answer == Answer::kNo) {
    journal_.Line(DeclinedValues(enregistrement.reference, enregistrement.office,
                                 enregistrement.laptop, noms));
  }
  return answer;
}

// The names of the office file's fields, read once a run.
const std::map<int, std::string>& Mod_Exportation::NomsChamps(const std::string& fichier) {
  auto noms = noms_champs_.find(fichier);
  if (noms == noms_champs_.end()) {
    std::vector<db::DictItem> dictionnaire;
    if (Ses_Serveur.store()) Ses_Serveur.store()->Dictionary(fichier, &dictionnaire);
    noms = noms_champs_.emplace(fichier, FieldNames(dictionnaire)).first;
  }
  return noms->second;
}

// Writes what the plan sends and deletes the person's registration (when `liberer`) as one
// batch, one office transaction (Store::Apply): a failure, a kill or a lost server leaves the
// office with the whole person as before. Each record of a known person is written only over
// the office version it was decided on (or only where the office had none), compared by the
// store as it writes; when one differs nothing is written, *modifie names that record
// ("CIVILAIDE 00042") and true is returned. Nothing to send and nothing to release: no
// transaction at all.
bool Mod_Exportation::Envoi(const PersonPlan& plan, bool liberer, std::string* modifie) {
  modifie->clear();
  std::vector<db::Change> changes;
  std::vector<const RecordPlan*> ecrits;
  for (const FilePlan& f : plan.files) {
    for (const RecordPlan& r : f.records) {
      if (!r.send) continue;
      db::Change& c = changes.emplace_back();
      c.file = planner_->OfficeFile(f.file)->Name();
      c.key = r.office_key;
      c.record = r.Sent().Text();
      // A new person's keys are its own: written as they are, without comparison.
      if (!plan.created) {
        c.condition = r.office_found ? db::Change::kIfRecord : db::Change::kIfAbsent;
        c.expected = r.office.Text();
      }
      ecrits.push_back(&r);
    }
  }
  if (changes.empty() && !liberer) {
    Journal_Envoi(plan, liberer);
    return true;
  }
  if (liberer) {
    db::Change& c = changes.emplace_back();
    c.kind = db::Change::kDelete;
    c.file = W_Registre->Name();
    c.key = plan.code;
  }

  const std::shared_ptr<db::Store>& store = Ses_Serveur.store();
  // A file held by another connection (an administrator's work) is named, whichever request
  // met it: the writes of the person travel together, at the latest with COMMIT.
  auto occupe = [&](int status) {
    return Echec(WithStatusSentence("Impossible d'envoyer l'aidé " + W_CodeAide +
                                        " sur le serveur : " + ui::BusyFileText(store->BusyFile()) +
                                        " ; rien n'a été écrit pour cet aidé.",
                                    status));
  };
  // A lost server is named even when the store has connected again since.
  auto rien_envoye = [&](int status) {
    if (status == db::kFileBusy) return occupe(status);
    return Echec(WithStatusSentence("Impossible d'envoyer l'aidé " + W_CodeAide +
                                        " sur le serveur (erreur " + std::to_string(status) +
                                        ") : rien n'a été écrit pour cet aidé.",
                                    status, Lieu(Ses_Serveur)),
                 status == db::kServerUnreachable);
  };
  if (!store) return rien_envoye(db::kNotConnected);
  size_t refuse = 0;
  const int status = store->Apply(changes, &refuse);
  if (status == db::kConditionFailed && refuse < changes.size()) {
    *modifie = changes[refuse].file + " " + changes[refuse].key;
    return true;
  }
  if (status == db::kOutcomeUnknown) return NonConfirme();
  if (status != db::kOk) return rien_envoye(status);
  for (const RecordPlan* r : ecrits) bilan_.merges += r->merge;
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
      cles += (nombre++ ? ", " : "") + r.office_key + (r.merge ? " fusionné" : "");
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
  const ui::Place lieu = Lieu(failure.laptop ? Ses_Autonome : Ses_Serveur);
  switch (failure.kind) {
    case PlanFailure::kOpenOffice:
      return Echec(WithStatusSentence(
                       "Problème d'ouverture de fichier : " + failure.file + " (" + statut + ")",
                       failure.status, lieu),
                   perdu);
    case PlanFailure::kOpenLaptop:
      return Echec(WithStatusSentence(
          "Problème d'ouverture de fichier : " + failure.file + "( " + statut + ")", failure.status,
          lieu));
    case PlanFailure::kSelection:
      return Echec(WithStatusSentence("Error Code " + statut, failure.status, lieu));
    case PlanFailure::kRead:
    case PlanFailure::kUnselectableKey:
    case PlanFailure::kNone:
      break;
  }
  // Nothing is decided on a read that failed: what it would use belongs to no record.
  return Echec(WithStatusSentence("Erreur lecture " + failure.file + ", enregistrement " +
                                      failure.key + " : " + statut,
                                  failure.status, lieu),
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
                                  status, Lieu(Ses_Serveur)));
}

// The next persons' office versions and registrations in a few requests to the office, not a
// few a person. A failed read leaves them to each person's own reads, which report it.
void Mod_Exportation::Lecture_Lot(const std::vector<std::string>& codes) {
  planner_->ReadAhead(codes);
  inscriptions_.clear();
  std::map<std::string, db::DynArray> lues;
  if (W_Registre->ReadRecords(codes, &lues) != db::kOk) return;
  for (const std::string& code : codes) {
    auto lue = lues.find(code);
    inscriptions_[code] = lue == lues.end() ? std::nullopt : std::optional(lue->second);
  }
}

// Whether the office's register holds the user's registration of `code`, read before the
// person's transaction (ahead, with the person's batch, the first time). A registration held
// by another user under the same code (a code created on the laptop that the office has since
// given to someone else) is not this export's to remove.
bool Mod_Exportation::Inscription(const std::string& code, bool* a_liberer) {
  db::DynArray inscription;
  bool trouve = false;
  if (auto lue = inscriptions_.find(code); lue != inscriptions_.end()) {
    trouve = lue->second.has_value();
    if (trouve) inscription = std::move(*lue->second);
    inscriptions_.erase(lue);
  } else if (!Lecture(*W_Registre, code, &inscription, &trouve)) {
    return false;
  }
  *a_liberer = trouve && inscription.Field(1) == Nom_Utilisateur;
  return true;
}

}  // namespace cortevane::exporting
