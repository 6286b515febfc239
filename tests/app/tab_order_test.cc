// Tab moves through every window in the order its layout shows the controls: top to bottom,
// left to right within a row, and through a group box's controls where the box stands.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFormLayout>
#include <QGridLayout>
#include <QLayout>
#include <algorithm>

#include "app/frm_apercu.h"
#include "app/frm_journal.h"
#include "connection/frm_connexion.h"
#include "connection/frm_selection_base.h"
#include "db/session.h"
#include "import/chd_import.h"
#include "support/qt_app.h"
#include "ui/scripted_ui.h"

namespace cortevane::app {
namespace {

void InLayoutOrder(QLayout* layout, QList<QWidget*>* names);

// `widget` when it takes Tab and is shown, else the controls its own layout holds.
void InLayoutOrder(QWidget* widget, QList<QWidget*>* names) {
  if (!widget->isVisibleTo(widget->window()) || !widget->isEnabled()) return;
  if (widget->focusPolicy() & Qt::TabFocus) {
    names->append(widget);
  } else if (widget->layout()) {
    InLayoutOrder(widget->layout(), names);
  }
}

// The items of `layout` in reading order: grids and forms by row then column, boxes in order.
void InLayoutOrder(QLayout* layout, QList<QWidget*>* names) {
  struct Placed {
    int row, column;
    QLayoutItem* item;
  };
  std::vector<Placed> items;
  for (int i = 0; i < layout->count(); ++i) {
    Placed placed{0, i, layout->itemAt(i)};
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
      int row_span, column_span;
      grid->getItemPosition(i, &placed.row, &placed.column, &row_span, &column_span);
    } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
      QFormLayout::ItemRole role;
      form->getItemPosition(i, &placed.row, &role);
      placed.column = role;
    }
    items.push_back(placed);
  }
  std::stable_sort(items.begin(), items.end(), [](const Placed& a, const Placed& b) {
    return std::tie(a.row, a.column) < std::tie(b.row, b.column);
  });
  for (const Placed& placed : items) {
    if (QWidget* widget = placed.item->widget()) {
      InLayoutOrder(widget, names);
    } else if (QLayout* inner = placed.item->layout()) {
      InLayoutOrder(inner, names);
    }
  }
}

// "" when Tab, from the window, visits its shown controls in layout order; else both orders.
std::string TabOrderFault(QWidget& window) {
  window.show();
  QCoreApplication::processEvents();
  QList<QWidget*> expected;
  InLayoutOrder(window.layout(), &expected);
  QList<QWidget*> chain;
  for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
    if (expected.contains(w) && !chain.contains(w)) chain.append(w);
  auto names = [](const QList<QWidget*>& widgets) {
    std::string out;
    for (QWidget* w : widgets)
      out += " " + (w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                              : w->objectName().toStdString());
    return out;
  };
  window.hide();
  if (expected.size() < 2) return window.objectName().toStdString() + ": no controls found";
  if (chain == expected) return "";
  return window.objectName().toStdString() + ": layout" + names(expected) + " / Tab" + names(chain);
}

TEST(TabOrderTest, EveryWindowFollowsItsLayout) {
  testing::EnsureQApplication();
  ui::ScriptedUi scripted;
  db::Session laptop, office;
  connection::Frm_SelectionBase selection(laptop, office, scripted);
  connection::Frm_Connexion identification(laptop, office, scripted);
  Frm_Apercu preview(laptop, office, "ALICE", scripted);
  Frm_Journal journal(scripted, "/nonexistent/");
  import::Chd_Import import_window(laptop, office, "alice", scripted);
  for (QWidget* window : std::initializer_list<QWidget*>{&selection, &identification, &preview,
                                                         &journal, &import_window})
    EXPECT_EQ(TabOrderFault(*window), "");
  // The import window shows other controls in each search mode.
  for (const char* mode : {"Opt_Responsable", "Opt_Secteur", "Opt_Commune", "Opt_Indiv"}) {
    import_window.findChild<QAbstractButton*>(mode)->setChecked(true);
    EXPECT_EQ(TabOrderFault(import_window), "") << mode;
  }
}

}  // namespace
}  // namespace cortevane::app
