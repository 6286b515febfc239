// The office store's side of a selection: the dictionary from memory, and reads that check
// in their own statement that the file is still the one that dictionary described, so a
// search already known that finds records costs one request; and key ranges for begins-with
// tests on the key.
#include <libpq-fe.h>

#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::CellView;
using postgres::Params;
using postgres::Result;

namespace {

// The most prefixes asked in one statement; more are asked in several, in key order.
constexpr size_t kMaxPrefixesAsked = 200;

}  // namespace

int PostgresStore::BeginSelection(std::string_view file, std::vector<DictItem>* items) {
  selection_.reset();
  if (int s = Settle()) return s;
  const FileKnowledge* known = nullptr;
  if (int s = Know(file, false, &known)) return s == kBadName ? static_cast<int>(kNoSuchFile) : s;
  selection_ = Selection{std::string(file), known->version};
  *items = known->dictionary;
  return kOk;
}

void PostgresStore::EndSelection() { selection_.reset(); }

bool PostgresStore::Selecting(std::string_view file) const {
  return selection_ && selection_->file == file;
}

int PostgresStore::CheckSelection(std::string_view file) {
  if (!Selecting(file)) return kOk;
  const FileKnowledge* known = nullptr;
  const int s = Know(file, true, &known);
  if (s == kNoSuchFile || (s == kOk && known->version != selection_->version)) return kFileChanged;
  return s;
}

std::string PostgresStore::Gated(const std::string& sql, Params* params) const {
  params->push_back(selection_->file);
  const std::string name = "$" + std::to_string(params->size());
  params->push_back(std::to_string(selection_->version));
  const std::string version = "$" + std::to_string(params->size());
  // Each row says whether the catalogue entry still has the selection's version, read once
  // for the statement (an init plan), so the plan of the records' statement is unchanged.
  return "SELECT (SELECT version = " + version +
         "::text::bigint FROM cv_files WHERE name = " + name +
         ") AS fresh, s.key, s.record FROM (" + sql + ") s ORDER BY s.key";
}

int PostgresStore::VisitRecords(
    std::string_view file, pg_result* r, bool gated,
    const std::function<bool(std::string_view, std::string_view)>& visit, int* visited) {
  *visited = 0;
  if (!Ok(r)) {
    const int s = Failure(r, file);
    return s == kNoSuchFile && gated ? static_cast<int>(kFileChanged) : s;
  }
  const int rows = PQntuples(r);
  const int first = gated ? 1 : 0;
  if (gated) {
    // No row says nothing of the version: it is asked for (a search that finds nobody costs
    // a second request).
    if (rows == 0) return CheckSelection(selection_->file);
    if (PQgetisnull(r, 0, 0) || PQgetvalue(r, 0, 0)[0] == 0) {
      Forget(selection_->file);
      return kFileChanged;
    }
  }
  for (int i = 0; i < rows; ++i) {
    ++*visited;
    if (!visit(CellView(r, i, first), CellView(r, i, first + 1))) {
      *visited = -1;  // stopped
      break;
    }
  }
  return kOk;
}

int PostgresStore::PrefixScan(
    std::string_view file, const std::vector<std::string>& prefixes,
    const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (int s = Settle()) return s;
  int status;
  const std::string table = Table(file, &status);
  if (status != kOk) return status;
  const std::vector<std::string> ranges = DisjointPrefixes(prefixes);
  const bool gated = Selecting(file);
  // bytea compares as bytes: a range of the primary key a prefix, whatever the collation.
  // The ranges are disjoint and in key order, so statements of consecutive ranges follow one
  // another in key order too.
  for (size_t from = 0; from < ranges.size(); from += kMaxPrefixesAsked) {
    Params params;
    std::string any;
    for (size_t i = from; i < ranges.size() && i < from + kMaxPrefixesAsked; ++i) {
      params.push_back(ranges[i]);
      std::string test = "key >= $" + std::to_string(params.size());
      if (auto end = PrefixEnd(ranges[i])) {
        params.push_back(std::move(*end));
        test += " AND key < $" + std::to_string(params.size());
      }
      any += (any.empty() ? "(" : " OR (") + test + ")";
    }
    std::string sql = "SELECT key, record FROM " + table + " WHERE " + any;
    sql = gated ? Gated(sql, &params) : sql + " ORDER BY key";
    Result r(Exec(sql, params));
    int visited = 0;
    if (int s = VisitRecords(file, r.get(), gated, visit, &visited)) return s;
    if (visited < 0) break;
  }
  return kOk;
}

}  // namespace cortevane::db
