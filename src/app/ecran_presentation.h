// EcranPresentation: the screen shown for about two seconds after identification. Borderless
// but framed, centred, kept out of the task bar, it takes no input. Its timer ticks every
// second; on the second tick it opens the main window (under the hourglass) and closes itself
// for good.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QTimer;

namespace cortevane::ui {
class Ui;
}

namespace cortevane::app {

class EcranPresentation : public QWidget {
  Q_OBJECT

 public:
  // `open_main_window` loads and shows the main window; it is called once.
  EcranPresentation(ui::Ui& ui, std::function<void()> open_main_window);

  // One tick of Timer1.
  void Timer1_Timer();
  int tick_count() const { return tick_count_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void createLayout();

  ui::Ui& ui_;
  std::function<void()> open_main_window_;
  QTimer* timer1_ = nullptr;
  short tick_count_ = 0;
  QLabel* image1_ = nullptr;
  QLabel* lbl_product_name_ = nullptr;
  QLabel* lbl_version_ = nullptr;
  QLabel* lbl_copyright_ = nullptr;
  QLabel* lbl_company_ = nullptr;
  QLabel* lbl_warning_ = nullptr;
};

}  // namespace cortevane::app
