// The search rows of the raw baselines, done by hand on plain strings, with nothing of
// Cortevane: a person's record cut into the wanted fields of the surname and criteria
// searches (key, 2, 3, 5 to 11, 43; a field's own values lowered to subvalues), and the rows
// sorted by surname and first name (value by value, bytewise) and by code as a number.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace cortevane::bench {

inline constexpr char kRawFieldMark = '\xFE';
inline constexpr char kRawValueMark = '\xFD';
inline constexpr char kRawSubValueMark = '\xFC';

struct RawRow {
  std::string key;
  std::string surname;     // field 2 as stored
  std::string first_name;  // field 3 as stored
  std::string output;      // the eleven values joined by the value mark
};

inline RawRow RawCutRow(std::string_view key, std::string_view record) {
  static constexpr int kWanted[] = {2, 3, 5, 6, 7, 8, 9, 10, 11, 43};
  std::string_view fields[43];
  size_t count = 0;
  for (size_t start = 0; count < 43;) {
    const size_t end = std::min(record.find(kRawFieldMark, start), record.size());
    fields[count++] = record.substr(start, end - start);
    if (end == record.size()) break;
    start = end + 1;
  }
  auto field = [&](int f) {
    return static_cast<size_t>(f) <= count ? fields[f - 1] : std::string_view();
  };
  RawRow row;
  row.key = key;
  row.surname = field(2);
  row.first_name = field(3);
  row.output.reserve(record.size() + key.size());
  row.output.append(key);
  for (int f : kWanted) {
    row.output.push_back(kRawValueMark);
    for (char c : field(f)) row.output.push_back(c == kRawValueMark ? kRawSubValueMark : c);
  }
  return row;
}

// The eleven wanted fields of a record as views into it and its key: 0 the key, then fields
// 2 3 5 6 7 8 9 10 11 43, found in one walk over the record.
using RawFields = std::array<std::string_view, 11>;

inline RawFields RawWantedFields(std::string_view key, std::string_view record) {
  static constexpr std::array<int, 10> kFields = {2, 3, 5, 6, 7, 8, 9, 10, 11, 43};
  RawFields fields;
  fields[0] = key;
  size_t start = 0, want = 0;
  for (int field = 1; want < kFields.size(); ++field) {
    const size_t stop = record.find(kRawFieldMark, start);
    if (field == kFields[want])
      fields[++want] = record.substr(
          start, stop == std::string_view::npos ? std::string_view::npos : stop - start);
    if (stop == std::string_view::npos) break;
    start = stop + 1;
  }
  return fields;
}

// Appends one row of a result text: a field mark before all but the first row, the wanted
// fields a value each, their own value marks lowered to subvalue marks.
inline void RawAppendRow(const RawFields& fields, std::string* out) {
  if (!out->empty()) out->push_back(kRawFieldMark);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out->push_back(kRawValueMark);
    const size_t at = out->size();
    out->append(fields[i]);
    std::replace(out->begin() + static_cast<std::ptrdiff_t>(at), out->end(), kRawValueMark,
                 kRawSubValueMark);
  }
}

// Lists of values compared value by value, bytewise; a shorter list first when it is a prefix.
inline int RawCompareLists(std::string_view a, std::string_view b) {
  while (true) {
    const size_t ea = std::min(a.find(kRawValueMark), a.size());
    const size_t eb = std::min(b.find(kRawValueMark), b.size());
    if (int c = a.substr(0, ea).compare(b.substr(0, eb)); c != 0) return c;
    const bool more_a = ea < a.size(), more_b = eb < b.size();
    if (!more_a || !more_b) return more_a - more_b;
    a.remove_prefix(ea + 1);
    b.remove_prefix(eb + 1);
  }
}

// Codes as numbers: without their leading zeros, the shorter first; equal numbers bytewise.
inline int RawCompareCodes(std::string_view a, std::string_view b) {
  std::string_view x = a, y = b;
  while (!x.empty() && x.front() == '0') x.remove_prefix(1);
  while (!y.empty() && y.front() == '0') y.remove_prefix(1);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  if (int c = x.compare(y); c != 0) return c;
  return a.compare(b);
}

inline void RawSortRows(std::vector<RawRow>* rows) {
  std::stable_sort(rows->begin(), rows->end(), [](const RawRow& a, const RawRow& b) {
    if (int c = RawCompareLists(a.surname, b.surname); c != 0) return c < 0;
    if (int c = RawCompareLists(a.first_name, b.first_name); c != 0) return c < 0;
    return RawCompareCodes(a.key, b.key) < 0;
  });
}

}  // namespace cortevane::bench
