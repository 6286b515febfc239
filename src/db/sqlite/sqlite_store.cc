// The embedded store's records, indexes, reservations and transactions. Opening, creating and
// the catalogue are in sqlite_account.cc.
#include <sqlite3.h>

#include <optional>

#include "db/names.h"
#include "db/sqlite/record_locks.h"
#include "db/sqlite/sqlite_internal.h"
#include "db/status.h"

namespace cortevane::db {
namespace {

// At most this many values are asked of the index in one statement.
constexpr size_t kMaxValuesAsked = 200;

// The test of the index entries `x` for one value in the item's index form (equal, or
// beginning with it when `prefix`); its parameters are appended to `params`, which are bound
// from ?3 on.
std::string IndexTest(const DictItem& item, std::string_view value, bool prefix,
                      std::vector<std::string>* params) {
  auto next = [params](std::string v) {
    params->push_back(std::move(v));
    return "?" + std::to_string(params->size() + 2);
  };
  const std::string form = IndexForm(item, value);
  if (!prefix) return "x.value = " + next(form);
  std::optional<std::string> end = PrefixEnd(form);
  std::string test = "x.value >= " + next(form);
  if (end) test += " AND x.value < " + next(std::move(*end));
  return test;
}

}  // namespace

SqliteStore::SqliteStore(std::filesystem::path folder, sqlite3* db, bool read_only)
    : folder_(std::move(folder)),
      db_(db),
      locks_(std::make_unique<RecordLocks>(folder_ / kLockFolder)),
      read_only_(read_only) {}

void SqliteStore::SetBusyTimeout(int ms) { sqlite3_busy_timeout(db_, ms < 0 ? 0 : ms); }

SqliteStore::~SqliteStore() {
  if (in_transaction_) Exec("ROLLBACK");
  ForgetStatements();
  sqlite3_close_v2(db_);
  // locks_ goes next, closing its descriptors: every reservation of the session is released.
}

sqlite3_stmt* SqliteStore::Prepare(const std::string& sql, int* status) {
  *status = kOk;
  if (auto it = statements_.find(sql); it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    *status = Fail(rc);
    sqlite3_finalize(stmt);
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

void SqliteStore::ForgetStatements() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  statements_.clear();
}

int SqliteStore::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? 0 : Fail(rc);
}

int SqliteStore::Control(const char* sql) {
  Statement st(this, sql);
  if (!st.ok()) return st.status();
  return st.Run();
}

void SqliteStore::ForgetCatalogue() {
  tables_.clear();
  indexed_items_.clear();
}

int SqliteStatus(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kOk;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kAccountCorrupt;
    case SQLITE_TOOBIG:
      return kRecordTooLarge;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kBaseBusy;
    case SQLITE_READONLY:
      return kReadOnlyAccount;
    case SQLITE_FULL:
      return kDiskFull;
    default:
      return kIoError;
  }
}

int SqliteStore::Fail(int rc) {
  last_message_ = sqlite3_errmsg(db_);
  // Every failure has a status, even a code that SQLite counts as success.
  const int status = SqliteStatus(rc);
  return status == kOk ? kIoError : status;
}

int SqliteStore::TableOf(std::string_view file, std::string* table) {
  if (in_transaction_)
    if (auto it = tables_.find(file); it != tables_.end()) {
      *table = it->second;
      return kOk;
    }
  if (ValidateName(file) != kOk) return kBadName;
  Statement st(this, "SELECT tbl FROM files WHERE name = ?");
  if (!st.ok()) return st.status();
  st.Text(1, file);
  int rc = st.Step();
  if (rc == SQLITE_DONE) return kNoSuchFile;
  if (rc != SQLITE_ROW) return Fail(rc);
  table->assign(st.Column(0));
  if (in_transaction_) tables_.emplace(file, *table);
  return kOk;
}

int SqliteStore::Read(std::string_view file, std::string_view key, std::string* record) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (key.empty()) return kNoKey;
  Statement st(this, "SELECT record FROM " + table + " WHERE key = ?");
  if (!st.ok()) return st.status();
  st.Blob(1, key);
  int rc = st.Step();
  if (rc == SQLITE_DONE) {
    record->clear();
    return kRecordNotFound;
  }
  if (rc != SQLITE_ROW) return Fail(rc);
  record->assign(st.Column(0));
  return kOk;
}

int SqliteStore::ReadMany(std::string_view file, const std::vector<std::string>& keys,
                          const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (keys.empty()) return kOk;
  // One snapshot for all the keys: a writer in between cannot make the set inconsistent.
  const bool own = !in_transaction_;
  if (own)
    if (int s = Control("BEGIN")) return s;
  int status = kOk;
  {
    Statement st(this, "SELECT record FROM " + table + " WHERE key = ?");
    if (!st.ok()) status = st.status();
    for (size_t i = 0; i < keys.size() && status == kOk; ++i) {
      st.Reset();
      int rc = st.Blob(1, keys[i]).Step();
      if (rc == SQLITE_DONE) continue;
      if (rc != SQLITE_ROW) status = Fail(rc);
      if (status != kOk || !visit(keys[i], st.Column(0))) break;
    }
  }
  if (own) Control(status == kOk ? "COMMIT" : "ROLLBACK");
  return status;
}

int SqliteStore::IndexedItems(std::string_view file, std::vector<DictItem>* items) {
  if (in_transaction_)
    if (auto it = indexed_items_.find(file); it != indexed_items_.end()) {
      *items = it->second;
      return kOk;
    }
  items->clear();
  Statement st(this, "SELECT item, field, first, right FROM dict WHERE file = ? AND indexed");
  if (!st.ok()) return st.status();
  st.Text(1, file);
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) {
    DictItem item;
    item.name = st.Column(0);
    item.field = static_cast<int>(st.ColumnInt(1));
    item.first = static_cast<int>(st.ColumnInt(2));
    item.right = st.ColumnInt(3) != 0;
    item.indexed = true;
    items->push_back(std::move(item));
  }
  if (rc != SQLITE_DONE) return Fail(rc);
  if (in_transaction_) indexed_items_.emplace(file, *items);
  return kOk;
}

int SqliteStore::RemoveIndexEntries(std::string_view file, std::string_view key) {
  Statement st(this, "DELETE FROM idx WHERE file = ? AND key = ?");
  if (!st.ok()) return st.status();
  return st.Text(1, file).Blob(2, key).Run();
}

int SqliteStore::AddIndexEntries(std::string_view file, const std::vector<DictItem>& items,
                                 std::string_view key, std::string_view record) {
  if (items.empty()) return kOk;
  Statement st(this, "INSERT OR IGNORE INTO idx (file, item, value, key) VALUES (?, ?, ?, ?)");
  if (!st.ok()) return st.status();
  st.Text(1, file).Blob(4, key);
  for (const DictItem& item : items) {
    st.Text(2, item.name);
    for (const std::string& value : ItemValues(item, key, record)) {
      if (int s = st.Blob(3, IndexForm(item, value)).Run()) return s;
      st.Reset();
    }
  }
  return kOk;
}

int SqliteStore::Write(std::string_view file, std::string_view key, std::string_view record) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (key.empty()) return kNoKey;
  if (record.size() > kMaxRecordBytes) return kRecordTooLarge;
  // Outside a transaction the write is one of its own. Inside, a write without index entries
  // is one statement that changes the file (the first changes nothing when the key is there),
  // whole by itself; with entries it takes a savepoint, so that it is whole too.
  std::optional<WriteScope> scope;
  if (!in_transaction_) {
    scope.emplace(this);
    if (scope->status()) return scope->status();
  }
  std::vector<DictItem> items;
  if (int s = IndexedItems(file, &items)) return s;
  if (!scope && !items.empty()) {
    scope.emplace(this);
    if (scope->status()) return scope->status();
  }
  bool added;
  {
    Statement st(this, "INSERT OR IGNORE INTO " + table + " (key, record) VALUES (?, ?)");
    if (!st.ok()) return st.status();
    if (int s = st.Blob(1, key).Blob(2, record).Run()) return s;
    added = sqlite3_changes(db_) == 1;
  }
  if (!added) {
    Statement st(this, "UPDATE " + table + " SET record = ? WHERE key = ?");
    if (!st.ok()) return st.status();
    if (int s = st.Blob(1, record).Blob(2, key).Run()) return s;
  }
  if (!items.empty()) {
    // A record new to the file has no index entries yet: Delete, Clear and DropFile remove a
    // record's entries with it.
    if (!added)
      if (int s = RemoveIndexEntries(file, key)) return s;
    if (int s = AddIndexEntries(file, items, key, record)) return s;
  }
  return scope ? scope->Commit() : kOk;
}

int SqliteStore::Delete(std::string_view file, std::string_view key) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (key.empty()) return kNoKey;
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  {
    Statement st(this, "DELETE FROM " + table + " WHERE key = ?");
    if (!st.ok()) return st.status();
    if (int s = st.Blob(1, key).Run()) return s;
  }
  if (sqlite3_changes(db_) == 0) return kRecordNotFound;  // the scope rolls back nothing
  if (int s = RemoveIndexEntries(file, key)) return s;
  return scope.Commit();
}

int SqliteStore::Clear(std::string_view file) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  {
    Statement st(this, "DELETE FROM " + table);
    if (!st.ok()) return st.status();
    if (int s = st.Run()) return s;
  }
  {
    Statement st(this, "DELETE FROM idx WHERE file = ?");
    if (!st.ok()) return st.status();
    if (int s = st.Text(1, file).Run()) return s;
  }
  return scope.Commit();
}

int SqliteStore::Scan(
    std::string_view file,
    const std::function<bool(std::string_view key, std::string_view record)>& visit) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  Statement st(this, "SELECT key, record FROM " + table + " ORDER BY key");
  if (!st.ok()) return st.status();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) {
    if (!visit(st.Column(0), st.Column(1))) return kOk;
  }
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::PrefixScan(std::string_view file, const std::vector<std::string>& prefixes,
                            const std::function<bool(std::string_view, std::string_view)>& visit) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  // One search of the primary key a prefix; disjoint ranges taken in order come out in key
  // order, each record once. BLOBs compare as bytes, whatever the case or the encoding.
  const std::vector<std::string> ranges = DisjointPrefixes(prefixes);
  const bool own = !in_transaction_ && ranges.size() > 1;  // one snapshot for every range
  if (own)
    if (int s = Control("BEGIN")) return s;
  int status = kOk;
  bool more = true;
  for (size_t i = 0; i < ranges.size() && more && status == kOk; ++i) {
    const std::optional<std::string> end = PrefixEnd(ranges[i]);
    Statement st(this, "SELECT key, record FROM " + table + " WHERE key >= ?" +
                           (end ? " AND key < ?" : "") + " ORDER BY key");
    if (!st.ok()) {
      status = st.status();
      break;
    }
    st.Blob(1, ranges[i]);
    if (end) st.Blob(2, *end);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
      if (!(more = visit(st.Column(0), st.Column(1)))) break;
    if (more && rc != SQLITE_DONE) status = Fail(rc);
  }
  if (own) Control(status == kOk ? "COMMIT" : "ROLLBACK");
  return status;
}

int SqliteStore::IndexedItem(std::string_view file, std::string_view item, DictItem* found) {
  std::vector<DictItem> items;
  if (int s = IndexedItems(file, &items)) return s;
  for (DictItem& i : items)
    if (i.name == item) {
      *found = std::move(i);
      return kOk;
    }
  return kQueryUnknownItem;
}

int SqliteStore::IndexLookup(std::string_view file, std::string_view item, std::string_view value,
                             bool prefix, std::vector<std::string>* keys) {
  return IndexLookupAny(file, item, {std::string(value)}, prefix, keys);
}

int SqliteStore::IndexLookupAny(std::string_view file, std::string_view item,
                                const std::vector<std::string>& values, bool prefix,
                                std::vector<std::string>* keys) {
  keys->clear();
  if (values.size() > kMaxValuesAsked)
    return Store::IndexLookupAny(file, item, values, prefix, keys);
  std::vector<std::string> params;
  std::string table, sql;
  if (int s = IndexKeys(file, item, values, prefix, &table, &sql, &params)) return s;
  if (values.empty()) return kOk;
  return VisitRows("SELECT DISTINCT key FROM (" + sql + ") ORDER BY key", file, item, params,
                   [&](std::string_view key, std::string_view) {
                     keys->emplace_back(key);
                     return true;
                   });
}

int SqliteStore::IndexScan(std::string_view file, std::string_view item, std::string_view value,
                           bool prefix,
                           const std::function<bool(std::string_view, std::string_view)>& visit) {
  return IndexScanAny(file, item, {std::string(value)}, prefix, visit);
}

int SqliteStore::IndexScanAny(
    std::string_view file, std::string_view item, const std::vector<std::string>& values,
    bool prefix, const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (values.size() > kMaxValuesAsked)
    return Store::IndexScanAny(file, item, values, prefix, visit);
  std::vector<std::string> params;
  std::string table, sql;
  if (int s = IndexKeys(file, item, values, prefix, &table, &sql, &params)) return s;
  if (values.empty()) return kOk;
  // The IN list keeps each key once; SQLite walks it in key order and looks each record up.
  return VisitRows(
      "SELECT f.key, f.record FROM " + table + " f WHERE f.key IN (" + sql + ") ORDER BY f.key",
      file, item, params, visit);
}

int SqliteStore::IndexKeys(std::string_view file, std::string_view item_name,
                           const std::vector<std::string>& values, bool prefix, std::string* table,
                           std::string* sql, std::vector<std::string>* params) {
  if (int s = TableOf(file, table)) return s;
  DictItem item;
  if (int s = IndexedItem(file, item_name, &item)) return s;
  // One range of the index a value: each is a search of the index's primary key.
  sql->clear();
  for (const std::string& value : values) {
    if (!sql->empty()) *sql += " UNION ALL ";
    *sql += "SELECT x.key AS key FROM idx x WHERE x.file = ?1 AND x.item = ?2 AND " +
            IndexTest(item, value, prefix, params);
  }
  return kOk;
}

int SqliteStore::VisitRows(const std::string& sql, std::string_view file, std::string_view item,
                           const std::vector<std::string>& params,
                           const std::function<bool(std::string_view, std::string_view)>& visit) {
  Statement st(this, sql);
  if (!st.ok()) return st.status();
  st.Text(1, file).Text(2, item);
  for (size_t i = 0; i < params.size(); ++i) st.Blob(static_cast<int>(i) + 3, params[i]);
  const bool records = st.ColumnCount() > 1;
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW)
    if (!visit(st.Column(0), records ? st.Column(1) : std::string_view())) return kOk;
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::CountRecords(std::string_view file, long long* count) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  Statement st(this, "SELECT count(*) FROM " + table);
  if (!st.ok()) return st.status();
  int rc = st.Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  *count = st.ColumnInt(0);
  return kOk;
}

int SqliteStore::Reserve(std::string_view file, std::string_view key, int timeout_ms) {
  if (ValidateName(file) != kOk) return kBadName;
  if (key.empty()) return kNoKey;
  if (read_only_) return kReadOnlyAccount;  // nothing can be written under the reservation
  return locks_->Acquire(file, key, timeout_ms < 0 ? 0 : timeout_ms);
}

int SqliteStore::Free(std::string_view file, std::string_view key) {
  if (ValidateName(file) != kOk) return kBadName;
  return locks_->Release(file, key);
}

bool SqliteStore::Holds(std::string_view file, std::string_view key) {
  return locks_->Holds(file, key);
}

int SqliteStore::Begin() {
  if (in_transaction_) return kBadArgument;  // transactions do not nest
  if (read_only_) return kReadOnlyAccount;
  if (int s = Control("BEGIN IMMEDIATE")) return s;
  ForgetCatalogue();
  in_transaction_ = true;
  return kOk;
}

int SqliteStore::Commit() {
  if (!in_transaction_) return kBadArgument;
  int s = Control("COMMIT");
  if (s != 0) Control("ROLLBACK");
  in_transaction_ = false;
  ForgetCatalogue();
  return s;
}

int SqliteStore::Rollback() {
  if (!in_transaction_) return kBadArgument;
  in_transaction_ = false;
  ForgetCatalogue();
  return Control("ROLLBACK");
}

}  // namespace cortevane::db
