// Frm_Journal: "Journal", the list of past imports and exports read from the journal folder
// (platform/journal.h), newest first, with for each its date, kind, persons, questions and
// failures. "Ouvrir" (or Enter, or a double click) shows the chosen run's journal as it was
// written, read-only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "platform/journal.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace cortevane::ui {
class Ui;
}

namespace cortevane::app {

class Frm_Journal : public QDialog {
  Q_OBJECT

 public:
  // `folder`: a drive path with its final separator.
  explicit Frm_Journal(ui::Ui& ui, std::string folder = platform::kJournalFolder,
                       QWidget* parent = nullptr);

  // Reads the folder again and fills the list.
  void Chargement();
  // Shows the chosen run's journal in a read-only window (through ui::Ui::ShowModal).
  void Cmd_Ouvrir_Click();

  const std::vector<platform::JournalRun>& runs() const { return runs_; }
  // The lines of the list, their columns joined by "|".
  std::string Lignes() const;

 private:
  ui::Ui& ui_;
  std::string folder_;
  std::vector<platform::JournalRun> runs_;
  QTreeWidget* lst_journal_ = nullptr;
  QPushButton* cmd_ouvrir_ = nullptr;
  QPushButton* cmd_fermer_ = nullptr;
  QLabel* etq_nombre_ = nullptr;
};

}  // namespace cortevane::app
