#include "import/mod_proc.h"

#include <gtest/gtest.h>

namespace cortevane::import {
namespace {

struct FitCase {
  const char* text;
  int width;
  bool left;
  bool zero;
  const char* expected;
};

class FormatageChaineTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FormatageChaineTest, FitsToWidth) {
  const FitCase& c = GetParam();
  EXPECT_EQ(Formatage_Chaine(c.text, c.width, c.left, c.zero), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatageChaineTest,
    ::testing::Values(FitCase{"Dupont", 8, true, false, "Dupont  "},
                      FitCase{"42", 5, false, true, "00042"}, FitCase{"7", 3, true, true, "700"},
                      FitCase{"ABCDEFGHIJ", 4, true, false, "ABCD"},
                      FitCase{"ABCDEFGHIJ", 4, false, true, "ABCD"},
                      FitCase{"abc", 3, false, false, "abc"}, FitCase{"", 3, false, false, "   "},
                      FitCase{"abc", 0, true, false, ""}, FitCase{"abc", -2, true, false, ""},
                      // Widths count characters: accented letters take one column each and
                      // are never cut in half.
                      FitCase{"Hélène", 8, true, false, "Hélène  "},
                      FitCase{"Éloïse", 3, true, false, "Élo"},
                      FitCase{"Noël", 3, true, false, "Noë"}));

TEST(TrimTest, RemovesOnlyOuterBlanks) {
  EXPECT_EQ(Trim("  12 RUE  HAUTE "), "12 RUE  HAUTE");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\tX\t"), "\tX\t");
  EXPECT_EQ(CharCount("Prénom"), 6);
}

}  // namespace
}  // namespace cortevane::import
