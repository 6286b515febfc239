// The sort values of a selected record as one block of bytes whose plain byte order (memcmp)
// is the order the sort asks (compare.h: bytes for a left-justified item; for a
// right-justified one the empty value, then numbers by value, then other texts), so sorting
// many rows compares contiguous blocks instead of lists of separately kept strings, and
// decodes each number once, when its row is taken.
//
// A block is the rows' sort items one after another, each a list of values: each value
// escaped (byte 0 becomes 0 0xFF) and ended by 0 1, the list ended by 0 0, which sorts a list
// before any longer one it begins. A descending item has its bytes inverted. Each item's part
// is prefix-free, so the parts compare one after the other as the sort's keys do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cortevane::db::query {

// Appends one value of a sort item to its list at the end of *block.
void AppendSortValue(std::string_view value, bool right, std::string* block);

// Ends the list of one sort item begun at `start` of *block (descending: inverted).
void EndSortList(size_t start, bool descending, std::string* block);

}  // namespace cortevane::db::query
