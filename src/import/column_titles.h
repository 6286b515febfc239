// ColumnTitles: the titles over a list of fixed-width lines. Its text is the header caption
// (titles separated by runs of blanks), which stays the label's text; but the caption is
// written in the window's proportional font while the lines below use a fixed-pitch one, so
// the label does not draw the caption as it stands: it draws each title at the x where its
// column of the list's lines begins (the column times the list font's character width, from
// where the list draws its text), following the list when it scrolls sideways.
#pragma once

#include <QLabel>
#include <QPointer>
#include <vector>

class QListWidget;

namespace cortevane::import {

class ColumnTitles : public QLabel {
  Q_OBJECT

 public:
  // `caption` holds one title per column of `columns` (character positions in the list's
  // lines), in order; `line_characters` is the length of a whole line. The list must be a
  // sibling shown below; it is not owned.
  ColumnTitles(const QString& caption, QListWidget* list, std::vector<int> columns,
               int line_characters, QWidget* parent = nullptr);

  // The titles, and the x (in this widget) at which each is drawn.
  QStringList Titles() const;
  std::vector<double> TitlePositions() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPointer<QListWidget> list_;
  std::vector<int> columns_;
  int line_characters_;
};

}  // namespace cortevane::import
