// The search: code field keys and padding, the fifth-digit trigger, the name search, the
// criteria searches and their messages, and the result lines in Lst_Possible.
#include <QFocusEvent>
#include <QTest>

#include "db/status.h"
#include "import_fixture.h"

namespace cortevane::import::testing {
namespace {

using SearchTest = ImportTest;

TEST_F(SearchTest, CodeFieldKeysPaddingAndFifthDigit) {
  auto w = Open();
  QLineEdit* code = Field(*w, "Txt_CodeAide");
  QTest::keyClick(code, Qt::Key_Tab);  // through an empty field: no search for 00000
  std::string shown_during_box;
  ui_.on_box = [&](const ui::ScriptedUi::Box&) { shown_during_box = code->text().toStdString(); };
  QTest::keyClicks(code, "1a2-3");  // letters and signs are refused
  EXPECT_EQ(Boxes(ui_), "");
  QTest::keyClick(code, Qt::Key_Return);
  EXPECT_EQ(Boxes(ui_), "box|48|Message CORTEVANE|Cet aidé n'existe pas.");
  EXPECT_EQ(shown_during_box, "00123");
  EXPECT_EQ(code->text(), "");
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);

  ui_.ClearLog();
  QTest::keyClicks(code, "0004");
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
  QTest::keyClick(code, Qt::Key_Backspace);
  QTest::keyClicks(code, "42");  // the fifth digit searches
  EXPECT_EQ(Boxes(ui_), "");
  EXPECT_EQ(Data(List(*w, "Lst_Possible")), "42");
  EXPECT_EQ(db::ToVisible(w->W_Requete().Text()), "00042]PETIT]Luc]2 RUE BASSE]]]]]]AMIENS]");
}

TEST_F(SearchTest, RechercheWithTwelveListsThatPersonAlone) {
  auto w = Open();
  Field(*w, "Txt_CodeAide")->setText("12");  // fewer than 5: no search by itself
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
  w->Cmd_Recherche_Click();
  EXPECT_EQ(Boxes(ui_), "");
  ui::ListBox* possible = List(*w, "Lst_Possible");
  ASSERT_EQ(Data(possible), "12");
  EXPECT_EQ(
      possible->item(0)->text().toStdString(),
      ResultLine({"00012", "MARTIN", "Anne", "8 AVENUE FOCH", "", "", "", "", "", "LYON", ""}));
  EXPECT_TRUE(w->W_Params().Text().empty());  // a code search sends no request
}

TEST_F(SearchTest, NameSearchIsUpperCasedAndSorted) {
  // A row whose key is no number is left out.
  server_.Put("CIVILAIDE", "ABCDE", PersonRecord({"", "DUPUIS", "X", {}, "", "", "", "", ""}));
  auto w = Open();
  QLineEdit* name = Field(*w, "Txt_NomAide");
  QTest::keyClicks(name, "dup");
  ui_.ClearLog();
  QTest::keyClick(name, Qt::Key_Return);
  EXPECT_EQ(name->text(), "DUP");
  EXPECT_EQ(Data(List(*w, "Lst_Possible")), "3 1 2");  // DUPONT Alain, DUPONT Anne, DUPRE Marc
  EXPECT_EQ(w->W_Params().Field(1),
            "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide PAR PrenomAide PAR CodeAide");
  EXPECT_EQ(ui_.LogText(), "pointer|Chd_Import|11\npointer|Chd_Import|0");
  const QString line = List(*w, "Lst_Possible")->item(0)->text();
  EXPECT_EQ(line.size(), 100);
  EXPECT_TRUE(line.endsWith(" Suppr"));
  EXPECT_TRUE(List(*w, "Lst_Possible")
                  ->item(1)
                  ->text()
                  .startsWith("00001 DUPONT Anne" + QString(12, ' ') + "12 RUE HAUTE BP 4 "));
}

TEST_F(SearchTest, NoMatchAndNothingTyped) {
  auto w = Open();
  w->Cmd_Recherche_Click();
  Field(*w, "Txt_NomAide")->setText("ZZ");
  w->Cmd_Recherche_Click();
  EXPECT_EQ(Boxes(ui_),
            "box|48|Message CORTEVANE|La saisie d'au moins un caractère en code ou nom d'aidé est "
            "nécessaire pour une recherche.\n"
            "box|48|Message CORTEVANE|Aucun aidé ne correspond aux critères de recherche.");
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
  for (const auto& box : ui_.boxes()) EXPECT_EQ(box.owner, "Chd_Import");
}

TEST_F(SearchTest, QuotesTypedInTheNameStayInTheName) {
  server_.Put("CIVILAIDE", "00050", PersonRecord({"", "D'ARC", "Jeanne", {}, "", "", "", "", ""}));
  server_.Put("CIVILAIDE", "00051",
              PersonRecord({"", "LE \"GRAND\"", "Marc", {}, "", "", "", "", ""}));
  auto w = Open();
  QLineEdit* name = Field(*w, "Txt_NomAide");
  auto search = [&](const char* typed) {
    ui_.ClearLog();
    name->setText(QString::fromUtf8(typed));
    w->Cmd_Recherche_Click();
    return Data(List(*w, "Lst_Possible")) + " " + Boxes(ui_);
  };
  // A quote that would close the value lists nobody rather than everyone.
  EXPECT_EQ(search("\" OR NomAide = \""),
            " box|48|Message CORTEVANE|Aucun aidé ne correspond aux critères de recherche.");
  EXPECT_EQ(search("d'a"), "50 ");
  EXPECT_EQ(search("LE \"G"), "51 ");
  EXPECT_EQ(w->W_Params().Field(1).substr(0, 41), "SSELECT CIVILAIDE AVEC NomAide = 'LE \"G]'");
  const std::string refused = " box|48|Message CORTEVANE|" + std::string(kNameNotSearchable);
  EXPECT_EQ(search("D'A\""), refused);
  EXPECT_EQ(search("[DUP"), refused);
  EXPECT_TRUE(w->W_Params().Text().empty());
}

TEST_F(SearchTest, EachFieldEmptiesTheOtherOnFocus) {
  auto w = Open();
  QLineEdit* code = Field(*w, "Txt_CodeAide");
  QLineEdit* name = Field(*w, "Txt_NomAide");
  name->setText("DUP");
  code->setText("12");
  QFocusEvent into_code(QEvent::FocusIn, Qt::TabFocusReason);
  QCoreApplication::sendEvent(code, &into_code);
  EXPECT_EQ(name->text(), "");
  name->setText("DUP");
  QFocusEvent into_name(QEvent::FocusIn, Qt::MouseFocusReason);
  QCoreApplication::sendEvent(name, &into_name);
  EXPECT_EQ(code->text(), "");
  EXPECT_EQ(name->text(), "DUP");
  // The window taking the focus back (after a message box) empties nothing.
  code->setText("12");
  QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(name, &back);
  EXPECT_EQ(code->text(), "12");
}

TEST_F(SearchTest, CriteriaSearchesBuildTheirSentences) {
  auto w = Open();
  Option(*w, "Opt_Responsable")->setChecked(true);
  ui::ListBox* crit = List(*w, "Lst_SelPossible");  // 15 ARNAUD, 12 BERNARD, 20 CARON
  Select(crit, {1, 0});                             // list order: 15 then 12
  w->Ajout_Lst_SelSelection();
  Field(*w, "Txt_CodeAide")->setText("9");
  w->Cmd_Recherche_Click();
  EXPECT_EQ(w->W_Params().Field(1),
            "SSELECT CIVILAIDE  AVEC 39 = \"15\" OR = \"12\" PAR NomAide PAR PrenomAide PAR "
            "CodeAide");
  EXPECT_EQ(Data(List(*w, "Lst_Possible")), "3 1 2 42");
  EXPECT_EQ(Field(*w, "Txt_CodeAide")->text(), "");  // emptied in every mode

  Option(*w, "Opt_Secteur")->setChecked(true);  // Centre 3, Nord 12, Sud 40
  Select(List(*w, "Lst_SelPossible"), {1});
  w->Ajout_Lst_SelSelection();
  w->Cmd_Recherche_Click();
  EXPECT_EQ(w->W_Params().Field(1),
            "SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" PAR NomAide PAR PrenomAide PAR "
            "CodeAide");
  EXPECT_EQ(Data(List(*w, "Lst_Possible")), "3 1 7");  // "012A" and "012" both start with 012

  Option(*w, "Opt_Commune")->setChecked(true);  // AMIENS 11, LYON 9, PARIS 7
  Select(List(*w, "Lst_SelPossible"), {0, 1});
  w->Ajout_Lst_SelSelection();
  w->Cmd_Recherche_Click();
  EXPECT_EQ(w->W_Params().Field(1),
            "SSELECT CIVILAIDE  AVEC 41 = \"11\" OR = \"9\" PAR NomAide PAR PrenomAide PAR "
            "CodeAide");
  EXPECT_EQ(Data(List(*w, "Lst_Possible")), "3 7 12 42");
  EXPECT_EQ(Boxes(ui_), "");
}

TEST_F(SearchTest, CriteriaModeWithoutCriteriaThenBackToCodes) {
  auto w = Open();
  Option(*w, "Opt_Commune")->setChecked(true);
  Field(*w, "Txt_CodeAide")->setText("12");
  w->Cmd_Recherche_Click();
  EXPECT_EQ(Boxes(ui_), "box|48|Message CORTEVANE|au moins un(e) commune doit être sélectionné(e)");
  EXPECT_EQ(Field(*w, "Txt_CodeAide")->text(), "12");  // not emptied after this message
  Option(*w, "Opt_Indiv")->setChecked(true);
  ui_.ClearLog();
  Field(*w, "Txt_CodeAide")->clear();
  QTest::keyClicks(Field(*w, "Txt_CodeAide"), "00007");
  EXPECT_EQ(Data(List(*w, "Lst_Possible")), "7");
  for (auto [option, word] :
       {std::pair{"Opt_Responsable", "responsable"}, {"Opt_Secteur", "secteur"}}) {
    Option(*w, option)->setChecked(true);
    ui_.ClearLog();
    w->Cmd_Recherche_Click();
    EXPECT_EQ(Boxes(ui_), std::string("box|48|Message CORTEVANE|au moins un(e) ") + word +
                              " doit être sélectionné(e)");
    EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
  }
}

TEST_F(SearchTest, FailuresShowTheirStatusAndListNothing) {
  auto w = Open();
  // A code read that fails otherwise than "no record" lists nothing stale.
  Field(*w, "Txt_CodeAide")->setText("12");
  w->Cmd_Recherche_Click();
  ASSERT_EQ(Data(List(*w, "Lst_Possible")), "12");
  ses_serveur_->Disconnect();
  ui_.ClearLog();
  QTest::keyClicks(Field(*w, "Txt_CodeAide"), "00012");
  const std::string not_connected =
      "box|0|Cortevane KESTA|Error Code " + std::to_string(db::kNotConnected) +
      "\r\nLa liaison avec la base a été coupée : quittez le programme, puis relancez-le.";
  EXPECT_EQ(Boxes(ui_), not_connected);
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
  EXPECT_EQ(Field(*w, "Txt_CodeAide")->text(), "");
  // A query that cannot run.
  ui_.ClearLog();
  Field(*w, "Txt_NomAide")->setText("DUP");
  w->Cmd_Recherche_Click();
  EXPECT_EQ(Boxes(ui_), not_connected);
  EXPECT_EQ(List(*w, "Lst_Possible")->count(), 0);
}

}  // namespace
}  // namespace cortevane::import::testing
