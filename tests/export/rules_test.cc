#include "export/rules.h"

#include <gtest/gtest.h>

namespace cortevane::exporting {
namespace {

TEST(ExportRulesTest, CounterValuesAreDigitsOnly) {
  EXPECT_EQ(CounterValue("00041"), 41);
  EXPECT_EQ(CounterValue("9"), 9);
  EXPECT_EQ(CounterValue("0"), 0);
  EXPECT_EQ(CounterValue(""), std::nullopt);
  EXPECT_EQ(CounterValue(" 41"), std::nullopt);
  EXPECT_EQ(CounterValue("-1"), std::nullopt);
  EXPECT_EQ(CounterValue("41a"), std::nullopt);
  EXPECT_EQ(CounterValue("+41"), std::nullopt);
  // Far beyond any code, without overflow: still refused later as past the highest code.
  EXPECT_EQ(CounterValue("99999999999999999999999"), kHighestCode + 1);
}

TEST(ExportRulesTest, ReKeyingKeepsEverythingAfterTheFifthCharacter) {
  EXPECT_EQ(ReKey("00151", "00118"), "00151");
  EXPECT_EQ(ReKey("00151", "00118s"), "00151s");
  EXPECT_EQ(ReKey("00151", "00118*2024*3"), "00151*2024*3");
  EXPECT_EQ(ReKey("00151", "118"), "00151");        // shorter than a code
  EXPECT_EQ(ReKey("00151", "001180A"), "001510A");  // a 6-character code loses 5 only
}

TEST(ExportRulesTest, KnownPersonsAreThoseNotAboveTheThreshold) {
  EXPECT_TRUE(IsKnownPerson("00100", "00099"));
  EXPECT_TRUE(IsKnownPerson("00100", "00100"));
  EXPECT_FALSE(IsKnownPerson("00100", "00101"));
  EXPECT_FALSE(IsKnownPerson("00100", "10000"));
  // An unpadded threshold compares as a number, not as text ("9" > "00042" as text).
  EXPECT_FALSE(IsKnownPerson("9", "00042"));
  EXPECT_TRUE(IsKnownPerson("42", "00042"));
  EXPECT_FALSE(IsKnownPerson("00100", "001180"));
  // Keys that are not numbers keep the text order.
  EXPECT_TRUE(IsKnownPerson("00100", "0010"));
  EXPECT_FALSE(IsKnownPerson("00100", "0010A"));
}

TEST(ExportRulesTest, SelectionSentencesByFileName) {
  EXPECT_EQ(SelectionSentence("CIVILAIDE", "ignored", "ALICE"), "SELECT CIVILAIDE");
  EXPECT_EQ(SelectionSentence("SDEXPORTAIDES", "", "ALICE"),
            "SELECT SDEXPORTAIDES AVEC 1 = \"ALICE\"");
  EXPECT_EQ(SelectionSentence("NOTES", "00042", "ALICE"), "SELECT NOTES AVEC 0 = \"00042]\"");
  // Keys holding a quote take the other one; keys no sentence can select give none.
  EXPECT_EQ(SelectionSentence("NOTES", "00\"42", "ALICE"), "SELECT NOTES AVEC 0 = '00\"42]'");
  EXPECT_EQ(SelectionSentence("NOTES", "00'42", "ALICE"), "SELECT NOTES AVEC 0 = \"00'42]\"");
  for (std::string_view key : {"0\"0'42",
                               "00\xFD"
                               "42",
                               "[0042"})
    EXPECT_EQ(SelectionSentence("NOTES", key, "ALICE"), std::nullopt) << key;
  // Names are compared exactly: a lower-case name is an ordinary file.
  EXPECT_EQ(SelectionSentence("civilaide", "00042", "ALICE"),
            "SELECT civilaide AVEC 0 = \"00042]\"");
  EXPECT_EQ(SelectionSentence("sdexportaides", "", "ALICE"), "SELECT sdexportaides AVEC 0 = \"]\"");
}

}  // namespace
}  // namespace cortevane::exporting
