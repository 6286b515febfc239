#include "app/mdi_menu.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>

#include "app/mod_var.h"
#include "ui/qt_ui.h"
#include "ui/ui.h"

namespace cortevane::app {
namespace {

// The workspace: the window system's workspace colour with the fixed background picture in
// its top-left corner, the picture neither tiled nor stretched.
class Workspace : public QMdiArea {
 public:
  explicit Workspace(QWidget* parent) : QMdiArea(parent), picture_(":/pictures/fond_menu.bmp") {
    setObjectName("Workspace");
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().brush(QPalette::Dark));
    painter.drawPixmap(0, 0, picture_);
  }

 private:
  QPixmap picture_;
};

}  // namespace

MDI_Menu::MDI_Menu(Mod_Var& var, ui::Ui& ui, MainWindowJobs jobs, QWidget* parent)
    : QMainWindow(parent), var_(var), ui_(ui), jobs_(std::move(jobs)) {
  setObjectName("MDI_Menu");
  createControls();
  createMenus();
  createStatusBar();
  MDIForm_Load();
}

MDI_Menu::~MDI_Menu() = default;

void MDI_Menu::createControls() {
  workspace_ = new Workspace(this);
  setCentralWidget(workspace_);
  // Large enough for the background picture, never larger than the screen.
  QSize size(1000, 720);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.boundedTo(screen->availableGeometry().size() * 0.95);
  }
  resize(size);
}

void MDI_Menu::createMenus() {
  mnu_import_ = menuBar()->addAction("&Import");
  mnu_import_->setObjectName("Mnu_Import");
  mnu_export_ = menuBar()->addAction("&Export");
  mnu_export_->setObjectName("Mnu_Export");
  QMenu* suivi = menuBar()->addMenu("&Suivi");
  suivi->setObjectName("Mnu_Suivi");
  mnu_apercu_ = suivi->addAction(QString::fromUtf8("&Aperçu de l'exportation"));
  mnu_apercu_->setObjectName("Mnu_Apercu");
  mnu_journal_ = suivi->addAction("&Journal");
  mnu_journal_->setObjectName("Mnu_Journal");
  connect(mnu_apercu_, &QAction::triggered, this, &MDI_Menu::Mnu_Apercu_Click);
  connect(mnu_journal_, &QAction::triggered, this, &MDI_Menu::Mnu_Journal_Click);
  mnu_quitter_ = menuBar()->addAction("&Quitter");
  mnu_quitter_->setObjectName("Mnu_Quitter");
  connect(mnu_import_, &QAction::triggered, this, &MDI_Menu::Mnu_Import_Click);
  connect(mnu_export_, &QAction::triggered, this, &MDI_Menu::Mnu_Export_Click);
  connect(mnu_quitter_, &QAction::triggered, this, &MDI_Menu::Mnu_Quitter_Click);
  ui_.RegisterMenuEntry(ui::MenuEntry::kImport, mnu_import_);
  ui_.RegisterMenuEntry(ui::MenuEntry::kExport, mnu_export_);
}

// The line that says what was last done, or why a request was refused.
void MDI_Menu::createStatusBar() {
  statusBar()->setObjectName("Barre_Etat");
  statusBar()->setSizeGripEnabled(true);
  ui_.RegisterStatusBar(statusBar());
}

void MDI_Menu::MDIForm_Load() {
  const std::string title = "Base autonome (" + var_.Ses_Autonome.AccountPath() +
                            ") <==//==> Base serveur (" + var_.Ses_Serveur.AccountPath() + ")";
  setWindowTitle(windowTitle() + QString::fromStdString(title));
}

bool MDI_Menu::Busy() const { return exporting_ || ui_.WaitingOnServer(); }

void MDI_Menu::Mnu_Import_Click() {
  if (!jobs_.create_import_window || Busy()) return;
  ui_.SetMenuEnabled(ui::MenuEntry::kExport, false);
  if (import_window_ && import_frame_) {
    import_frame_->show();
    workspace_->setActiveSubWindow(import_frame_);
    return;
  }
  QWidget* window = jobs_.create_import_window(workspace_);
  if (!window) {
    ui_.SetMenuEnabled(ui::MenuEntry::kExport, true);
    return;
  }
  // The window is made anew at each opening: once it has closed it goes, and its frame with it.
  window->setAttribute(Qt::WA_DeleteOnClose);
  QMdiSubWindow* frame = workspace_->addSubWindow(window);
  connect(window, &QObject::destroyed, frame, &QObject::deleteLater);
  import_window_ = window;
  import_frame_ = frame;
  frame->show();
  workspace_->setActiveSubWindow(frame);
}

void MDI_Menu::Mnu_Export_Click() {
  if (!jobs_.run_export || Busy()) return;
  ui_.SetMenuEnabled(ui::MenuEntry::kImport, false);
  // Every box and the progress window of the export open over this window.
  ui::OwnerScope owner(ui_, *this);
  exporting_ = true;
  jobs_.run_export();
  exporting_ = false;
}

void MDI_Menu::Mnu_Apercu_Click() {
  if (jobs_.show_preview) jobs_.show_preview(this);
}

void MDI_Menu::Mnu_Journal_Click() {
  if (jobs_.show_journal) jobs_.show_journal(this);
}

// The sessions are disconnected only once the child windows have agreed to close: the import
// window refuses unless it is left through its own exit, and the program must not go on with
// that window open on disconnected sessions.
void MDI_Menu::Mnu_Quitter_Click() {
  if (Busy() || !CloseChildWindows()) return;
  var_.Ses_Autonome.Disconnect();
  var_.Ses_Serveur.Disconnect();
  close();
}

bool MDI_Menu::CloseChildWindows() {
  for (QMdiSubWindow* frame : workspace_->subWindowList()) {
    if (!frame->close()) return false;
  }
  return true;
}

void MDI_Menu::closeEvent(QCloseEvent* event) {
  if (Busy() || !CloseChildWindows()) {
    event->ignore();
    return;
  }
  event->accept();
}

void MDI_Menu::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (centred_) return;
  centred_ = true;
  ui::CentreOnScreen(*this);
}

}  // namespace cortevane::app
