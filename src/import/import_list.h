// ImportList: a list of the import window. Items keep insertion order, a click toggles an
// item's selection, and the 32-bit identity of an entry travels in Qt::UserRole (the text is
// only shown). A list made a drag source starts a drag when the pointer moves with any mouse
// button held; every list accepts drops of this window's drags and reports them through
// dropped(), whatever list the drag came from, except a drag released over the list it
// started from, which is taken as a click that moved rather than a transfer.
#pragma once

#include <QListWidget>
#include <QPoint>
#include <cstdint>
#include <string_view>

namespace cortevane::import {

class ImportList : public QListWidget {
  Q_OBJECT

 public:
  explicit ImportList(QWidget* parent = nullptr);

  void SetDragSource(bool source) { drag_source_ = source; }

  // Appends an unselected item showing `text` and carrying `data`.
  void Append(std::string_view text, std::int32_t data);
  void Append(const QString& text, std::int32_t data);
  static std::int32_t Data(const QListWidgetItem* item);

  // The drop of a drag of this window on this list (what a real drop does after its checks).
  void Drop() { emit dropped(); }

  static const char* MimeType();

 signals:
  void dropped();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void StartDrag();

  bool drag_source_ = false;
  QPoint press_position_;
  bool pressed_ = false;
};

}  // namespace cortevane::import
