// Ui: the window-system services the windows and the export use to talk to the user. Every
// message box, pointer change, menu entry change and program end goes through one of these
// calls, so the Qt implementation (qt_ui.h) can be replaced by a scripted one (scripted_ui.h)
// and every behaviour tested headless.
//
// Message boxes take the classic style value: buttons (0 OK, 4 Yes/No) plus icon (16 critical,
// 32 question, 48 exclamation, 64 information), plus kMergeButton for a Yes/No box that also
// offers "Fusionner". A box given no title shows the application's
// title, "Cortevane KESTA". A box may carry details: plain text the user can unfold below the
// message (Qt's detailed text), for what helps to answer but would drown the question.
//
// Boxes and progress windows open over the window they belong to, their owner: the window
// whose work they report (the main window during the export, the import window for its own
// boxes). OwnerScope names it for the time that work runs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QDialog;
class QStatusBar;

namespace cortevane::ui {

inline constexpr std::string_view kAppTitle = "Cortevane KESTA";
inline constexpr std::string_view kMessageTitle = "Message CORTEVANE";

enum Style : int {
  kOkOnly = 0,
  kYesNo = 4,
  kCritical = 16,
  kQuestion = 32,
  kExclamation = 48,
  kInformation = 64,
  // Added to a Yes/No box: a third button, "&Fusionner", which answers kAnswerMerge. Kept
  // clear of the classic default-button values (256, 512).
  kMergeButton = 8192,
};

enum Answer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7, kAnswerMerge = 20 };

// Mouse pointers, with their classic values: 0 default (arrow), 11 hourglass.
enum class Pointer : int { kDefault = 0, kHourglass = 11 };

// What a request waiting on a server reports when its wait is over (see Ui::ServerWait); the
// database layer's wait observers use the same value.
inline constexpr int kServerWaitOver = -1;

// The progress window's text while a request waits on the server: the work it reports, if
// any, then "Attente du serveur… 12 s".
inline std::string ServerWaitText(std::string_view work, int seconds) {
  std::string wait = "Attente du serveur… " + std::to_string(seconds) + " s";
  return work.empty() ? wait : std::string(work) + "\n" + wait;
}

// The main window's menu entries the import window and the export enable and disable.
enum class MenuEntry { kImport, kExport };

class Ui {
 public:
  virtual ~Ui() = default;

  // Shows a modal message box and returns the answer (kAnswerOk for an OK box). A Yes/No box
  // waits for one of its buttons: Escape and its window's close button do nothing. Non-empty
  // `details` are offered under a "Détails" button, the box being otherwise the same.
  virtual int MsgBox(std::string_view text, int style = kOkOnly, std::string_view title = {},
                     std::string_view details = {}) = 0;

  // The pointer of the whole screen, and of one window (named by its object name).
  virtual void SetScreenPointer(Pointer pointer) = 0;
  virtual void SetWindowPointer(std::string_view window, Pointer pointer) = 0;

  virtual void SetMenuEnabled(MenuEntry entry, bool enabled) = 0;
  virtual bool MenuEnabled(MenuEntry entry) const = 0;

  // A modal indication without input that work is going on ("Aidé 12 sur 200"), repainted at
  // each call while the work runs on the user-interface thread; HideProgress removes it.
  virtual void ShowProgress(std::string_view text) = 0;
  virtual void HideProgress() = 0;

  // Lets pending window events be processed.
  virtual void ProcessEvents() = 0;

  // A request has been waiting `seconds` on the office server, or its wait is over
  // (kServerWaitOver): the sessions' wait observer. The windows stay painted; from the first
  // whole second the progress window shows the wait (ServerWaitText), the menu entries are
  // off and WaitingOnServer() is true, and nothing the user clicks starts other work; once
  // over, the progress window and the menus are as before.
  virtual void ServerWait(int seconds) = 0;
  bool WaitingOnServer() const { return waiting_on_server_; }

  // Ends the program at once, discarding every window. The Qt implementation does not return;
  // the scripted one does, so callers return straight after calling it.
  virtual void EndProgram() = 0;

  // Shows `dialog` modally and returns when it is closed, with its result (QDialog::Accepted
  // or QDialog::Rejected). The scripted implementation runs its script on the dialog instead
  // of a modal loop.
  virtual int ShowModal(QDialog& dialog) = 0;

  // The main window hands over the action behind a menu entry, so that SetMenuEnabled reaches
  // the menu the user sees. The action is not owned; it may be destroyed at any time.
  virtual void RegisterMenuEntry(MenuEntry entry, QAction* action) = 0;

  // The main window's status line: what was last done ("1 256 aidés importés le ...") or why a
  // request was refused. It stays until the next line. The main window hands over its status
  // bar as it does its menu entries (not owned; it may go at any time).
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void RegisterStatusBar(QStatusBar* bar) = 0;

  // The owner of the boxes and progress windows shown from now on: they are its children and
  // open centred over it. Owners nest, the innermost still alive counting; without one, a box
  // belongs to the active window, if any. OwnerScope pairs the two calls.
  void PushOwner(QWidget& window) { owners_.emplace_back(&window); }
  void PopOwner() {
    if (!owners_.empty()) owners_.pop_back();
  }
  QWidget* Owner() const {
    for (auto it = owners_.rbegin(); it != owners_.rend(); ++it)
      if (*it) return *it;
    return nullptr;
  }

 protected:
  bool waiting_on_server_ = false;

 private:
  std::vector<QPointer<QWidget>> owners_;
};

// Names `window` as the owner of the boxes shown while the scope lasts.
// "1 256 aidés", "1 aidé": a count as lists and status lines show it, thousands apart by a
// no-break space, the noun in the plural from 2 on (French usage: 0 and 1 take the singular).
std::string CountText(long long count, std::string_view singular, std::string_view plural);

class OwnerScope {
 public:
  OwnerScope(Ui& ui, QWidget& window) : ui_(ui) { ui_.PushOwner(window); }
  ~OwnerScope() { ui_.PopOwner(); }
  OwnerScope(const OwnerScope&) = delete;
  OwnerScope& operator=(const OwnerScope&) = delete;

 private:
  Ui& ui_;
};

}  // namespace cortevane::ui
