#include "ui/list_box.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QStyle>

namespace cortevane::ui {

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::MultiSelection);
  setSortingEnabled(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);  // result lists can hold thousands of lines
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDragEnabled(false);
}

void ListBox::AddItem(std::string_view text, std::int32_t item_data) {
  auto* item =
      new QListWidgetItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  item->setData(Qt::UserRole, item_data);
  addItem(item);
  new_index_ = count() - 1;
}

void ListBox::RemoveItem(int index) {
  if (index < 0 || index >= count()) return;
  delete takeItem(index);
  if (new_index_ >= count()) new_index_ = count() - 1;
}

void ListBox::Clear() {
  clear();
  new_index_ = -1;
}

std::string ListBox::List(int index) const {
  const QListWidgetItem* it = item(index);
  return it ? it->text().toStdString() : std::string();
}

std::int32_t ListBox::ItemData(int index) const {
  const QListWidgetItem* it = item(index);
  return it ? it->data(Qt::UserRole).toInt() : 0;
}

void ListBox::SetItemData(int index, std::int32_t item_data) {
  if (QListWidgetItem* it = item(index)) it->setData(Qt::UserRole, item_data);
}

bool ListBox::Selected(int index) const {
  const QListWidgetItem* it = item(index);
  return it && it->isSelected();
}

void ListBox::SetSelected(int index, bool selected) {
  if (QListWidgetItem* it = item(index)) it->setSelected(selected);
}

int ListBox::SelCount() const { return static_cast<int>(selectedItems().size()); }

void ListBox::SetDragSource(bool on) { setDragEnabled(on); }

void ListBox::startDrag(Qt::DropActions) {
  if (SelCount() == 0) return;
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData(kDragMimeType, QByteArray("1"));
  drag->setMimeData(mime);
  drag->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(24, 24));
  drag->exec(Qt::CopyAction);
}

void ListBox::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasFormat(kDragMimeType)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ListBox::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasFormat(kDragMimeType)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ListBox::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasFormat(kDragMimeType)) {
    event->ignore();
    return;
  }
  // The items themselves never move: the window decides what the drop means.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  emit Dropped(qobject_cast<ListBox*>(event->source()));
}

}  // namespace cortevane::ui
