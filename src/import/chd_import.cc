// The import window's controls, layout, modes, transfers between lists and leaving. The
// search and the result lines are in chd_import_search.cc, "Ok" in chd_import_ok.cc.
#include "import/chd_import.h"

#include <QAbstractItemModel>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyle>
#include <QVBoxLayout>
#include <iterator>
#include <vector>

#include "db/db_file.h"
#include "db/session.h"
#include "import/column_titles.h"
#include "platform/journal.h"
#include "ui/list_box.h"
#include "ui/status_sentences.h"

namespace cortevane::import {
namespace {

constexpr std::string_view kWindowName = "Chd_Import";

// Courier New 8.25 pt where installed (or a font the system gives in its place with the same
// fixed pitch); otherwise the system's fixed-pitch font, so the columns of the result lines
// still stand one under the other. Pitch is judged by the glyphs' advances, since some
// monospaced fonts do not declare themselves fixed.
bool FixedPitch(const QFont& font) {
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(QStringLiteral("iiii")) ==
         metrics.horizontalAdvance(QStringLiteral("MMMM"));
}

QFont ResultFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setPointSizeF(8.25);
  if (FixedPitch(font)) return font;
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSizeF(8.25);
  return fixed;
}

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

// Appends every selected item of `source` that `target` does not hold yet (by item data) at the
// end of `target`, and deselects it in `source`. Two selected source items with one identity
// give one target item.
void Add(ui::ListBox& source, ui::ListBox& target) {
  QSet<std::int32_t> present;
  for (int i = 0; i < target.count(); ++i) present.insert(target.ItemData(i));
  target.setUpdatesEnabled(false);
  const int n = source.count();
  for (int i = 0; i < n; ++i) {
    QListWidgetItem* item = source.item(i);
    if (!item->isSelected()) continue;
    const std::int32_t data = source.ItemData(i);
    if (!present.contains(data)) {
      target.AddItem(item->text().toStdString(), data);
      present.insert(data);
    }
    item->setSelected(false);
  }
  target.setUpdatesEnabled(true);
}

// Removes every selected item of `list`; the others keep their order.
void Remove(ui::ListBox& list) {
  for (int i = list.count() - 1; i >= 0; --i)
    if (list.Selected(i)) list.RemoveItem(i);
}

}  // namespace

Chd_Import::Chd_Import(db::Session& ses_autonome, db::Session& ses_serveur,
                       const std::string& nom_utilisateur, ui::Ui& ui, QWidget* parent)
    : QWidget(parent),
      ses_autonome_(ses_autonome),
      ses_serveur_(ses_serveur),
      nom_utilisateur_(UpperCase(nom_utilisateur)),
      ui_(ui),
      clock_(LocalNow),
      journal_folder_(platform::kJournalFolder) {
  setObjectName(QString::fromUtf8(kWindowName.data(), kWindowName.size()));
  setWindowTitle(QStringLiteral("Transfert des dossiers aidé du serveur vers le portable"));
  createControls();
  createLayout();
  connectEvents();
  Controle_Affichage();
  ui::OwnerScope owner(ui_, *this);  // the boxes of Init open over the window being made
  if (!Init()) {
    // Without its files the window can neither search nor register: it leaves as soon as the
    // main window has shown it, the message already given.
    QMetaObject::invokeMethod(this, &Chd_Import::Cmd_Sortir_Click, Qt::QueuedConnection);
    return;
  }
  Avertissement_Registre();
}

Chd_Import::~Chd_Import() {
  // The lists empty themselves as they go, after this window: their counts are not shown.
  for (ui::ListBox* list : {lst_possible_, lst_selection_}) list->model()->disconnect(this);
}

void Chd_Import::createControls() {
  auto named = [](QWidget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
  };
  frame1_ = new QGroupBox(QStringLiteral("Sélection"), this);
  named(frame1_, "Frame1");
  opt_responsable_ = new QRadioButton(QStringLiteral("Responsable"), frame1_);
  named(opt_responsable_, "Opt_Responsable");
  opt_secteur_ = new QRadioButton(QStringLiteral("Secteur"), frame1_);
  named(opt_secteur_, "Opt_Secteur");
  opt_commune_ = new QRadioButton(QStringLiteral("Commune"), frame1_);
  named(opt_commune_, "Opt_Commune");
  opt_indiv_ = new QRadioButton(QStringLiteral("Individuelle"), frame1_);
  named(opt_indiv_, "Opt_Indiv");
  opt_indiv_->setChecked(true);
  etq_sel_possible_ = new QLabel(QStringLiteral("Possibles"), frame1_);
  named(etq_sel_possible_, "Etq_SelPossible");
  lst_sel_possible_ = new ui::ListBox(frame1_);
  named(lst_sel_possible_, "Lst_SelPossible");
  lst_sel_possible_->SetDragSource(true);
  cmd_ajout_sel_ = new QPushButton(QStringLiteral("-->"), frame1_);
  named(cmd_ajout_sel_, "Cmd_AjoutSel");
  cmd_retrait_sel_ = new QPushButton(QStringLiteral("<--"), frame1_);
  named(cmd_retrait_sel_, "Cmd_RetraitSel");
  etq_sel_selection_ = new QLabel(QStringLiteral("Sélectionnés"), frame1_);
  named(etq_sel_selection_, "Etq_SelSelection");
  lst_sel_selection_ = new ui::ListBox(frame1_);
  named(lst_sel_selection_, "Lst_SelSelection");
  lst_sel_selection_->SetDragSource(true);

  etq_aide_ = new QLabel(QStringLiteral("Aidé"), this);
  named(etq_aide_, "Etq_Aide");
  txt_code_aide_ = new QLineEdit(this);
  named(txt_code_aide_, "Txt_CodeAide");
  txt_code_aide_->setMaxLength(5);
  txt_code_aide_->setMaximumWidth(
      txt_code_aide_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
  txt_nom_aide_ = new QLineEdit(this);
  named(txt_nom_aide_, "Txt_NomAide");
  cmd_recherche_ = new QPushButton(QStringLiteral("Recherche"), this);
  named(cmd_recherche_, "Cmd_Recherche");

  const QString header = QString::fromStdString(ColumnHeader());
  const QFont result_font = ResultFont();
  frame2_ = new QGroupBox(QStringLiteral("Possibles"), this);
  named(frame2_, "Frame2");
  lst_possible_ = new ui::ListBox(frame2_);
  named(lst_possible_, "Lst_Possible");
  lst_possible_->setFont(result_font);
  const std::vector<int> columns(std::begin(kResultColumns), std::end(kResultColumns));
  label4_possible_ =
      new ColumnTitles(header, lst_possible_, columns, kResultLineCharacters, frame2_);
  named(label4_possible_, "Label4_0");

  cmd_ajout_aide_ = new QPushButton(this);
  named(cmd_ajout_aide_, "Cmd_AjoutAide");
  cmd_ajout_aide_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
  cmd_tous_ = new QPushButton(QStringLiteral("Tous"), this);
  named(cmd_tous_, "Cmd_Tous");
  cmd_suppr_aide_ = new QPushButton(this);
  named(cmd_suppr_aide_, "Cmd_SupprAide");
  cmd_suppr_aide_->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));

  frame3_ = new QGroupBox(QStringLiteral("Sélectionnés"), this);
  named(frame3_, "Frame3");
  lst_selection_ = new ui::ListBox(frame3_);
  named(lst_selection_, "Lst_Selection");
  lst_selection_->setFont(result_font);
  label4_selection_ =
      new ColumnTitles(header, lst_selection_, columns, kResultLineCharacters, frame3_);
  named(label4_selection_, "Label4_1");

  etq_nb_possible_ = new QLabel(this);
  named(etq_nb_possible_, "Etq_NbPossible");
  etq_nb_selection_ = new QLabel(this);
  named(etq_nb_selection_, "Etq_NbSelection");
  for (QLabel* count : {etq_nb_possible_, etq_nb_selection_})
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  cmd_ok_ = new QPushButton(QStringLiteral("&Ok"), this);
  named(cmd_ok_, "Cmd_Ok");
  cmd_sortir_ = new QPushButton(QStringLiteral("So&rtir"), this);
  named(cmd_sortir_, "Cmd_Sortir");
}

void Chd_Import::createLayout() {
  auto* options = new QHBoxLayout;
  for (QRadioButton* option : {opt_responsable_, opt_secteur_, opt_commune_, opt_indiv_})
    options->addWidget(option);
  options->addStretch();

  auto* criteria = new QGridLayout;
  criteria->addWidget(etq_sel_possible_, 0, 0);
  criteria->addWidget(etq_sel_selection_, 0, 2);
  criteria->addWidget(lst_sel_possible_, 1, 0);
  auto* arrows = new QVBoxLayout;
  arrows->addStretch();
  arrows->addWidget(cmd_ajout_sel_);
  arrows->addWidget(cmd_retrait_sel_);
  arrows->addStretch();
  criteria->addLayout(arrows, 1, 1);
  criteria->addWidget(lst_sel_selection_, 1, 2);
  // The criteria lists hold a few dozen short names; the result lists, which the user reads
  // most, get the height.
  for (ui::ListBox* list : {lst_sel_possible_, lst_sel_selection_}) {
    list->setMinimumHeight(80);
    list->setMaximumHeight(120);
  }
  for (ui::ListBox* list : {lst_possible_, lst_selection_}) list->setMinimumHeight(120);

  auto* frame1 = new QVBoxLayout(frame1_);
  frame1->addLayout(options);
  frame1->addLayout(criteria);

  auto* search = new QHBoxLayout;
  search->addWidget(etq_aide_);
  search->addWidget(txt_code_aide_);
  search->addWidget(txt_nom_aide_, 1);
  search->addWidget(cmd_recherche_);
  // Takes the room of the hidden fields in the criteria modes, so "Recherche" keeps its width.
  search->addStretch(0);

  auto* frame2 = new QVBoxLayout(frame2_);
  frame2->addWidget(label4_possible_);
  frame2->addWidget(lst_possible_);

  auto* transfer = new QHBoxLayout;
  transfer->addStretch();
  transfer->addWidget(cmd_ajout_aide_);
  transfer->addWidget(cmd_tous_);
  transfer->addWidget(cmd_suppr_aide_);
  transfer->addStretch();
  // Each count sits in a row that is there anyway, right under its list, so the window is no
  // taller for them.
  transfer->addWidget(etq_nb_possible_);

  auto* frame3 = new QVBoxLayout(frame3_);
  frame3->addWidget(label4_selection_);
  frame3->addWidget(lst_selection_);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(etq_nb_selection_);
  bottom->addStretch();
  bottom->addWidget(cmd_ok_);
  bottom->addWidget(cmd_sortir_);

  auto* window = new QVBoxLayout(this);
  window->addWidget(frame1_);
  window->addLayout(search);
  window->addWidget(frame2_, 1);
  window->addLayout(transfer);
  window->addWidget(frame3_, 1);
  window->addLayout(bottom);
}

void Chd_Import::connectEvents() {
  // A mode handler runs when its option becomes selected, not when it is left.
  connect(opt_indiv_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Opt_Indiv_Click();
  });
  connect(opt_responsable_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Opt_Responsable_Click();
  });
  connect(opt_commune_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Opt_Commune_Click();
  });
  connect(opt_secteur_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Opt_Secteur_Click();
  });

  connect(cmd_ajout_sel_, &QPushButton::clicked, this, &Chd_Import::Ajout_Lst_SelSelection);
  connect(lst_sel_possible_, &QListWidget::itemDoubleClicked, this,
          &Chd_Import::Ajout_Lst_SelSelection);
  connect(cmd_retrait_sel_, &QPushButton::clicked, this, &Chd_Import::Retrait_Lst_SelSelection);
  connect(lst_sel_selection_, &QListWidget::itemDoubleClicked, this,
          &Chd_Import::Retrait_Lst_SelSelection);
  connect(cmd_ajout_aide_, &QPushButton::clicked, this, &Chd_Import::Ajout_Lst_Selection);
  connect(lst_possible_, &QListWidget::itemDoubleClicked, this, &Chd_Import::Ajout_Lst_Selection);
  connect(cmd_tous_, &QPushButton::clicked, this, &Chd_Import::Cmd_Tous_Click);
  connect(cmd_suppr_aide_, &QPushButton::clicked, this, &Chd_Import::Retrait_Lst_Selection);
  connect(lst_selection_, &QListWidget::itemDoubleClicked, this,
          &Chd_Import::Retrait_Lst_Selection);

  // A drop runs the action of the list that receives it, whatever list the drag came from;
  // a drag released over its own list is a click that moved, not a transfer.
  auto on_drop = [this](ui::ListBox* target, void (Chd_Import::*action)()) {
    connect(target, &ui::ListBox::Dropped, this, [this, target, action](ui::ListBox* source) {
      if (source != target) (this->*action)();
    });
  };
  on_drop(lst_sel_selection_, &Chd_Import::Ajout_Lst_SelSelection);
  on_drop(lst_sel_possible_, &Chd_Import::Retrait_Lst_SelSelection);
  on_drop(lst_selection_, &Chd_Import::Ajout_Lst_Selection);
  on_drop(lst_possible_, &Chd_Import::Retrait_Lst_Selection);

  connect(cmd_recherche_, &QPushButton::clicked, this, &Chd_Import::Cmd_Recherche_Click);
  connect(txt_code_aide_, &QLineEdit::textChanged, this, &Chd_Import::Txt_CodeAide_Change);
  txt_code_aide_->installEventFilter(this);
  txt_nom_aide_->installEventFilter(this);

  // Each list of persons says how many it holds, whatever filled or emptied it.
  for (auto [list, label] :
       {std::pair{lst_possible_, etq_nb_possible_}, std::pair{lst_selection_, etq_nb_selection_}}) {
    QAbstractItemModel* model = list->model();
    auto show = [model, label] {
      label->setText(QString::fromStdString(ui::CountText(model->rowCount(), "aidé", "aidés")));
    };
    show();
    connect(model, &QAbstractItemModel::rowsInserted, this, show);
    connect(model, &QAbstractItemModel::rowsRemoved, this, show);
    connect(model, &QAbstractItemModel::modelReset, this, show);
  }

  connect(cmd_ok_, &QPushButton::clicked, this, &Chd_Import::Cmd_Ok_Click);
  connect(cmd_sortir_, &QPushButton::clicked, this, &Chd_Import::Cmd_Sortir_Click);
}

bool Chd_Import::Init() {
  // CIVILAIDE (code search) and SDEXPORTAIDES (register) are needed; TEMPO is opened as the
  // window always has, but nothing reads it, so a base without it still imports.
  bool ok = true;
  auto open = [&](const char* name, std::unique_ptr<db::DbFile>* file, bool needed) {
    *file = ses_serveur_.OpenFile(name);
    if (*file || !needed) return;
    const int status = ses_serveur_.Error();
    ui_.MsgBox(ui::WithStatusSentence(std::string("Problème d'ouverture de fichier : ") + name +
                                          " (" + std::to_string(status) + ")",
                                      status, Office()));
    ok = false;
  };
  open("CIVILAIDE", &civilaide_, true);
  if (ok) open("TEMPO", &tempo_, false);
  if (ok) open("SDEXPORTAIDES", &sdexportaides_, true);
  w_abandon_ = false;
  w_fin_ = false;
  w_en_recherche_ = false;
  return ok;
}

Mode Chd_Import::CurrentMode() const {
  if (opt_responsable_->isChecked()) return Mode::kResponsable;
  if (opt_commune_->isChecked()) return Mode::kCommune;
  if (opt_secteur_->isChecked()) return Mode::kSecteur;
  return Mode::kIndividuelle;
}

void Chd_Import::Controle_Affichage() {
  const bool criteria = CurrentMode() != Mode::kIndividuelle;
  lst_sel_possible_->setEnabled(criteria);
  lst_sel_selection_->setEnabled(criteria);
  cmd_ajout_sel_->setEnabled(criteria);
  cmd_retrait_sel_->setEnabled(criteria);
  // setHidden rather than setVisible: the state holds before the window is first shown.
  etq_aide_->setHidden(criteria);
  txt_code_aide_->setHidden(criteria);
  txt_nom_aide_->setHidden(criteria);
}

void Chd_Import::ChangeMode(bool load_criteria) {
  // Lst_Selection is left alone: persons chosen in one mode stay chosen in the others.
  lst_sel_possible_->clear();
  lst_sel_selection_->clear();
  lst_possible_->clear();
  if (load_criteria) Chargement_Lst_SelPossibles();
  Controle_Affichage();
}

void Chd_Import::Opt_Indiv_Click() { ChangeMode(false); }
void Chd_Import::Opt_Responsable_Click() { ChangeMode(true); }
void Chd_Import::Opt_Commune_Click() { ChangeMode(true); }
void Chd_Import::Opt_Secteur_Click() { ChangeMode(true); }

void Chd_Import::Ajout_Lst_SelSelection() { Add(*lst_sel_possible_, *lst_sel_selection_); }
void Chd_Import::Retrait_Lst_SelSelection() { Remove(*lst_sel_selection_); }
void Chd_Import::Ajout_Lst_Selection() { Add(*lst_possible_, *lst_selection_); }
void Chd_Import::Retrait_Lst_Selection() { Remove(*lst_selection_); }

void Chd_Import::Cmd_Tous_Click() {
  lst_possible_->selectAll();
  Ajout_Lst_Selection();
}

void Chd_Import::SetPointer(ui::Pointer pointer) { ui_.SetWindowPointer(kWindowName, pointer); }

void Chd_Import::ErrorCode(int status) {
  ui_.MsgBox(ui::WithStatusSentence("Error Code " + std::to_string(status), status, Office()));
}

// Every file and routine this window uses is the office base's.
ui::Place Chd_Import::Office() const {
  return {ui::Place::kOffice, ses_serveur_.AccountPath(), ses_serveur_.HostName()};
}

void Chd_Import::Cmd_Sortir_Click() {
  SetPointer(ui::Pointer::kDefault);
  ui_.SetMenuEnabled(ui::MenuEntry::kExport, true);
  w_fin_ = true;
  close();
}

void Chd_Import::Fermeture_Forcee() {
  w_fin_ = true;
  close();
}

void Chd_Import::closeEvent(QCloseEvent* event) {
  if (!w_fin_) {
    event->ignore();
    RefuseClose();
    return;
  }
  Fermeture_Fichiers();
  event->accept();
}

// The window is left only through "Sortir"; a close box, Quitter or Escape says so rather than
// doing nothing: on the status line each time, in a box the first time.
void Chd_Import::RefuseClose() {
  ui_.ShowStatus(kCloseRefused);
  if (!refusal_told_) {
    refusal_told_ = true;
    ui::OwnerScope owner(ui_, *this);
    ui_.MsgBox(kCloseRefused, ui::kExclamation, ui::kMessageTitle);
  }
  cmd_sortir_->setFocus(Qt::OtherFocusReason);
}

void Chd_Import::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    RefuseClose();
    return;
  }
  QWidget::keyPressEvent(event);
}

// A name is what the user types most: the name field has the focus when the window first shows.
void Chd_Import::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (focus_given_) return;
  focus_given_ = true;
  txt_nom_aide_->setFocus(Qt::OtherFocusReason);
}

void Chd_Import::Fermeture_Fichiers() {
  // TEMPO stays held until the window is opened again; nothing reads it.
  enr_civilaide_ = db::DynArray();
  civilaide_.reset();
  enr_sdexportaides_ = db::DynArray();
  sdexportaides_.reset();
}

bool Chd_Import::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    // Only a field taking the focus from another control empties its neighbour; the window
    // getting the focus back (after a message box) changes nothing.
    auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == txt_code_aide_) txt_nom_aide_->clear();
      if (watched == txt_nom_aide_) txt_code_aide_->clear();
    }
  } else if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == txt_code_aide_) return Txt_CodeAide_KeyPress(key->key(), key->text());
    if (watched == txt_nom_aide_) Txt_NomAide_KeyPress(key->key());
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace cortevane::import
