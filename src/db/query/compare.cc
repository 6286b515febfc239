#include "db/query/compare.h"

#include "db/dictionary.h"

namespace cortevane::db::query {
namespace {

struct Decimal {
  bool negative = false;
  std::string_view whole;  // no leading zeros; empty for zero
  std::string_view frac;   // no trailing zeros
};

Decimal Split(std::string_view t) {
  Decimal d;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    d.negative = t.front() == '-';
    t.remove_prefix(1);
  }
  d.whole = t;
  if (size_t dot = t.find('.'); dot != std::string_view::npos) {
    d.whole = t.substr(0, dot);
    d.frac = t.substr(dot + 1);
  }
  while (!d.whole.empty() && d.whole.front() == '0') d.whole.remove_prefix(1);
  while (!d.frac.empty() && d.frac.back() == '0') d.frac.remove_suffix(1);
  if (d.whole.empty() && d.frac.empty()) d.negative = false;  // -0 is 0
  return d;
}

int Sign(int v) { return (v > 0) - (v < 0); }

// Compares the magnitudes of two canonical decimals.
int CompareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (int c = a.whole.compare(b.whole); c != 0) return Sign(c);
  return Sign(a.frac.compare(b.frac));  // no trailing zeros: plain text order is numeric
}

int CompareBytes(std::string_view a, std::string_view b) { return Sign(a.compare(b)); }

}  // namespace

int CompareNumbers(std::string_view a, std::string_view b) {
  const Decimal x = Split(a), y = Split(b);
  if (x.negative != y.negative) return x.negative ? -1 : 1;
  const int m = CompareMagnitude(x, y);
  return x.negative ? -m : m;
}

int CompareValues(std::string_view a, std::string_view b, bool right) {
  if (right && IsNumber(a) && IsNumber(b)) return CompareNumbers(a, b);
  return CompareBytes(a, b);
}

int CompareForSort(std::string_view a, std::string_view b, bool right) {
  if (!right) return CompareBytes(a, b);
  auto rank = [](std::string_view v) { return v.empty() ? 0 : IsNumber(v) ? 1 : 2; };
  const int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  // Numbers equal in value ("12", "012") tie, so that the key decides between them as it does
  // for any equal sort values.
  if (ra == 1) return CompareNumbers(a, b);
  return CompareBytes(a, b);
}

bool Satisfies(std::string_view value, const Comparison& cmp, bool right) {
  bool eq = false;
  switch (cmp.pattern) {
    case Pattern::kBeginsWith:
      eq = value.starts_with(cmp.value);
      break;
    case Pattern::kEndsWith:
      eq = value.ends_with(cmp.value);
      break;
    case Pattern::kContains:
      eq = value.find(cmp.value) != std::string_view::npos;
      break;
    case Pattern::kWhole: {
      const int c = CompareValues(value, cmp.value, right);
      switch (cmp.op) {
        case Op::kEq:
          return c == 0;
        case Op::kNe:
          return c != 0;
        case Op::kLt:
          return c < 0;
        case Op::kLe:
          return c <= 0;
        case Op::kGt:
          return c > 0;
        case Op::kGe:
          return c >= 0;
      }
      return false;
    }
  }
  return cmp.op == Op::kNe ? !eq : eq;
}

}  // namespace cortevane::db::query
