#include "connection/frm_connexion.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "connection/session_steps.h"
#include "db/session.h"
#include "db/status.h"
#include "platform/login.h"
#include "ui/qt_ui.h"
#include "ui/status_sentences.h"
#include "ui/ui.h"

namespace cortevane::connection {
namespace {

// Upper case as the user reads it: accented letters too ("andré" gives "ANDRÉ").
std::string ToUpper(const QString& text) { return text.toUpper().toStdString(); }

}  // namespace

Frm_Connexion::Frm_Connexion(db::Session& ses_autonome, db::Session& ses_serveur, ui::Ui& ui,
                             std::function<std::string()> get_user, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      ses_autonome_(ses_autonome),
      ses_serveur_(ses_serveur),
      ui_(ui),
      get_user_(get_user ? std::move(get_user) : &Frm_Connexion::GetUser) {
  setObjectName("Frm_Connexion");
  setWindowTitle("Identification");
  createControls();
  createLayout();
  connectEvents();
  ui::FitTitle(*this);
}

void Frm_Connexion::createControls() {
  etq_utilisateur_ = new QLabel("Utilisateur", this);
  etq_utilisateur_->setObjectName("Etq_Utilisateur");
  etq_mot_passe_ = new QLabel("Mot de Passe", this);
  etq_mot_passe_->setObjectName("Etq_MotPasse");
  txt_utilisateur_ = new QLineEdit(this);
  txt_utilisateur_->setObjectName("Txt_Utilisateur");
  txt_mot_passe_ = new QLineEdit(this);
  txt_mot_passe_->setObjectName("Txt_MotPasse");
  txt_mot_passe_->setEchoMode(QLineEdit::Password);
  txt_mot_passe_->setStyleSheet("lineedit-password-character: 42");  // one '*' a character
  etq_utilisateur_->setBuddy(txt_utilisateur_);
  etq_mot_passe_->setBuddy(txt_mot_passe_);
  cmd_ok_ = new QPushButton("&Ok", this);
  cmd_ok_->setObjectName("Cmd_Ok");
  cmd_ok_->setDefault(true);
  cmd_annuler_ = new QPushButton("A&nnuler", this);
  cmd_annuler_->setObjectName("Cmd_Annuler");
  cmd_annuler_->setAutoDefault(false);
  setTabOrder(txt_utilisateur_, txt_mot_passe_);
  setTabOrder(txt_mot_passe_, cmd_ok_);
  setTabOrder(cmd_ok_, cmd_annuler_);
}

void Frm_Connexion::createLayout() {
  auto* fields = new QGridLayout;
  fields->addWidget(etq_utilisateur_, 0, 0);
  fields->addWidget(txt_utilisateur_, 0, 1);
  fields->addWidget(etq_mot_passe_, 1, 0);
  fields->addWidget(txt_mot_passe_, 1, 1);
  fields->setColumnMinimumWidth(1, 200);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmd_ok_);
  buttons->addWidget(cmd_annuler_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Frm_Connexion::connectEvents() {
  connect(cmd_ok_, &QPushButton::clicked, this, &Frm_Connexion::Cmd_Ok_Click);
  connect(cmd_annuler_, &QPushButton::clicked, this, &Frm_Connexion::Cmd_Annuler_Click);
}

std::string Frm_Connexion::GetUser() { return platform::LoginName(); }

void Frm_Connexion::Form_Load() {
  closing_allowed_ = false;
  txt_utilisateur_->setText(QString::fromStdString(get_user_()));
  txt_utilisateur_->selectAll();
  txt_utilisateur_->setFocus();
}

void Frm_Connexion::Cmd_Ok_Click() {
  ui_.SetScreenPointer(ui::Pointer::kHourglass);
  setEnabled(false);

  // A failed try may have connected one of the two sessions. The database client refuses to
  // connect a connected session again, which would make every later try fail whatever was
  // typed; so both start afresh, with the name and password of this try.
  if (ses_autonome_.IsConnected()) ses_autonome_.Disconnect();
  if (ses_serveur_.IsConnected()) ses_serveur_.Disconnect();

  const std::string user = ToUpper(txt_utilisateur_->text());
  Connection(ses_autonome_, ses_serveur_, user, txt_mot_passe_->text().toStdString());

  ui_.ProcessEvents();
  ui_.SetScreenPointer(ui::Pointer::kDefault);
  setEnabled(true);

  if (ses_serveur_.Error() == db::kServerUnverified) {
    // Not a matter of the password: it was never sent, and typing it again changes nothing.
    ui::OwnerScope owner(ui_, *this);
    ui_.MsgBox(
        "La connexion à la base du bureau est refusée : le mot de passe n'a pas été "
        "envoyé.\r\n" +
            ui::ServerNotAuthenticatedSentence(ses_serveur_.auth_failure()),
        ui::kExclamation, ui::kMessageTitle);
    txt_mot_passe_->clear();
    txt_mot_passe_->setFocus();
    return;
  }
  if (ses_autonome_.Error() != 0 || ses_serveur_.Error() != 0) {
    ui::OwnerScope owner(ui_, *this);
    ui_.MsgBox(FailureText(), ui::kExclamation, ui::kMessageTitle);
    txt_mot_passe_->clear();
    txt_mot_passe_->setFocus();
    return;
  }
  nom_utilisateur_ = user;
  closing_allowed_ = true;
  accept();
}

// The one message of a failed try, and under it what each failing session met: a base not
// found, a server not answering, a user unknown or a password wrong, a damaged base. The
// same sentence for both sessions is said once.
std::string Frm_Connexion::FailureText() const {
  std::string text = "Le mot de passe saisi n'est pas correct.";
  const int laptop = ses_autonome_.Error();
  const int office = ses_serveur_.Error();
  // What concerns the user rather than a base is said once.
  if (laptop == db::kBadName || office == db::kBadName) {
    return text +
           "\r\nCe nom d'utilisateur n'est pas accepté : il ne doit contenir ni espace, ni "
           "guillemet, ni caractère spécial.";
  }
  if (laptop == db::kBadCredentials && office == db::kBadCredentials)
    return text + "\r\nUtilisateur inconnu ou mot de passe erroné pour les deux bases.";
  for (const auto& [session, base] : {std::pair{&ses_autonome_, ui::Place::kLaptop},
                                      std::pair{&ses_serveur_, ui::Place::kOffice}}) {
    const int status = session->Error();
    if (status == 0) continue;
    const ui::Place place{base, session->AccountPath(), session->HostName()};
    const std::string sentence = ui::StatusSentence(status, place);
    text +=
        "\r\n" + (sentence.empty() ? "Code d'erreur : " + std::to_string(status) + "." : sentence);
  }
  return text;
}

void Frm_Connexion::Cmd_Annuler_Click() {
  closing_allowed_ = true;
  ui_.EndProgram();
  QDialog::reject();  // only a scripted ui comes back here
}

void Frm_Connexion::reject() { Cmd_Annuler_Click(); }

void Frm_Connexion::closeEvent(QCloseEvent* event) {
  if (!closing_allowed_) {
    event->ignore();
    return;
  }
  event->accept();
}

void Frm_Connexion::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ui::CentreOnScreen(*this);
}

}  // namespace cortevane::connection
