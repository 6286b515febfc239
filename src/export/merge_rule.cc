#include "export/merge_rule.h"

#include <algorithm>
#include <string_view>

namespace cortevane::exporting {
namespace {

std::string_view FieldAt(const std::vector<std::string_view>& fields, size_t i) {
  return i < fields.size() ? fields[i] : std::string_view();
}

struct Split {
  std::vector<std::string_view> reference, office, laptop;
  size_t count = 0;
  Split(const db::DynArray& r, const db::DynArray& o, const db::DynArray& l)
      : reference(r.Fields().ToVector()),
        office(o.Fields().ToVector()),
        laptop(l.Fields().ToVector()),
        count(std::max({reference.size(), office.size(), laptop.size()})) {}
};

ChangedBy Change(const Split& s, size_t i) {
  const std::string_view before = FieldAt(s.reference, i);
  const bool office = FieldAt(s.office, i) != before;
  const bool laptop = FieldAt(s.laptop, i) != before;
  if (office && laptop) return ChangedBy::kBoth;
  if (office) return ChangedBy::kOffice;
  return laptop ? ChangedBy::kLaptop : ChangedBy::kNobody;
}

}  // namespace

std::vector<ChangedBy> FieldChanges(const db::DynArray& reference, const db::DynArray& office,
                                    const db::DynArray& laptop) {
  const Split split(reference, office, laptop);
  std::vector<ChangedBy> changes(split.count);
  for (size_t i = 0; i < split.count; ++i) changes[i] = Change(split, i);
  return changes;
}

bool HoldsLaptopChanges(const db::DynArray& reference, const db::DynArray& office,
                        const db::DynArray& laptop) {
  const Split split(reference, office, laptop);
  for (size_t i = 0; i < split.count; ++i) {
    const std::string_view mine = FieldAt(split.laptop, i);
    if (mine != FieldAt(split.reference, i) && mine != FieldAt(split.office, i)) return false;
  }
  return true;
}

std::optional<db::DynArray> Merge(const db::DynArray& reference, const db::DynArray& office,
                                  const db::DynArray& laptop) {
  if (reference.Text().empty() || office.Text().empty()) return std::nullopt;
  const Split split(reference, office, laptop);
  db::DynArrayBuilder merged;
  merged.Reserve(std::max({reference.Text().size(), office.Text().size(), laptop.Text().size()}));
  for (size_t i = 0; i < split.count; ++i) {
    switch (Change(split, i)) {
      case ChangedBy::kBoth:
        return std::nullopt;
      case ChangedBy::kOffice:
        merged.AddField(FieldAt(split.office, i));
        break;
      case ChangedBy::kLaptop:
        merged.AddField(FieldAt(split.laptop, i));
        break;
      case ChangedBy::kNobody:
        merged.AddField(FieldAt(split.reference, i));
        break;
    }
  }
  return merged.Take();
}

}  // namespace cortevane::exporting
