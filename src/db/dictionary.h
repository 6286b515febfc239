// Dictionary items: how a query names a part of a record. An item reads the key (field 0) or a
// field, optionally only its first N characters, and is left-justified (text: compared and
// sorted as exact bytes) or right-justified (number: compared and sorted as numbers when both
// sides are numbers). An indexed item keeps, per record, one index entry per value of its
// field, so equality and begins-with tests need not read every record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cortevane::db {

struct DictItem {
  std::string name;
  int field = 0;       // 0: the record key
  int first = 0;       // >0: only the first `first` characters (bytes of UTF-8 text)
  bool right = false;  // right-justified (numeric)
  bool indexed = false;
};

// The values an item reads from a record: one per value of its field (a field without a value
// mark gives one value, the empty field gives one empty value), each cut to `first`.
std::vector<std::string> ItemValues(const DictItem& item, std::string_view key,
                                    std::string_view record);

// The form in which an index stores and looks up a value: the value itself for a
// left-justified item; for a right-justified item a number is written canonically (no leading
// zeros, no "+"), so "012" and "12" share one entry, and other text stays as it is.
std::string IndexForm(const DictItem& item, std::string_view value);

// True when `text` is a decimal number (optional sign, digits, optional fraction).
bool IsNumber(std::string_view text);

}  // namespace cortevane::db
