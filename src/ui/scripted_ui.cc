#include "ui/scripted_ui.h"

#include <QAction>
#include <QDialog>
#include <QStatusBar>

#include "ui/qt_ui.h"

namespace cortevane::ui {

int ScriptedUi::MsgBox(std::string_view text, int style, std::string_view title,
                       std::string_view details) {
  Box box{std::string(text), style, std::string(title.empty() ? kAppTitle : title),
          std::string(details), OwnerName()};
  boxes_.push_back(box);
  log_.push_back("box|" + std::to_string(style) + "|" + box.title + "|" + box.text);
  if (on_box) on_box(box);
  if ((style & 7) != kYesNo) return kAnswerOk;
  if (answers_.empty()) {
    ++unanswered_;
    return kAnswerNo;
  }
  int answer = answers_.front();
  answers_.pop_front();
  // A script answering with a button the box does not have is wrong: the box counts as
  // unanswered, so the test that checks unanswered() fails, and it is named in the log.
  const bool offered = answer == kAnswerYes || answer == kAnswerNo ||
                       (answer == kAnswerMerge && (style & kMergeButton));
  if (!offered) {
    ++unanswered_;
    log_.push_back("not-offered|" + std::to_string(answer));
    return kAnswerNo;
  }
  return answer;
}

void ScriptedUi::SetScreenPointer(Pointer pointer) {
  screen_pointer_ = pointer;
  log_.push_back("pointer|screen|" + std::to_string(static_cast<int>(pointer)));
}

void ScriptedUi::SetWindowPointer(std::string_view window, Pointer pointer) {
  log_.push_back("pointer|" + std::string(window) + "|" +
                 std::to_string(static_cast<int>(pointer)));
}

void ScriptedUi::SetMenuEnabled(MenuEntry entry, bool enabled) {
  (entry == MenuEntry::kImport ? menu_import_ : menu_export_) = enabled;
  if (QAction* action = menu_actions_[entry == MenuEntry::kImport ? 0 : 1]) {
    action->setEnabled(enabled);
  }
  log_.push_back(std::string("menu|") + (entry == MenuEntry::kImport ? "import" : "export") + "|" +
                 (enabled ? "on" : "off"));
}

bool ScriptedUi::MenuEnabled(MenuEntry entry) const {
  return entry == MenuEntry::kImport ? menu_import_ : menu_export_;
}

std::string ScriptedUi::OwnerName() const {
  QWidget* owner = Owner();
  return owner ? owner->objectName().toStdString() : std::string();
}

void ScriptedUi::ShowProgress(std::string_view text) {
  progress_shown_ = true;
  progress_owner_ = OwnerName();
  progress_text_ = text;
  log_.push_back("progress|" + std::string(text));
  if (on_progress) on_progress(text);
}

void ScriptedUi::HideProgress() {
  progress_shown_ = false;
  progress_text_.clear();
  log_.push_back("progress|hide");
}

void ScriptedUi::ProcessEvents() { log_.push_back("events"); }

void ScriptedUi::ServerWait(int seconds) {
  if (seconds == kServerWaitOver) {
    if (!waiting_on_server_) return;
    waiting_on_server_ = false;
    log_.push_back(progress_shown_ ? "progress|" + progress_text_ : "progress|hide");
    return;
  }
  if (seconds < 1 || (waiting_on_server_ && seconds == wait_shown_)) return;
  waiting_on_server_ = true;
  wait_shown_ = seconds;
  log_.push_back("progress|" + ServerWaitText(progress_text_, seconds));
  if (on_server_wait) on_server_wait(seconds);
}

void ScriptedUi::EndProgram() {
  ended_ = true;
  log_.push_back("end");
}

int ScriptedUi::ShowModal(QDialog& dialog) {
  log_.push_back("modal|" + dialog.objectName().toStdString());
  if (modal_actions_.empty()) {
    ++unanswered_;
    dialog.setResult(QDialog::Rejected);
    return QDialog::Rejected;
  }
  auto action = std::move(modal_actions_.front());
  modal_actions_.pop_front();
  dialog.show();
  action(dialog);
  if (dialog.isVisible()) dialog.hide();
  return dialog.result();
}

void ScriptedUi::RegisterMenuEntry(MenuEntry entry, QAction* action) {
  menu_actions_[entry == MenuEntry::kImport ? 0 : 1] = action;
  if (action) action->setEnabled(MenuEnabled(entry));
}

void ScriptedUi::ShowStatus(std::string_view text) {
  status_ = text;
  if (status_bar_) SetStatusLine(*status_bar_, QString::fromStdString(status_));
  log_.push_back("status|" + status_);
}

void ScriptedUi::RegisterStatusBar(QStatusBar* bar) { status_bar_ = bar; }

std::string ScriptedUi::LogText() const {
  std::string out;
  for (const auto& line : log_) {
    if (!out.empty()) out += '\n';
    out += line;
  }
  return out;
}

}  // namespace cortevane::ui
