// Chd_Import: the import window, child of the main window. The user finds assisted persons on
// the server (by code or surname, or by chosen responsibles, communes or sectors), gathers
// them in Lst_Selection, and "Ok" registers them on the server and has the server copy their
// files to the laptop.
//
// The window talks to the user only through ui::Ui (boxes, its pointer, the main window's
// Export entry), so its logic runs headless in tests. It holds the server files CIVILAIDE,
// TEMPO and SDEXPORTAIDES while open; both sessions belong to the caller and must outlive it.
// It can be left only through Cmd_Sortir_Click ("Sortir", or the end of "Ok"); any other close
// request is refused, except Fermeture_Forcee when the whole program ends.
#pragma once

#include <QWidget>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "import/import_text.h"
#include "ui/status_sentences.h"
#include "ui/ui.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace cortevane::db {
class DbFile;
class Session;
}  // namespace cortevane::db

namespace cortevane::ui {
class ListBox;
}  // namespace cortevane::ui

namespace cortevane::import {

class Chd_Import : public QWidget {
  Q_OBJECT

 public:
  Chd_Import(db::Session& ses_autonome, db::Session& ses_serveur,
             const std::string& nom_utilisateur, ui::Ui& ui, QWidget* parent = nullptr);
  ~Chd_Import() override;

  // The display of the current mode: criteria lists and their buttons enabled, or the search
  // fields shown, never both.
  void Controle_Affichage();
  // Loads the entries of the current criteria mode into Lst_SelPossible.
  void Chargement_Lst_SelPossibles();

  // The user's actions, run by the controls (public so that tests drive them directly).
  void Opt_Indiv_Click();
  void Opt_Responsable_Click();
  void Opt_Commune_Click();
  void Opt_Secteur_Click();
  void Cmd_Recherche_Click();
  void Cmd_Tous_Click();
  void Cmd_Ok_Click();
  void Cmd_Sortir_Click();
  void Ajout_Lst_SelSelection();
  void Retrait_Lst_SelSelection();
  void Ajout_Lst_Selection();
  void Retrait_Lst_Selection();

  // Leaves the window because the program ends: no menu entry is touched.
  void Fermeture_Forcee();

  Mode CurrentMode() const;
  bool W_Fin() const { return w_fin_; }
  // The request and result of the last search or register check, and the codes registered
  // by the last "Ok" (one a field).
  const db::DynArray& W_Params() const { return w_params_; }
  const db::DynArray& W_Requete() const { return w_requete_; }
  const db::DynArray& W_ListeCodes() const { return w_liste_codes_; }
  // The local date and time an import registers (tests fix it).
  void SetClock(std::function<std::tm()> clock) { clock_ = std::move(clock); }
  // Where each import's journal goes (a drive path, with its final separator).
  void SetJournalFolder(std::string folder) { journal_folder_ = std::move(folder); }

  // What a refused close says, on the status line and once in a box.
  static constexpr std::string_view kCloseRefused =
      "Fermez d'abord la fenêtre d'importation avec « Sortir ».";

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  void createLayout();
  void connectEvents();
  bool Init();

  void ChangeMode(bool load_criteria);
  void SetPointer(ui::Pointer pointer);
  void ErrorCode(int status);
  ui::Place Office() const;
  void RefuseClose();
  // Runs the register query (DBA.SELECT); its status, and the rows in `rows` on success.
  int QueryRegister(std::string& rows);
  // Tells the user at once when persons are still out in their name: "Ok" would refuse.
  void Avertissement_Registre();
  // The status line and journal of an IMPORTDONNEES call that ended with `status`.
  void Bilan_Import(int status);

  void Construction_Requete();
  void Recherche_Code();
  void Execution_Requete();
  void Chargement_Lst_Possible();
  void Txt_CodeAide_Change();
  bool Txt_CodeAide_KeyPress(int key, const QString& text);
  void Txt_NomAide_KeyPress(int key);

  void Controle_Import();
  void Execution_Import();
  void Fermeture_Fichiers();

  db::Session& ses_autonome_;
  db::Session& ses_serveur_;
  std::string nom_utilisateur_;  // upper case
  ui::Ui& ui_;
  std::function<std::tm()> clock_;

  std::unique_ptr<db::DbFile> civilaide_;
  std::unique_ptr<db::DbFile> tempo_;
  std::unique_ptr<db::DbFile> sdexportaides_;
  db::DynArray enr_civilaide_;
  db::DynArray enr_sdexportaides_;
  db::DynArray w_params_;
  db::DynArray w_requete_;
  db::DynArray w_liste_codes_;
  bool w_fin_ = false;
  bool w_abandon_ = false;
  bool w_en_recherche_ = false;
  bool refusal_told_ = false;  // the box of a refused close was shown once
  bool focus_given_ = false;   // the name field got the focus at the first showing
  std::string journal_folder_;

  QGroupBox* frame1_ = nullptr;
  QRadioButton* opt_responsable_ = nullptr;
  QRadioButton* opt_secteur_ = nullptr;
  QRadioButton* opt_commune_ = nullptr;
  QRadioButton* opt_indiv_ = nullptr;
  QLabel* etq_sel_possible_ = nullptr;
  ui::ListBox* lst_sel_possible_ = nullptr;
  QPushButton* cmd_ajout_sel_ = nullptr;
  QPushButton* cmd_retrait_sel_ = nullptr;
  QLabel* etq_sel_selection_ = nullptr;
  ui::ListBox* lst_sel_selection_ = nullptr;
  QLabel* etq_aide_ = nullptr;
  QLineEdit* txt_code_aide_ = nullptr;
  QLineEdit* txt_nom_aide_ = nullptr;
  QPushButton* cmd_recherche_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QLabel* label4_possible_ = nullptr;
  ui::ListBox* lst_possible_ = nullptr;
  QPushButton* cmd_ajout_aide_ = nullptr;
  QPushButton* cmd_tous_ = nullptr;
  QPushButton* cmd_suppr_aide_ = nullptr;
  QGroupBox* frame3_ = nullptr;
  QLabel* label4_selection_ = nullptr;
  ui::ListBox* lst_selection_ = nullptr;
  QLabel* etq_nb_possible_ = nullptr;  // "12 aidés" under Lst_Possible
  QLabel* etq_nb_selection_ = nullptr;
  QPushButton* cmd_ok_ = nullptr;
  QPushButton* cmd_sortir_ = nullptr;
};

}  // namespace cortevane::import
