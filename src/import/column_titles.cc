#include "import/column_titles.h"

#include <cmath>

#include <QFontMetricsF>
#include <QListWidget>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>

namespace cortevane::import {

ColumnTitles::ColumnTitles(const QString& caption, QListWidget* list, std::vector<int> columns,
                           int line_characters, QWidget* parent)
    : QLabel(caption, parent),
      list_(list),
      columns_(std::move(columns)),
      line_characters_(line_characters) {
  // Sideways, the list scrolls by pixels, and its titles with it.
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  connect(list->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          qOverload<>(&QWidget::update));
}

QStringList ColumnTitles::Titles() const {
  static const QRegularExpression kGap(QStringLiteral(" {2,}"));
  return text().trimmed().split(kGap, Qt::SkipEmptyParts);
}

std::vector<double> ColumnTitles::TitlePositions() const {
  std::vector<double> out;
  if (!list_) return out;
  // Where the list draws the first character of its lines: the item's left edge in the
  // viewport, moved by the sideways scroll, plus the margin the style keeps before item text.
  const QPoint viewport =
      list_->viewport()->mapTo(window(), QPoint(0, 0)) - mapTo(window(), QPoint(0, 0));
  const int margin = list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 1;
  const double origin = viewport.x() - list_->horizontalScrollBar()->value() + margin;
  const double width = QFontMetricsF(list_->font()).horizontalAdvance(QLatin1Char('0'));
  const qsizetype titles = Titles().size();
  for (size_t i = 0; i < columns_.size() && static_cast<qsizetype>(i) < titles; ++i)
    out.push_back(origin + columns_[i] * width);
  return out;
}

QSize ColumnTitles::sizeHint() const {
  // Wide enough for a whole line of the list below, its frame, margin and scroll bar, so the
  // window opens with every column in view; narrower is allowed (the list then scrolls).
  QSize hint = minimumSizeHint();
  if (!list_) return hint;
  const double width = QFontMetricsF(list_->font()).horizontalAdvance(QLatin1Char('0'));
  const int margin = list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 1;
  const int chrome =
      2 * (list_->frameWidth() + margin) + list_->verticalScrollBar()->sizeHint().width();
  hint.rwidth() += static_cast<int>(std::ceil(line_characters_ * width)) + chrome;
  return hint;
}

QSize ColumnTitles::minimumSizeHint() const {
  // The caption's own width would hold the window wider than the lines need.
  const QMargins m = contentsMargins();
  return {m.left() + m.right(), fontMetrics().height() + m.top() + m.bottom()};
}

void ColumnTitles::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  const QStringList titles = Titles();
  const std::vector<double> xs = TitlePositions();
  const QRectF area = contentsRect();
  for (size_t i = 0; i < xs.size(); ++i) {
    const QRectF cell(xs[i], area.top(), area.right() - xs[i], area.height());
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     titles[static_cast<qsizetype>(i)]);
  }
}

}  // namespace cortevane::import
