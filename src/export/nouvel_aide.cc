// A person created on the laptop: it takes the next code of the server's common counter, and
// every one of its records is copied to the server under keys built on that code, without
// comparison or question. The laptop code stays what names its registration and documents.
//
// Three commits, in this order: the common counter on the office (under its reservation, or on
// an office server as one write conditional on the counter's last value seen), then
// the note of the code on the laptop (file CODESATTRIBUES: key the laptop code, field 1 the
// server code, field 2 the user's threshold of this cycle), then the person's records with the
// release of its registration in one office transaction (Envoi). An export that stops after
// the note, and is run again, finds the note and sends the person under the same code, instead
// of taking a second code and leaving the person twice on the server. Stopping between the
// counter and the note spends a code on nobody, with no record under it. A note of an earlier
// cycle (another threshold) is ignored; the final clearing empties the file. Only "no such
// file" or "no such record" means that no code was noted: any other failure to read the notes
// stops the export before a code is taken.
#include <optional>
#include <string>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "db/store.h"
#include "export/mod_exportation.h"
#include "export/person_plan.h"
#include "export/rules.h"
#include "ui/status_sentences.h"

namespace cortevane::exporting {

using ui::WithStatusSentence;

// Gives the person of `plan`, created on the laptop, its office code: the one an earlier run
// noted, or the next of the common counter, noted at once. The records follow in the person's
// transaction (Envoi), so the code is never left with part of them.
bool Mod_Exportation::Nouvel_Aide(PersonPlan* plan) {
  std::string nouveau_code;
  if (!Code_Deja_Attribue(plan->code, &nouveau_code)) return false;
  if (nouveau_code.empty()) {
    if (!Attribution_Code(&nouveau_code)) return false;
    if (!Memorisation_Code(plan->code, nouveau_code)) return false;
    journal_.Line("  Nouveau code : " + plan->code + " → " + nouveau_code);
  } else {
    journal_.Line("  Code donné par une exportation interrompue : " + plan->code + " → " +
                  nouveau_code);
  }
  GiveCode(plan, nouveau_code);
  return true;
}

// The code an earlier run of this export gave to the laptop person `code`, or the empty text
// when there is none (no note, or a note of another cycle). Notes that cannot be read stop
// the export before any code is taken.
bool Mod_Exportation::Code_Deja_Attribue(const std::string& code, std::string* nouveau_code) {
  const int status = NotedCode(Ses_Autonome, code, ENR_COMPTEURSERV.Field(11), nouveau_code);
  if (status == db::kOk) return true;
  return Echec(
      WithStatusSentence("Lecture impossible des codes notés sur le portable (fichier " +
                             std::string(kCodesAttribues) + ", erreur " + std::to_string(status) +
                             ") : aucun nouveau code n'a été attribué à l'aidé " + code + ".",
                         status, Lieu(Ses_Autonome)));
}

// Notes on the laptop the code just given to `code`, creating the file the first time.
bool Mod_Exportation::Memorisation_Code(const std::string& code, const std::string& nouveau_code) {
  std::unique_ptr<db::DbFile> notes = Ses_Autonome.OpenFile(kCodesAttribues);
  int status = Ses_Autonome.Error();
  if (!notes && status == db::kNoSuchFile && Ses_Autonome.store()) {
    status = Ses_Autonome.store()->CreateFile(kCodesAttribues);
    if (status == db::kOk || status == db::kFileExists) {
      notes = Ses_Autonome.OpenFile(kCodesAttribues);
      status = Ses_Autonome.Error();
    }
  }
  if (notes) {
    db::DynArray note;
    note.SetField(1, nouveau_code);
    note.SetField(2, ENR_COMPTEURSERV.Field(11));
    notes->SetKey(code);
    notes->SetRecord(note);
    status = notes->WriteRecord();
  }
  if (status == db::kOk) return true;
  return Echec(WithStatusSentence(
      "Le code " + nouveau_code + " attribué à l'aidé " + code +
          " n'a pas pu être noté sur le portable (erreur " + std::to_string(status) +
          ") : aucun enregistrement n'a été copié sous ce code. Exportation interrompue.",
      status, Lieu(Ses_Autonome)));
}

// On an office server, the next code in one request: the counter written over the record this
// export last saw of it, as one conditional change, which waits for a reservation another
// export holds on the counter and is refused when any other export took a code since. That
// refusal leaves the code to the reservation, which reads the counter again. The embedded store
// keeps the reservation alone: there a request costs nothing, and its wait is the one the export
// was given.
Mod_Exportation::CodeRapide Mod_Exportation::Code_En_Une_Requete(std::string* nouveau_code) {
  const auto& store = Ses_Serveur.store();
  if (!store || store->ServerAddress().empty()) return CodeRapide::kReserver;
  std::optional<long> dernier = CounterValue(ENR_COMPTEURSERVACTIF.Field(11));
  if (!dernier || *dernier >= kHighestCode) return CodeRapide::kReserver;
  db::DynArray suivant = ENR_COMPTEURSERVACTIF;
  suivant.SetField(11, FormatCode(*dernier + 1));
  db::Change change;
  change.condition = db::Change::kIfRecord;
  change.file = "COMPTEUR";
  change.key = "999";
  change.record = suivant.Text();
  change.expected = ENR_COMPTEURSERVACTIF.Text();
  size_t refuse = 0;
  const int status = store->Apply({change}, &refuse);
  if (status == db::kOk) {
    ENR_COMPTEURSERVACTIF = suivant;
    *nouveau_code = FormatCode(*dernier + 1);
    return CodeRapide::kDonne;
  }
  if (status == db::kConditionFailed) return CodeRapide::kReserver;
  // Any other failure stops as the reservation's own would, so that an office lost here is
  // taken up again by a connection made anew (Reprise), never silently.
  const std::string texte =
      status == db::kLockTimeout
          ? "Réservation impossible de l'enregistrement 999 du fichier COMPTEUR"
          : "Impossible d'écrire l'enregistrement 999 du fichier COMPTEUR";
  Echec(WithStatusSentence(texte + " (erreur " + std::to_string(status) +
                               ") : aucun nouveau code n'a été attribué à l'aidé " + W_CodeAide +
                               ".",
                           status, Lieu(Ses_Serveur)));
  return CodeRapide::kArret;
}

// Takes the next code of the common counter under its reservation. The record is read again
// once reserved, so a code another laptop took since the start of this export is never given
// twice; a counter that cannot give a valid new code stops the export instead. Every way out
// after the reservation was taken frees it, a failed re-read included: a reservation kept by
// a stopped export would make every other laptop's new persons wait, then stop.
bool Mod_Exportation::Attribution_Code(std::string* nouveau_code) {
  if (const CodeRapide rapide = Code_En_Une_Requete(nouveau_code); rapide != CodeRapide::kReserver)
    return rapide == CodeRapide::kDonne;
  db::DbFile& compteur = *COMPTEURSERVACTIF;
  compteur.SetKey("999");
  compteur.SetLockTimeoutMs(reservation_timeout_ms_);
  int status = compteur.ReserveRecord();
  // Freed before any message: a box waiting for the user must not hold the counter.
  auto liberer = [&compteur] {
    if (!compteur.IsReserved()) return;
    compteur.SetKey("999");
    compteur.FreeRecord();
  };
  auto echec = [&](const std::string& texte) {
    liberer();
    return Echec(texte);
  };
  const std::string pour_aide = "aucun nouveau code n'a été attribué à l'aidé " + W_CodeAide + ".";
  if (!compteur.IsReserved()) {
    return echec(WithStatusSentence(
        "Réservation impossible de l'enregistrement 999 du fichier COMPTEUR (erreur " +
            std::to_string(status) + ") : " + pour_aide,
        status, Lieu(Ses_Serveur)));
  }
  if (status != db::kOk) {
    return echec(WithStatusSentence(
        "Lecture impossible de l'enregistrement 999 du fichier COMPTEUR (erreur " +
            std::to_string(status) + ") : " + pour_aide,
        status, Lieu(Ses_Serveur)));
  }
  ENR_COMPTEURSERVACTIF = compteur.GetRecord();
  std::optional<long> dernier = CounterValue(ENR_COMPTEURSERVACTIF.Field(11));
  if (!dernier) {
    return echec(
        "Le champ 11 de l'enregistrement 999 du fichier COMPTEUR n'est pas un nombre : \"" +
        ENR_COMPTEURSERVACTIF.Field(11) + "\". Aucun nouveau code n'a été attribué à l'aidé " +
        W_CodeAide + ".");
  }
  if (*dernier >= kHighestCode) {
    return echec("Le compteur des aidés du serveur a atteint " + std::to_string(kHighestCode) +
                 " : aucun nouveau code ne peut être attribué à l'aidé " + W_CodeAide + ".");
  }
  *nouveau_code = FormatCode(*dernier + 1);
  ENR_COMPTEURSERVACTIF.SetField(11, *nouveau_code);
  compteur.SetKey("999");
  compteur.SetRecord(ENR_COMPTEURSERVACTIF);
  status = compteur.WriteRecord();
  liberer();
  if (status != db::kOk) {
    return Echec(
        WithStatusSentence("Impossible d'écrire l'enregistrement 999 du fichier COMPTEUR (erreur " +
                               std::to_string(status) + ") : " + pour_aide,
                           status, Lieu(Ses_Serveur)));
  }
  return true;
}

}  // namespace cortevane::exporting
