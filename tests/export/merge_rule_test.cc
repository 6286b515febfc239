// The merge rule: which side changed each field since the reference, and when the two changes
// can be put together.
#include "export/merge_rule.h"

#include "export/person_plan.h"

#include <gtest/gtest.h>

namespace cortevane::exporting {
namespace {

TEST(MergeRuleTest, MergesOnlyChangesOfDifferentFields) {
  struct Case {
    const char* what;
    const char* reference;
    const char* office;
    const char* laptop;
    const char* merged;  // nullptr: no merge offered
  };
  const Case cases[] = {
      {"one field each side", "A^B^C", "A^X^C", "A^B^Y", "A^X^Y"},
      {"same field both sides", "A^B", "A^X", "A^Y", nullptr},
      {"same field, same new text", "A^B", "A^X", "A^X", nullptr},
      {"multivalued, different values of one field", "A^1]2]3", "A^0]2]3", "A^1]2]4", nullptr},
      {"multivalued field one side, plain field other", "A^1]2^B", "A^1]2]3^B", "Z^1]2^B",
       "Z^1]2]3^B"},
      {"different subvalues of one field", "A^x\\y", "A^x\\z", "A^w\\y", nullptr},
      {"field added at the end by the laptop", "A^B", "X^B", "A^B^^D", "X^B^^D"},
      {"fields added at the end by both", "A", "A^O", "A^^L", "A^O^L"},
      {"the same field added by both", "A", "A^O", "A^L", nullptr},
      {"field emptied on one side", "A^B^C", "A^^C", "A^B^Z", "A^^Z"},
      {"empty field filled", "A^^C", "A^O^C", "A^^C^L", "A^O^C^L"},
      {"trailing marks are no change", "A^B", "A^B^", "Z^B", "Z^B^"},
      {"deleted on the office", "A^B", "", "A^Z", nullptr},
      {"absent from the reference", "", "A", "^B", nullptr},
  };
  for (const Case& c : cases) {
    const auto merged =
        Merge(db::DynArray(db::FromVisible(c.reference)), db::DynArray(db::FromVisible(c.office)),
              db::DynArray(db::FromVisible(c.laptop)));
    if (c.merged == nullptr) {
      EXPECT_FALSE(merged) << c.what << ": " << db::ToVisible(merged->Text());
    } else {
      ASSERT_TRUE(merged) << c.what;
      EXPECT_EQ(db::ToVisible(merged->Text()), c.merged) << c.what;
    }
  }
  EXPECT_EQ(
      FieldChanges(db::DynArray(db::FromVisible("A^B^C")), db::DynArray(db::FromVisible("X^B^Y")),
                   db::DynArray(db::FromVisible("A^B^Z^W"))),
      (std::vector<ChangedBy>{ChangedBy::kOffice, ChangedBy::kNobody, ChangedBy::kBoth,
                              ChangedBy::kLaptop}));
}

}  // namespace
}  // namespace cortevane::exporting
