// Helpers shared by the embedded store's source files: a cached statement used for one call,
// and the scope of one write (its own transaction, or a savepoint inside the caller's).
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "db/sqlite/sqlite_store.h"
#include "db/status.h"

namespace cortevane::db {

// The status of an SQLite result code: a damaged file is kAccountCorrupt wherever it is met,
// a lock held by another program past the wait kBaseBusy, a write refused by a read-only
// database kReadOnlyAccount.
int SqliteStatus(int rc);

// One use of a cached prepared statement: binds, steps, and resets it when it goes out of
// scope so that no read transaction stays open behind the caller's back.
class SqliteStore::Statement {
 public:
  Statement(SqliteStore* store, const std::string& sql)
      : store_(store), stmt_(store->Prepare(sql, &status_)) {}
  ~Statement() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  // Why the statement could not be prepared (a damaged schema, a busy base...); 0 when ok().
  int status() const { return status_; }
  // Blobs and texts are bound as copies; an empty value is bound as empty, never as NULL.
  Statement& Blob(int i, std::string_view v) {
    sqlite3_bind_blob64(stmt_, i, v.empty() ? "" : v.data(), v.size(), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Text(int i, std::string_view v) {
    sqlite3_bind_text64(stmt_, i, v.empty() ? "" : v.data(), v.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    return *this;
  }
  Statement& Int(int i, long long v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  // Ready to run again with the same bindings, any of which can then be replaced.
  void Reset() { sqlite3_reset(stmt_); }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  // Steps a statement that returns no row: 0 or the failure's status.
  int Run() {
    int rc = Step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? 0 : store_->Fail(rc);
  }
  std::string_view Column(int i) {
    const void* p = sqlite3_column_blob(stmt_, i);
    return p ? std::string_view(static_cast<const char*>(p),
                                static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
             : std::string_view();
  }
  long long ColumnInt(int i) { return sqlite3_column_int64(stmt_, i); }
  int ColumnCount() { return sqlite3_column_count(stmt_); }

 private:
  SqliteStore* store_;
  int status_ = 0;
  sqlite3_stmt* stmt_;
};

// The scope of one write operation. Outside a transaction it is a transaction of its own,
// begun IMMEDIATE so that it waits for other writers up front instead of failing when it
// upgrades; inside Begin/Commit it is a savepoint, so the operation is still whole but
// commits only with the caller's transaction. Rolled back unless Commit() is reached.
class SqliteStore::WriteScope {
 public:
  explicit WriteScope(SqliteStore* store) : store_(store) {
    nested_ = store_->in_transaction_;
    status_ = store_->read_only_ ? kReadOnlyAccount
                                 : store_->Control(nested_ ? "SAVEPOINT op" : "BEGIN IMMEDIATE");
  }
  ~WriteScope() {
    if (status_ == 0 && !done_) {
      if (nested_) {
        store_->Control("ROLLBACK TO op");
        store_->Control("RELEASE op");
      } else {
        store_->Control("ROLLBACK");
      }
    }
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

  int status() const { return status_; }
  int Commit() {
    done_ = true;
    int rc = store_->Control(nested_ ? "RELEASE op" : "COMMIT");
    if (rc != 0 && !nested_) store_->Control("ROLLBACK");
    return rc;
  }

 private:
  SqliteStore* store_;
  bool nested_ = false;
  bool done_ = false;
  int status_ = 0;
};

// The scope of a change of the catalogue or of a dictionary by this store: when it ends,
// whatever the outcome, the store forgets the tables and indexed items it remembered.
class SqliteStore::CatalogueChange {
 public:
  explicit CatalogueChange(SqliteStore* store) : store_(store) {}
  ~CatalogueChange() { store_->ForgetCatalogue(); }
  CatalogueChange(const CatalogueChange&) = delete;
  CatalogueChange& operator=(const CatalogueChange&) = delete;

 private:
  SqliteStore* store_;
};

}  // namespace cortevane::db
