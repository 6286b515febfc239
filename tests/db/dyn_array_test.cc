#include "db/dyn_array.h"

#include <gtest/gtest.h>

namespace cortevane::db {
namespace {

std::string V(const DynArray& a) { return ToVisible(a.Text()); }

TEST(DynArrayTest, CountOfEmptyTrailingAndPlainText) {
  EXPECT_EQ(DynArray().Count(), 0);
  EXPECT_EQ(DynArray("DUPONT").Count(), 1);
  EXPECT_EQ(DynArray(FromVisible("A^B")).Count(), 2);
  EXPECT_EQ(DynArray(FromVisible("A^B^")).Count(), 3);
  EXPECT_EQ(DynArray(FromVisible("^")).Count(), 2);
}

TEST(DynArrayTest, ReadsFieldsValuesAndSubvaluesFromOne) {
  DynArray a(FromVisible("00042^DUPONT]Anne\\x^^last"));
  EXPECT_EQ(a.Field(1), "00042");
  EXPECT_EQ(a.Value(2, 1), "DUPONT");
  EXPECT_EQ(a.Value(2, 2), FromVisible("Anne\\x"));
  EXPECT_EQ(a.SubValue(2, 2, 2), "x");
  EXPECT_EQ(a.Field(3), "");
  EXPECT_EQ(a.Field(4), "last");
  EXPECT_EQ(a.Field(9), "");
  EXPECT_EQ(a.Value(9, 3), "");
  EXPECT_EQ(a.Field(0), "");
  EXPECT_EQ(a.Field(-1), "");
  EXPECT_EQ(a.ValueCount(2), 2);
  EXPECT_EQ(a.ValueCount(3), 0);
}

TEST(DynArrayTest, AssignmentExtendsWithEmptyFieldsAndValues) {
  DynArray a;
  a.SetField(3, "C");
  EXPECT_EQ(V(a), "^^C");
  a.SetValue(5, 2, "x");
  EXPECT_EQ(V(a), "^^C^^]x");
  a.SetValue(3, 1, "c");
  EXPECT_EQ(V(a), "^^c^^]x");
  a.SetField(1, "first");
  EXPECT_EQ(V(a), "first^^c^^]x");
  a.SetField(0, "ignored");
  EXPECT_EQ(V(a), "first^^c^^]x");
  DynArray b;
  b.SetField(1, "");
  EXPECT_EQ(b.Count(), 0) << "an empty first field is still the empty text";
  b.AppendField("x");
  EXPECT_EQ(V(b), "x");
  b.AppendField("y");
  EXPECT_EQ(V(b), "x^y");
}

TEST(DynArrayTest, ViewsAssignInPlace) {
  DynArray a(FromVisible("A^B]C"));
  auto f = a.FieldRef(1);
  f = "Z";
  a.ValueRef(2, 2).SetText("D");
  a.ValueRef(4, 1).SetText("E");
  EXPECT_EQ(V(a), "Z^B]D^^E");
  EXPECT_EQ(a.ValueRef(2, 1).Text(), "B");
  EXPECT_EQ(a.FieldRef(4).Text(), "E");
}

TEST(DynArrayTest, MarksLiveBesideFrenchText) {
  DynArray a;
  a.SetValue(1, 1, "Hélène");
  a.SetValue(1, 2, "Gaëlle");
  a.SetField(2, "Âge: 12 ans — ÉCOLE");
  EXPECT_EQ(a.Count(), 2);
  EXPECT_EQ(a.Value(1, 2), "Gaëlle");
  EXPECT_EQ(a.Field(2), "Âge: 12 ans — ÉCOLE");
  EXPECT_EQ(ToVisible(a.Text()), "Hélène]Gaëlle^Âge: 12 ans — ÉCOLE");
}

}  // namespace
}  // namespace cortevane::db
