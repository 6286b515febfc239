#include "ui/qt_ui.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTextEdit>
#include <QTranslator>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>
#include <cstdlib>
#include <utility>

namespace cortevane::ui {
namespace {

// Object name of the "Fusionner" button, by which MsgBox knows the answer.
constexpr char kMergeButtonName[] = "Fusionner";

int Index(MenuEntry entry) { return entry == MenuEntry::kImport ? 0 : 1; }

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The window a message box or the progress belongs to: the active one, so that it is centred
// on what the user is looking at and blocks it.
QWidget* ActiveWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

// Widgets named `name`, top-level windows first: a window is usually what is meant.
QWidget* FindWindow(const QString& name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name) return widget;
  }
  for (QWidget* widget : QApplication::allWidgets()) {
    if (widget->objectName() == name) return widget;
  }
  return nullptr;
}

// Qt names the button that unfolds a box's details itself, and renames it at each click; the
// program speaks French whatever translations the machine has installed, so these two words
// are translated here, once for the application.
class DetailsButtonFrench : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (qstrcmp(context, "QMessageBox") != 0) return {};
    if (qstrcmp(source, "Show Details...") == 0) return QString::fromUtf8("&Détails…");
    if (qstrcmp(source, "Hide Details...") == 0) return QString::fromUtf8("Masquer les &détails");
    return {};
  }
};

// The progress window: the user cannot close it (the window manager's close key included),
// since its modality is what keeps every other window from starting work meanwhile.
class ProgressWindow : public QWidget {
 public:
  explicit ProgressWindow(QWidget* parent)
      : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {}

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

void InstallDetailsButtonFrench() {
  static QPointer<QTranslator> installed;
  if (installed || !QCoreApplication::instance()) return;
  installed = new DetailsButtonFrench(QCoreApplication::instance());
  QCoreApplication::installTranslator(installed);
}

// A question waits for its answer: Escape and the title bar's close button do nothing, so
// the box ends only on a button the user chose (Oui, Non, Fusionner). Qt would otherwise take
// either for Non, and a Non can throw the user's work away.
class QuestionBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel)) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    if (!clickedButton()) {
      event->ignore();
      return;
    }
    QMessageBox::closeEvent(event);
  }
};

// Lines the details pane shows without scrolling: a conflict's details are read, not skimmed.
constexpr int kDetailsLines = 15;

// Qt builds the details pane a fixed five lines or so tall; it is made tall enough for
// kDetailsLines lines of its font.
void SizeDetailsPane(QMessageBox& box) {
  auto* pane = box.findChild<QTextEdit*>();
  if (!pane) return;
  const int margins = 2 * (pane->frameWidth() + qCeil(pane->document()->documentMargin()));
  pane->setFixedHeight(pane->fontMetrics().lineSpacing() * kDetailsLines + margins);
  // Wide enough for a whole value of the details (60 characters) on one line beside its
  // label, even with a scroll bar.
  pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QString(84, QChar('n'))) + margins +
                        pane->verticalScrollBar()->sizeHint().width());
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(std::string_view text, int style,
                                            std::string_view title, QWidget* parent,
                                            std::string_view details) {
  const bool question = (style & 7) == kYesNo;
  std::unique_ptr<QMessageBox> box =
      question ? std::make_unique<QuestionBox>(parent) : std::make_unique<QMessageBox>(parent);
  box->setTextFormat(Qt::PlainText);  // database texts are shown as they are, never as markup
  box->setText(FromUtf8(text));
  if (!details.empty()) {
    InstallDetailsButtonFrench();
    box->setDetailedText(FromUtf8(details));  // always plain text
    SizeDetailsPane(*box);
  }
  box->setWindowTitle(FromUtf8(title.empty() ? kAppTitle : title));

  switch (style & 0x70) {
    case kCritical:
      box->setIcon(QMessageBox::Critical);
      break;
    case kQuestion:
      box->setIcon(QMessageBox::Question);
      break;
    case kExclamation:
      box->setIcon(QMessageBox::Warning);
      break;
    case kInformation:
      box->setIcon(QMessageBox::Information);
      break;
    default:
      box->setIcon(QMessageBox::NoIcon);
  }

  QList<QMessageBox::StandardButton> buttons;
  switch (style & 7) {
    case 1:
      buttons = {QMessageBox::Ok, QMessageBox::Cancel};
      break;
    case 2:
      buttons = {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
      break;
    case 3:
      buttons = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
      break;
    case kYesNo:
      buttons = {QMessageBox::Yes, QMessageBox::No};
      break;
    case 5:
      buttons = {QMessageBox::Retry, QMessageBox::Cancel};
      break;
    default:
      buttons = {QMessageBox::Ok};
  }
  QMessageBox::StandardButtons all;
  for (auto button : buttons) all |= button;
  box->setStandardButtons(all);
  // The program speaks French whatever translations the machine has installed.
  const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
      {QMessageBox::Yes, "&Oui"},         {QMessageBox::No, "&Non"},
      {QMessageBox::Cancel, "Annuler"},   {QMessageBox::Abort, "&Abandonner"},
      {QMessageBox::Retry, "&Réessayer"}, {QMessageBox::Ignore, "&Ignorer"},
  };
  for (const auto& [button, caption] : captions) {
    if (QAbstractButton* b = box->button(button)) b->setText(QString::fromUtf8(caption));
  }
  const bool merge = question && (style & kMergeButton);
  if (merge) {
    // Beside Oui and Non, placed as the platform places a box's other actions.
    QPushButton* button = box->addButton(QString::fromUtf8("&Fusionner"), QMessageBox::ActionRole);
    button->setObjectName(kMergeButtonName);
  }
  // 256 and 512 make the second or third button the default one; otherwise the first.
  const auto default_index = static_cast<qsizetype>((style >> 8) & 3);
  box->setDefaultButton(buttons.value(default_index, buttons.front()));
  return box;
}

int TitleWidth(const QWidget& window) {
  QFont font = window.font();
  font.setBold(true);
  const int text = QFontMetrics(font).horizontalAdvance(window.windowTitle());
  constexpr int kIconAndButtons = 4 * 28 + 24;
  return text + kIconAndButtons;
}

void FitTitle(QWidget& window) {
  QLayout* layout = window.layout();
  if (!layout) {
    window.setMinimumWidth(std::max(window.minimumWidth(), TitleWidth(window)));
    return;
  }
  // A layout decides the size (a message box's, or a fixed-size dialog's): an empty item of
  // the title's width inside it makes it that wide at least.
  auto* spacer = new QSpacerItem(
      TitleWidth(window) - layout->contentsMargins().left() - layout->contentsMargins().right(), 0,
      QSizePolicy::Minimum, QSizePolicy::Fixed);
  if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    grid->addItem(spacer, grid->rowCount(), 0, 1, grid->columnCount());
  } else {
    layout->addItem(spacer);
  }
}

void CentreOver(QWidget& window, const QWidget* over) {
  if (!over || !over->window()->isVisible()) {
    CentreOnScreen(window);
    return;
  }
  const QRect area = over->window()->frameGeometry();
  const QSize size = window.frameGeometry().size();
  window.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize size = window.frameGeometry().size();
  window.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

int AnswerOf(int standard_button) {
  switch (standard_button) {
    case QMessageBox::Cancel:
      return 2;
    case QMessageBox::Abort:
      return 3;
    case QMessageBox::Retry:
      return 4;
    case QMessageBox::Ignore:
      return 5;
    case QMessageBox::Yes:
      return kAnswerYes;
    case QMessageBox::No:
      return kAnswerNo;
    default:
      return kAnswerOk;
  }
}

QWidget* QtUi::Parent() const { return Owner() ? Owner() : ActiveWindow(); }

QtUi::QtUi() = default;
QtUi::~QtUi() { delete progress_.data(); }

int QtUi::MsgBox(std::string_view text, int style, std::string_view title,
                 std::string_view details) {
  auto box = MakeMessageBox(text, style, title, Parent(), details);
  // A question asked while work is under way opens where the progress window is: that one
  // moves just under the box for the time of the question, so both can be read.
  QPoint progress_place;
  if (progress_ && progress_->isVisible()) {
    progress_place = progress_->pos();
    const QWidget* over = Parent();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = over && over->window()->isVisible() ? over->window()->frameGeometry()
                       : screen                            ? screen->availableGeometry()
                                                           : progress_->frameGeometry();
    const QSize size = box->sizeHint();
    progress_->move(area.center().x() - progress_->frameGeometry().width() / 2,
                    area.center().y() + size.height() / 2 + 40);
  }
  box->exec();
  if (progress_ && !progress_place.isNull()) progress_->move(progress_place);
  QAbstractButton* button = box->clickedButton();
  if (button && button->objectName() == kMergeButtonName) return kAnswerMerge;
  const auto clicked = box->standardButton(button);
  // A box ended without any button (its owner gone, the program ending) answers as the box's
  // safest button: Non for a question.
  if (clicked == QMessageBox::NoButton) return (style & 7) == kYesNo ? kAnswerNo : kAnswerOk;
  return AnswerOf(clicked);
}

void QtUi::SetScreenPointer(Pointer pointer) {
  if (pointer == Pointer::kHourglass) {
    if (QApplication::overrideCursor()) {
      QApplication::changeOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    return;
  }
  // Qt stacks override cursors; "normal" means none at all, however many were set.
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void QtUi::SetWindowPointer(std::string_view window, Pointer pointer) {
  QWidget* widget = FindWindow(FromUtf8(window));
  if (!widget) return;
  if (pointer == Pointer::kHourglass) {
    widget->setCursor(Qt::WaitCursor);
  } else {
    widget->unsetCursor();
  }
}

void QtUi::SetMenuEnabled(MenuEntry entry, bool enabled) {
  menu_enabled_[Index(entry)] = enabled;
  if (QAction* action = menu_actions_[Index(entry)]) action->setEnabled(enabled);
}

bool QtUi::MenuEnabled(MenuEntry entry) const {
  if (QAction* action = menu_actions_[Index(entry)]) return action->isEnabled();
  return menu_enabled_[Index(entry)];
}

void QtUi::RegisterMenuEntry(MenuEntry entry, QAction* action) {
  menu_actions_[Index(entry)] = action;
  if (action) action->setEnabled(menu_enabled_[Index(entry)]);
}

void SetStatusLine(QStatusBar& bar, const QString& text) {
  auto* line = bar.findChild<QLabel*>("Etq_Etat", Qt::FindDirectChildrenOnly);
  if (!line) {
    line = new QLabel(&bar);
    line->setObjectName("Etq_Etat");
    // A long line (an export's, with its journal's path) is cut at the window's edge rather
    // than widening the window; its tip shows it whole.
    line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar.addWidget(line, 1);
  }
  line->setText(text);
  line->setToolTip(text);
}

void QtUi::ShowStatus(std::string_view text) {
  if (status_bar_) SetStatusLine(*status_bar_, FromUtf8(text));
}

void QtUi::RegisterStatusBar(QStatusBar* bar) { status_bar_ = bar; }

void QtUi::ShowProgress(std::string_view text) {
  progress_text_ = text;
  ShowProgressWindow(text);
}

void QtUi::ShowProgressWindow(std::string_view text) {
  if (!progress_) {
    QWidget* parent = Parent();
    progress_ = new ProgressWindow(parent);
    progress_->setObjectName("Progression");
    progress_->setWindowTitle(FromUtf8(kAppTitle));
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_label_ = new QLabel(progress_);
    progress_label_->setTextFormat(Qt::PlainText);
    progress_label_->setAlignment(Qt::AlignCenter);
    progress_label_->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(progress_);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(progress_label_);
    progress_label_->setText(FromUtf8(text));
    // Qt centres a dialog over its parent, but this is a plain widget: placed here, so that
    // it does not open at the screen's corner when no window manager places it.
    FitTitle(*progress_);
    progress_->adjustSize();
    CentreOver(*progress_, parent);
  }
  progress_label_->setText(FromUtf8(text));
  if (!progress_->isVisible()) progress_->show();
  // The work runs on this thread: paint now, and let the window system map and expose the
  // window, but take no input meanwhile.
  progress_->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUi::HideProgress() {
  progress_text_.clear();
  delete progress_.data();
}

void QtUi::ServerWait(int seconds) {
  if (seconds == kServerWaitOver) {
    if (!waiting_on_server_) return;
    waiting_on_server_ = false;
    if (progress_text_.empty()) {
      delete progress_.data();
    } else {
      ShowProgressWindow(progress_text_);
    }
    SetMenuEnabled(MenuEntry::kImport, menus_before_wait_[0]);
    SetMenuEnabled(MenuEntry::kExport, menus_before_wait_[1]);
    return;
  }
  if (seconds < 1) {
    // A short wait: painted, but the user's input waits for the answer, as without a wait.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return;
  }
  if (!waiting_on_server_) {
    waiting_on_server_ = true;
    menus_before_wait_[0] = MenuEnabled(MenuEntry::kImport);
    menus_before_wait_[1] = MenuEnabled(MenuEntry::kExport);
    SetMenuEnabled(MenuEntry::kImport, false);
    SetMenuEnabled(MenuEntry::kExport, false);
    wait_shown_ = 0;
  }
  if (seconds != wait_shown_ || !progress_) {
    wait_shown_ = seconds;
    ShowProgressWindow(ServerWaitText(progress_text_, seconds));
  }
  // Input too, now that the modal progress window is up: what is meant for the other windows
  // is refused by the modality, instead of waiting to start its work once the answer comes.
  QCoreApplication::processEvents();
}

QWidget* QtUi::progress_window() const { return progress_; }

void QtUi::ProcessEvents() { QCoreApplication::processEvents(); }

void QtUi::EndProgram() {
  // Ends here, whatever dialogs or nested loops are running; the sessions' connections close
  // with the process.
  std::exit(0);
}

int QtUi::ShowModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace cortevane::ui
