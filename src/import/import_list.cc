#include "import/import_list.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace cortevane::import {

ImportList::ImportList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setSortingEnabled(false);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::NoDragDrop);  // drags are ours, not the view's item moves
  viewport()->setAcceptDrops(true);
  setUniformItemSizes(true);  // one font, one line per item: lets long lists lay out quickly
}

const char* ImportList::MimeType() { return "application/x-cortevane-import-drag"; }

void ImportList::Append(std::string_view text, std::int32_t data) {
  Append(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), data);
}

void ImportList::Append(const QString& text, std::int32_t data) {
  auto* item = new QListWidgetItem(text);
  item->setData(Qt::UserRole, data);
  addItem(item);
}

std::int32_t ImportList::Data(const QListWidgetItem* item) {
  return item->data(Qt::UserRole).toInt();
}

void ImportList::mousePressEvent(QMouseEvent* event) {
  press_position_ = event->position().toPoint();
  pressed_ = true;
  QListWidget::mousePressEvent(event);  // the press still toggles the item under it
}

void ImportList::mouseMoveEvent(QMouseEvent* event) {
  if (!drag_source_) {
    QListWidget::mouseMoveEvent(event);
    return;
  }
  if (event->buttons() == Qt::NoButton) pressed_ = false;
  // Any button held counts; the shift keys do not matter.
  if (pressed_ && event->buttons() != Qt::NoButton &&
      (event->position().toPoint() - press_position_).manhattanLength() >=
          QApplication::startDragDistance()) {
    pressed_ = false;
    StartDrag();
  }
}

void ImportList::StartDrag() {
  auto* mime = new QMimeData;
  mime->setData(MimeType(), objectName().toUtf8());
  // The drag image: a small label telling how many entries go with the pointer.
  const int count = static_cast<int>(selectedItems().size());
  const QString label =
      count > 1 ? QString::number(count) + " éléments" : QStringLiteral("1 élément");
  QPixmap image(fontMetrics().horizontalAdvance(label) + 12, fontMetrics().height() + 6);
  image.fill(palette().color(QPalette::ToolTipBase));
  QPainter painter(&image);
  painter.setPen(palette().color(QPalette::ToolTipText));
  painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
  painter.drawText(image.rect(), Qt::AlignCenter, label);
  painter.end();

  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->setPixmap(image);
  drag->exec(Qt::MoveAction);
}

void ImportList::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasFormat(MimeType()) && event->source() != this)
    event->acceptProposedAction();
  else
    event->ignore();
}

void ImportList::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasFormat(MimeType()) && event->source() != this)
    event->acceptProposedAction();
  else
    event->ignore();
}

void ImportList::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasFormat(MimeType()) || event->source() == this) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  Drop();
}

}  // namespace cortevane::import
