// The office store's dictionaries and indexes: dictionary items, the index entries kept
// beside every write, and the lookups that answer a query through an index.
#include <libpq-fe.h>

#include "db/names.h"
#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::AppendHex;
using postgres::Cell;
using postgres::Decoded;
using postgres::Params;
using postgres::Result;

namespace {

// The tests on cv_index x for each of `values` (equal to its index form, or beginning with it
// when `prefix`), joined by OR; their parameters are appended to *params. Begins-with is a
// range of the index, so every test stays an index scan.
std::string IndexTests(const DictItem& item, const std::vector<std::string>& values, bool prefix,
                       Params* params) {
  auto next = [params](std::string value) {
    params->push_back(std::move(value));
    return "$" + std::to_string(params->size());
  };
  std::string any;
  for (const std::string& value : values) {
    std::string test;
    if (!prefix) {
      test = "x.value = " + next(IndexForm(item, value));
    } else {
      test = "x.value >= " + next(value);
      if (auto end = PrefixEnd(value)) test += " AND x.value < " + next(std::move(*end));
    }
    any += (any.empty() ? "(" : " OR (") + test + ")";
  }
  return any;
}

// A file's catalogue entry and dictionary from the rows [begin, end) of `r`, whose columns
// from `at` on are the version, then each item's name, field, first characters, justification
// and whether it is indexed (the item's columns null for a file without dictionary).
template <typename Knowledge>
Knowledge FileRows(PGresult* r, int begin, int end, int at) {
  Knowledge fresh;
  fresh.version = std::stoll(Cell(r, begin, at));
  for (int i = begin; i < end; ++i) {
    if (PQgetisnull(r, i, at + 1)) continue;
    DictItem item;
    item.name = Cell(r, i, at + 1);
    item.field = std::stoi(Cell(r, i, at + 2));
    item.first = std::stoi(Cell(r, i, at + 3));
    item.right = Cell(r, i, at + 4) == "true";
    item.indexed = Cell(r, i, at + 5) == "true";
    if (item.indexed) fresh.indexed.push_back(item);
    fresh.dictionary.push_back(std::move(item));
  }
  return fresh;
}

constexpr char kFileColumns[] =
    "f.version::text, d.item, d.field::text, d.first_chars::text, d.right_just::text, "
    "d.indexed::text FROM cv_files f LEFT JOIN cv_dict d ON d.file = f.name ";

}  // namespace

int PostgresStore::Know(std::string_view file, bool check, const FileKnowledge** known) {
  if (ValidateName(file) != kOk) return kBadName;
  auto it = files_.find(file);
  if (it != files_.end()) {
    // A file found absent is believed only until the next request: another connection may
    // create it at any time.
    const bool fresh = it->second.read_at == round_trips_;
    if (it->second.absent && fresh) return kNoSuchFile;
    if (!it->second.absent && (!check || fresh)) {
      *known = &it->second;
      return kOk;
    }
  }
  // The file's entry and its dictionary in one request; no row: no such file.
  Result r(Exec(std::string("SELECT ") + kFileColumns + "WHERE f.name = $1 ORDER BY d.item",
                {std::string(file)}));
  if (!Ok(r.get())) return Failure();
  if (PQntuples(r.get()) == 0) {
    files_[std::string(file)] = Absent();
    return kNoSuchFile;
  }
  FileKnowledge fresh = FileRows<FileKnowledge>(r.get(), 0, PQntuples(r.get()), 0);
  fresh.read_at = round_trips_;
  FileKnowledge& slot = files_[std::string(file)];
  slot = std::move(fresh);
  *known = &slot;
  return kOk;
}

int PostgresStore::LookUpFiles(const std::vector<std::string>& files) {
  std::string names;
  for (const std::string& file : files)
    if (ValidateName(file) == kOk) AppendHex(&names, file);
  if (names.empty()) return kOk;
  Result r(Exec(std::string("SELECT f.name, ") + kFileColumns +
                    "WHERE f.name IN (SELECT convert_from(" + Decoded("h") +
                    ", 'UTF8') FROM unnest(string_to_array($1::text, ',')) AS u(h)) "
                    "ORDER BY f.name, d.item",
                {names}));
  if (!Ok(r.get())) return Failure();
  // Every file asked is known now: those without rows are not in the account.
  for (const std::string& file : files)
    if (ValidateName(file) == kOk) files_[file] = Absent();
  const int rows = PQntuples(r.get());
  for (int begin = 0, end = 0; begin < rows; begin = end) {
    const std::string name = Cell(r.get(), begin, 0);
    while (end < rows && Cell(r.get(), end, 0) == name) ++end;
    FileKnowledge fresh = FileRows<FileKnowledge>(r.get(), begin, end, 1);
    fresh.read_at = round_trips_;
    files_[name] = std::move(fresh);
  }
  return kOk;
}

int PostgresStore::WriteIndex(std::string_view file, const std::vector<DictItem>& indexed,
                              std::string_view key, std::string_view record) {
  if (indexed.empty()) return kOk;
  Result del(Exec("DELETE FROM cv_index WHERE file = $1 AND key = $2",
                  {std::string(file), std::string(key)}));
  if (!Ok(del.get())) return Failure();
  for (const auto& item : indexed) {
    for (const auto& value : ItemValues(item, key, record)) {
      Result ins(
          Exec("INSERT INTO cv_index (file, item, value, key) VALUES ($1, $2, $3, $4) "
               "ON CONFLICT DO NOTHING",
               {std::string(file), item.name, IndexForm(item, value), std::string(key)}));
      if (!Ok(ins.get())) return Failure();
    }
  }
  return kOk;
}

void PostgresStore::IndexEntries::Add(const DictItem& item, std::string_view key,
                                      std::string_view record) {
  for (const auto& value : ItemValues(item, key, record)) {
    AppendHex(&items, item.name);
    AppendHex(&values, IndexForm(item, value));
    AppendHex(&keys, key);
    ++count;
  }
}

std::string postgres::InsertIndexStatement() {
  return "INSERT INTO cv_index (file, item, value, key) SELECT $1, convert_from(" + Decoded("i") +
         ", 'UTF8'), " + Decoded("v") + ", " + Decoded("k") +
         " FROM unnest(string_to_array($2::text, ','), string_to_array($3::text, ','), "
         "string_to_array($4::text, ',')) AS u(i, v, k) ON CONFLICT DO NOTHING";
}

int PostgresStore::InsertIndexEntries(const std::string& file, IndexEntries* entries) {
  if (entries->count == 0) return kOk;
  Result ins(Exec(postgres::InsertIndexStatement(),
                  {file, entries->items, entries->values, entries->keys}));
  *entries = IndexEntries{};
  return Ok(ins.get()) ? kOk : Failure();
}

int PostgresStore::IndexedItem(std::string_view file, std::string_view item, const DictItem** found,
                               bool check) {
  const FileKnowledge* known = nullptr;
  if (int s = Know(file, check, &known)) return s;
  for (const DictItem& i : known->indexed)
    if (i.name == item) {
      *found = &i;
      return kOk;
    }
  return kQueryUnknownItem;
}

int PostgresStore::IndexLookup(std::string_view file, std::string_view item, std::string_view value,
                               bool prefix, std::vector<std::string>* keys) {
  return IndexLookupAny(file, item, {std::string(value)}, prefix, keys);
}

int PostgresStore::IndexLookupAny(std::string_view file, std::string_view item,
                                  const std::vector<std::string>& values, bool prefix,
                                  std::vector<std::string>* keys) {
  if (values.size() > 500) return Store::IndexLookupAny(file, item, values, prefix, keys);
  keys->clear();
  if (int s = Settle()) return s;
  int status;
  Table(file, &status);
  if (status != kOk) return status;
  if (int s = CheckSelection(file)) return s;
  const DictItem* found = nullptr;
  if (int s = IndexedItem(file, item, &found)) return s;
  if (values.empty()) return kOk;
  // One request: the tests of every value, each an equality or a range the index answers.
  Params params{std::string(file), std::string(item)};
  const std::string any = IndexTests(*found, values, prefix, &params);
  Result r(Exec("SELECT DISTINCT x.key FROM cv_index x WHERE x.file = $1 AND x.item = $2 AND (" +
                    any + ") ORDER BY x.key",
                params));
  if (!Ok(r.get())) return Failure();
  for (int i = 0; i < PQntuples(r.get()); ++i) keys->push_back(Cell(r.get(), i, 0));
  return kOk;
}

int PostgresStore::IndexScan(std::string_view file, std::string_view item, std::string_view value,
                             bool prefix,
                             const std::function<bool(std::string_view, std::string_view)>& visit) {
  return IndexScanAny(file, item, {std::string(value)}, prefix, visit);
}

int PostgresStore::IndexScanAny(
    std::string_view file, std::string_view item, const std::vector<std::string>& values,
    bool prefix, const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (values.size() > 500) return Store::IndexScanAny(file, item, values, prefix, visit);
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  const bool gated = Selecting(file);
  const DictItem* found = nullptr;
  if (int s = IndexedItem(file, item, &found, !gated)) return s;
  if (values.empty()) return kOk;
  Params params{std::string(file), std::string(item)};
  // One request: the index names the keys, the join brings their records. The keys are made
  // distinct and sorted alone (a record may have several values that match), narrow rows,
  // and each record is then read by its primary key in that order: the rows come in key
  // order without sorting the records themselves. The fence (OFFSET 0) keeps that plan where
  // the estimates of the index's values, which are shared by every item, are far off and the
  // planner would otherwise hash the whole table.
  std::string sql =
      "SELECT k.key, f.record FROM (SELECT DISTINCT x.key FROM cv_index x WHERE x.file = $1 "
      "AND x.item = $2 AND (" +
      IndexTests(*found, values, prefix, &params) +
      ") ORDER BY x.key) k CROSS JOIN LATERAL (SELECT t.record FROM " + table +
      " t WHERE t.key = k.key OFFSET 0) f";
  sql = gated ? Gated(sql, &params) : sql + " ORDER BY k.key";
  Result r(Exec(sql, params));
  int visited = 0;
  return VisitRecords(file, r.get(), gated, visit, &visited);
}

int PostgresStore::SetDictItem(std::string_view file, const DictItem& item) {
  if (int s = Settle()) return s;
  int status;
  Table(file, &status);
  if (status != kOk) return status;
  // Item names are written in query sentences: the same rule as file names keeps them words.
  if (ValidateName(item.name) != kOk) return kBadName;
  if (item.field < 0 || item.first < 0) return kBadArgument;
  status = Atomically([&] {
    // A new version of the file's entry, taken first: it waits for the writes under way on
    // the file, and refuses those prepared against the old one.
    Result v(
        Exec("UPDATE cv_files SET version = txid_current() WHERE name = $1", {std::string(file)}));
    if (!Ok(v.get())) return Failure();
    if (std::string(PQcmdTuples(v.get())) == "0") return static_cast<int>(kNoSuchFile);
    Forget(file);
    Result r(
        Exec("INSERT INTO cv_dict (file, item, field, first_chars, right_just, indexed) "
             "VALUES ($1, $2, $3::text::int, $4::text::int, $5::text::bool, $6::text::bool) "
             "ON CONFLICT (file, item) DO UPDATE SET field = EXCLUDED.field, "
             "first_chars = EXCLUDED.first_chars, right_just = EXCLUDED.right_just, "
             "indexed = EXCLUDED.indexed",
             {std::string(file), item.name, std::to_string(item.field), std::to_string(item.first),
              item.right ? "true" : "false", item.indexed ? "true" : "false"}));
    if (!Ok(r.get())) return Failure();
    Result d(
        Exec("DELETE FROM cv_index WHERE file = $1 AND item = $2", {std::string(file), item.name}));
    if (!Ok(d.get())) return Failure();
    if (!item.indexed) return static_cast<int>(kOk);
    // Index the records already there, a few thousand entries a request.
    IndexEntries entries;
    int inner = kOk;
    int scanned = Scan(file, [&](std::string_view key, std::string_view record) {
      entries.Add(item, key, record);
      if (entries.count >= 5000) {
        inner = InsertIndexEntries(std::string(file), &entries);
        if (inner != kOk) return false;
      }
      return true;
    });
    if (scanned != kOk) return scanned;
    if (inner != kOk) return inner;
    return InsertIndexEntries(std::string(file), &entries);
  });
  Forget(file);
  return status;
}

int PostgresStore::Dictionary(std::string_view file, std::vector<DictItem>* items) {
  items->clear();
  const FileKnowledge* known = nullptr;
  if (int s = Know(file, true, &known)) return s;
  *items = known->dictionary;
  return kOk;
}

}  // namespace cortevane::db
