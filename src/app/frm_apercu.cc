#include "app/frm_apercu.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "db/session.h"
#include "ui/qt_ui.h"
#include "ui/status_sentences.h"
#include "ui/ui.h"

namespace cortevane::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Enregistrements(long n) {
  return ui::CountText(n, "enregistrement", "enregistrements");
}

}  // namespace

std::string DescriptionAide(const exporting::PreviewPerson& person) {
  if (person.unchanged()) return "inchangé";
  if (person.left_out) return "laissé de côté : une de ses clés ne peut pas être choisie";
  std::string text;
  if (person.created) {
    text = person.noted_code.empty() ? "nouvel aidé, recevrait un code"
                                     : "nouvel aidé, garde le code " + person.noted_code +
                                           " qu'une exportation interrompue lui a donné";
  }
  auto part = [&text](const std::string& more) { text += (text.empty() ? "" : " ; ") + more; };
  std::string writes;
  for (const auto& [file, count] : person.writes)
    writes += (writes.empty() ? "" : ", ") + file + " " + std::to_string(count);
  if (!writes.empty()) part("enregistrements à écrire : " + writes);
  std::string asks;
  for (const exporting::PreviewQuestion& question : person.questions)
    asks +=
        (asks.empty() ? "" : ", ") + question.file + " (" + Enregistrements(question.records) + ")";
  if (!asks.empty()) part("question possible sur " + asks);
  if (person.mergeable > 0)
    part(ui::CountText(person.mergeable, "enregistrement fusionnable",
                       "enregistrements fusionnables"));
  return text;
}

std::string TotalApercu(const exporting::PreviewTotals& totals) {
  std::string text = "Total : " + ui::CountText(totals.persons, "aidé", "aidés") + ", " +
                     ui::CountText(totals.unchanged, "inchangé", "inchangés") + ", " +
                     Enregistrements(totals.records) + " à écrire, " +
                     ui::CountText(totals.questions, "fichier", "fichiers") +
                     " avec une question possible, " +
                     ui::CountText(totals.created, "nouvel aidé", "nouveaux aidés") + " à coder";
  if (totals.left_out > 0)
    text += ", " + ui::CountText(totals.left_out, "aidé laissé", "aidés laissés") + " de côté";
  return text + ".";
}

Frm_Apercu::Frm_Apercu(db::Session& ses_autonome, db::Session& ses_serveur, std::string user,
                       ui::Ui& ui, QWidget* parent)
    : QDialog(parent),
      ses_autonome_(ses_autonome),
      ses_serveur_(ses_serveur),
      user_(std::move(user)),
      ui_(ui) {
  setObjectName("Frm_Apercu");
  setWindowTitle(QString::fromUtf8("Aperçu de l'exportation"));
  createControls();
  createLayout();
  connect(cmd_arreter_, &QPushButton::clicked, this, &Frm_Apercu::Cmd_Arreter_Click);
  connect(cmd_fermer_, &QPushButton::clicked, this, &QDialog::accept);
  connect(timer_, &QTimer::timeout, this, [this] {
    // A few persons a turn, then back to the window's events, so "Arrêter" is heard.
    for (int i = 0; i < 20; ++i)
      if (!Etape()) return;
  });
  ui::FitTitle(*this);
}

Frm_Apercu::~Frm_Apercu() = default;

void Frm_Apercu::createControls() {
  etq_progression_ = new QLabel(this);
  etq_progression_->setObjectName("Etq_Progression");
  progression_ = new QProgressBar(this);
  progression_->setObjectName("Progression_Apercu");
  lst_apercu_ = new QTreeWidget(this);
  lst_apercu_->setObjectName("Lst_Apercu");
  lst_apercu_->setHeaderLabels({"Code", "Nom", QString::fromUtf8("Ce que ferait l'exportation")});
  lst_apercu_->setRootIsDecorated(false);
  lst_apercu_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lst_apercu_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  lst_apercu_->setMinimumSize(640, 320);
  etq_total_ = new QLabel(this);
  etq_total_->setObjectName("Etq_Total");
  etq_total_->setWordWrap(true);
  // Room for the two lines the total takes, so it never runs over the list.
  etq_total_->setMinimumHeight(2 * etq_total_->fontMetrics().lineSpacing() + 4);
  cmd_arreter_ = new QPushButton(QString::fromUtf8("&Arrêter"), this);
  cmd_arreter_->setObjectName("Cmd_Arreter");
  cmd_fermer_ = new QPushButton("&Fermer", this);
  cmd_fermer_->setObjectName("Cmd_Fermer");
  cmd_fermer_->setDefault(true);
  timer_ = new QTimer(this);
  timer_->setInterval(0);
}

void Frm_Apercu::createLayout() {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmd_arreter_);
  buttons->addWidget(cmd_fermer_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(etq_progression_);
  layout->addWidget(progression_);
  layout->addWidget(lst_apercu_, 1);
  layout->addWidget(etq_total_);
  layout->addLayout(buttons);
}

bool Frm_Apercu::Demarrer() {
  preview_ = std::make_unique<exporting::ExportPreview>(ses_autonome_, ses_serveur_, user_);
  totals_ = {};
  lst_apercu_->clear();
  if (const int status = preview_->Start()) {
    using Step = exporting::ExportPreview::Step;
    const bool laptop = preview_->failed_step() == Step::kPersons;
    const db::Session& session = laptop ? ses_autonome_ : ses_serveur_;
    const ui::Place place{laptop ? ui::Place::kLaptop : ui::Place::kOffice, session.AccountPath(),
                          session.HostName()};
    std::string what = (laptop ? "fichier " : "fichier du bureau ") + preview_->failed_file();
    if (!preview_->failed_key().empty())
      what = "enregistrement " + preview_->failed_key() + " du " + what;
    // A counter record that reads but holds no number has no status to show.
    what +=
        status < 0 ? " : son champ 11 n'est pas un nombre" : " (" + std::to_string(status) + ")";
    ui::OwnerScope owner(ui_, *this);
    ui_.MsgBox(ui::WithStatusSentence("L'aperçu de l'exportation ne peut pas être fait : " + what,
                                      status, place),
               ui::kExclamation, ui::kMessageTitle);
    Fin("Aperçu impossible.");
    return false;
  }
  progression_->setRange(0, std::max(preview_->count(), 1));
  progression_->setValue(0);
  etq_progression_->setText(Q("Aidés à examiner : " + std::to_string(preview_->count())));
  cmd_arreter_->setEnabled(true);
  timer_->start();
  return true;
}

bool Frm_Apercu::running() const { return timer_->isActive(); }

bool Frm_Apercu::Etape() {
  if (!preview_) return false;
  exporting::PreviewPerson person;
  if (!preview_->Next(&person)) {
    if (preview_->done()) {
      progression_->setValue(progression_->maximum());
      Fin(preview_->count() == 0
              ? QString::fromUtf8("Aucun aidé sur le portable : une exportation n'enverrait rien.")
              : Q("Aperçu terminé : " +
                  ui::CountText(preview_->count(), "aidé examiné", "aidés examinés") + "."));
      return false;
    }
    const exporting::PlanFailure& failure = preview_->failure();
    const int status = failure.status;
    const db::Session& session = failure.laptop ? ses_autonome_ : ses_serveur_;
    const ui::Place place{failure.laptop ? ui::Place::kLaptop : ui::Place::kOffice,
                          session.AccountPath(), session.HostName()};
    ui::OwnerScope owner(ui_, *this);
    ui_.MsgBox(ui::WithStatusSentence("L'aperçu s'arrête à l'aidé " + preview_->failed_code() +
                                          " : fichier " + failure.file + " (" +
                                          std::to_string(status) + ")",
                                      status, place),
               ui::kExclamation, ui::kMessageTitle);
    Fin(Q("Aperçu interrompu à l'aidé " + preview_->failed_code() + "."));
    return false;
  }
  totals_.Add(person);
  auto* item = new QTreeWidgetItem(lst_apercu_);
  item->setText(0, Q(person.code));
  item->setText(1, Q(person.surname + (person.first_name.empty() ? "" : " " + person.first_name)));
  item->setText(2, Q(DescriptionAide(person)));
  progression_->setValue(preview_->done_count());
  etq_progression_->setText(Q("Aidé " + std::to_string(preview_->done_count()) + " sur " +
                              std::to_string(preview_->count())));
  etq_total_->setText(Q(TotalApercu(totals_)));
  return true;
}

void Frm_Apercu::Cmd_Arreter_Click() {
  if (!running()) return;
  Fin(Q("Aperçu arrêté : " + std::to_string(preview_->done_count()) + " aidés sur " +
        std::to_string(preview_->count()) + " examinés."));
}

void Frm_Apercu::Fin(const QString& etat) {
  timer_->stop();
  cmd_arreter_->setEnabled(false);
  etq_progression_->setText(etat);
  cmd_fermer_->setFocus();
}

std::string Frm_Apercu::Lignes() const {
  std::string out;
  for (int i = 0; i < lst_apercu_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lst_apercu_->topLevelItem(i);
    out += item->text(0).toStdString() + "|" + item->text(1).toStdString() + "|" +
           item->text(2).toStdString() + "\n";
  }
  return out + etq_total_->text().toStdString();
}

}  // namespace cortevane::app
