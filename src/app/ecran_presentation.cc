#include "app/ecran_presentation.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/qt_ui.h"
#include "ui/ui.h"

namespace cortevane::app {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int point_size, bool bold) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(name);
  QFont font("Arial");
  font.setPointSizeF(point_size > 0 ? point_size : 8.25);
  font.setBold(bold);
  label->setFont(font);
  return label;
}

}  // namespace

EcranPresentation::EcranPresentation(ui::Ui& ui, std::function<void()> open_main_window)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      ui_(ui),
      open_main_window_(std::move(open_main_window)) {
  setObjectName("EcranPresentation");
  setAttribute(Qt::WA_DeleteOnClose);  // closing unloads it: it is never shown again
  createControls();
  createLayout();
  timer1_ = new QTimer(this);
  timer1_->setInterval(1000);
  connect(timer1_, &QTimer::timeout, this, &EcranPresentation::Timer1_Timer);
  timer1_->start();
}

void EcranPresentation::createControls() {
  image1_ = new QLabel(this);
  image1_->setObjectName("Image1");
  image1_->setPixmap(QPixmap(":/pictures/presentation.bmp"));
  image1_->setScaledContents(true);
  image1_->setFixedSize(240, 240);
  lbl_product_name_ = MakeLabel(this, "lblProductName", "CORTEVANE KESTA", 20, true);
  lbl_version_ = MakeLabel(this, "lblVersion", "Version 2.0", 12, true);
  lbl_version_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lbl_copyright_ =
      MakeLabel(this, "lblCopyright", "Copyright © 2004 – Tous droits réservés", 0, false);
  lbl_company_ = MakeLabel(this, "lblCompany", "Cortevane Informatique", 0, false);
  lbl_copyright_->setAlignment(Qt::AlignRight);
  lbl_company_->setAlignment(Qt::AlignRight);
  lbl_warning_ = MakeLabel(this, "lblWarning",
                           "Avertissement : ce logiciel est protégé par la loi sur le droit "
                           "d'auteur et les conventions internationales.",
                           0, false);
  lbl_warning_->setAlignment(Qt::AlignCenter);
}

void EcranPresentation::createLayout() {
  auto* frame = new QFrame(this);
  frame->setObjectName("fraMainFrame");
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(2);

  auto* texts = new QVBoxLayout;
  texts->addSpacing(24);
  texts->addWidget(lbl_product_name_);
  texts->addWidget(lbl_version_);
  texts->addStretch();
  texts->addWidget(lbl_copyright_);
  texts->addWidget(lbl_company_);

  auto* grid = new QGridLayout(frame);
  grid->setContentsMargins(16, 16, 16, 10);
  grid->setHorizontalSpacing(24);
  grid->addWidget(image1_, 0, 0);
  grid->addLayout(texts, 0, 1);
  grid->addWidget(lbl_warning_, 1, 0, 1, 2);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

void EcranPresentation::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ui::CentreOnScreen(*this);
}

void EcranPresentation::Timer1_Timer() {
  ++tick_count_;
  if (tick_count_ != 2) return;
  timer1_->stop();
  ui_.SetScreenPointer(ui::Pointer::kHourglass);
  if (open_main_window_) open_main_window_();
  ui_.SetScreenPointer(ui::Pointer::kDefault);
  close();
}

}  // namespace cortevane::app
