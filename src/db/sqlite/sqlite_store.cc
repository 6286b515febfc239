// The embedded store's records, indexes, reservations and transactions. Opening, creating and
// the catalogue are in sqlite_account.cc.
#include <sqlite3.h>

#include "db/names.h"
#include "db/sqlite/record_locks.h"
#include "db/sqlite/sqlite_internal.h"
#include "db/status.h"

namespace cortevane::db {
namespace {

// The smallest text greater than every text beginning with `prefix`, or the empty text when
// there is none (the prefix is all 0xFF bytes).
std::string PrefixEnd(std::string_view prefix) {
  std::string end(prefix);
  while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF) end.pop_back();
  if (!end.empty()) end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
  return end;
}

}  // namespace

SqliteStore::SqliteStore(std::filesystem::path folder, sqlite3* db)
    : folder_(std::move(folder)),
      db_(db),
      locks_(std::make_unique<RecordLocks>(folder_ / kLockFolder)) {}

SqliteStore::~SqliteStore() {
  if (in_transaction_) Exec("ROLLBACK");
  ForgetStatements();
  sqlite3_close_v2(db_);
  // locks_ goes next, closing its descriptors: every reservation of the session is released.
}

sqlite3_stmt* SqliteStore::Prepare(const std::string& sql) {
  if (auto it = statements_.find(sql); it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    Fail(rc);
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

int SqliteStore::Fail(int rc) {
  last_message_ = sqlite3_errmsg(db_);
  switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kAccountCorrupt;
    case SQLITE_TOOBIG:
      return kRecordTooLarge;
    default:
      return kIoError;
  }
}

int SqliteStore::TableOf(std::string_view file, std::string* table) {
  if (ValidateName(file) != kOk) return kBadName;
  Statement st(this, "SELECT tbl FROM files WHERE name = ?");
  if (!st.ok()) return kIoError;
  st.Text(1, file);
  int rc = st.Step();
  if (rc == SQLITE_DONE) return kNoSuchFile;
  if (rc != SQLITE_ROW) return Fail(rc);
  table->assign(st.Column(0));
  return kOk;
}

int SqliteStore::Read(std::string_view file, std::string_view key, std::string* record) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (key.empty()) return kNoKey;
  Statement st(this, "SELECT record FROM " + table + " WHERE key = ?");
  if (!st.ok()) return kIoError;
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
    if (int s = Exec("BEGIN")) return s;
  int status = kOk;
  const std::string sql = "SELECT record FROM " + table + " WHERE key = ?";
  for (const std::string& key : keys) {
    Statement st(this, sql);
    if (!st.ok()) {
      status = kIoError;
      break;
    }
    st.Blob(1, key);
    int rc = st.Step();
    if (rc == SQLITE_DONE) continue;
    if (rc != SQLITE_ROW) {
      status = Fail(rc);
      break;
    }
    if (!visit(key, st.Column(0))) break;
  }
  if (own) Exec(status == kOk ? "COMMIT" : "ROLLBACK");
  return status;
}

int SqliteStore::IndexedItems(std::string_view file, std::vector<DictItem>* items) {
  items->clear();
  Statement st(this, "SELECT item, field, first, right FROM dict WHERE file = ? AND indexed");
  if (!st.ok()) return kIoError;
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
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::RemoveIndexEntries(std::string_view file, std::string_view key) {
  Statement st(this, "DELETE FROM idx WHERE file = ? AND key = ?");
  if (!st.ok()) return kIoError;
  return st.Text(1, file).Blob(2, key).Run();
}

int SqliteStore::AddIndexEntries(std::string_view file, const std::vector<DictItem>& items,
                                 std::string_view key, std::string_view record) {
  for (const DictItem& item : items) {
    for (const std::string& value : ItemValues(item, key, record)) {
      Statement st(this, "INSERT OR IGNORE INTO idx (file, item, value, key) VALUES (?, ?, ?, ?)");
      if (!st.ok()) return kIoError;
      if (int s = st.Text(1, file)
                      .Text(2, item.name)
                      .Blob(3, IndexForm(item, value))
                      .Blob(4, key)
                      .Run())
        return s;
    }
  }
  return kOk;
}

int SqliteStore::Write(std::string_view file, std::string_view key, std::string_view record) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (key.empty()) return kNoKey;
  if (record.size() > kMaxRecordBytes) return kRecordTooLarge;
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  {
    Statement st(this, "INSERT OR REPLACE INTO " + table + " (key, record) VALUES (?, ?)");
    if (!st.ok()) return kIoError;
    if (int s = st.Blob(1, key).Blob(2, record).Run()) return s;
  }
  std::vector<DictItem> items;
  if (int s = IndexedItems(file, &items)) return s;
  if (!items.empty()) {
    if (int s = RemoveIndexEntries(file, key)) return s;
    if (int s = AddIndexEntries(file, items, key, record)) return s;
  }
  return scope.Commit();
}

int SqliteStore::Delete(std::string_view file, std::string_view key) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  if (key.empty()) return kNoKey;
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  {
    Statement st(this, "DELETE FROM " + table + " WHERE key = ?");
    if (!st.ok()) return kIoError;
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
    if (!st.ok()) return kIoError;
    if (int s = st.Run()) return s;
  }
  {
    Statement st(this, "DELETE FROM idx WHERE file = ?");
    if (!st.ok()) return kIoError;
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
  if (!st.ok()) return kIoError;
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) {
    if (!visit(st.Column(0), st.Column(1))) return kOk;
  }
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::IndexLookup(std::string_view file, std::string_view item_name,
                             std::string_view value, bool prefix, std::vector<std::string>* keys) {
  keys->clear();
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  std::vector<DictItem> items;
  if (int s = IndexedItems(file, &items)) return s;
  const DictItem* item = nullptr;
  for (const DictItem& i : items)
    if (i.name == item_name) item = &i;
  if (!item) return kQueryUnknownItem;
  const std::string form = IndexForm(*item, value);
  std::string end = prefix ? PrefixEnd(form) : std::string();
  std::string sql = "SELECT DISTINCT key FROM idx WHERE file = ? AND item = ? AND ";
  if (!prefix)
    sql += "value = ?3";
  else if (end.empty())
    sql += "value >= ?3";
  else
    sql += "value >= ?3 AND value < ?4";
  sql += " ORDER BY key";
  Statement st(this, sql);
  if (!st.ok()) return kIoError;
  st.Text(1, file).Text(2, item_name).Blob(3, form);
  if (prefix && !end.empty()) st.Blob(4, end);
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) keys->emplace_back(st.Column(0));
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::CountRecords(std::string_view file, long long* count) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  Statement st(this, "SELECT count(*) FROM " + table);
  if (!st.ok()) return kIoError;
  int rc = st.Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  *count = st.ColumnInt(0);
  return kOk;
}

int SqliteStore::Reserve(std::string_view file, std::string_view key, int timeout_ms) {
  if (ValidateName(file) != kOk) return kBadName;
  if (key.empty()) return kNoKey;
  return locks_->Acquire(file, key, timeout_ms < 0 ? 0 : timeout_ms);
}

int SqliteStore::Free(std::string_view file, std::string_view key) {
  if (ValidateName(file) != kOk) return kBadName;
  return locks_->Release(file, key);
}

int SqliteStore::Begin() {
  if (in_transaction_) return kBadArgument;  // transactions do not nest
  if (int s = Exec("BEGIN IMMEDIATE")) return s;
  in_transaction_ = true;
  return kOk;
}

int SqliteStore::Commit() {
  if (!in_transaction_) return kBadArgument;
  int s = Exec("COMMIT");
  if (s != 0) Exec("ROLLBACK");
  in_transaction_ = false;
  return s;
}

int SqliteStore::Rollback() {
  if (!in_transaction_) return kBadArgument;
  in_transaction_ = false;
  return Exec("ROLLBACK");
}

}  // namespace cortevane::db
