// Sort blocks order rows exactly as comparing their sort values one by one would (compare.h),
// on values chosen to be hard: numbers equal in value, signs, zeros, bytes 0 and 0xFF,
// values that begin one another, lists of several values, descending items.
#include "db/query/sort_block.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "db/query/compare.h"

namespace cortevane::db::query {
namespace {

using namespace std::string_literals;
using Values = std::vector<std::string>;

int Sign(int v) { return (v > 0) - (v < 0); }

// The order of two rows' values of one item, value by value, a shorter list first.
int CompareLists(const Values& a, const Values& b, bool right) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (int c = CompareForSort(a[i], b[i], right); c != 0) return c;
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::string Block(const std::vector<Values>& items, const std::vector<bool>& right,
                  const std::vector<bool>& descending) {
  std::string block;
  for (size_t i = 0; i < items.size(); ++i) {
    const size_t start = block.size();
    for (const std::string& v : items[i]) AppendSortValue(v, right[i], &block);
    EndSortList(start, descending[i], &block);
  }
  return block;
}

TEST(SortBlockTest, BytesOrderRowsAsTheirValuesCompare) {
  const Values pool = {"",      "0",       "-0",
                       "00.00", "+0.0",    "12",
                       "012",   "12.0",    "12.5",
                       "12.50", "-12",     "-012",
                       "-12.5", "-3",      "3",
                       "300",   ".5",      "5.",
                       "-.5",   "1e3",     "abc",
                       "ab",    "abc\0d"s, "ab\xFF",
                       "ABC",   "\xFF",    "\0"s,
                       "é",     "+",       "-",
                       "1.2.3", "12 ",     "99999999999999999999.1"};
  std::mt19937 random(19);
  auto values = [&] {
    Values v(random() % 3);
    for (auto& s : v) s = pool[random() % pool.size()];
    return v;
  };
  for (int round = 0; round < 20000; ++round) {
    const size_t n = 1 + random() % 2;
    std::vector<bool> right(n), descending(n);
    std::vector<Values> a(n), b(n);
    for (size_t i = 0; i < n; ++i) {
      right[i] = random() % 2;
      descending[i] = random() % 4 == 0;
      a[i] = values();
      b[i] = random() % 5 == 0 ? a[i] : values();
    }
    int expected = 0;
    for (size_t i = 0; i < n && expected == 0; ++i)
      expected = CompareLists(a[i], b[i], right[i]) * (descending[i] ? -1 : 1);
    const int got = Sign(Block(a, right, descending).compare(Block(b, right, descending)));
    ASSERT_EQ(got, expected) << "round " << round << ": " << ToVisible(a[0].empty() ? "" : a[0][0])
                             << " against " << ToVisible(b[0].empty() ? "" : b[0][0]);
  }
}

}  // namespace
}  // namespace cortevane::db::query
