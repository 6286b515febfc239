#include "ui/list_box.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <climits>
#include <string>

#include "support/qt_app.h"

namespace cortevane::ui {
namespace {

class ListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::EnsureQApplication(); }

  // The list rendered as "text=data*" per item (* when selected), items joined by " / ".
  static std::string Render(const ListBox& list) {
    std::string out;
    for (int i = 0; i < list.ListCount(); ++i) {
      if (i) out += " / ";
      out += list.List(i) + "=" + std::to_string(list.ItemData(i)) + (list.Selected(i) ? "*" : "");
    }
    return out;
  }

  static void Click(ListBox& list, int index) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                      list.visualItemRect(list.item(index)).center());
  }
};

TEST_F(ListBoxTest, ItemsKeepTheirOrderAndThirtyTwoBitData) {
  ListBox list;
  list.AddItem("ZÉLIE Anne", 42);
  list.AddItem("ALBERT Émile", INT32_MIN);
  EXPECT_EQ(list.NewIndex(), 1);
  list.AddItem("MARTIN Luc", INT32_MAX);
  EXPECT_EQ(Render(list), "ZÉLIE Anne=42 / ALBERT Émile=-2147483648 / MARTIN Luc=2147483647");
  list.SetItemData(0, 7);
  list.RemoveItem(1);
  EXPECT_EQ(Render(list), "ZÉLIE Anne=7 / MARTIN Luc=2147483647");
  // Out of range reads give nothing; writes and removals do nothing.
  EXPECT_EQ(list.List(5), "");
  EXPECT_EQ(list.ItemData(-1), 0);
  list.RemoveItem(9);
  list.SetSelected(9, true);
  EXPECT_EQ(list.ListCount(), 2);
  list.Clear();
  EXPECT_EQ(list.ListCount(), 0);
  EXPECT_EQ(list.NewIndex(), -1);
}

TEST_F(ListBoxTest, AClickTogglesOneItemAndKeepsTheOthers) {
  ListBox list;
  list.resize(200, 200);
  for (int i = 0; i < 4; ++i) list.AddItem("item " + std::to_string(i), i * 10);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

  Click(list, 0);
  Click(list, 2);
  EXPECT_EQ(Render(list), "item 0=0* / item 1=10 / item 2=20* / item 3=30");
  Click(list, 0);
  EXPECT_EQ(Render(list), "item 0=0 / item 1=10 / item 2=20* / item 3=30");
  EXPECT_EQ(list.SelCount(), 1);
  list.SetSelected(3, true);
  list.SetSelected(2, false);
  EXPECT_EQ(Render(list), "item 0=0 / item 1=10 / item 2=20 / item 3=30*");
}

TEST_F(ListBoxTest, DropsOfListDragsAreReportedWithTheirSource) {
  ListBox source;
  ListBox target;
  source.AddItem("COMMUNE A", 1);
  source.AddItem("COMMUNE B", 2);
  source.SetSelected(1, true);
  QSignalSpy spy(&target, &ListBox::Dropped);

  QMimeData list_drag;
  list_drag.setData(ListBox::kDragMimeType, QByteArray("1"));
  const QPointF at(5, 5);
  // Qt delivers a drop to the widget that accepted the drag's entry.
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &list_drag, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target.viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &list_drag, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target.viewport(), &drop);
  ASSERT_EQ(spy.count(), 1);
  // The items never travel by themselves: the window decides from the selections.
  EXPECT_EQ(target.ListCount(), 0);
  EXPECT_EQ(source.ListCount(), 2);

  QMimeData text_drag;
  text_drag.setText("DUPONT");
  QDragEnterEvent foreign(at.toPoint(), Qt::CopyAction, &text_drag, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target.viewport(), &foreign);
  EXPECT_FALSE(foreign.isAccepted());
  EXPECT_EQ(spy.count(), 1);
  EXPECT_EQ(target.ListCount(), 0);
}

}  // namespace
}  // namespace cortevane::ui
