// ScriptedUi: the Ui of tests. It records every call as one line of text, in order, and
// answers message boxes from a queue of scripted answers (an OK box needs none; a Yes/No box
// with no scripted answer left, or answered with a button it does not offer, such as
// kAnswerMerge without kMergeButton, fails the test through `unanswered`).
//
// Log lines:  box|<style>|<title>|<text>   pointer|screen|<0 or 11>   pointer|<window>|<n>
//             not-offered|<answer> (after the box answered with a button it does not have)
//             menu|import|on    progress|<text>    progress|hide    events    end
//             modal|<dialog object name>    status|<text>
// A wait on the server shows as progress lines (ServerWaitText), one per whole second, then
// the progress as it was before the wait.
// A modal dialog is shown, handed to the next scripted modal action (which plays the user:
// fills fields, clicks buttons), and hidden again if the action left it open; with no action
// left it is counted in `unanswered` and rejected.
// The title recorded is the one the user sees ("Cortevane KESTA" when none is given). A box's
// details and owner are kept in boxes(), not in the log.
#pragma once

#include <QPointer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace cortevane::ui {

class ScriptedUi : public Ui {
 public:
  struct Box {
    std::string text;
    int style = 0;
    std::string title;
    std::string details;  // empty when the box has none
    std::string owner;    // object name of the window it opens over; empty when none
  };

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
  void EndProgram() override;
  int ShowModal(QDialog& dialog) override;
  void RegisterMenuEntry(MenuEntry entry, QAction* action) override;
  void ShowStatus(std::string_view text) override;
  void RegisterStatusBar(QStatusBar* bar) override;

  // Actions for the coming modal dialogs, in order.
  void OnModal(std::function<void(QDialog&)> action) {
    modal_actions_.push_back(std::move(action));
  }

  // Answers for the coming Yes/No boxes, in order: kAnswerYes, kAnswerNo, or kAnswerMerge for
  // a box with kMergeButton.
  void Answer(int answer) { answers_.push_back(answer); }
  void AnswerYes(int times = 1) { answers_.insert(answers_.end(), times, kAnswerYes); }
  void AnswerNo(int times = 1) { answers_.insert(answers_.end(), times, kAnswerNo); }
  // Called with each box before it is answered (to act while the "modal" box is up).
  std::function<void(const Box&)> on_box;
  // Called with each progress text shown.
  std::function<void(std::string_view)> on_progress;
  // Called with each whole second a request waits on the server, once it is shown (to act
  // while the wait is on screen).
  std::function<void(int seconds)> on_server_wait;

  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<std::string>& log() const { return log_; }
  std::string LogText() const;  // the log lines joined by '\n'
  void ClearLog() {
    log_.clear();
    boxes_.clear();
  }
  Pointer screen_pointer() const { return screen_pointer_; }
  bool ended() const { return ended_; }
  bool progress_shown() const { return progress_shown_; }
  // The object name of the owner of the last progress window shown (empty: none).
  const std::string& progress_owner() const { return progress_owner_; }
  int unanswered() const { return unanswered_; }
  // The status line shown last (empty: none yet).
  const std::string& status() const { return status_; }

 private:
  std::string OwnerName() const;

  std::deque<int> answers_;
  std::deque<std::function<void(QDialog&)>> modal_actions_;
  QPointer<QAction> menu_actions_[2];
  std::vector<Box> boxes_;
  std::vector<std::string> log_;
  Pointer screen_pointer_ = Pointer::kDefault;
  bool menu_import_ = true;
  bool menu_export_ = true;
  bool ended_ = false;
  bool progress_shown_ = false;
  std::string progress_text_;  // the work the progress window reports, empty when hidden
  int wait_shown_ = 0;
  std::string progress_owner_;
  int unanswered_ = 0;
  std::string status_;
  QPointer<QStatusBar> status_bar_;
};

}  // namespace cortevane::ui
