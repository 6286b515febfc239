#include "import/import_register.h"

#include <gtest/gtest.h>

namespace cortevane::import {
namespace {

// The register query's result from "code=user" rows in key order.
db::DynArray Rows(std::initializer_list<std::pair<const char*, const char*>> rows) {
  db::DynArray result;
  int i = 0;
  for (const auto& [code, user] : rows) {
    ++i;
    result.SetValue(i, 1, code);
    result.SetValue(i, 2, user);
  }
  return result;
}

std::string Show(const RegisterVerdict& v) {
  switch (v.kind) {
    case RegisterVerdict::kClear:
      return "clear";
    case RegisterVerdict::kUserHasRecords:
      return "own at " + v.code;
    case RegisterVerdict::kAlreadyOut:
      return v.code + " out with " + v.holder;
  }
  return "?";
}

TEST(CheckRegisterTest, Verdicts) {
  // 1. Empty register: everything passes.
  EXPECT_EQ(Show(CheckRegister({}, {"00001", "00002"}, "DURAND")), "clear");
  // 2. Other users' persons, none chosen.
  EXPECT_EQ(Show(CheckRegister(Rows({{"00005", "MARTIN"}}), {"00001"}, "DURAND")), "clear");
  // 3. The user still has a person out: refused at the first chosen person.
  EXPECT_EQ(Show(CheckRegister(Rows({{"00009", "DURAND"}}), {"00001", "00002"}, "DURAND")),
            "own at 00001");
  // 4. A chosen person out with another user.
  EXPECT_EQ(Show(CheckRegister(Rows({{"00002", "MARTIN"}}), {"00001", "00002"}, "DURAND")),
            "00002 out with MARTIN");
  // 5. Both: the row that comes first in key order names the refusal.
  EXPECT_EQ(
      Show(CheckRegister(Rows({{"00001", "MARTIN"}, {"00009", "DURAND"}}), {"00001"}, "DURAND")),
      "00001 out with MARTIN");
  EXPECT_EQ(
      Show(CheckRegister(Rows({{"00001", "DURAND"}, {"00009", "MARTIN"}}), {"00009"}, "DURAND")),
      "own at 00009");
  // 6. The user's own record of the chosen person counts as the user's record.
  EXPECT_EQ(Show(CheckRegister(Rows({{"00001", "DURAND"}}), {"00001"}, "DURAND")), "own at 00001");
  // 7. Persons are examined in list order: the first refused one is named.
  EXPECT_EQ(Show(CheckRegister(Rows({{"00003", "MARTIN"}, {"00007", "PETIT"}}), {"00007", "00003"},
                               "DURAND")),
            "00007 out with PETIT");
  // 8. A user name that merely begins like another's is not the same user.
  EXPECT_EQ(Show(CheckRegister(Rows({{"00004", "DURANDE"}}), {"00001"}, "DURAND")), "clear");
}

}  // namespace
}  // namespace cortevane::import
