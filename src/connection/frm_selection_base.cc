#include "connection/frm_selection_base.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "connection/session_steps.h"
#include "db/session.h"
#include "ui/qt_ui.h"
#include "ui/ui.h"

namespace cortevane::connection {
namespace {

bool IsBlank(const QString& text) {
  for (QChar c : text) {
    if (c != QLatin1Char(' ')) return false;
  }
  return true;
}

}  // namespace

Frm_SelectionBase::Frm_SelectionBase(db::Session& ses_autonome, db::Session& ses_serveur,
                                     ui::Ui& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ses_autonome_(ses_autonome),
      ses_serveur_(ses_serveur),
      ui_(ui) {
  setObjectName("Frm_SelectionBase");
  setWindowTitle(QString::fromUtf8("Sélection de la Base de Données"));
  createControls();
  createLayout();
  connectEvents();
  ui::FitTitle(*this);
}

void Frm_SelectionBase::createControls() {
  cbo_base_dispo_ = new QComboBox(this);
  cbo_base_dispo_->setObjectName("Cbo_BaseDispo");
  cbo_base_dispo_->setEditable(true);
  cbo_base_dispo_->setInsertPolicy(QComboBox::NoInsert);
  cbo_base_dispo_->setMinimumWidth(260);
  cmd_ok_ = new QPushButton("&OK", this);
  cmd_ok_->setObjectName("Cmd_OK");
  cmd_ok_->setDefault(true);
  cmd_quitter_ = new QPushButton("Quitter", this);
  cmd_quitter_->setObjectName("Cmd_Quitter");
  cmd_quitter_->setAutoDefault(false);
  setTabOrder(cbo_base_dispo_, cmd_ok_);
  setTabOrder(cmd_ok_, cmd_quitter_);
}

void Frm_SelectionBase::createLayout() {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmd_ok_);
  buttons->addWidget(cmd_quitter_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(cbo_base_dispo_);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Frm_SelectionBase::connectEvents() {
  connect(cmd_ok_, &QPushButton::clicked, this, &Frm_SelectionBase::Cmd_Ok_Click);
  connect(cmd_quitter_, &QPushButton::clicked, this, &Frm_SelectionBase::Cmd_Quitter_Click);
}

bool Frm_SelectionBase::Form_Load(const std::filesystem::path& file) {
  return Form_Load(ReadConfigurationFile(file), file);
}

bool Frm_SelectionBase::Form_Load(const std::optional<std::vector<std::string>>& lines,
                                  const std::filesystem::path& file) {
  configuration_ = lines ? ParseConfiguration(*lines) : Configuration{};
  cbo_base_dispo_->clear();
  for (const std::string& name : configuration_.base_names) {
    cbo_base_dispo_->addItem(QString::fromStdString(name));
  }
  // The first item added becomes current by itself; the box must open empty so that the
  // user chooses a base rather than confirming one Qt chose.
  cbo_base_dispo_->setCurrentIndex(-1);
  const std::string_view problem = ConfigurationProblem(configuration_);
  if (problem.empty()) return true;
  ui_.MsgBox(std::string(problem) + "\r\n" + ConfigurationCause(configuration_, file),
             ui::kCritical, ui::kMessageTitle);
  Cmd_Quitter_Click();
  return false;
}

int Frm_SelectionBase::ListCount() const { return cbo_base_dispo_->count(); }

std::string Frm_SelectionBase::ListText(int index) const {
  return cbo_base_dispo_->itemText(index).toStdString();
}

// The entry shown in the field when the user picked it; when the text was typed, the first
// entry of exactly that name. A typed name that is no entry's chooses nothing.
int Frm_SelectionBase::ChosenPosition() const {
  const QString text = cbo_base_dispo_->currentText();
  const int current = cbo_base_dispo_->currentIndex();
  if (current >= 0 && cbo_base_dispo_->itemText(current) == text) return current;
  return cbo_base_dispo_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void Frm_SelectionBase::Cmd_Ok_Click() {
  const int position = ChosenPosition();
  if (IsBlank(cbo_base_dispo_->currentText()) || position < 0) {
    ui::OwnerScope owner(ui_, *this);
    ui_.MsgBox("Vous devez sélectionner une base de données.", ui::kExclamation, ui::kMessageTitle);
    return;
  }
  Choix_Bases(ses_autonome_, ses_serveur_, configuration_, position);
  accept();
}

void Frm_SelectionBase::Cmd_Quitter_Click() {
  ui_.EndProgram();
  // Only a scripted ui comes back here: leave the modal display as the end would.
  QDialog::reject();
}

void Frm_SelectionBase::reject() { Cmd_Quitter_Click(); }

void Frm_SelectionBase::closeEvent(QCloseEvent* event) {
  // No close box: a close request from the window system is not a way out.
  event->ignore();
}

void Frm_SelectionBase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ui::CentreOnScreen(*this);
}

}  // namespace cortevane::connection
