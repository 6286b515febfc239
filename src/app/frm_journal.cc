#include "app/frm_journal.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt_ui.h"
#include "ui/ui.h"

namespace cortevane::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

Frm_Journal::Frm_Journal(ui::Ui& ui, std::string folder, QWidget* parent)
    : QDialog(parent), ui_(ui), folder_(std::move(folder)) {
  setObjectName("Frm_Journal");
  setWindowTitle(QString::fromUtf8("Journal des importations et des exportations"));
  lst_journal_ = new QTreeWidget(this);
  lst_journal_->setObjectName("Lst_Journal");
  lst_journal_->setHeaderLabels({"Date", "Travail", QString::fromUtf8("Aidés"), "Questions",
                                 QString::fromUtf8("Échecs"), "Fin"});
  lst_journal_->setRootIsDecorated(false);
  lst_journal_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lst_journal_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  lst_journal_->setMinimumSize(720, 300);
  cmd_ouvrir_ = new QPushButton("&Ouvrir", this);
  cmd_ouvrir_->setObjectName("Cmd_Ouvrir");
  cmd_ouvrir_->setDefault(true);
  cmd_fermer_ = new QPushButton("&Fermer", this);
  cmd_fermer_->setObjectName("Cmd_Fermer");
  cmd_fermer_->setAutoDefault(false);
  etq_nombre_ = new QLabel(this);
  etq_nombre_->setObjectName("Etq_Nombre");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(etq_nombre_, 1);
  buttons->addWidget(cmd_ouvrir_);
  buttons->addWidget(cmd_fermer_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lst_journal_, 1);
  layout->addLayout(buttons);

  connect(cmd_ouvrir_, &QPushButton::clicked, this, &Frm_Journal::Cmd_Ouvrir_Click);
  connect(cmd_fermer_, &QPushButton::clicked, this, &QDialog::accept);
  connect(lst_journal_, &QTreeWidget::itemActivated, this, &Frm_Journal::Cmd_Ouvrir_Click);
  ui::FitTitle(*this);
  Chargement();
}

void Frm_Journal::Chargement() {
  runs_ = platform::ReadJournals(folder_);
  lst_journal_->clear();
  for (const platform::JournalRun& run : runs_) {
    auto* item = new QTreeWidgetItem(lst_journal_);
    item->setText(0, Q(run.started));
    item->setText(1, run.import ? "Importation" : "Exportation");
    item->setText(2, QString::number(run.persons));
    item->setText(3, run.import ? QString() : QString::number(run.questions));
    item->setText(4, QString::number(run.failures));
    item->setText(5, Q(run.outcome));
    item->setToolTip(5, Q(run.outcome));
  }
  long imports = 0;
  for (const platform::JournalRun& run : runs_) imports += run.import;
  const long exports = static_cast<long>(runs_.size()) - imports;
  etq_nombre_->setText(runs_.empty()
                           ? QString::fromUtf8("Aucune importation ni exportation dans le journal.")
                           : Q(ui::CountText(imports, "importation", "importations") + ", " +
                               ui::CountText(exports, "exportation", "exportations")));
  if (!runs_.empty()) lst_journal_->setCurrentItem(lst_journal_->topLevelItem(0));
  cmd_ouvrir_->setEnabled(!runs_.empty());
  lst_journal_->setFocus();
}

void Frm_Journal::Cmd_Ouvrir_Click() {
  const int row = lst_journal_->indexOfTopLevelItem(lst_journal_->currentItem());
  if (row < 0 || row >= static_cast<int>(runs_.size())) return;
  const platform::JournalRun& run = runs_[static_cast<size_t>(row)];
  QDialog view(this);
  view.setObjectName("Frm_JournalTexte");
  view.setWindowTitle(Q((run.import ? "Importation du " : "Exportation du ") + run.started));
  auto* text = new QPlainTextEdit(&view);
  text->setObjectName("Txt_Journal");
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setPlainText(Q(run.text));
  text->setMinimumSize(720, 400);
  auto* fermer = new QPushButton("&Fermer", &view);
  fermer->setDefault(true);
  connect(fermer, &QPushButton::clicked, &view, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(fermer);
  auto* layout = new QVBoxLayout(&view);
  layout->addWidget(text, 1);
  layout->addLayout(buttons);
  ui::FitTitle(view);
  text->setFocus();
  ui_.ShowModal(view);
}

std::string Frm_Journal::Lignes() const {
  std::string out;
  for (int i = 0; i < lst_journal_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lst_journal_->topLevelItem(i);
    for (int c = 0; c < item->columnCount(); ++c)
      out += (c ? "|" : "") + item->text(c).toStdString();
    out += "\n";
  }
  return out;
}

}  // namespace cortevane::app
