// After each person, its scanned-documents folder goes to its sector's folder; after the last
// person, when the user has nothing left registered, the laptop's copies and the user's
// reference copies on the server are emptied.
#include <string>
#include <vector>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "export/mod_exportation.h"
#include "export/rules.h"
#include "platform/file_system.h"
#include "ui/status_sentences.h"

namespace cortevane::exporting {

using ui::WithStatusSentence;

namespace {
constexpr char kRacineDocuments[] = "C:\\KESTA\\DOCSCAN\\";
}

// Never ends the export. A folder that cannot be copied (no sector, a sector without a
// destination, a copy that fails) is noted and told to the user before the export's last
// message; without a destination nothing is copied at all, rather than somewhere arbitrary.
void Mod_Exportation::Copie_Documents(const std::string& code, const std::string& secteur) {
  const std::string source = kRacineDocuments + code;
  if (!platform::FolderExists(source)) {
    journal_.Line("  Documents : aucun dossier " + source);
    return;
  }
  // `pourquoi` follows the source folder: " : raison" or " vers destination : raison".
  auto non_copies = [&](const std::string& pourquoi) {
    documents_non_copies_.push_back(source + pourquoi);
    journal_.Line("  Documents non copiés : " + source + pourquoi);
  };

  const std::string cle = SectorKey(secteur);
  if (!W_Secteur) return non_copies(" : fichier SECTEUR du portable inaccessible");
  if (cle.empty()) return non_copies(" : l'aidé n'a pas de code secteur");
  W_Secteur->SetKey(cle);
  if (int status = W_Secteur->ReadRecord(); status != 0) {
    return non_copies(WithStatusSentence(" : secteur " + cle +
                                             " introuvable sur le portable (erreur " +
                                             std::to_string(status) + ")",
                                         status, Lieu(Ses_Autonome)));
  }
  const std::string dossier = W_Secteur->GetRecord().Field(22);
  if (dossier.empty())
    return non_copies(" : le secteur " + cle + " n'a pas de dossier de destination");
  const std::string destination = dossier + code;
  // Only regular files and folders go; links and special files are named, not followed.
  std::vector<platform::SkippedEntry> ignores;
  const int erreur = platform::CopyFolder(source, destination, nullptr, &ignores);
  for (const platform::SkippedEntry& entree : ignores) {
    std::string chemin;
    for (char c : entree.path) chemin += c == '/' ? '\\' : c;
    const char* raison = entree.kind == platform::SkippedEntry::kLink ? "lien symbolique ignoré"
                                                                      : "fichier spécial ignoré";
    non_copies((chemin.empty() ? "" : "\\" + chemin) + " : " + raison);
  }
  if (erreur != 0) {
    return non_copies(WithStatusSentence(
        " vers " + destination + " : copie impossible (erreur " + std::to_string(erreur) + ")",
        erreur));
  }
  journal_.Line("  Documents copiés : " + source + " vers " + destination +
                (ignores.empty() ? "" : " (sauf les éléments ignorés ci-dessus)"));
}

// The clearing happens only when the selection of the user's registrations succeeded and
// found none. Files the accounts do not have are passed over. A file that is there but could
// not be emptied (the server gone, a store failure) is told and ends the export, so that it is
// not reported as done: a later export, finding nothing left to send, finishes the clearing.
// A reference copy is emptied only once its laptop file is, so that the laptop's records are
// never compared with an empty reference.
bool Mod_Exportation::Vidage_Portable() {
  if (!Selection_Fichier("SDEXPORTAIDES", "")) return false;
  if (const int restantes = W_ListeCles.Count(); restantes > 0) {
    journal_.Line("Vidage non effectué : " + std::to_string(restantes) +
                  (restantes == 1 ? " aidé reste inscrit" : " aidés restent inscrits") +
                  " au nom de " + Nom_Utilisateur + " sur le serveur.");
    return true;
  }

  // The parameters opened at the start serve again; the files to empty are those the persons
  // were read from, as read at the start.
  db::DbFile& parametres = *SDPARAMEXPORT;
  std::vector<std::string> non_vides;  // "file (error)" of each file that stays full
  bool serveur_perdu = false;
  // Tells how emptying `fichier` of `session` went; false when it is there and stays full.
  auto noter = [&](db::Session& session, const std::string& fichier, int status) {
    if (status == db::kOk || status == db::kNoSuchFile || status == db::kBadName) return true;
    if (status == db::kServerUnreachable) serveur_perdu = true;
    non_vides.push_back(WithStatusSentence(fichier + " (erreur " + std::to_string(status) + ")",
                                           status, Lieu(session)));
    return false;
  };
  auto vider = [&](db::Session& session, const std::string& fichier) {
    std::unique_ptr<db::DbFile> file = session.OpenFile(fichier);
    const int status = file ? file->EmptyFile() : session.Error();
    noter(session, fichier, status);
    return status;
  };
  db::DynArray aide;
  bool aide_lue = W_ListeAides.Count() > 0;
  if (aide_lue) {
    aide = ENR_SDPARAMEXPORT;
  } else {
    parametres.SetKey("AIDE");
    aide_lue = parametres.ReadRecord() == 0;
    aide = parametres.GetRecord();
  }
  // Each laptop file first; the reference copies of those emptied (or absent) then go together,
  // in one request to an office server. One that the office store does not hold may stand
  // behind a pointer, and is opened as such.
  struct Vidage {
    std::string fichier;
    int portable = db::kNoSuchFile;
    int serveur = db::kNoSuchFile;
  };
  std::vector<Vidage> vidages;
  std::vector<std::string> copies;
  std::vector<size_t> copies_de;
  for (int i = 1; aide_lue && i <= aide.Count(); ++i) {
    Vidage& v = vidages.emplace_back(Vidage{aide.Value(i, 1)});
    v.portable = vider(Ses_Autonome, v.fichier);
    if (v.portable != db::kOk && v.portable != db::kNoSuchFile && v.portable != db::kBadName)
      continue;
    copies.push_back(v.fichier + "_" + Nom_Utilisateur);
    copies_de.push_back(vidages.size() - 1);
  }
  std::vector<int> statuts(copies.size(), db::kNoSuchFile);
  if (const auto& store = Ses_Serveur.store(); store && !copies.empty())
    store->ClearFiles(copies, &statuts);
  for (size_t c = 0; c < copies.size(); ++c) {
    int& statut = vidages[copies_de[c]].serveur;
    statut = statuts[c];
    if (statut == db::kNoSuchFile)
      statut = vider(Ses_Serveur, copies[c]);
    else
      noter(Ses_Serveur, copies[c], statut);
  }
  std::string vides;  // "file (portable)" of each file emptied, for the journal
  auto vide = [&vides](const std::string& fichier, const char* ou) {
    vides += (vides.empty() ? "" : ", ") + fichier + ou;
  };
  for (const Vidage& v : vidages) {
    if (v.portable == db::kOk) vide(v.fichier, " (portable)");
    if (v.serveur == db::kOk) vide(v.fichier + "_" + Nom_Utilisateur, " (serveur)");
  }
  parametres.SetKey("PLANNING");
  if (parametres.ReadRecord() == 0) {
    const db::DynArray planning = parametres.GetRecord();
    for (int i = 1; i <= planning.Count(); ++i) {
      const std::string fichier = planning.Value(i, 1);
      if (vider(Ses_Autonome, fichier) == db::kOk) vide(fichier, " (portable)");
    }
  }
  journal_.Line("Vidage : " + (vides.empty() ? "aucun fichier vidé." : "vidés " + vides + "."));
  if (!non_vides.empty()) {
    std::string texte = "Le vidage après exportation n'a pas pu être achevé. Fichiers non vidés :";
    for (const std::string& f : non_vides) texte += "\r\n" + f;
    return Echec(texte + "\r\nRelancez l'exportation pour achever le vidage.", serveur_perdu);
  }
  // Last: until the persons are cleared, a run after an interruption still needs the codes
  // given to the persons created on the laptop.
  if (auto notes = Ses_Autonome.OpenFile(kCodesAttribues)) notes->EmptyFile();
  return true;
}

}  // namespace cortevane::exporting
