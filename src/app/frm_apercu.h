// Frm_Apercu: "Aperçu de l'exportation", the worker's own view of what an export would now do,
// person by person (unchanged, records to write per file, possible questions, new persons),
// from the export's own planner (export/export_preview.h), the same as cortevane-admin's
// export-preview. It only reads. The persons are planned one at a time between window events,
// with the count done so far, and "Arrêter" stops between two persons.
//
// Failures are told through ui::Ui. Both sessions belong to the caller and must outlive it.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "export/export_preview.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace cortevane::db {
class Session;
}
namespace cortevane::ui {
class Ui;
}

namespace cortevane::app {

class Frm_Apercu : public QDialog {
  Q_OBJECT

 public:
  Frm_Apercu(db::Session& ses_autonome, db::Session& ses_serveur, std::string user, ui::Ui& ui,
             QWidget* parent = nullptr);
  ~Frm_Apercu() override;

  // Reads what the preview needs and starts planning between window events. False, the
  // failure told, when it cannot start.
  bool Demarrer();
  // Plans the next person and shows it; false once every person is shown, or stopped.
  bool Etape();
  void Cmd_Arreter_Click();

  bool running() const;
  // The lines shown, "code|nom|ce que ferait l'exportation", one a person, then the total.
  std::string Lignes() const;

 private:
  void createControls();
  void createLayout();
  void Fin(const QString& etat);

  db::Session& ses_autonome_;
  db::Session& ses_serveur_;
  std::string user_;
  ui::Ui& ui_;
  std::unique_ptr<exporting::ExportPreview> preview_;
  exporting::PreviewTotals totals_;

  QLabel* etq_progression_ = nullptr;
  QProgressBar* progression_ = nullptr;
  QTreeWidget* lst_apercu_ = nullptr;
  QLabel* etq_total_ = nullptr;
  QPushButton* cmd_arreter_ = nullptr;
  QPushButton* cmd_fermer_ = nullptr;
  QTimer* timer_ = nullptr;
};

// One person's line, in French: "inchangé", "nouvel aidé, recevrait un code ; enregistrements
// à écrire : CIVILAIDE 1", "... ; question possible sur NOTES (1 enregistrement)".
std::string DescriptionAide(const exporting::PreviewPerson& person);

}  // namespace cortevane::app
