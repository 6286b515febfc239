// The details text of a conflict question, from the three versions of a record.
#include "export/conflict_details.h"

#include <gtest/gtest.h>

#include "export/rules.h"
#include "export_fixture.h"

namespace cortevane::exporting {
namespace {

db::DynArray Rec(std::string_view visible) { return db::DynArray(db::FromVisible(visible)); }

TEST(ConflictDetailsTest, ListsOnlyTheFieldsThatDifferValueByValue) {
  const std::map<int, std::string> names = FieldNames({{"CodeAide", 0},
                                                       {"CodeSecteurAide", 40, 3},
                                                       {"NomAide", 2},
                                                       {"Autre", 2},
                                                       {"Telephones", 4}});
  EXPECT_EQ(names, (std::map<int, std::string>{{2, "NomAide"}, {4, "Telephones"}}));

  // Field 2 changed on both sides, field 3 on the laptop only, field 4 (multivalued) in its
  // second value on the server only; field 1 is the same everywhere; field 5 only on the
  // laptop, which has one more field.
  const std::string details =
      ConflictDetails("00042", Rec("A^DUPONT^Anne^01]02"), Rec("A^DURAND^Anne^01]03"),
                      Rec("A^DUPOND^Anne-Marie^01]02^x\\y"), names);
  EXPECT_EQ(
      details,
      "Enregistrement 00042\n\n"
      "Champ 2 (NomAide), modifié des deux côtés\n  à l'importation : DUPONT\n"
      "  sur le serveur : DURAND\n  sur le portable : DUPOND\n\n"
      "Champ 3, modifié sur le portable\n  à l'importation : Anne\n  sur le serveur : Anne\n"
      "  sur le portable : Anne-Marie\n\n"
      "Champ 4, valeur 2 (Telephones), modifié sur le serveur\n  à l'importation : 02\n  sur le "
      "serveur : 03\n"
      "  sur le portable : 02\n\n"
      "Champ 5, modifié sur le portable\n  à l'importation : (vide)\n  sur le serveur : (vide)\n"
      "  sur le portable : x ; y");
}

TEST(ConflictDetailsTest, AbsentRecordsLongValuesAndManyDifferences) {
  // Deleted on the server: every field the laptop holds is listed against "(absent)".
  EXPECT_EQ(ConflictDetails("K", Rec("a"), Rec(""), Rec("b"), {}),
            "Enregistrement K\n\nChamp 1, modifié des deux côtés\n  à l'importation : a\n  sur le "
            "serveur : (absent)\n"
            "  sur le portable : b");

  // Cut on characters, not bytes: 59 characters then "…".
  const std::string long_value(30, 'x');
  const std::string accented = "é" + long_value + "éééééééééééééééééééééééééééééééé";
  const std::string shown = Shortened(accented, kDetailValueWidth);
  EXPECT_EQ(shown, "é" + long_value + std::string("éééééééééééééééééééééééééééé") + "…");
  EXPECT_EQ(Shortened("court", kDetailValueWidth), "court");

  std::string reference, laptop;
  for (int f = 1; f <= kDetailMaxItems + 3; ++f) {
    reference += (f > 1 ? "^" : "") + std::string("r");
    laptop += (f > 1 ? "^" : "") + std::string("l");
  }
  const std::string many = ConflictDetails("K", Rec(reference), Rec(reference), Rec(laptop), {});
  EXPECT_TRUE(many.ends_with(
      "Champ 40, modifié sur le portable\n  à l'importation : r\n  sur le serveur : r\n"
      "  sur le portable : l\n\n… et 3 autres différences."))
      << many;
}

// Through the export on real stores: the question keeps its text, icon, buttons and title, and
// its details name the office dictionary's fields.
using ConflictQuestionTest = testing::ExportTest;

TEST_F(ConflictQuestionTest, CarriesWhatDiffersAsItsDetails) {
  ASSERT_EQ(server_.store()->SetDictItem("CIVILAIDE", {"NomAide", 2}), 0);
  Imported("00042", testing::Person("DUPONT", "Anne", "0123"));
  testing::Put(server_, "CIVILAIDE", "00042", testing::Person("DURAND", "Anne", "0123"));
  testing::Put(laptop_, "CIVILAIDE", "00042", testing::Person("DUPOND", "Anne", "0123"));
  Run({ui::kAnswerNo});
  ASSERT_EQ(ui_.boxes().size(), 3u);
  const ui::ScriptedUi::Box& question = ui_.boxes()[1];
  EXPECT_EQ(question.style, ui::kYesNo + ui::kQuestion);
  EXPECT_EQ(question.title, "Message CORTEVANE");
  EXPECT_EQ(question.text, ConflictQuestion("l'état civil", "00042", "DUPOND", "Anne"));
  EXPECT_EQ(question.details,
            "Enregistrement 00042\n\nChamp 2 (NomAide), modifié des deux côtés\n"
            "  à l'importation : DUPONT\n"
            "  sur le serveur : DURAND\n  sur le portable : DUPOND");
  EXPECT_TRUE(ui_.boxes()[2].details.empty());
}

}  // namespace
}  // namespace cortevane::exporting
