// Mod_Exportation: the export of the laptop's work back to the office base. For every person
// held on the laptop and every file named in the export parameters (SDPARAMEXPORT "AIDE") it
// compares three versions of each record (laptop, server, and the reference copy F_USER taken
// at import) and writes what only the laptop changed, asks before overwriting what the server
// changed too, gives server codes to persons created on the laptop, copies scanned documents
// to their sector's folder, releases the registrations in SDEXPORTAIDES and, when the user has
// nothing left registered, empties the laptop's copies and the reference copies.
//
// The main window keeps one instance for the whole run and calls Demarrage_Exportation from
// its Export entry, after disabling Import. Everything runs on the calling (user-interface)
// thread; the user is reached only through ui::Ui (boxes, pointer, menu entries, progress),
// so the module runs headless under a scripted Ui. The sessions and the Ui must outlive it.
//
// Each person reaches the office whole or not at all: its records are read and decided first
// (export/person_plan.h), the conflicts asked with no transaction open, then everything it
// sends is written in one office transaction together with the release of its registration.
// Each record is written only over the office version it was decided on (a conditional write,
// compared by the store inside the transaction): when the office changed one meanwhile, the
// transaction is rolled back and the person read, decided and asked again.
//
// Failures: each one restores the pointer, shows one message box and ends the export; the
// persons sent before stay sent, the failing one is not sent at all. After any failure both Import
// and Export are enabled again: nothing half-done blocks a new import (the import itself refuses
// while registrations are left), and the export can simply be run again.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/dyn_array.h"
#include "export/person_plan.h"
#include "platform/journal.h"

namespace cortevane::db {
class DbFile;
class Session;
}  // namespace cortevane::db

namespace cortevane::ui {
class Ui;
struct Place;
}  // namespace cortevane::ui

namespace cortevane::exporting {

// What one run did: the second line of its last box, and the main window's status bar.
struct ExportSummary {
  int persons = 0;    // persons handled whole (sent, or found with nothing to send)
  int questions = 0;  // conflict questions asked, the ones asked again included
  int merges = 0;     // records sent as the merge of both sides' changes
  // Persons created on the laptop that reached the office: (laptop code, office code).
  std::vector<std::pair<std::string, std::string>> new_codes;
  std::string journal;  // the run's journal (drive path); empty when it cannot be written
};
using platform::Journal;
using platform::JournalDateTime;

struct FilePlan;
struct PersonPlan;
struct PlanFailure;
struct RecordPlan;
class Planner;

// The summary's line: "3 aidés envoyés, 2 questions dont 1 fusion, nouveaux codes : 00118 →
// 00151 ; journal : C:\KESTA\JOURNAL\....txt".
std::string SummaryLine(const ExportSummary& summary);

class Mod_Exportation {
 public:
  // How many times a person is read and asked again when the office changed one of its records
  // while its questions waited, before the export stops.
  static constexpr int kNouveauxEssais = 3;

  Mod_Exportation(db::Session& ses_autonome, db::Session& ses_serveur,
                  const std::string& nom_utilisateur, ui::Ui& ui);
  ~Mod_Exportation();
  Mod_Exportation(const Mod_Exportation&) = delete;
  Mod_Exportation& operator=(const Mod_Exportation&) = delete;

  // Asks for confirmation, checks the server files and counters, then exports every laptop
  // person. Returns when the export is declined, has failed (after its message) or is done
  // (after the final message).
  void Demarrage_Exportation();

  // Selects, through DBA.SELECT on the laptop session, the laptop's persons ("CIVILAIDE", into
  // ListeAides), the user's remaining registrations ("SDEXPORTAIDES") or the keys of `fichier`
  // beginning with `prefixe` (both into ListeCles). On failure the list is left empty, the
  // failure has been reported and false is returned: the caller must end the export.
  bool Selection_Fichier(const std::string& fichier, const std::string& prefixe);

  // How long a new person's code waits for the common counter held by another export
  // (default 10 s); after that the export stops with a message.
  void SetReservationTimeoutMs(int ms) { reservation_timeout_ms_ = ms; }

  // What the last run did (reset when a run starts).
  const ExportSummary& Bilan() const { return bilan_; }
  // The last run's end line, as its journal ends it ("Exportation terminée le … : 3 aidés
  // envoyés…", or "Exportation interrompue le … : " and the failure's first line); empty when
  // the user declined the run. The main window shows it on its status line.
  const std::string& Fin() const { return fin_; }

  const db::DynArray& ListeAides() const { return W_ListeAides; }
  const db::DynArray& ListeCles() const { return W_ListeCles; }

 private:
  // demarrage_exportation.cc: the start, and the ways an export ends.
  bool Chargement_Compteurs();
  // Ends the export after a failure: progress hidden, pointer back, `text` in a plain box,
  // both menu entries enabled. The box also says that the server went away when the office
  // connection is lost, or when `serveur_perdu` (the caller saw it lost, and the store has
  // connected again since). Always returns false, so callers can `return Echec(...)`.
  // While reprise_permise_ (a person under way, nothing of it written yet), a failure because
  // the office was lost is kept in perte_ instead, for Reprise.
  bool Echec(const std::string& text, bool serveur_perdu = false);
  bool EchecOuverture(const std::string& texte, const db::Session& session);
  // The base `session` reaches, for the second line of a failure box (a damaged base named
  // as the laptop's, with the command that checks it, or as the office's).
  ui::Place Lieu(const db::Session& session) const;
  void AnnonceDocumentsNonCopies();
  // The run's journal (platform/journal.h): opened once the user said Yes, one line per event,
  // closed by the last line of the run. Cloture_Journal gives `message` with, when the journal
  // could not be written, the sentence saying where.
  void Ouverture_Journal();
  std::string Cloture_Journal(const std::string& derniere_ligne, std::string message);

  // exportation_aides.cc: the loop over persons; each person read and decided whole, its
  // questions asked, then sent in one office transaction with the release of its registration.
  void Exportation_Aides();
  // False when the export must end; *ignore when the person was left out (reported at the end).
  bool Export_Aide(bool* ignore);
  // The office lost while a person was under way, nothing of it written: connects again once
  // through the office's hosts and, when a server that takes writes answers, plans and sends
  // the person again from fresh reads; otherwise stops with the loss kept in perte_.
  bool Reprise(bool* ignore);
  bool NonConfirme();
  Answer Question_Conflit(const FilePlan& fichier, const RecordPlan& enregistrement);
  const std::map<int, std::string>& NomsChamps(const std::string& fichier);
  // Reads ahead the plans and registrations of the persons of `codes` (Planner::ReadAhead).
  void Lecture_Lot(const std::vector<std::string>& codes);
  bool Inscription(const std::string& code, bool* a_liberer);
  bool Envoi(const PersonPlan& plan, bool liberer, std::string* modifie);
  void Journal_Envoi(const PersonPlan& plan, bool liberer);
  bool EchecPlan(const PlanFailure& failure);
  bool Lecture(db::DbFile& fichier, const std::string& cle, db::DynArray* enr, bool* trouve);

  // nouvel_aide.cc: a person created on the laptop gets a new server code.
  bool Nouvel_Aide(PersonPlan* plan);
  bool Code_Deja_Attribue(const std::string& code, std::string* nouveau_code);
  bool Attribution_Code(std::string* nouveau_code);
  // The code in one request on an office server, or the reservation to take it under, or the
  // export stopped (its message given).
  enum class CodeRapide { kDonne, kReserver, kArret };
  CodeRapide Code_En_Une_Requete(std::string* nouveau_code);
  bool Memorisation_Code(const std::string& code, const std::string& nouveau_code);

  // documents_vidage.cc: scanned documents after each person, clearing after the last.
  void Copie_Documents(const std::string& code, const std::string& secteur);
  bool Vidage_Portable();

  db::Session& Ses_Autonome;
  db::Session& Ses_Serveur;
  const std::string& Nom_Utilisateur;
  ui::Ui& ui_;

  // Module state, replaced by each run.
  std::unique_ptr<db::DbFile> SDPARAMEXPORT;
  db::DynArray ENR_SDPARAMEXPORT;
  std::unique_ptr<db::DbFile> COMPTEURSERV;
  db::DynArray ENR_COMPTEURSERV;
  std::unique_ptr<db::DbFile> COMPTEURSERVACTIF;
  db::DynArray ENR_COMPTEURSERVACTIF;
  db::DynArray W_ListeAides;
  db::DynArray W_ListeCles;
  std::unique_ptr<db::DbFile> W_Secteur;
  std::unique_ptr<db::DbFile> W_Registre;  // the office's SDEXPORTAIDES
  std::unique_ptr<Planner> planner_;       // the files of the run, opened once

  // Variables of one run.
  std::string W_CodeAide;
  std::string W_NomAide;
  std::string W_PrenomAide;
  std::string W_CodeSecteur;
  bool progression_affichee_ = false;
  bool reprise_permise_ = false;
  std::string perte_;    // the kept failure of a lost office (Echec, Reprise)
  std::string serveur_;  // the office server connected to ("host:port"), for the journal
  int reservation_timeout_ms_ = 10000;
  std::vector<std::string> documents_non_copies_;  // "source -> destination : reason"
  std::vector<std::string> aides_ignores_;         // persons whose code cannot be selected
  Journal journal_;
  ExportSummary bilan_;
  std::string fin_;
  std::map<std::string, std::map<int, std::string>> noms_champs_;  // file -> field -> name
  // Registrations read ahead (Lecture_Lot), each used once: code -> record, nullopt for none.
  std::map<std::string, std::optional<db::DynArray>> inscriptions_;
};

}  // namespace cortevane::exporting
