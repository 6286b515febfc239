// QtUi: the Ui of the real program, over Qt Widgets. Message boxes are QMessageBox with the
// icon and buttons of the style value; the pointer is Qt's override cursor (whole screen) or a
// top-level window's cursor found by object name; menu entries are the QActions the main window
// registers; the progress indication is one small modal window without buttons, which the
// user cannot close. While a request waits on the server, events are processed under that
// modal window, so every window stays painted and none but it takes input.
//
// One instance for the run, created after the QApplication, used on the user-interface thread.
#pragma once

#include <QPointer>
#include <memory>

#include "ui/ui.h"

class QLabel;
class QMessageBox;
class QWidget;

namespace cortevane::ui {

class QtUi : public Ui {
 public:
  QtUi();
  ~QtUi() override;

  int MsgBox(std::string_view text, int style = kOkOnly, std::string_view title = {},
             std::string_view details = {}) override;
  void SetScreenPointer(Pointer pointer) override;
  void SetWindowPointer(std::string_view window, Pointer pointer) override;
  void SetMenuEnabled(MenuEntry entry, bool enabled) override;
  bool MenuEnabled(MenuEntry entry) const override;
  void ShowProgress(std::string_view text) override;
  void HideProgress() override;
  void ProcessEvents() override;
  void ServerWait(int seconds) override;
  [[noreturn]] void EndProgram() override;
  int ShowModal(QDialog& dialog) override;
  void RegisterMenuEntry(MenuEntry entry, QAction* action) override;
  void ShowStatus(std::string_view text) override;
  void RegisterStatusBar(QStatusBar* bar) override;

  // The progress window while it is shown, else nullptr (for tests of this class).
  QWidget* progress_window() const;

 private:
  // What boxes and the progress window open over: the owner, else the active window.
  QWidget* Parent() const;
  // Shows the progress window with `text`, made when it is not there.
  void ShowProgressWindow(std::string_view text);

  QPointer<QAction> menu_actions_[2];
  QPointer<QStatusBar> status_bar_;
  bool menu_enabled_[2] = {true, true};
  // Parented to the window it covers, so it may go with that window: hence QPointer.
  QPointer<QWidget> progress_;
  QPointer<QLabel> progress_label_;
  std::string progress_text_;  // the work the progress window reports, empty when hidden
  int wait_shown_ = 0;
  bool menus_before_wait_[2] = {true, true};
};

// The QMessageBox the style value describes, not yet shown (icon, buttons, title, plain text,
// and the details when there are some). MsgBox runs it; tests look at it without a modal loop.
std::unique_ptr<QMessageBox> MakeMessageBox(std::string_view text, int style,
                                            std::string_view title, QWidget* parent,
                                            std::string_view details = {});

// Shows `text` on the status bar's own line ("Etq_Etat", made at the first call). Not a
// passing message: the status tips of the menu entries the pointer crosses would wipe that.
void SetStatusLine(QStatusBar& bar, const QString& text);

// The width a title bar needs to show `window`'s whole title: the text in a bold face, plus
// room for the window icon and the three title-bar buttons.
int TitleWidth(const QWidget& window);
// Makes `window` (laid out by its layout) at least TitleWidth wide, so its title is never cut.
void FitTitle(QWidget& window);

// Places a top-level window in the middle of its screen's available area.
void CentreOnScreen(QWidget& window);
// Places a top-level window in the middle of the window `over` belongs to; on the screen when
// there is none or it is not shown.
void CentreOver(QWidget& window, const QWidget* over);

// Translates a QMessageBox button into the classic answer value (kAnswerOk, kAnswerYes...).
int AnswerOf(int standard_button);

}  // namespace cortevane::ui
