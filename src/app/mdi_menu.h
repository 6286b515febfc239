// MDI_Menu: the main window. A workspace for the import window, titled with the two bases in
// use, a menu bar of four entries: Import (opens the import window; Export is disabled
// while it is open), Export (runs the export; Import is disabled until the export gives it
// back), Suivi (the worker's views: what an export would now do, the journal of past runs) and
// Quitter (disconnects both sessions and closes), and a status line (ui::ShowStatus) that says
// what was last done.
//
// The import window and the export are reached through MainWindowJobs, so this window does
// not depend on them (see jobs.h for where the real ones are plugged in). The window refuses
// to close while a child window refuses to; Quitter then disconnects nothing.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QMdiArea;
class QMdiSubWindow;

namespace cortevane::ui {
class Ui;
}

namespace cortevane::app {

struct Mod_Var;

struct MainWindowJobs {
  // Makes the import window, a child of `parent` (the workspace). Empty, or nullptr returned:
  // there is no import window to show, and Import does nothing.
  std::function<QWidget*(QWidget* parent)> create_import_window;
  // Runs the export to its end. Empty: Export does nothing.
  std::function<void()> run_export;
  // The worker's views of the "Suivi" menu, opened over `parent` (the main window): what an
  // export would now do, and the journal of past imports and exports. Empty: they do nothing.
  std::function<void(QWidget* parent)> show_preview;
  std::function<void(QWidget* parent)> show_journal;
};

class MDI_Menu : public QMainWindow {
  Q_OBJECT

 public:
  MDI_Menu(Mod_Var& var, ui::Ui& ui, MainWindowJobs jobs, QWidget* parent = nullptr);
  ~MDI_Menu() override;

  void Mnu_Import_Click();
  void Mnu_Export_Click();
  void Mnu_Quitter_Click();
  void Mnu_Apercu_Click();
  void Mnu_Journal_Click();

  // The import window while it is open, else nullptr.
  QWidget* import_window() const { return import_window_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void createMenus();
  void createStatusBar();
  void MDIForm_Load();
  // Asks every child window to close; false as soon as one refuses.
  bool CloseChildWindows();
  // Work runs on this thread and lets window events through while it waits on the server: a
  // menu entry reached meanwhile (by a queued event, a key) must start nothing.
  bool Busy() const;

  Mod_Var& var_;
  ui::Ui& ui_;
  MainWindowJobs jobs_;
  QMdiArea* workspace_ = nullptr;
  QAction* mnu_import_ = nullptr;
  QAction* mnu_export_ = nullptr;
  QAction* mnu_apercu_ = nullptr;
  QAction* mnu_journal_ = nullptr;
  QAction* mnu_quitter_ = nullptr;
  QPointer<QWidget> import_window_;
  QPointer<QMdiSubWindow> import_frame_;
  bool centred_ = false;
  bool exporting_ = false;
};

}  // namespace cortevane::app
