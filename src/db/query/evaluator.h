// Last stage of DBA.SELECT: runs a parsed Query (query.h) against any Store, through its Scan,
// IndexLookup, Read and Dictionary calls, and lays out the result as the routine returns it.
//
// An equality or begins-with test on an indexed item, an equality on the key, or such tests
// joined by OR, read only the records the index (or the key) names; begins-with tests on the
// key read only their ranges of the store's key order; every other sentence reads the whole
// file once. Either way each record read is tested against the whole condition, so
// an index only ever narrows what is read, never what is selected.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/query/query.h"

namespace cortevane::db {
class Store;
}

namespace cortevane::db::query {

// Runs `query` on `file` of `store` (a real file, not a pointer) and sets *result to one field
// per selected record, one value per number of `wanted` (0: the key), value marks of a wanted
// field lowered to subvalue marks. Unknown items give kQueryUnknownItem, a file the store does
// not have kQueryUnknownFile; a store failure passes its status through.
QueryError RunQuery(Store& store, std::string_view file, const Query& query,
                    const std::vector<int>& wanted, std::string* result);

// The whole routine: `request` field 1 the sentence, field 2 the file name, field 3 the wanted
// field numbers separated by blanks. A file that is a pointer is read through the connected
// session of its account (kPointerTargetAbsent without one). Malformed field 3, or a field 2
// that names another file than the sentence, give kBadArgument.
QueryError Select(Store& store, std::string_view request, std::string* result);

}  // namespace cortevane::db::query
