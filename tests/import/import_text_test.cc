#include "import/import_text.h"

#include <gtest/gtest.h>

#include <QString>

#include "import/mod_proc.h"

namespace cortevane::import {
namespace {

using db::FromVisible;
using db::ToVisible;

// The result line of a search result row given with visible marks (] between values).
std::string Line(std::string_view visible) {
  const std::string row = FromVisible(visible);
  const db::Pieces values = db::ValuesOf(row);
  return ResultLine({values.begin(), values.end()});
}

TEST(ColumnHeaderTest, TitlesStandAtTheirColumns) {
  const QString header = QString::fromStdString(ColumnHeader());
  EXPECT_EQ(header.size(), 205);
  EXPECT_EQ(header.indexOf("Code"), 0);
  EXPECT_EQ(header.indexOf("Nom Prénom"), 20);
  EXPECT_EQ(header.indexOf("Adresse"), 94);
  EXPECT_EQ(header.indexOf("Ville"), 172);
  EXPECT_EQ(header.indexOf("Etat"), 201);
  EXPECT_EQ(header.simplified(), "Code Nom Prénom Adresse Ville Etat");
}

TEST(ItemDataTest, OnlyDecimalNumbersThatFitIn32Bits) {
  EXPECT_EQ(ParseItemData("00042"), 42);
  EXPECT_EQ(ParseItemData("0"), 0);
  EXPECT_EQ(ParseItemData("2147483647"), 2147483647);
  EXPECT_EQ(ParseItemData("2147483648"), std::nullopt);
  EXPECT_EQ(ParseItemData("99999999999"), std::nullopt);
  EXPECT_EQ(ParseItemData(""), std::nullopt);
  EXPECT_EQ(ParseItemData("12A"), std::nullopt);
  EXPECT_EQ(ParseItemData(" 12"), std::nullopt);
  EXPECT_EQ(ParseItemData("-5"), std::nullopt);
  EXPECT_EQ(ParseItemData("1.5"), std::nullopt);
}

TEST(PadCodeTest, PadsToFiveKeepsLonger) {
  EXPECT_EQ(PadCode(7), "00007");
  EXPECT_EQ(PadCode(42), "00042");
  EXPECT_EQ(PadCode("123"), "00123");
  EXPECT_EQ(PadCode("12345"), "12345");
  EXPECT_EQ(PadCode(123456), "123456");
}

TEST(ResultLineTest, ColumnsOfAFullLine) {
  const std::string line = Line("00042]MARTIN]Anne]12 RUE HAUTE]]BP 4]]]]  PARIS ]");
  EXPECT_EQ(line, "00042 MARTIN Anne" + std::string(12, ' ') + "12 RUE HAUTE BP 4" +
                      std::string(30, ' ') + " PARIS" + std::string(12, ' ') + " Actif");
  EXPECT_EQ(CharCount(line), 100);
  // The columns the titles are drawn over are where the parts begin.
  std::string starts;
  for (int column : kResultColumns) starts += line.substr(static_cast<size_t>(column), 2) + "|";
  EXPECT_EQ(starts, "00|MA|12|PA|Ac|");
}

TEST(ResultLineTest, LongNameIsCutAndTheAddressFollowsDirectly) {
  const std::string line = Line("00001]DE LA FONTAINE-MARTIGNAC]Jean-Baptiste]1 PLACE]]]]]]LYON]");
  EXPECT_EQ(line.substr(0, 6 + 23 + 7), "00001 DE LA FONTAINE-MARTIGNA1 PLACE");
}

TEST(ResultLineTest, AddressPartsJoinWithSingleBlanks) {
  // Blanks inside a part stay; empty parts and outer blanks vanish.
  std::string address = Line("00003]A]B]  ]  5  RUE ]]BIS]]  ]X]").substr(6 + 23, 47);
  EXPECT_EQ(std::string(Trim(address)), "5  RUE BIS");
}

TEST(ResultLineTest, StateAndAccentedNames) {
  // Any content in field 43, even blanks, marks the person deleted.
  EXPECT_EQ(Line("00002]X]Y]]]]]]]Z] ").substr(94), " Suppr");
  EXPECT_EQ(Line("00002]X]Y]]]]]]]Z]D").substr(94), " Suppr");
  EXPECT_EQ(Line("00002]X]Y]]]]]]]Z").substr(94), " Actif");
  // Columns count characters, so an accented name does not shift the columns after it.
  const std::string line = Line("00009]LEFÈVRE]Hélène]1 RUE]]]]]]ÉVREUX]");
  EXPECT_EQ(CharCount(line), 100);
}

TEST(SentenceTest, CriteriaSentencesKeepTheirBlanks) {
  EXPECT_EQ(ToVisible(CriteriaRequest(Mode::kResponsable, {12, 15}).Text()),
            "SSELECT CIVILAIDE  AVEC 39 = \"12\" OR = \"15\" PAR NomAide PAR PrenomAide PAR "
            "CodeAide^CIVILAIDE^0 2 3 5 6 7 8 9 10 11 43");
  EXPECT_EQ(CriteriaRequest(Mode::kCommune, {7}).Field(1),
            "SSELECT CIVILAIDE  AVEC 41 = \"7\" PAR NomAide PAR PrenomAide PAR CodeAide");
  EXPECT_EQ(CriteriaRequest(Mode::kSecteur, {12, 3, 40}).Field(1),
            "SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"3\" OR = \"40\" PAR NomAide "
            "PAR PrenomAide PAR CodeAide");
  EXPECT_EQ(NameRequest("DUP")->Field(1),
            "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide PAR PrenomAide PAR CodeAide");
  EXPECT_EQ(ToVisible(CriteriaListRequest(Mode::kCommune).Text()),
            "SELECT COMMUNES PAR 1 ^COMMUNES^0 1");
  EXPECT_EQ(ToVisible(CriteriaListRequest(Mode::kResponsable).Text()),
            "SELECT RESPONSABLE PAR 1^RESPONSABLE^0 1");
  EXPECT_EQ(ToVisible(CriteriaListRequest(Mode::kSecteur).Text()),
            "SELECT SECTEUR PAR 1^SECTEUR^0 1");
  EXPECT_EQ(ToVisible(RegisterRequest().Text()), "SSELECT SDEXPORTAIDES PAR @ID^SDEXPORTAIDES^0 1");
}

TEST(RegisterRecordTest, TimeWithoutLeadingZeros) {
  EXPECT_EQ(RegisterTime(14, 30), "14:30");
  EXPECT_EQ(RegisterTime(9, 5), "9:5");
  EXPECT_EQ(RegisterTime(0, 0), "0:0");
  EXPECT_EQ(ToVisible(RegisterRecord("DURAND", "20500", "9:5").Text()), "DURAND^20500^9:5");
}

TEST(UpperCaseTest, AccentedLetters) { EXPECT_EQ(UpperCase("dupré-noël"), "DUPRÉ-NOËL"); }

}  // namespace
}  // namespace cortevane::import
