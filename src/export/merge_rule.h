// Which side changed each field of a record since the reference copy, and the merge of two
// changes that touch different fields. Fields are compared whole, as the conflict details
// compare them: a field absent from a version reads empty, so a field added at the end is a
// change of that side, and a multivalued field changed in any of its values is changed. Linear
// in the records' size.
#pragma once

#include <optional>
#include <vector>

#include "db/dyn_array.h"

namespace cortevane::exporting {

enum class ChangedBy { kNobody, kOffice, kLaptop, kBoth };

// Who changed field f (at index f - 1), for every field up to the longest version.
std::vector<ChangedBy> FieldChanges(const db::DynArray& reference, const db::DynArray& office,
                                    const db::DynArray& laptop);

// Whether the office holds every field the laptop changed since the reference, with the
// laptop's value: what a merge sent by an earlier run leaves.
bool HoldsLaptopChanges(const db::DynArray& reference, const db::DynArray& office,
                        const db::DynArray& laptop);

// The reference record with the office's changed fields and the laptop's changed fields both
// applied, when no field changed on both sides; nullopt when one did, or when the reference or
// the office has no record (a record deleted on one side is not merged back to life).
std::optional<db::DynArray> Merge(const db::DynArray& reference, const db::DynArray& office,
                                  const db::DynArray& laptop);

}  // namespace cortevane::exporting
