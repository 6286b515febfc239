// Frm_SelectionBase ("Sélection de la Base de Données"): reads the configuration file and lets
// the user pick the laptop base when the file lists several. Loading it (Form_Load) reads and
// validates the file and ends the program when the file cannot be used; the start-up procedure
// then either chooses by itself (one base) or shows it modally. OK sets both sessions' account
// paths and hosts (Choix_Bases) and closes it; Quitter, or Escape, ends the program. There is
// no close box.
//
// The sessions belong to the caller and must outlive the window.
#pragma once

#include <QDialog>
#include <filesystem>
#include <string>

#include "connection/configuration.h"

class QComboBox;
class QPushButton;

namespace cortevane::db {
class Session;
}
namespace cortevane::ui {
class Ui;
}

namespace cortevane::connection {

class Frm_SelectionBase : public QDialog {
  Q_OBJECT

 public:
  Frm_SelectionBase(db::Session& ses_autonome, db::Session& ses_serveur, ui::Ui& ui,
                    QWidget* parent = nullptr);

  // Reads the file at `file` and fills the list. On a file that cannot be used, shows the
  // message, ends the program and returns false.
  bool Form_Load(const std::filesystem::path& file);
  // The same, from lines already read (nullopt: the file could not be read).
  bool Form_Load(const std::optional<std::vector<std::string>>& lines,
                 const std::filesystem::path& file = {});

  const Configuration& configuration() const { return configuration_; }
  int ListCount() const;
  std::string ListText(int index) const;

  void Cmd_Ok_Click();
  void Cmd_Quitter_Click();

 protected:
  void reject() override;  // Escape is Quitter
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void createLayout();
  void connectEvents();
  // The position of the laptop base the list's text names, or -1.
  int ChosenPosition() const;

  db::Session& ses_autonome_;
  db::Session& ses_serveur_;
  ui::Ui& ui_;
  Configuration configuration_;
  QComboBox* cbo_base_dispo_ = nullptr;
  QPushButton* cmd_ok_ = nullptr;
  QPushButton* cmd_quitter_ = nullptr;
};

}  // namespace cortevane::connection
