// Frm_Connexion ("Identification"): the user name and password that open both sessions. The
// login name is proposed, selected so that typing replaces it. OK connects the two sessions
// (Connection) and closes the dialog only when both are connected; otherwise it says so,
// empties the password and waits for another try. Annuler, or Escape, ends the program; the
// close box does nothing.
//
// The sessions belong to the caller and must outlive the dialog.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace cortevane::db {
class Session;
}
namespace cortevane::ui {
class Ui;
}

namespace cortevane::connection {

class Frm_Connexion : public QDialog {
  Q_OBJECT

 public:
  // `get_user` gives the name proposed at load (the operating system's login name by default).
  Frm_Connexion(db::Session& ses_autonome, db::Session& ses_serveur, ui::Ui& ui,
                std::function<std::string()> get_user = {}, QWidget* parent = nullptr);

  void Form_Load();
  // The login name of the person running the program, whatever its length.
  static std::string GetUser();

  void Cmd_Ok_Click();
  void Cmd_Annuler_Click();

  // The user name typed, in upper case, once identification has succeeded; empty before.
  const std::string& Nom_Utilisateur() const { return nom_utilisateur_; }

 protected:
  void reject() override;  // Escape is Annuler
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void createLayout();
  void connectEvents();
  std::string FailureText() const;

  db::Session& ses_autonome_;
  db::Session& ses_serveur_;
  ui::Ui& ui_;
  std::function<std::string()> get_user_;
  bool closing_allowed_ = false;
  std::string nom_utilisateur_;

  QLabel* etq_utilisateur_ = nullptr;
  QLabel* etq_mot_passe_ = nullptr;
  QLineEdit* txt_utilisateur_ = nullptr;
  QLineEdit* txt_mot_passe_ = nullptr;
  QPushButton* cmd_ok_ = nullptr;
  QPushButton* cmd_annuler_ = nullptr;
};

}  // namespace cortevane::connection
