// Counts as lists and status lines print them.
#include <gtest/gtest.h>

#include "ui/ui.h"

namespace cortevane::ui {
namespace {

TEST(CountTextTest, ThousandsApartAndPluralFromTwo) {
  const std::string nbsp = "\u00a0";
  const std::pair<long long, std::string> cases[] = {
      {0, "0 aidé"},
      {1, "1 aidé"},
      {2, "2 aidés"},
      {999, "999 aidés"},
      {1256, "1" + nbsp + "256 aidés"},
      {1234567, "1" + nbsp + "234" + nbsp + "567 aidés"},
  };
  for (const auto& [count, text] : cases) EXPECT_EQ(CountText(count, "aidé", "aidés"), text);
}

}  // namespace
}  // namespace cortevane::ui
