// SqliteStore: the embedded record store. An embedded account is a folder holding one SQLite
// database (account.db, in WAL mode) and a `locks` folder for record reservations.
//
// Inside the database: one table per file (BLOB key -> BLOB record, so no driver ever
// re-encodes the marks), a catalogue of files, dictionary items, routines and file pointers,
// one index table shared by the files' indexed items, and the users with their Argon2id
// password hashes. Every write is one SQLite transaction with synchronous=FULL: once Write
// returns 0 the record survives a crash or a power cut (WAL with NORMAL could lose the last
// commits on power loss, which a counter record cannot afford).
//
// Reservations are advisory byte-range locks of open file descriptions (F_OFD_SETLK), one
// lock file per file and one byte in it per key (record_locks.h), not write transactions: a
// transaction held for a reservation would block every other writer of the account for as
// long as a user answers a question. Such a lock dies with its descriptor, so a crashed or
// disconnected session releases its locks, and two stores of one process (two sessions)
// exclude each other because each opens its own descriptor.
//
// A SqliteStore belongs to one session and is used by one thread at a time. Several stores,
// in this process or others, can work on one account at once; a writer waits (busy timeout)
// for another's transaction instead of failing.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace cortevane::db {

class RecordLocks;

class SqliteStore final : public Store {
 public:
  static constexpr const char* kDatabaseName = "account.db";
  static constexpr const char* kLockFolder = "locks";
  // Creates an empty account in `folder` (created as needed), cataloguing DBA.SELECT, and
  // IMPORTDONNEES too for a server account. kAccountExists when the folder holds one already.
  // Atomic: the database is built aside and put in place only if nothing is there, so two
  // creates at once make one account (the other gives kAccountExists), a create killed
  // half-way leaves no account, and no create ever removes a file it did not make.
  static int Create(const std::filesystem::path& folder, bool server);

  // Opens the account of `folder`: kAccountNotFound when the folder or its database is
  // missing, kAccountCorrupt when the database is not an account or its first pages are
  // damaged, kBaseBusy when another program keeps it locked. The cost does not grow with the
  // account: damage elsewhere is met by the operation that reads it, which gives
  // kAccountCorrupt (never a crash, never a wrong answer), and Check reads everything. On a
  // read-only medium the account opens for reading and every write gives kReadOnlyAccount.
  static int Open(const std::filesystem::path& folder, std::shared_ptr<SqliteStore>* store);

  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }
  // Whether the account was opened for reading only (it lies on a read-only medium).
  bool ReadOnly() const { return read_only_; }
  // How long a write waits for another program's transaction before kBaseBusy (30 s unless
  // set).
  void SetBusyTimeout(int ms);

  // Reads every page of the account and checks its structure: 0 when sound, kAccountCorrupt
  // with SQLite's findings in *problems when not. Takes time in proportion to the account.
  int Check(std::vector<std::string>* problems);
  // SQLite's message for the last failure, for tools and logs.
  const std::string& LastMessage() const { return last_message_; }

  // ---- Users. Names go through ValidateName (kBadName) and are kept in upper case.
  // kUserExists when the user exists already.
  int AddUser(std::string_view name, std::string_view password);
  // 0 when the user exists and the password is right; kBadCredentials otherwise.
  int Authenticate(std::string_view name, std::string_view password);
  int ListUsers(std::vector<std::string>* users);

  int ListPointers(std::vector<std::pair<std::string, PointerTarget>>* pointers);

  // ---- Store.
  int Read(std::string_view file, std::string_view key, std::string* record) override;
  // All the keys in one read transaction and one prepared statement, instead of a
  // transaction and a catalogue look-up per key.
  int ReadMany(std::string_view file, const std::vector<std::string>& keys,
               const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int Write(std::string_view file, std::string_view key, std::string_view record) override;
  int Delete(std::string_view file, std::string_view key) override;
  int Clear(std::string_view file) override;
  int Scan(
      std::string_view file,
      const std::function<bool(std::string_view key, std::string_view record)>& visit) override;
  int IndexLookup(std::string_view file, std::string_view item, std::string_view value, bool prefix,
                  std::vector<std::string>* keys) override;
  // One statement each, for any number of values up to a few hundred: the index entries of
  // every value (joined to the file's records for the scans).
  int IndexLookupAny(std::string_view file, std::string_view item,
                     const std::vector<std::string>& values, bool prefix,
                     std::vector<std::string>* keys) override;
  int IndexScan(std::string_view file, std::string_view item, std::string_view value, bool prefix,
                const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int IndexScanAny(std::string_view file, std::string_view item,
                   const std::vector<std::string>& values, bool prefix,
                   const std::function<bool(std::string_view, std::string_view)>& visit) override;
  // One search of the primary key a prefix, in one read transaction.
  int PrefixScan(std::string_view file, const std::vector<std::string>& prefixes,
                 const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int CountRecords(std::string_view file, long long* count) override;

  int Reserve(std::string_view file, std::string_view key, int timeout_ms) override;
  int Free(std::string_view file, std::string_view key) override;
  bool Holds(std::string_view file, std::string_view key) override;

  int Begin() override;
  int Commit() override;
  int Rollback() override;

  bool FileExists(std::string_view file) override;
  int CreateFile(std::string_view file) override;
  int DropFile(std::string_view file) override;
  int ListFiles(std::vector<std::string>* files) override;

  int SetDictItem(std::string_view file, const DictItem& item) override;
  int Dictionary(std::string_view file, std::vector<DictItem>* items) override;

  int SetPointer(std::string_view name, const PointerTarget& target) override;
  std::optional<PointerTarget> Pointer(std::string_view name) override;

  int CatalogueRoutine(std::string_view routine) override;
  bool RoutineCatalogued(std::string_view routine) override;

 private:
  class Statement;
  class WriteScope;
  class CatalogueChange;

  SqliteStore(std::filesystem::path folder, sqlite3* db, bool read_only);

  // A cached prepared statement for `sql`; nullptr, *status and last_message_ set when it
  // fails.
  sqlite3_stmt* Prepare(const std::string& sql, int* status);
  void ForgetStatements();
  int Exec(const char* sql);
  // Runs a fixed statement of transaction control (BEGIN, COMMIT, SAVEPOINT...) through the
  // statement cache: every write runs two of them, and parsing them anew each time cost more
  // than the write itself.
  int Control(const char* sql);
  // Forgets the tables and indexed items remembered inside a transaction: at its end, and
  // after this store changed the catalogue or a dictionary.
  void ForgetCatalogue();
  // Maps an SQLite result code to a status, remembering SQLite's message.
  int Fail(int rc);
  // The quoted table of a catalogued file, or kNoSuchFile / kBadName.
  int TableOf(std::string_view file, std::string* table);
  int IndexedItems(std::string_view file, std::vector<DictItem>* items);
  // The indexed item `item` of `file`, or kQueryUnknownItem.
  int IndexedItem(std::string_view file, std::string_view item, DictItem* found);
  // The file's table, and the SQL selecting the keys (a column `key`, a key once per
  // matching entry) of the entries of the indexed item whose value matches one of `values`;
  // its parameters from ?3 on are appended to *params. kNoSuchFile, kQueryUnknownItem...
  // when the question cannot be asked.
  int IndexKeys(std::string_view file, std::string_view item,
                const std::vector<std::string>& values, bool prefix, std::string* table,
                std::string* sql, std::vector<std::string>* params);
  // Runs `sql` (?1 the file, ?2 the item, then `params`) and visits its rows: (key, record),
  // or (key, empty) for a statement that selects keys only.
  int VisitRows(const std::string& sql, std::string_view file, std::string_view item,
                const std::vector<std::string>& params,
                const std::function<bool(std::string_view, std::string_view)>& visit);
  int RemoveIndexEntries(std::string_view file, std::string_view key);
  int AddIndexEntries(std::string_view file, const std::vector<DictItem>& items,
                      std::string_view key, std::string_view record);

  std::filesystem::path folder_;
  sqlite3* db_;
  // Looked up at every statement run: hashed, as their texts share long beginnings.
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  // Inside a transaction (begun IMMEDIATE, so no other writer can change the catalogue until
  // it ends) each file's table and indexed items are read once, not at every write.
  std::map<std::string, std::string, std::less<>> tables_;
  std::map<std::string, std::vector<DictItem>, std::less<>> indexed_items_;
  std::unique_ptr<RecordLocks> locks_;
  bool read_only_ = false;
  bool in_transaction_ = false;
  std::string last_message_;
};

}  // namespace cortevane::db
