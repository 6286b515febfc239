// ListBox: a list of items, each a shown text and a 32-bit signed item data that identifies it
// (a record key, a person's code). Items stay in insertion order; a click toggles an item's
// selection, so several can be selected at once. Indexes count from 0.
//
// Drag and drop between lists carries no data of its own: a list made a drag source starts a
// drag when the pointer moves with a button held, and any ListBox receiving the drag emits
// Dropped(source). What a drop does is up to the window, which reads the lists' selections.
#pragma once

#include <QListWidget>
#include <cstdint>
#include <string>
#include <string_view>

namespace cortevane::ui {

class ListBox : public QListWidget {
  Q_OBJECT

 public:
  // The drag's MIME type; only ListBox drags are accepted.
  static constexpr const char* kDragMimeType = "application/x-cortevane-list";

  explicit ListBox(QWidget* parent = nullptr);

  int ListCount() const { return count(); }
  // Appends an item at the end; NewIndex() is then its index.
  void AddItem(std::string_view text, std::int32_t item_data = 0);
  int NewIndex() const { return new_index_; }
  void RemoveItem(int index);
  void Clear();

  // Text and item data of item `index`: empty text and 0 when there is no such item.
  std::string List(int index) const;
  std::int32_t ItemData(int index) const;
  void SetItemData(int index, std::int32_t item_data);

  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  int SelCount() const;

  // Whether dragging from this list is allowed (off by default). Every ListBox accepts drops.
  void SetDragSource(bool on);

 signals:
  void Dropped(cortevane::ui::ListBox* source);

 protected:
  void startDrag(Qt::DropActions supported_actions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  int new_index_ = -1;
};

}  // namespace cortevane::ui
