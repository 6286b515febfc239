// The details offered with the conflict question: what differs between the three versions of
// a record (at the import, on the server now, on the laptop now), field by field, so that the
// user answers knowing what the Yes overwrites. Pure functions of the records and of the file's
// dictionary, so the text is checked without a store or a window.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "db/dictionary.h"
#include "db/dyn_array.h"

namespace cortevane::exporting {

// Longest value shown, in characters; a longer one is cut and ends with "…".
inline constexpr size_t kDetailValueWidth = 60;
// Most differences listed; the rest are counted on a last line.
inline constexpr int kDetailMaxItems = 40;

// Field number -> dictionary name, from the items that read a whole field (the first such item
// of a field names it; items reading the key or part of a field name nothing).
std::map<int, std::string> FieldNames(const std::vector<db::DictItem>& dictionary);

// The details text for record `key`: one block per field whose three versions are not all
// equal, naming the field ("Champ 2 (NomAide)"), saying which side changed the field since
// the import (", modifié sur le portable"), and giving its three values; a multivalued field
// is compared value by value ("Champ 7, valeur 2"). An empty record counts as absent. Linear in
// the records' size.
std::string ConflictDetails(std::string_view key, const db::DynArray& reference,
                            const db::DynArray& server, const db::DynArray& laptop,
                            const std::map<int, std::string>& names);

// What the journal keeps of a "Non": the laptop's value of every field the laptop changed,
// whole, one line a field, named after the dictionary, so the worker can enter them again.
std::string DeclinedValues(const db::DynArray& reference, const db::DynArray& server,
                           const db::DynArray& laptop, const std::map<int, std::string>& names);

// `text` cut to `width` characters (UTF-8), the last one replaced by "…" when it was longer.
std::string Shortened(std::string_view text, size_t width);

}  // namespace cortevane::exporting
