// "Ok": the chosen persons are checked against the server's register, registered under the
// user's name, and copied to the laptop by the server routine IMPORTDONNEES; the window is
// left whatever the outcome.
//
// Every chosen person is checked before anything is written, and the registrations are made
// together in one transaction that writes only where the register is free, so a refusal, a
// rival import of the same person or a failed copy never leaves registrations of persons whose
// files did not reach the laptop.
#include <chrono>
#include <ctime>

#include "db/date_converter.h"
#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"
#include "import/chd_import.h"
#include "import/import_register.h"
#include "platform/journal.h"
#include "ui/list_box.h"
#include "ui/status_sentences.h"

namespace cortevane::import {
namespace {

std::string AlreadyImported(const std::string& holder, const std::string& code) {
  return "Impossible d'importer. L'utilisateur " + holder + " a déjà importé l'aidé " + code +
         ".\r\nAucun aidé importé.";
}

}  // namespace

void Chd_Import::Cmd_Ok_Click() {
  ui::OwnerScope owner(ui_, *this);  // its boxes and progress windows
  SetPointer(ui::Pointer::kHourglass);
  w_abandon_ = false;
  Controle_Import();
  if (!w_abandon_) Execution_Import();
  Cmd_Sortir_Click();
}

int Chd_Import::QueryRegister(std::string& rows) {
  w_params_ = RegisterRequest();
  int status = db::kNotConnected;
  if (auto routine = ses_serveur_.Subroutine(db::kDbaSelect, 3)) {
    routine->ResetArgs();
    routine->SetArg(0, "");
    routine->SetArg(1, w_params_.Text());
    routine->Call();
    status = routine->Error();
    if (status == db::kOk) rows = routine->GetArg(2);
  } else if (ses_serveur_.Error() != db::kOk) {
    status = ses_serveur_.Error();
  }
  return status;
}

// Counted when the window opens, so that the user does not search and choose everyone only to
// be refused at "Ok". A failed query says nothing here: "Ok" reports it.
void Chd_Import::Avertissement_Registre() {
  std::string text;
  if (QueryRegister(text) != db::kOk) return;
  int mine = 0;
  for (std::string_view row : db::FieldsOf(text))
    if (db::PieceOf(row, db::kValueMark, 2) == nom_utilisateur_) ++mine;
  if (mine == 0) return;
  const std::string message =
      nom_utilisateur_ + ", vous avez encore " + ui::CountText(mine, "aidé", "aidés") +
      " sur le portable : faites d'abord une exportation, aucune importation n'est possible "
      "avant.";
  ui_.ShowStatus(message);
  ui_.MsgBox(message, ui::kExclamation, ui::kMessageTitle);
}

void Chd_Import::Controle_Import() {
  w_liste_codes_ = db::DynArray();
  std::string text;
  const int status = QueryRegister(text);
  if (status != db::kOk || !sdexportaides_) {
    ErrorCode(status);
    w_abandon_ = true;
    return;
  }
  w_requete_.SetText(std::move(text));

  std::vector<std::string> codes;
  codes.reserve(static_cast<size_t>(lst_selection_->count()));
  for (int i = 0; i < lst_selection_->count(); ++i)
    codes.push_back(PadCode(lst_selection_->ItemData(i)));
  if (codes.empty()) {
    ui_.MsgBox("Aucun aidé valide à exporter.", ui::kExclamation, ui::kMessageTitle);
    SetPointer(ui::Pointer::kDefault);
    w_abandon_ = true;
    return;
  }

  const RegisterVerdict verdict = CheckRegister(w_requete_, codes, nom_utilisateur_);
  if (verdict.kind == RegisterVerdict::kUserHasRecords) {
    ui_.MsgBox("Impossible d'importer, " + nom_utilisateur_ +
                   ", vous devez effectuer une exportation pour pouvoir importer.\r\nAucun aidé "
                   "importé.",
               ui::kExclamation, ui::kMessageTitle);
    w_abandon_ = true;
    return;
  }
  if (verdict.kind == RegisterVerdict::kAlreadyOut) {
    ui_.MsgBox(AlreadyImported(verdict.holder, verdict.code), ui::kExclamation, ui::kMessageTitle);
    w_abandon_ = true;
    return;
  }

  const std::tm now = clock_();
  using namespace std::chrono;
  const std::string date = db::DateConverter::ToInternalDate(
      year{now.tm_year + 1900} / month(static_cast<unsigned>(now.tm_mon + 1)) /
      day(static_cast<unsigned>(now.tm_mday)));
  enr_sdexportaides_ =
      RegisterRecord(nom_utilisateur_, date, RegisterTime(now.tm_hour, now.tm_min));

  ui_.ShowProgress("Inscription de " + std::to_string(codes.size()) +
                   (codes.size() > 1 ? " aidés" : " aidé") + " au registre");
  const Registration outcome = RegisterPersons(*sdexportaides_, codes, enr_sdexportaides_);
  ui_.HideProgress();
  if (outcome.result == Registration::kTaken) {
    ui_.MsgBox(AlreadyImported(outcome.holder, outcome.code), ui::kExclamation, ui::kMessageTitle);
    w_abandon_ = true;
    return;
  }
  if (outcome.result == Registration::kFailed) {
    ErrorCode(outcome.status);
    w_abandon_ = true;
    return;
  }
  db::DynArrayBuilder list;
  for (const std::string& code : codes) list.AddField(code);
  w_liste_codes_ = list.Take();
}

void Chd_Import::Execution_Import() {
  const std::string identity = UpperCase(ses_autonome_.UserName()) + "|" +
                               ses_autonome_.HostName() + "|" + ses_autonome_.AccountPath() + "|" +
                               ses_serveur_.HostName() + "|" + ses_serveur_.AccountPath();
  const int count = w_liste_codes_.Count();
  ui_.ShowProgress("Copie des dossiers de " + std::to_string(count) +
                   (count > 1 ? " aidés" : " aidé") + " vers le portable");
  int status = db::kNotConnected;
  if (auto routine = ses_serveur_.Subroutine(db::kImportDonnees, 3)) {
    routine->ResetArgs();
    routine->SetArg(0, identity);
    routine->SetArg(1, w_liste_codes_.Text());
    routine->Call();
    status = routine->Error();
  } else if (ses_serveur_.Error() != db::kOk) {
    status = ses_serveur_.Error();
  }
  ui_.HideProgress();
  Bilan_Import(status);
  if (status != db::kOk) {
    ui_.MsgBox(ui::WithStatusSentence(
        "Impossible d'exécuter la commande : " + std::to_string(status), status));
    // The files never reached the laptop: the registrations of this import must not keep
    // refusing the user's next import.
    const db::Pieces fields = w_liste_codes_.Fields();
    const std::vector<std::string> codes(fields.begin(), fields.end());
    if (int withdrawn = WithdrawRegistrations(*sdexportaides_, codes, nom_utilisateur_))
      ErrorCode(withdrawn);
    return;
  }
  SetPointer(ui::Pointer::kDefault);
}

// "1 256 aidés importés le 09/12/2026 à 14:30" on the main window's status line, and the same
// in a journal of its own beside the exports' (who, which persons, the outcome).
void Chd_Import::Bilan_Import(int status) {
  const std::tm now = clock_();
  char when[40];
  std::strftime(when, sizeof when, "le %d/%m/%Y à %H:%M", &now);
  const int count = w_liste_codes_.Count();
  std::string line;
  if (status == db::kOk) {
    line = ui::CountText(count, "aidé importé", "aidés importés") + " " + when;
  } else {
    line = "Importation échouée " + std::string(when) + " (" + std::to_string(status) +
           ") : aucun aidé importé";
  }
  platform::Journal journal("cette importation");
  std::tm local = now;
  const std::time_t start = std::mktime(&local);
  if (journal.Open(std::chrono::system_clock::from_time_t(start), journal_folder_,
                   platform::kImportJournalPrefix)) {
    // One write for the whole journal: its lines are known at once, and a flush per person
    // cost more than the person's registration.
    std::string text = "Importation de " + nom_utilisateur_ + " : " +
                       ui::CountText(count, "aidé choisi", "aidés choisis");
    for (std::string_view code : w_liste_codes_.Fields()) text.append("\n  Aidé ").append(code);
    if (status != db::kOk) text += "\n" + ui::WithStatusSentence(line, status);
    journal.Line(text + "\n" + line);
    journal.Close();
  }
  if (journal.failed()) line += ". " + journal.Problem();
  ui_.ShowStatus(line);
}

}  // namespace cortevane::import
