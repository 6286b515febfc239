// A person created on the laptop: it takes the next code of the server's common counter, and
// every one of its records is copied to the server under keys built on that code, without
// comparison or question. The laptop code stays what names its registration and documents.
//
// The code given is noted on the laptop (file CODESATTRIBUES: key the laptop code, field 1 the
// server code, field 2 the user's threshold of this cycle) after the counter is written and
// before any record is copied. An export that stops after that point, and is run again, finds
// the note and copies the person under the same code again, instead of taking a second code
// and leaving the person twice on the server. Stopping between the counter and the note
// spends a code on nobody, with no record copied under it. A note of an earlier cycle (another
// threshold) is ignored; the final clearing empties the file.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "db/store.h"
#include "export/mod_exportation.h"
#include "export/rules.h"

namespace cortevane::exporting {

bool Mod_Exportation::Nouvel_Aide(const std::string& code) {
  std::string nouveau_code;
  if (!Code_Deja_Attribue(code, &nouveau_code)) return false;
  if (nouveau_code.empty()) {
    if (!Attribution_Code(&nouveau_code)) return false;
    if (!Memorisation_Code(code, nouveau_code)) return false;
  }

  // The code is spent from here on: a failure below leaves the records copied so far under it.
  const int fichiers = ENR_SDPARAMEXPORT.Count();
  for (int j = 1; j <= fichiers; ++j) {
    const std::string fichier = ENR_SDPARAMEXPORT.Value(j, 1);
    W_FichierServeur = Ses_Serveur.OpenFile(fichier);
    if (!W_FichierServeur) {
      return EchecOuverture("Problème d'ouverture de fichier : " + fichier + " (", Ses_Serveur);
    }
    W_FichierPortable = Ses_Autonome.OpenFile(fichier);
    if (!W_FichierPortable) {
      return EchecOuverture("Problème d'ouverture de fichier : " + fichier + "( ", Ses_Autonome);
    }

    // (laptop key, server key) of each record to copy.
    std::vector<std::pair<std::string, std::string>> cles;
    if (ENR_SDPARAMEXPORT.Value(j, 3) == "SELECT") {
      if (!Selection_Fichier(fichier, code)) return false;
      const int n = W_ListeCles.Count();
      for (int k = 1; k <= n; ++k) {
        std::string ancienne = W_ListeCles.Value(k, 1);
        cles.emplace_back(ancienne, ReKey(nouveau_code, ancienne));
      }
    } else {
      cles.emplace_back(code, nouveau_code);
    }

    for (const auto& [ancienne, nouvelle] : cles) {
      bool trouve = false;
      if (!Lecture(*W_FichierPortable, ancienne, &ENR_PORTABLE, &trouve)) return false;
      if (!trouve) continue;
      if (j == 1 && ENR_SDPARAMEXPORT.Value(j, 3) != "SELECT") {
        W_NomAide = ENR_PORTABLE.Field(2);
        W_PrenomAide = ENR_PORTABLE.Field(3);
        W_CodeSecteur = ENR_PORTABLE.Field(40);
      }
      W_FichierServeur->SetKey(nouvelle);
      W_FichierServeur->SetRecord(ENR_PORTABLE);
      if (int status = W_FichierServeur->WriteRecord(); status != 0) {
        return Echec("Impossible d'écrire l'enregistrement " + nouvelle + " du fichier " + fichier +
                     " sur le serveur : " + std::to_string(status));
      }
    }
  }
  return true;
}

// The code an earlier run of this export gave to the laptop person `code`, or the empty text
// when there is none (no note, or a note of another cycle).
bool Mod_Exportation::Code_Deja_Attribue(const std::string& code, std::string* nouveau_code) {
  nouveau_code->clear();
  std::unique_ptr<db::DbFile> notes = Ses_Autonome.OpenFile(kCodesAttribues);
  if (!notes) return true;  // no code was ever noted on this laptop
  db::DynArray note;
  bool trouve = false;
  if (!Lecture(*notes, code, &note, &trouve)) return false;
  if (!trouve || note.Field(2) != ENR_COMPTEURSERV.Field(11)) return true;
  // Only a code this cycle's counter can have given: above the user's threshold.
  std::optional<long> donne = CounterValue(note.Field(1));
  std::optional<long> seuil = CounterValue(ENR_COMPTEURSERV.Field(11));
  if (!donne || !seuil || *donne <= *seuil || *donne > kHighestCode ||
      FormatCode(*donne) != note.Field(1))
    return true;
  *nouveau_code = note.Field(1);
  return true;
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
  return Echec("Le code " + nouveau_code + " attribué à l'aidé " + code +
               " n'a pas pu être noté sur le portable (erreur " + std::to_string(status) +
               ") : aucun enregistrement n'a été copié sous ce code. Exportation interrompue.");
}

// Takes the next code of the common counter under its reservation. The record is read again
// once reserved, so a code another laptop took since the start of this export is never given
// twice; a counter that cannot give a valid new code stops the export instead.
bool Mod_Exportation::Attribution_Code(std::string* nouveau_code) {
  db::DbFile& compteur = *COMPTEURSERVACTIF;
  compteur.SetKey("999");
  compteur.SetLockTimeoutMs(reservation_timeout_ms_);
  int status = compteur.ReserveRecord();
  if (status != db::kOk && status != db::kRecordNotFound) {
    return Echec("Réservation impossible de l'enregistrement 999 du fichier COMPTEUR (erreur " +
                 std::to_string(status) + ") : aucun nouveau code n'a été attribué à l'aidé " +
                 W_CodeAide + ".");
  }
  // Holding the reservation from here: every way out frees it.
  if (status == db::kRecordNotFound) {
    compteur.FreeRecord();
    return Echec("Lecture impossible de l'enregistrement 999 du fichier COMPTEUR (erreur " +
                 std::to_string(status) + ") : aucun nouveau code n'a été attribué à l'aidé " +
                 W_CodeAide + ".");
  }
  ENR_COMPTEURSERVACTIF = compteur.GetRecord();
  std::optional<long> dernier = CounterValue(ENR_COMPTEURSERVACTIF.Field(11));
  if (!dernier) {
    compteur.FreeRecord();
    return Echec(
        "Le champ 11 de l'enregistrement 999 du fichier COMPTEUR n'est pas un nombre : \"" +
        ENR_COMPTEURSERVACTIF.Field(11) +
        "\". Aucun nouveau code n'a été attribué à "
        "l'aidé " +
        W_CodeAide + ".");
  }
  if (*dernier >= kHighestCode) {
    compteur.FreeRecord();
    return Echec("Le compteur des aidés du serveur a atteint " + std::to_string(kHighestCode) +
                 " : aucun nouveau code ne peut être attribué à l'aidé " + W_CodeAide + ".");
  }
  *nouveau_code = FormatCode(*dernier + 1);
  ENR_COMPTEURSERVACTIF.SetField(11, *nouveau_code);
  compteur.SetKey("999");
  compteur.SetRecord(ENR_COMPTEURSERVACTIF);
  status = compteur.WriteRecord();
  compteur.FreeRecord();
  if (status != db::kOk) {
    return Echec("Impossible d'écrire l'enregistrement 999 du fichier COMPTEUR (erreur " +
                 std::to_string(status) + ") : aucun nouveau code n'a été attribué à l'aidé " +
                 W_CodeAide + ".");
  }
  return true;
}

}  // namespace cortevane::exporting
