// PostgresStore: the office base on a PostgreSQL server, for many laptops against one account.
// An account is a database; each file is a table "f_<name>" of (key bytea, record bytea), and
// the catalogue (files, dictionaries, pointers, routines) and the index entries live in a few
// tables of the same database (cv_files, cv_dict, cv_pointers, cv_routines, cv_index). Every
// value travels as a bound parameter; file names reach statements only through
// QuotedTableName. Reservations are session-level advisory locks, so they die with the
// connection.
//
// Other connections may change the catalogue at any time (an administrator at work while
// staff are connected). Each file's catalogue entry carries a version that every change of
// the file or its dictionary replaces; a write names the version it was prepared for and
// holds the entry in share mode until its transaction ends, so a change of the file waits for
// the writes under way and a write prepared before a change is refused and made again.
//
// When the server ends the connection (restart, administrator, network), or leaves a request
// unanswered past PgAddress::request_timeout_s, the failing call reports kServerUnreachable, and
// the next call connects again, unless a transaction or a reservation of the lost connection is
// still pending: those are gone with it, and their owner must first see the failure (Rollback,
// Free), never a fresh connection that silently lacks them. The server undoes a transaction
// whose connection is lost, so a loss before COMMIT leaves means nothing of it was written; a
// loss once COMMIT has left, before its answer, is kOutcomeUnknown: it may have been done.
//
// One PostgresStore is one connection, used from one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "db/status.h"
#include "db/store.h"

struct pg_conn;
struct pg_result;

namespace cortevane::db {

// Connection parameters: host ("host" or "host:port", 5432 by default, or a comma-separated
// list of such hosts of which the writable one is used), the account (the database name),
// PostgreSQL credentials. How the server is authenticated: postgres_connect.cc.
struct PgAddress {
  std::string host;
  std::string account;
  std::string user;
  std::string password;
  int connect_timeout_s = 5;
  // The longest wait for the answer to one request; past it the server counts as lost
  // (kServerUnreachable). The server ends a statement of its own a second earlier.
  int request_timeout_s = 30;
};

class PostgresStore : public Store {
 public:
  // Connects and checks that the database is an account. nullptr with *status set on failure:
  // kServerUnverified (nothing of the credentials sent; *why says what failed),
  // kBadCredentials, kAccountNotFound, kAccountCorrupt (a database that is not an account),
  // kServerUnreachable. `on_wait` is told about the wait for the server, then about every
  // later one (SetWaitObserver).
  static std::shared_ptr<PostgresStore> Connect(const PgAddress& address, int* status,
                                                AuthFailure* why = nullptr,
                                                WaitObserver on_wait = {});

  // Creates the database `address.account` and its catalogue (DBA.SELECT catalogued; with
  // `server`, IMPORTDONNEES too). kAccountExists when the database exists already,
  // kNotPermitted when the user may not create databases. With `demo`, the database is marked
  // as the demo's (see DropAccount). A failure leaves no database behind.
  static int CreateAccount(const PgAddress& address, bool server, bool demo = false);
  // Removes the database `address.account` and everything in it, closing its other
  // connections; 0 also when there was none. With `demo_only`, a database the demo did not
  // make is left untouched and gives kAccountExists.
  static int DropAccount(const PgAddress& address, bool demo_only = false);
  // Whether the user of `address` may create databases and login roles on the server.
  static int ServerRights(const PgAddress& address, bool* create_databases, bool* create_roles);

  // Creates a login role with a password (the name validated, kept as given: callers pass it
  // in upper case), or gives an existing role that password (roles belong to the whole
  // server), and lets it use the account's tables.
  int CreateUser(std::string_view user, std::string_view password);

  ~PostgresStore() override;

  int Read(std::string_view file, std::string_view key, std::string* record) override;
  int Write(std::string_view file, std::string_view key, std::string_view record) override;
  int Delete(std::string_view file, std::string_view key) override;
  int Clear(std::string_view file) override;
  // The files known to exist emptied by one statement (one transaction); files not known yet
  // are looked up first, in one request for all. Should that statement fail without the
  // connection being lost (a file dropped meanwhile), the files are emptied one by one.
  void ClearFiles(const std::vector<std::string>& files, std::vector<int>* statuses) override;
  int Scan(std::string_view file,
           const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int IndexLookup(std::string_view file, std::string_view item, std::string_view value, bool prefix,
                  std::vector<std::string>* keys) override;
  int IndexLookupAny(std::string_view file, std::string_view item,
                     const std::vector<std::string>& values, bool prefix,
                     std::vector<std::string>* keys) override;
  int IndexScan(std::string_view file, std::string_view item, std::string_view value, bool prefix,
                const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int IndexScanAny(std::string_view file, std::string_view item,
                   const std::vector<std::string>& values, bool prefix,
                   const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int PrefixScan(std::string_view file, const std::vector<std::string>& prefixes,
                 const std::function<bool(std::string_view, std::string_view)>& visit) override;
  // The dictionary as this connection knows it, without a request when it knows the file;
  // Scan, PrefixScan, IndexScan and IndexScanAny of the file then check its catalogue version
  // in their own statement, the other reads with a request of their own before.
  int BeginSelection(std::string_view file, std::vector<DictItem>* items) override;
  void EndSelection() override;
  int ReadMany(std::string_view file, const std::vector<std::string>& keys,
               const std::function<bool(std::string_view, std::string_view)>& visit) override;
  int CountRecords(std::string_view file, long long* count) override;

  int Reserve(std::string_view file, std::string_view key, int timeout_ms) override;
  int Free(std::string_view file, std::string_view key) override;
  bool Holds(std::string_view file, std::string_view key) override;

  int Begin() override;
  int Commit() override;
  int Rollback() override;

  // The whole batch as one libpq pipeline: a check of the files' versions, the changes with
  // their index entries, and the commit, sent together and answered together.
  int Apply(const std::vector<Change>& changes, size_t* refused) override;

  int LookUpFiles(const std::vector<std::string>& files) override;
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

  int Health() override;
  int Reconnect() override;
  std::string ServerAddress() const override;
  // True when the server proved who it is: TLS with its certificate and name verified
  // (sslmode=verify-full).
  bool ServerAuthenticated() const override;
  void SetWaitObserver(WaitObserver observer) override { on_wait_ = std::move(observer); }
  std::string BusyFile() const override { return busy_file_; }

  // Requests sent to the server since the connection was made, each a round trip: one
  // statement, or one pipeline (Apply). Benchmarks and tests count them.
  long long round_trips() const { return round_trips_; }

  // The raw connection, for the query routine that runs its selection inside the server.
  pg_conn* connection() const { return conn_; }
  // Runs one statement with text parameters (nullptr: SQL NULL) and binary results; counts a
  // round trip. The result is owned by the caller (PQclear); nullptr on a lost connection.
  pg_result* Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params);
  // True when the result is a success (command or rows).
  static bool Ok(pg_result* result);

 private:
  PostgresStore(pg_conn* conn, int request_timeout_s);
  // The result of the request just sent, waited for at most request_timeout_s_; nullptr
  // when the wait ran out (the connection is then cut) or the connection failed.
  pg_result* Await();
  // Ends the connection from this side, so that it reads as lost.
  void Cut();
  // Makes a lost connection again when nothing of it is still owed to a caller (see Exec);
  // false when the connection cannot be used.
  bool Usable();
  // Replaces the connection by a new one made with its settings through the host list, so a
  // primary promoted since is reached even where the list names a refusing standby first.
  void Renew();
  // One try of Apply against what is known of the files now; kStale when a file moved.
  int ApplyOnce(const std::vector<Change>& changes, size_t* refused);
  // Sends what libpq holds for the server without ever blocking on a full socket while the
  // server waits for its answers to be read; false when the connection fails or times out.
  bool FlushPipeline();

  // What this connection knows of one file: the version of its catalogue entry, which every
  // change of the file or of its dictionary replaces, whichever connection makes it; its
  // dictionary; its indexed items; and the request that read it (round_trips_ then).
  struct FileKnowledge {
    bool absent = false;  // the account had no such file: believed only while fresh
    long long version = 0;
    std::vector<DictItem> dictionary;
    std::vector<DictItem> indexed;
    long long read_at = -1;
  };
  // What is known of `file`: from memory, unless `check` and another request was sent since
  // it was read, in which case it is read again. kNoSuchFile when the account has none.
  // Writes trust memory and let the server check the version (a stale one is refused, read
  // again and the write made again); questions about items check.
  int Know(std::string_view file, bool check, const FileKnowledge** known);
  void Forget(std::string_view file) { files_.erase(std::string(file)); }
  // What a request that found no such file leaves known of it.
  FileKnowledge Absent() const {
    FileKnowledge none;
    none.absent = true;
    none.read_at = round_trips_;
    return none;
  }
  // A write refused by the server because this connection's knowledge of the file is stale.
  static constexpr int kStale = -1;
  // Writes one record outside a transaction: the record, and its index entries when the file
  // has indexed items, against the file's version `known`. kStale when it moved.
  int WriteOnce(const std::string& table, std::string_view file, const FileKnowledge& known,
                std::string_view key, std::string_view record);

  // The selection under way (BeginSelection): its file and the version of the file's catalogue
  // entry its dictionary came from.
  struct Selection {
    std::string file;
    long long version = 0;
  };
  bool Selecting(std::string_view file) const;
  // For a read of the selection's file that does not check the version itself: kFileChanged
  // when the file's entry moved (or went) since the selection began. 0 outside a selection.
  int CheckSelection(std::string_view file);
  // `sql`, selecting (key, record), wrapped so that its rows come in key order, each with a
  // first column saying whether the selection's file still has its version. Its parameters
  // (the file, the version) are appended to *params.
  std::string Gated(const std::string& sql, std::vector<std::optional<std::string>>* params) const;
  // Visits the (key, record) rows of a read, gated or not; kFileChanged when a gated read found
  // the file changed (a gated read without rows asks, CheckSelection). *visited: the records
  // visited, or -1 when `visit` stopped. `file` is the file read (Failure).
  int VisitRecords(std::string_view file, pg_result* r, bool gated,
                   const std::function<bool(std::string_view, std::string_view)>& visit,
                   int* visited);

  // The table of a catalogued file, or the empty text with *status set (kBadName, kNoSuchFile).
  std::string Table(std::string_view file, int* status);
  // The indexed item `item` of `file` in *found; kQueryUnknownItem when it is not indexed.
  // Asks the server first unless `check` is false (a gated read checks in its own statement).
  int IndexedItem(std::string_view file, std::string_view item, const DictItem** found,
                  bool check = true);
  int WriteIndex(std::string_view file, const std::vector<DictItem>& indexed, std::string_view key,
                 std::string_view record);
  // Sends the writes waiting in the open transaction (one request per file, and one for its
  // index entries). Everything that reads, or changes what they touch, settles them first.
  int Settle();
  // Index entries gathered for one request: item names, values and keys as hex lists.
  struct IndexEntries {
    std::string items, values, keys;
    size_t count = 0;
    void Add(const DictItem& item, std::string_view key, std::string_view record);
  };
  int InsertIndexEntries(const std::string& file, IndexEntries* entries);
  // The catalogue tables of a new account, in one transaction.
  static int CreateCatalogue(const PgAddress& address, bool server);
  // The functions and constraints of an account beside its tables (made again where they are).
  int ApplyAccountRules();
  // One attempt of CreateUser; *state is the server's SQLSTATE of a failure.
  int SetRole(const std::string& name, const std::string& quoted,
              const std::string& password_literal, std::string* state);
  // Runs `work` inside a transaction, unless one is open already.
  int Atomically(const std::function<int()>& work);
  // The status of a failed statement: kServerUnreachable when the connection is lost (the
  // server went away or ended it), kIoError otherwise.
  int Failure() const;
  // The same for a statement on `file`: kNoSuchFile when its table was dropped by another
  // connection (what was known of files is then forgotten), kFileBusy when another
  // connection held it past the server's lock wait (BusyFile then names it), kDiskFull when
  // the server's disk has no room left.
  int Failure(pg_result* result, std::string_view file);

  pg_conn* conn_;
  int request_timeout_s_;
  WaitObserver on_wait_;
  bool awaiting_ = false;  // a request is waiting on the server (the observer runs meanwhile)
  std::string busy_file_;
  bool in_transaction_ = false;
  // Writes of the open transaction not sent yet: file -> key -> record. Sent when they grow
  // past these bounds, before any read and at COMMIT.
  static constexpr size_t kPendingRows = 2000;
  static constexpr size_t kPendingBytes = 16 << 20;
  std::map<std::string, std::map<std::string, std::string>> pending_;
  size_t pending_count_ = 0;
  size_t pending_bytes_ = 0;
  long long round_trips_ = 0;
  std::map<std::string, FileKnowledge, std::less<>> files_;
  std::optional<Selection> selection_;
  std::set<std::string> catalogued_;
  std::set<std::string> held_locks_;  // "file\0key" of the reservations this connection holds
};

}  // namespace cortevane::db
