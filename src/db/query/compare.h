// How DBA.SELECT compares and orders values. A left-justified item (and a bare field number,
// and @ID) compares as exact bytes, case included. A right-justified item compares as numbers
// when both sides are decimal numbers ("12" = "012", 2 before 10) and as bytes otherwise.
//
// Sorting needs a total order, which a mix of the two rules is not, so a right-justified sort
// orders the empty value first, then numbers by value (equal values tie), then other texts by
// bytes.
#pragma once

#include <string_view>

#include "db/query/query.h"

namespace cortevane::db::query {

// <0, 0, >0 as a < b, a == b, a > b, both being decimal numbers (db::IsNumber).
int CompareNumbers(std::string_view a, std::string_view b);

// The comparison rule of a condition: numbers as numbers on a right-justified item.
int CompareValues(std::string_view a, std::string_view b, bool right);

// The order of a sort (see above). A strict weak ordering for either justification.
int CompareForSort(std::string_view a, std::string_view b, bool right);

// Whether one value of a record satisfies `cmp` (its op, pattern and value). Begins-with,
// ends-with and contains look at the bytes whatever the justification.
bool Satisfies(std::string_view value, const Comparison& cmp, bool right);

}  // namespace cortevane::db::query
