#include "db/dictionary.h"

#include "db/dyn_array.h"

namespace cortevane::db {

std::vector<std::string> ItemValues(const DictItem& item, std::string_view key,
                                    std::string_view record) {
  std::vector<std::string> out;
  auto cut = [&](std::string_view v) {
    if (item.first > 0 && v.size() > static_cast<size_t>(item.first)) v = v.substr(0, item.first);
    out.emplace_back(v);
  };
  if (item.field == 0) {
    cut(key);
    return out;
  }
  const std::string_view field = PieceOf(record, kFieldMark, item.field);
  // An empty field is one empty value.
  if (field.empty()) cut(field);
  for (std::string_view value : ValuesOf(field)) cut(value);
  return out;
}

bool IsNumber(std::string_view t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  return digits > 0 && i == t.size();
}

std::string IndexForm(const DictItem& item, std::string_view value) {
  if (!item.right || !IsNumber(value)) return std::string(value);
  std::string_view v = value;
  bool negative = false;
  if (v.front() == '+' || v.front() == '-') {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  std::string_view whole = v, frac;
  if (size_t dot = v.find('.'); dot != std::string_view::npos) {
    whole = v.substr(0, dot);
    frac = v.substr(dot + 1);
  }
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  while (!frac.empty() && frac.back() == '0') frac.remove_suffix(1);
  std::string out;
  // Zero has one form whatever its sign and digits ("-0", "-.0", "00.00"): a test for "0"
  // through the index must find every record a full read finds.
  if (negative && !(whole.empty() && frac.empty())) out.push_back('-');
  out.append(whole.empty() ? std::string_view("0") : whole);
  if (!frac.empty()) {
    out.push_back('.');
    out.append(frac);
  }
  return out;
}

}  // namespace cortevane::db
