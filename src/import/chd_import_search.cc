// The import window's queries: the criteria entries of a mode, the search of persons (by
// code, by the start of the surname, or by the chosen criteria), the result lines, and the
// search fields' key and change events.
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"
#include "import/chd_import.h"
#include "import/mod_proc.h"
#include "ui/list_box.h"

namespace cortevane::import {
namespace {

constexpr std::string_view kWindowName = "Chd_Import";

// Runs DBA.SELECT on `session` with `request`. Returns the routine's status (or the session's
// when it hands out no routine); *result is set only on success.
int Select(db::Session& session, const db::DynArray& request, std::string* result) {
  auto routine = session.Subroutine(db::kDbaSelect, 3);
  if (!routine) return session.Error() != db::kOk ? session.Error() : db::kNotConnected;
  routine->ResetArgs();
  routine->SetArg(0, "");  // ReturnVal: nothing ever assigns it
  routine->SetArg(1, request.Text());
  routine->Call();
  if (routine->Error() != db::kOk) return routine->Error();
  *result = routine->GetArg(2);
  return db::kOk;
}

std::string ToStd(const QString& text) { return text.toStdString(); }

}  // namespace

void Chd_Import::Chargement_Lst_SelPossibles() {
  ui::OwnerScope owner(ui_, *this);
  const Mode mode = CurrentMode();
  SetPointer(ui::Pointer::kHourglass);
  std::string text;
  if (Select(ses_serveur_, CriteriaListRequest(mode), &text) != db::kOk) {
    // The status itself is not shown: for the user the mode simply offers nothing.
    ui_.MsgBox(CriteriaListEmptyMessage(mode), ui::kExclamation, ui::kMessageTitle);
  } else {
    lst_sel_possible_->setUpdatesEnabled(false);
    for (std::string_view row : db::FieldsOf(text)) {
      // A key that is no 32-bit number would name another entry in the search: left out.
      auto key = ParseItemData(db::PieceOf(row, db::kValueMark, 1));
      if (key) lst_sel_possible_->AddItem(std::string(db::PieceOf(row, db::kValueMark, 2)), *key);
    }
    lst_sel_possible_->setUpdatesEnabled(true);
  }
  SetPointer(ui::Pointer::kDefault);
}

void Chd_Import::Cmd_Recherche_Click() {
  ui::OwnerScope owner(ui_, *this);
  w_en_recherche_ = true;
  lst_possible_->clear();
  const Mode mode = CurrentMode();
  if (lst_sel_selection_->count() == 0 && mode != Mode::kIndividuelle) {
    const char* word = mode == Mode::kCommune       ? "commune"
                       : mode == Mode::kResponsable ? "responsable"
                                                    : "secteur";
    ui_.MsgBox(std::string("au moins un(e) ") + word + " doit être sélectionné(e)",
               ui::kExclamation, ui::kMessageTitle);
    w_en_recherche_ = false;
    return;
  }
  w_params_ = db::DynArray();
  w_requete_ = db::DynArray();
  Construction_Requete();
  // A code search has filled W_Requete already; a refused one left W_Params empty.
  if ((!txt_nom_aide_->text().isEmpty() || mode != Mode::kIndividuelle) &&
      !w_params_.Text().empty()) {
    SetPointer(ui::Pointer::kHourglass);
    Execution_Requete();
  }
  Chargement_Lst_Possible();
  txt_code_aide_->clear();
  w_en_recherche_ = false;
  SetPointer(ui::Pointer::kDefault);
}

void Chd_Import::Construction_Requete() {
  const Mode mode = CurrentMode();
  if (mode != Mode::kIndividuelle) {
    std::vector<std::int32_t> keys;
    keys.reserve(static_cast<size_t>(lst_sel_selection_->count()));
    for (int i = 0; i < lst_sel_selection_->count(); ++i)
      keys.push_back(lst_sel_selection_->ItemData(i));
    w_params_ = CriteriaRequest(mode, keys);
    return;
  }
  if (txt_code_aide_->text().isEmpty() && txt_nom_aide_->text().isEmpty()) {
    ui_.MsgBox(
        "La saisie d'au moins un caractère en code ou nom d'aidé est nécessaire pour une "
        "recherche.",
        ui::kExclamation, ui::kMessageTitle);
    return;
  }
  if (!txt_code_aide_->text().isEmpty()) {
    Recherche_Code();
    return;
  }
  txt_nom_aide_->setText(txt_nom_aide_->text().toUpper());
  if (auto request = NameRequest(ToStd(txt_nom_aide_->text()))) {
    w_params_ = std::move(*request);
  } else {
    ui_.MsgBox(kNameNotSearchable, ui::kExclamation, ui::kMessageTitle);
  }
}

void Chd_Import::Recherche_Code() {
  // The field shows the padded code; W_EnRecherche keeps this change from searching again.
  if (txt_code_aide_->text().size() < 5)
    txt_code_aide_->setText(QString::fromStdString(PadCode(ToStd(txt_code_aide_->text()))));
  const std::string code = ToStd(txt_code_aide_->text());
  if (!civilaide_) return;
  civilaide_->SetKey(code);
  const int status = civilaide_->ReadRecord();
  if (status == db::kRecordNotFound) {
    ui_.MsgBox("Cet aidé n'existe pas.", ui::kExclamation, ui::kMessageTitle);
    return;
  }
  if (status != db::kOk) {
    // Any other failure leaves no record to show: report it rather than list a stale one.
    ErrorCode(status);
    return;
  }
  enr_civilaide_ = civilaide_->GetRecord();
  db::DynArrayBuilder row;
  row.AddValue(code);
  for (int field : {2, 3, 5, 6, 7, 8, 9, 10, 11, 43}) {
    // As the query routine does, a field's own values are lowered to subvalues so that the
    // row keeps one value per field.
    std::string value = enr_civilaide_.Field(field);
    std::replace(value.begin(), value.end(), db::kValueMark, db::kSubValueMark);
    row.AddValue(value);
  }
  w_requete_ = row.Take();
}

void Chd_Import::Execution_Requete() {
  std::string text;
  const int status = Select(ses_serveur_, w_params_, &text);
  if (status != db::kOk) {
    ErrorCode(status);
    return;
  }
  w_requete_.SetText(std::move(text));
  if (w_requete_.Text().empty())
    ui_.MsgBox("Aucun aidé ne correspond aux critères de recherche.", ui::kExclamation,
               ui::kMessageTitle);
}

void Chd_Import::Chargement_Lst_Possible() {
  // The rows are taken in one pass over the result text: reading them by number would scan
  // the whole result again for each person.
  if (w_requete_.Text().empty()) return;
  lst_possible_->setUpdatesEnabled(false);
  std::vector<std::string_view> values;
  for (std::string_view row : w_requete_.Fields()) {
    const db::Pieces pieces = db::ValuesOf(row);
    values.assign(pieces.begin(), pieces.end());
    // A code that is no 32-bit number could not be carried, or would name another person.
    if (auto code = ParseItemData(values.empty() ? std::string_view() : values.front()))
      lst_possible_->AddItem(ResultLine(values), *code);
  }
  lst_possible_->setUpdatesEnabled(true);
}

void Chd_Import::Txt_CodeAide_Change() {
  if (txt_code_aide_->text().size() == 5 && !w_en_recherche_) Cmd_Recherche_Click();
}

bool Chd_Import::Txt_CodeAide_KeyPress(int key, const QString& text) {
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return ||
      key == Qt::Key_Enter) {
    // Padding to 5 starts the search through the change event. An empty field is left empty,
    // so moving through it with Tab does not search for the code 00000.
    if (!txt_code_aide_->text().isEmpty() && txt_code_aide_->text().size() < 5)
      txt_code_aide_->setText(QString::fromStdString(PadCode(ToStd(txt_code_aide_->text()))));
    return false;
  }
  if (key == Qt::Key_Backspace) return false;
  // Keys that type nothing (arrows, Delete, Home) pass; of those that type, only digits do.
  if (text.isEmpty()) return false;
  return !(text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9'));
}

void Chd_Import::Txt_NomAide_KeyPress(int key) {
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter)
    Cmd_Recherche_Click();
}

}  // namespace cortevane::import
