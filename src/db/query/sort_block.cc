#include "db/query/sort_block.h"

#include "db/dictionary.h"

namespace cortevane::db::query {
namespace {

// The order of a right-justified item's values: the empty value, numbers, other texts.
constexpr char kEmpty = 1, kNumber = 2, kText = 3;
// The order of numbers by sign.
constexpr char kNegative = 1, kZero = 2, kPositive = 3;

// The magnitude of a decimal number (db::IsNumber) with its sign in *negative: the length of
// its whole part without leading zeros (4 bytes, most significant first), the whole part,
// the fraction without trailing zeros, and a 0 that ends it before any further digit. Equal
// values ("12", "012", "12.0") get the same bytes, and so tie. Zero has none.
std::string Magnitude(std::string_view number, bool* negative) {
  // The index form is the canonical one: "-" for a negative, "0" for an empty whole part.
  const std::string canonical = IndexForm(DictItem{"", 0, 0, true, false}, number);
  std::string_view t = canonical;
  *negative = t.front() == '-';
  if (*negative) t.remove_prefix(1);
  if (t == "0") return {};
  std::string_view whole = t.substr(0, t.find('.')), frac;
  if (whole.size() < t.size()) frac = t.substr(whole.size() + 1);
  if (whole == "0") whole = {};
  std::string out;
  const size_t n = whole.size();
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((n >> shift) & 0xFF));
  out.append(whole);
  out.append(frac);
  out.push_back('\0');
  return out;
}

void AppendEscaped(std::string_view bytes, std::string* block) {
  // A run without NUL bytes at a time; each NUL is followed by 0xFF.
  for (size_t nul; (nul = bytes.find('\0')) != std::string_view::npos;) {
    block->append(bytes.substr(0, nul + 1));
    block->push_back(static_cast<char>(0xFF));
    bytes.remove_prefix(nul + 1);
  }
  block->append(bytes);
}

}  // namespace

void AppendSortValue(std::string_view value, bool right, std::string* block) {
  if (!right) {
    AppendEscaped(value, block);
  } else if (value.empty()) {
    block->push_back(kEmpty);
  } else if (!IsNumber(value)) {
    block->push_back(kText);
    AppendEscaped(value, block);
  } else {
    bool negative = false;
    std::string m = Magnitude(value, &negative);
    block->push_back(kNumber);
    if (m.empty()) {
      block->push_back(kZero);
    } else {
      block->push_back(negative ? kNegative : kPositive);
      // A larger magnitude is a smaller negative number.
      if (negative)
        for (char& c : m) c = static_cast<char>(~c);
      AppendEscaped(m, block);
    }
  }
  block->push_back('\0');
  block->push_back('\1');
}

void EndSortList(size_t start, bool descending, std::string* block) {
  block->push_back('\0');
  block->push_back('\0');
  if (descending)
    for (size_t i = start; i < block->size(); ++i) (*block)[i] = static_cast<char>(~(*block)[i]);
}

}  // namespace cortevane::db::query
