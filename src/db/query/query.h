// A parsed DBA.SELECT sentence, as plain data. ParseQuery builds it from the text; the generic
// evaluator (evaluator.h) runs it over any Store, and a store that can run the selection
// itself (a SQL server) may translate it instead: nothing here depends on how records are kept.
//
// What a sentence can say:
//   SELECT | SSELECT  file
//   { AVEC | WITH  condition }        several AVEC clauses must all hold
//   { PAR | BY | PAR.DSND | BY.DSND  item }   sorts, in order
// where a condition is comparisons joined by OR (OU) and AND (ET), AND binding tighter, and a
// comparison is `item [operator] "value" ["value"...]`. See parser.cc for the details.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cortevane::db::query {

// How a sentence names a part of a record. Field numbers and @ID are read as exact text;
// a dictionary name takes its field, cut and justification from the file's dictionary.
struct ItemRef {
  enum class Kind { kField, kKey, kName };
  Kind kind = Kind::kField;
  int field = 0;     // kField: the field number (0 is the key, like @ID)
  std::string name;  // the text as written in the sentence (for messages and kName)
};

enum class Op { kEq, kNe, kLt, kLe, kGt, kGe };

// What the markers inside a quoted value ask: "DUP]" begins with DUP, "[ONT" ends with ONT,
// "[UPO]" contains UPO. Only = and # (not equal) take them.
enum class Pattern { kWhole, kBeginsWith, kEndsWith, kContains };

struct Comparison {
  ItemRef item;
  Op op = Op::kEq;
  Pattern pattern = Pattern::kWhole;
  std::string value;  // without quotes and without the pattern markers
};

// A condition tree. kCompare is a leaf; kNotEmpty is `AVEC item` alone (the item has a
// non-empty value); kAnd / kOr hold two or more children.
struct Condition {
  enum class Kind { kCompare, kNotEmpty, kAnd, kOr };
  Kind kind = Kind::kCompare;
  Comparison compare;  // kCompare, and kNotEmpty (its item)
  std::vector<Condition> children;
};

struct SortKey {
  ItemRef item;
  bool descending = false;
};

struct Query {
  bool sort_by_key = false;  // SSELECT: sorted, ties (or everything, without PAR) by key
  std::string file;
  bool has_condition = false;
  Condition condition;
  std::vector<SortKey> sorts;
};

// The outcome of parsing or running a sentence: a status of db/status.h (0 success,
// kQuerySyntax, kQueryUnknownFile, kQueryUnknownItem, ...) and, when it failed, one English
// message that quotes the offending text.
struct QueryError {
  int status = 0;
  std::string message;
};

// Parses `sentence`. On failure the returned error has status kQuerySyntax and *query holds
// only what was read before the error.
QueryError ParseQuery(std::string_view sentence, Query* query);

}  // namespace cortevane::db::query
