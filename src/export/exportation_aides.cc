// The export proper: every laptop person in turn, the three-way merge of each of its records
// (laptop, server, and the reference copy taken at import), the release of its registration,
// then the clearing check and the final message.
#include <string>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "export/mod_exportation.h"
#include "export/rules.h"
#include "ui/ui.h"

namespace cortevane::exporting {

using ui::MenuEntry;
using ui::Pointer;

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
      Echec("Erreur lecture SDPARAMEXPORT" + std::to_string(status));
      return;
    }
    ENR_SDPARAMEXPORT = SDPARAMEXPORT->GetRecord();
  }

  // Each person's registration is released when the next one starts, the last after the
  // loop: a failure therefore leaves the failing person registered, and the laptop uncleared.
  std::string code_precedent;
  for (int i = 1; i <= nombre; ++i) {
    W_CodeAide = W_ListeAides.Value(i, 1);
    if (code_precedent.empty()) code_precedent = W_CodeAide;
    if (W_CodeAide != code_precedent) {
      if (!Liberation_Aide(code_precedent)) return;
      code_precedent = W_CodeAide;
    }
    ui_.ShowProgress("Aidé " + std::to_string(i) + " sur " + std::to_string(nombre));
    progression_affichee_ = true;

    W_Accepte = false;
    // A person without a record in the persons file must not be named, or have its documents
    // filed, after the person before it.
    W_NomAide.clear();
    W_PrenomAide.clear();
    W_CodeSecteur.clear();
    if (IsKnownPerson(ENR_COMPTEURSERV.Field(11), W_CodeAide)) {
      if (!Export_Aide_Connu()) return;
    } else if (!Nouvel_Aide(W_CodeAide)) {
      return;
    }
    Copie_Documents(W_CodeAide, W_CodeSecteur);
  }
  if (!Liberation_Aide(code_precedent)) return;
  if (!Vidage_Portable()) return;

  if (progression_affichee_) {
    ui_.HideProgress();
    progression_affichee_ = false;
  }
  ui_.SetScreenPointer(Pointer::kDefault);
  AnnonceDocumentsNonCopies();
  ui_.MsgBox("Exportation des données de l'ordinateur portable vers le serveur terminée.",
             ui::kInformation, ui::kMessageTitle);
  ui_.SetMenuEnabled(MenuEntry::kImport, true);
}

// A person the server knows: each exported file in parameter order, record by record.
bool Mod_Exportation::Export_Aide_Connu() {
  const int fichiers = ENR_SDPARAMEXPORT.Count();
  for (int j = 1; j <= fichiers; ++j) {
    const std::string fichier = ENR_SDPARAMEXPORT.Value(j, 1);
    W_FichierReference = Ses_Serveur.OpenFile(fichier + "_" + Nom_Utilisateur);
    if (!W_FichierReference) {
      return EchecOuverture("Problème d'ouverture de fichier : " + fichier + " (", Ses_Serveur);
    }
    W_FichierServeur = Ses_Serveur.OpenFile(fichier);
    if (!W_FichierServeur) {
      return EchecOuverture("Problème d'ouverture de fichier : " + fichier + " (", Ses_Serveur);
    }
    W_FichierPortable = Ses_Autonome.OpenFile(fichier);
    if (!W_FichierPortable) {
      return EchecOuverture("Problème d'ouverture de fichier : " + fichier + "( ", Ses_Autonome);
    }
    if (ENR_SDPARAMEXPORT.Value(j, 3) == "SELECT") {
      if (!Selection_Fichier(fichier, W_CodeAide)) return false;
      const int cles = W_ListeCles.Count();
      for (int k = 1; k <= cles; ++k) {
        if (!Fusion_Enregistrement(j, W_ListeCles.Value(k, 1), false)) return false;
      }
    } else if (!Fusion_Enregistrement(j, W_CodeAide, j == 1)) {
      return false;
    }
  }
  return true;
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
  return Echec("Erreur lecture " + fichier.Name() + ", enregistrement " + cle + " : " +
               std::to_string(status));
}

// The three-way merge of record `cle` of the j-th exported file. A record the laptop did not
// change is left alone; one only the laptop changed is written; one both sides changed is
// written when the file's parameter says "N", when the user already accepted a change of this
// person, or when the user says Yes now.
bool Mod_Exportation::Fusion_Enregistrement(int j, const std::string& cle, bool lire_identite) {
  bool trouve = false;
  if (!Lecture(*W_FichierReference, cle, &ENR_REFERENCE, &trouve)) return false;
  if (!Lecture(*W_FichierServeur, cle, &ENR_SERVEUR, &trouve)) return false;
  // Deletions on the laptop are not sent: a record missing there is skipped.
  if (!Lecture(*W_FichierPortable, cle, &ENR_PORTABLE, &trouve)) return false;
  if (!trouve) return true;
  if (lire_identite) {
    W_NomAide = ENR_PORTABLE.Field(2);
    W_PrenomAide = ENR_PORTABLE.Field(3);
    W_CodeSecteur = ENR_PORTABLE.Field(40);
  }
  if (ENR_REFERENCE == ENR_PORTABLE) return true;
  if (!(ENR_REFERENCE == ENR_SERVEUR) && ENR_SDPARAMEXPORT.Value(j, 4) != "N" && !W_Accepte) {
    std::string question =
        ConflictQuestion(ENR_SDPARAMEXPORT.Value(j, 2), W_CodeAide, W_NomAide, W_PrenomAide);
    if (ui_.MsgBox(question, ui::kYesNo + ui::kQuestion, ui::kMessageTitle) != ui::kAnswerYes) {
      return true;  // the server keeps its version
    }
    W_Accepte = true;
  }
  W_FichierServeur->SetKey(cle);
  W_FichierServeur->SetRecord(ENR_PORTABLE);
  if (int status = W_FichierServeur->WriteRecord(); status != 0) {
    return Echec("Impossible d'écrire l'enregistrement " + cle + " du fichier " +
                 W_FichierServeur->Name() + " sur le serveur : " + std::to_string(status));
  }
  return true;
}

// Removes the user's registration of `code` from the server's register. A registration held
// by another user under the same code (a code created on the laptop that the server has since
// given to someone else) is not this export's to remove.
bool Mod_Exportation::Liberation_Aide(const std::string& code) {
  std::unique_ptr<db::DbFile> registre = Ses_Serveur.OpenFile("SDEXPORTAIDES");
  if (!registre) {
    return EchecOuverture("Problème d'ouverture de fichier : SDEXPORTAIDES (", Ses_Serveur);
  }
  if (code.empty()) return true;  // a laptop without persons
  db::DynArray inscription;
  bool trouve = false;
  if (!Lecture(*registre, code, &inscription, &trouve)) return false;
  if (!trouve || inscription.Field(1) != Nom_Utilisateur) return true;
  registre->SetKey(code);
  if (int status = registre->DeleteRecord(); status != 0 && status != db::kRecordNotFound) {
    return Echec("Impossible de supprimer l'enregistrement " + code +
                 " du fichier SDEXPORTAIDES : " + std::to_string(status));
  }
  return true;
}

}  // namespace cortevane::exporting
