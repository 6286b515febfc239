#include "db/dyn_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

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

// Every text of up to five bytes over 'a' and the three marks: every arrangement of marks at the
// ends, doubled marks, empty fields, values and subvalues.
std::vector<std::string> SmallTexts() {
  const std::string alphabet = {'a', kFieldMark, kValueMark, kSubValueMark};
  std::vector<std::string> texts = {""};
  for (size_t from = 0, len = 1; len <= 5; ++len) {
    size_t to = texts.size();
    for (size_t i = from; i < to; ++i)
      for (char c : alphabet) texts.push_back(texts[i] + c);
    from = to;
  }
  return texts;
}

TEST(DynArrayTest, WalksAgreeWithPositionalReadsOnEveryText) {
  for (const std::string& text : SmallTexts()) {
    SCOPED_TRACE(ToVisible(text));
    DynArray a(text);
    int f = 0;
    for (std::string_view field : a.Fields()) {
      ++f;
      ASSERT_EQ(field, a.Field(f));
      int v = 0;
      for (std::string_view value : ValuesOf(field)) {
        ++v;
        ASSERT_EQ(value, a.Value(f, v));
        ASSERT_EQ(PieceOf(field, kValueMark, v), value);
        int s = 0;
        for (std::string_view sub : SubValuesOf(value)) ASSERT_EQ(sub, a.SubValue(f, v, ++s));
        ASSERT_EQ(s, value.empty() ? 0 : std::count(value.begin(), value.end(), kSubValueMark) + 1);
      }
      ASSERT_EQ(v, a.ValueCount(f));
    }
    ASSERT_EQ(f, a.Count());
  }
  EXPECT_EQ(FieldsOf(FromVisible("^a^")).ToVector(), (std::vector<std::string_view>{"", "a", ""}));
  EXPECT_TRUE(FieldsOf("").ToVector().empty());
  EXPECT_EQ(ValuesOf("DUPONT").ToVector(), (std::vector<std::string_view>{"DUPONT"}));
}

TEST(DynArrayTest, AppendFieldAgreesWithSetFieldPastTheCount) {
  for (const std::string& text : SmallTexts()) {
    for (std::string_view piece : {std::string_view(""), std::string_view("b")}) {
      SCOPED_TRACE(ToVisible(text) + " + '" + std::string(piece) + "'");
      DynArray appended(text), expected(text);
      appended.AppendField(piece);
      expected.SetField(expected.Count() + 1, piece);
      ASSERT_EQ(V(appended), V(expected));
    }
  }
}

// Every sequence of up to four building steps, each with an empty or a one-letter text, gives
// the text of the same assignments by position, and reads back piece by piece.
TEST(DynArrayTest, BuilderAgreesWithAssignmentsByPosition) {
  enum Op { kStartField, kAddField, kAddValue, kStartValue, kAddSubValue };
  using Nested = std::vector<std::vector<std::vector<std::string>>>;  // fields, values, subs
  std::vector<std::vector<std::pair<Op, std::string>>> sequences = {{}};
  for (size_t from = 0, len = 1; len <= 4; ++len) {
    size_t to = sequences.size();
    for (size_t i = from; i < to; ++i)
      for (Op op : {kStartField, kAddField, kAddValue, kStartValue, kAddSubValue})
        for (const char* t : {"", "b"}) {
          if ((op == kStartField || op == kStartValue) && *t) continue;
          sequences.push_back(sequences[i]);
          sequences.back().emplace_back(op, t);
        }
    from = to;
  }
  for (const auto& sequence : sequences) {
    DynArrayBuilder builder;
    Nested model;
    std::string trace;
    for (const auto& [op, t] : sequence) {
      trace += "0FVvS"[op] + t + " ";
      if (model.empty() && op != kStartField && op != kAddField) model.emplace_back();
      if (op == kAddSubValue && model.back().empty()) model.back().emplace_back();
      switch (op) {
        case kStartField:
          builder.StartField(), model.emplace_back();
          break;
        case kAddField:
          builder.AddField(t), model.push_back({{t}});
          break;
        case kAddValue:
          builder.AddValue(t), model.back().push_back({t});
          break;
        case kStartValue:
          builder.StartValue(), model.back().emplace_back();
          break;
        case kAddSubValue:
          builder.AddSubValue(t), model.back().back().push_back(t);
          break;
      }
    }
    SCOPED_TRACE(trace);
    DynArray expected;
    for (size_t f = 0; f < model.size(); ++f) {
      const int fi = static_cast<int>(f) + 1;
      expected.SetField(fi, "");
      for (size_t v = 0; v < model[f].size(); ++v) {
        std::string value;
        for (size_t s = 0; s < model[f][v].size(); ++s)
          value += (s ? std::string(1, kSubValueMark) : "") + model[f][v][s];
        expected.SetValue(fi, static_cast<int>(v) + 1, value);
      }
    }
    ASSERT_EQ(builder.FieldCount(), static_cast<int>(model.size()));
    const DynArray built = builder.Take();
    ASSERT_EQ(V(built), V(expected));
    for (size_t f = 0; f < model.size(); ++f)
      for (size_t v = 0; v < model[f].size(); ++v)
        for (size_t s = 0; s < model[f][v].size(); ++s)
          ASSERT_EQ(built.SubValue(static_cast<int>(f) + 1, static_cast<int>(v) + 1,
                                   static_cast<int>(s) + 1),
                    model[f][v][s]);
  }
  DynArrayBuilder rows;
  rows.AddField("");
  rows.AddValue("x");
  rows.AddField("");
  EXPECT_EQ(V(rows.Take()), "]x^") << "marks at both ends keep the empty pieces";
  EXPECT_EQ(rows.FieldCount(), 0) << "Take leaves the builder empty";
}

}  // namespace
}  // namespace cortevane::db
