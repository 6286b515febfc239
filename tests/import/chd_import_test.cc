// The import window: opening, modes and their display, leaving, criteria loading and the
// transfers between lists.
#include "import/chd_import.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include "import/column_titles.h"

#include "import_fixture.h"

namespace cortevane::import::testing {
namespace {

// The enabled/visible states that Controle_Affichage sets, as one text.
std::string Display(QWidget& w) {
  auto on = [&](const char* name) {
    return w.findChild<QWidget*>(name)->isEnabled() ? "on" : "off";
  };
  auto shown = [&](const char* name) {
    return w.findChild<QWidget*>(name)->isHidden() ? "hidden" : "shown";
  };
  return std::string("lists ") + on("Lst_SelPossible") + "/" + on("Lst_SelSelection") + " arrows " +
         on("Cmd_AjoutSel") + "/" + on("Cmd_RetraitSel") + " search " + shown("Etq_Aide") + "/" +
         shown("Txt_CodeAide") + "/" + shown("Txt_NomAide");
}

using ChdImportWindowTest = ImportTest;

TEST_F(ChdImportWindowTest, OpensInIndividualModeWithEmptyLists) {
  auto w = Open();
  EXPECT_EQ(w->objectName(), "Chd_Import");
  EXPECT_EQ(w->windowTitle(), "Transfert des dossiers aidé du serveur vers le portable");
  EXPECT_EQ(w->CurrentMode(), Mode::kIndividuelle);
  EXPECT_TRUE(Option(*w, "Opt_Indiv")->isChecked());
  EXPECT_EQ(Display(*w), "lists off/off arrows off/off search shown/shown/shown");
  for (const char* name : {"Lst_SelPossible", "Lst_SelSelection", "Lst_Possible", "Lst_Selection"})
    EXPECT_EQ(List(*w, name)->count(), 0) << name;
  EXPECT_EQ(Field(*w, "Txt_CodeAide")->maxLength(), 5);
  // Drags begin only on the two criteria lists.
  EXPECT_TRUE(List(*w, "Lst_SelPossible")->dragEnabled());
  EXPECT_TRUE(List(*w, "Lst_SelSelection")->dragEnabled());
  EXPECT_FALSE(List(*w, "Lst_Possible")->dragEnabled());
  EXPECT_FALSE(List(*w, "Lst_Selection")->dragEnabled());
  EXPECT_EQ(Child<QLabel>(*w, "Label4_0")->text().toStdString(), ColumnHeader());
  EXPECT_EQ(Child<QLabel>(*w, "Label4_1")->text().toStdString(), ColumnHeader());
  for (const char* name : {"Lst_Possible", "Lst_Selection"}) {
    const QFontMetrics metrics(List(*w, name)->font());
    EXPECT_EQ(metrics.horizontalAdvance("iiiii"), metrics.horizontalAdvance("MMMMM")) << name;
  }
  EXPECT_EQ(ui_.LogText(), "");  // nothing read, nothing shown at opening
}

// Each title begins where its column of the fixed-pitch lines begins, whatever the fonts: the
// first over the first character of a line, the others the column times the character width
// further, and all of them follow the list when it scrolls sideways.
TEST_F(ChdImportWindowTest, ColumnTitlesStandOverTheirColumns) {
  auto w = Open();
  w->resize(700, 600);  // narrower than the lines: the list scrolls sideways
  w->show();
  EXPECT_EQ(Child<QLabel>(*w, "Etq_NbPossible")->text().toStdString(), "0 aidé");
  Field(*w, "Txt_NomAide")->setText("DUP");
  w->Cmd_Recherche_Click();
  w->Cmd_Tous_Click();
  // Each list says how many persons it holds.
  EXPECT_EQ(Child<QLabel>(*w, "Etq_NbPossible")->text().toStdString(), "3 aidés");
  EXPECT_EQ(Child<QLabel>(*w, "Etq_NbSelection")->text().toStdString(), "3 aidés");
  for (const char* list_name : {"Lst_Possible", "Lst_Selection"}) {
    ui::ListBox* list = List(*w, list_name);
    auto* titles = w->findChild<ColumnTitles*>(
        list_name == std::string("Lst_Possible") ? "Label4_0" : "Label4_1");
    ASSERT_NE(titles, nullptr);
    ASSERT_GT(list->count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(titles->Titles().join('|').toStdString(), "Code|Nom Prénom|Adresse|Ville|Etat");
    const double width = QFontMetricsF(list->font()).horizontalAdvance(QLatin1Char('0'));
    auto first_character = [&] {
      const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list);
      return list->viewport()->mapTo(w.get(), list->visualItemRect(list->item(0)).topLeft()).x() -
             titles->mapTo(w.get(), QPoint(0, 0)).x() + margin + 1;
    };
    std::vector<double> xs = titles->TitlePositions();
    ASSERT_EQ(xs.size(), 5u);
    EXPECT_NEAR(xs[0], first_character(), 0.01);
    const int columns[] = {0, 6, 29, 77, 95};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(xs[i] - xs[0], columns[i] * width, 0.01) << i;
    QScrollBar* sideways = list->horizontalScrollBar();
    sideways->setValue(sideways->maximum());
    ASSERT_GT(sideways->value(), 0);
    EXPECT_NEAR(titles->TitlePositions()[0], first_character(), 0.01);
    EXPECT_NEAR(titles->TitlePositions()[0], xs[0] - sideways->value(), 0.01);
  }
  // The caption's own width no longer holds the window wide, yet at its preferred size the
  // window shows whole lines without scrolling sideways.
  EXPECT_LT(w->findChild<QLabel*>("Label4_0")->minimumSizeHint().width(), 100);
  w->resize(w->sizeHint());
  QCoreApplication::processEvents();
  EXPECT_EQ(List(*w, "Lst_Possible")->horizontalScrollBar()->maximum(), 0);
  w->hide();
}

TEST_F(ChdImportWindowTest, CloseIsRefusedWithAWordUntilSortir) {
  auto w = Open();
  w->show();
  QApplication::setActiveWindow(w.get());
  QCoreApplication::processEvents();
  // A name can be typed at once.
  EXPECT_EQ(QApplication::focusWidget(), Field(*w, "Txt_NomAide"));
  ui_.SetMenuEnabled(ui::MenuEntry::kExport, false);
  ui_.ClearLog();
  EXPECT_FALSE(w->close());
  QTest::keyClick(w.get(), Qt::Key_Escape);
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(ui_.MenuEnabled(ui::MenuEntry::kExport));
  const std::string refused = "Fermez d'abord la fenêtre d'importation avec « Sortir ».";
  // The status line each time, a box the first time only; the focus goes to "Sortir".
  EXPECT_EQ(ui_.LogText(),
            "status|" + refused + "\nbox|48|Message CORTEVANE|" + refused + "\nstatus|" + refused);
  EXPECT_EQ(QApplication::focusWidget(), Child<QPushButton>(*w, "Cmd_Sortir"));
  ui_.ClearLog();

  Child<QPushButton>(*w, "Cmd_Sortir")->click();
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(w->W_Fin());
  EXPECT_EQ(ui_.LogText(), "pointer|Chd_Import|0\nmenu|export|on");
}

TEST_F(ChdImportWindowTest, ModeChangesKeepChosenPersonsAndSearchText) {
  auto w = Open();
  Field(*w, "Txt_NomAide")->setText("dup");
  w->Cmd_Recherche_Click();
  Select(List(*w, "Lst_Possible"), {0});
  w->Ajout_Lst_Selection();
  Field(*w, "Txt_NomAide")->setText("MAR");

  Option(*w, "Opt_Commune")->setChecked(true);
  EXPECT_EQ(w->CurrentMode(), Mode::kCommune);
  EXPECT_EQ(Display(*w), "lists on/on arrows on/on search hidden/hidden/hidden");
  // "Recherche" keeps its width when the fields beside it are hidden.
  w->resize(900, 700);
  w->show();
  QCoreApplication::processEvents();
  auto* recherche = Child<QPushButton>(*w, "Cmd_Recherche");
  EXPECT_LE(recherche->width(), recherche->sizeHint().width() + 2);
  w->hide();
  EXPECT_EQ(Data(List(*w, "Lst_SelPossible")), "11 9 7");
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
  EXPECT_EQ(Data(List(*w, "Lst_Selection")), "3");

  Select(List(*w, "Lst_SelPossible"), {1});
  w->Ajout_Lst_SelSelection();
  Option(*w, "Opt_Indiv")->setChecked(true);
  EXPECT_EQ(Display(*w), "lists off/off arrows off/off search shown/shown/shown");
  EXPECT_EQ(List(*w, "Lst_SelPossible")->count() + List(*w, "Lst_SelSelection")->count(), 0);
  EXPECT_EQ(Data(List(*w, "Lst_Selection")), "3");
  EXPECT_EQ(Field(*w, "Txt_NomAide")->text(), "MAR");
}

TEST_F(ChdImportWindowTest, SecteurLoadsEntriesInLabelOrderWithKeysAsData) {
  auto w = Open();
  ui_.ClearLog();
  Option(*w, "Opt_Secteur")->setChecked(true);
  EXPECT_EQ(Texts(List(*w, "Lst_SelPossible")), "Centre | Nord | Sud");
  EXPECT_EQ(Data(List(*w, "Lst_SelPossible")), "3 12 40");
  EXPECT_EQ(ui_.LogText(), "pointer|Chd_Import|11\npointer|Chd_Import|0");
}

TEST_F(ChdImportWindowTest, CriteriaRoutineErrorEmptyResultAndBadKeys) {
  server_.store().DropFile("COMMUNES");  // the query then fails: unknown file
  server_.store().Clear("SECTEUR");
  server_.Put("RESPONSABLE", "ABC", "AAA not a number");
  server_.Put("RESPONSABLE", "99999999999", "AAB too large");
  auto w = Open();
  ui_.ClearLog();
  Option(*w, "Opt_Commune")->setChecked(true);
  EXPECT_EQ(ui_.LogText(),
            "pointer|Chd_Import|11\nbox|48|Message CORTEVANE|Aucune commune trouvée.\n"
            "pointer|Chd_Import|0");
  EXPECT_EQ(List(*w, "Lst_SelPossible")->count() + List(*w, "Lst_SelSelection")->count(), 0);
  EXPECT_EQ(Display(*w), "lists on/on arrows on/on search hidden/hidden/hidden");

  ui_.ClearLog();
  Option(*w, "Opt_Secteur")->setChecked(true);  // succeeds, selects nothing: no message
  EXPECT_EQ(Boxes(ui_), "");
  EXPECT_EQ(List(*w, "Lst_SelPossible")->count(), 0);

  Option(*w, "Opt_Responsable")->setChecked(true);  // keys that are no 32-bit number are left out
  EXPECT_EQ(Data(List(*w, "Lst_SelPossible")), "15 12 20");
}

// ---- Transfers.

class TransferTest : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    w_ = Open();
    Field(*w_, "Txt_NomAide")->setText("D");  // DUPONT Alain, DUPONT Anne, DUPRE, DURAND
    w_->Cmd_Recherche_Click();
    possible_ = List(*w_, "Lst_Possible");
    selection_ = List(*w_, "Lst_Selection");
    ASSERT_EQ(Data(possible_), "3 1 2 7");
  }
  std::unique_ptr<Chd_Import> w_;
  ui::ListBox* possible_ = nullptr;
  ui::ListBox* selection_ = nullptr;
};

TEST_F(TransferTest, AddCopiesOnceAndDeselects) {
  w_->Ajout_Lst_Selection();  // nothing selected: nothing changes
  EXPECT_EQ(selection_->count(), 0);

  Select(possible_, {1, 3});
  w_->Ajout_Lst_Selection();
  EXPECT_EQ(Data(selection_), "1 7");
  EXPECT_EQ(Data(possible_), "3 1 2 7");  // the source keeps its entries
  EXPECT_TRUE(possible_->selectedItems().isEmpty());
  EXPECT_TRUE(selection_->selectedItems().isEmpty());
  EXPECT_EQ(selection_->item(0)->text(), possible_->item(1)->text());

  Select(possible_, {1, 2});  // 1 already chosen: only deselected
  w_->Ajout_Lst_Selection();
  EXPECT_EQ(Data(selection_), "1 7 2");
  EXPECT_TRUE(possible_->selectedItems().isEmpty());
}

TEST_F(TransferTest, RemoveTousAndDuplicateIdentities) {
  possible_->AddItem("copy of 00001", 1);  // two selected items, one identity: one entry
  Select(possible_, {1, 4});
  w_->Ajout_Lst_Selection();
  EXPECT_EQ(Data(selection_), "1");
  w_->Cmd_Tous_Click();
  w_->Cmd_Tous_Click();  // the second time appends nothing
  EXPECT_EQ(Data(selection_), "1 3 2 7");
  EXPECT_TRUE(possible_->selectedItems().isEmpty());
  Select(selection_, {0, 2});
  w_->Retrait_Lst_Selection();
  EXPECT_EQ(Data(selection_), "3 7");
  Select(possible_, {1});  // removed, then added again: at the end
  w_->Ajout_Lst_Selection();
  EXPECT_EQ(Data(selection_), "3 7 1");
  Select(selection_, {0, 1, 2});
  w_->Retrait_Lst_Selection();
  EXPECT_EQ(selection_->count(), 0);
}

TEST_F(TransferTest, DoubleClicksButtonsAndDropsRunTheirTransfer) {
  Select(possible_, {2});
  emit possible_->itemDoubleClicked(possible_->item(2));
  EXPECT_EQ(Data(selection_), "2");
  Select(possible_, {0});
  ui::ListBox* criteria = List(*w_, "Lst_SelPossible");  // where drags come from
  emit selection_->Dropped(
      criteria);  // a drop on Lst_Selection adds what Lst_Possible has selected
  EXPECT_EQ(Data(selection_), "2 3");
  Select(selection_, {0});
  emit possible_->Dropped(
      criteria);  // a drop on Lst_Possible removes what Lst_Selection has selected
  EXPECT_EQ(Data(selection_), "3");
  Select(selection_, {0});
  emit selection_->itemDoubleClicked(selection_->item(0));
  EXPECT_EQ(selection_->count(), 0);
  Select(possible_, {3});
  Child<QPushButton>(*w_, "Cmd_AjoutAide")->click();
  EXPECT_EQ(Data(selection_), "7");
  Select(selection_, {0});
  Child<QPushButton>(*w_, "Cmd_SupprAide")->click();
  EXPECT_EQ(selection_->count(), 0);

  Option(*w_, "Opt_Responsable")->setChecked(true);
  ui::ListBox* crit_possible = List(*w_, "Lst_SelPossible");
  ui::ListBox* crit_chosen = List(*w_, "Lst_SelSelection");
  Select(crit_possible, {0, 2});
  emit crit_chosen->Dropped(crit_possible);
  EXPECT_EQ(Data(crit_chosen), "15 20");
  Select(crit_chosen, {1});
  emit crit_chosen->Dropped(crit_chosen);  // released over its own list: no transfer
  EXPECT_EQ(Data(crit_chosen), "15 20");
  emit crit_possible->Dropped(crit_chosen);
  EXPECT_EQ(Data(crit_chosen), "15");
  Select(crit_possible, {1});
  emit crit_possible->itemDoubleClicked(crit_possible->item(1));
  Child<QPushButton>(*w_, "Cmd_AjoutSel")->click();  // nothing selected any more
  EXPECT_EQ(Data(crit_chosen), "15 12");
  Select(crit_chosen, {0});
  Child<QPushButton>(*w_, "Cmd_RetraitSel")->click();
  EXPECT_EQ(Data(crit_chosen), "12");
}

}  // namespace
}  // namespace cortevane::import::testing
