// Store: the record store behind one connected Session. The embedded store (sqlite/) and the
// office store (postgres/) implement it; Session, DbFile, DbSubroutine and the catalogued
// routines are written once against it.
//
// An account is a set of files (key -> record bytes), a dictionary per file, a catalogue of
// routines and file pointers. Every call returns a status of db/status.h. A Store belongs to
// one Session and is used from one thread at a time.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/dictionary.h"

namespace cortevane::db {

// Where a file pointer leads: a file of another account, reached through the session of this
// process connected to that account.
struct PointerTarget {
  std::string host;
  std::string account;
  std::string file;
};

// Told, on the thread that waits, how long a request has been waiting on the store's server:
// called about ten times a second with the whole seconds waited so far (0 at first), and once
// with kWaitOver when a wait it was told about ends. What it does meanwhile (paint windows,
// show the wait) must not send requests to the same store.
using WaitObserver = std::function<void(int seconds)>;
inline constexpr int kWaitOver = -1;

// The largest record either store keeps; a longer one is refused with kRecordTooLarge, so a
// record the office accepts can always reach a laptop.
inline constexpr size_t kMaxRecordBytes = 64u << 20;

// The longest wait of a batch (Store::Apply) for a reservation held elsewhere.
inline constexpr int kBatchLockWaitMs = 10000;

// One change of a batch (Store::Apply): a write or a delete of the record under `key`, made
// always, or only while the file holds no record under the key (kIfAbsent), or only while it
// holds exactly `expected` there (kIfRecord: the version a decision was taken on).
struct Change {
  enum Kind { kWrite, kDelete };
  enum Condition { kAlways, kIfAbsent, kIfRecord };
  Kind kind = kWrite;
  Condition condition = kAlways;
  std::string file;  // validated by ValidateName (db/names.h)
  std::string key;
  std::string record;    // kWrite: the record written
  std::string expected;  // kIfRecord: the record the file must hold under the key
};

// The smallest byte string greater than every string beginning with `prefix` (the end of its
// key range), or nullopt when there is none: the prefix is empty or all 0xFF bytes.
std::optional<std::string> PrefixEnd(std::string_view prefix);

// `prefixes` sorted, each once, without those that a shorter one of the list already covers
// ("00042*1" under "00042"): their key ranges are then disjoint and in key order.
std::vector<std::string> DisjointPrefixes(std::vector<std::string> prefixes);

class Store {
 public:
  virtual ~Store() = default;

  // ---- Records. `file` is a name already validated by ValidateName (db/names.h).
  // Read: 0 and *record set, or 30001 when there is no record under the key.
  virtual int Read(std::string_view file, std::string_view key, std::string* record) = 0;
  // Read, Write, Delete and Reserve give kNoKey for the empty key.
  // Write: atomic and durable once it returns 0; keeps the file's indexes right;
  // kRecordTooLarge beyond kMaxRecordBytes.
  virtual int Write(std::string_view file, std::string_view key, std::string_view record) = 0;
  // Delete: 0 when the record is gone, 30001 when there was none.
  virtual int Delete(std::string_view file, std::string_view key) = 0;
  // Removes every record (and index entry) of the file.
  virtual int Clear(std::string_view file) = 0;
  // Clear of each of `files`, its status in (*statuses)[i]. The default clears them one by
  // one; a store with a server empties them together, in one transaction and one request when
  // it can (a failure of the server then tells every file of that request so).
  virtual void ClearFiles(const std::vector<std::string>& files, std::vector<int>* statuses);
  // Every record of the file in key order (bytewise); `visit` returns false to stop early.
  virtual int Scan(
      std::string_view file,
      const std::function<bool(std::string_view key, std::string_view record)>& visit) = 0;
  // Keys of the records whose indexed item `item` has a value equal to `value` (or beginning
  // with it when `prefix`), in key order. The value is compared in IndexForm (dictionary.h).
  // kQueryUnknownItem when the item is not indexed.
  virtual int IndexLookup(std::string_view file, std::string_view item, std::string_view value,
                          bool prefix, std::vector<std::string>* keys) = 0;
  // The records under `keys` (ascending, without duplicates), visited in key order; keys
  // without a record are passed over. A Read of each key; a store that can fetch them in one
  // request to its server overrides it.
  virtual int ReadMany(
      std::string_view file, const std::vector<std::string>& keys,
      const std::function<bool(std::string_view key, std::string_view record)>& visit);
  // The keys (ascending, each once) of the records whose indexed item matches any of
  // `values`, as several IndexLookup calls would give them together. A store that can ask its
  // server once overrides it.
  virtual int IndexLookupAny(std::string_view file, std::string_view item,
                             const std::vector<std::string>& values, bool prefix,
                             std::vector<std::string>* keys);
  // The records that IndexLookup names, visited in key order: IndexLookup then ReadMany. A
  // store that can join the index to the records in one request to its server overrides it.
  virtual int IndexScan(
      std::string_view file, std::string_view item, std::string_view value, bool prefix,
      const std::function<bool(std::string_view key, std::string_view record)>& visit);
  // The records of the keys IndexLookupAny names, visited in key order: IndexLookupAny then
  // ReadMany. A store that can answer in one request overrides it.
  virtual int IndexScanAny(
      std::string_view file, std::string_view item, const std::vector<std::string>& values,
      bool prefix, const std::function<bool(std::string_view key, std::string_view record)>& visit);
  // The records whose key begins with one of `prefixes` (compared as bytes, case included; the
  // empty prefix: every record), in key order, each once. Scan keeping the matching keys; a
  // store that can seek in its key order overrides it, one key range a prefix.
  virtual int PrefixScan(
      std::string_view file, const std::vector<std::string>& prefixes,
      const std::function<bool(std::string_view key, std::string_view record)>& visit);
  // Number of records of the file.
  virtual int CountRecords(std::string_view file, long long* count) = 0;

  // ---- Selections. A query binds its sentence with the file's dictionary, then reads the
  // file with the calls above. BeginSelection gives that dictionary, or kNoSuchFile. A store
  // whose server may change the dictionary under it can answer from memory and check, inside
  // each read of the selection, that the file and its dictionary are still the ones it gave;
  // a read that finds them changed gives kFileChanged, and the caller begins again.
  // EndSelection closes it; reads outside a selection never give kFileChanged.
  virtual int BeginSelection(std::string_view file, std::vector<DictItem>* items);
  virtual void EndSelection() {}

  // ---- Locks on (file, key). Reserve waits at most `timeout_ms`, then gives kLockTimeout.
  // A lock dies with the session (disconnect or crash of the process).
  virtual int Reserve(std::string_view file, std::string_view key, int timeout_ms) = 0;
  virtual int Free(std::string_view file, std::string_view key) = 0;
  // Whether this store holds the reservation of (file, key). A store without reservations of
  // its own (a wrapper) answers false.
  virtual bool Holds(std::string_view /*file*/, std::string_view /*key*/) { return false; }

  // ---- Transactions: everything between Begin and Commit reaches the store whole or not at
  // all (Rollback, or a crash). Not nested.
  virtual int Begin() = 0;
  virtual int Commit() = 0;
  virtual int Rollback() = 0;

  // ---- A batch of changes in one transaction of its own, in one request to a server.
  // Makes `changes` in their order (files may differ) and commits them: when it returns 0
  // every change is made, atomically and durably, with its index entries. When a condition
  // does not hold, nothing of the batch is made: kConditionFailed, and *refused is the index
  // of the first change whose condition failed. Any other failure also leaves nothing made
  // (kNoKey, kRecordTooLarge, kNoSuchFile, kLockTimeout, kServerUnreachable...). An
  // unconditional delete of a missing record is no failure. kBadArgument inside
  // Begin/Commit: the batch is its own transaction.
  // A conditional change waits, as Reserve would (at most kBatchLockWaitMs), for a
  // reservation of its record held by another session, and is checked under it; the batch
  // takes no reservation that outlives it, and leaves this session's own as they are.
  // The default makes the changes one by one between Begin and Commit; a store whose server
  // can take the whole batch in one round trip overrides it.
  virtual int Apply(const std::vector<Change>& changes, size_t* refused);

  // ---- Catalogue.
  // Learns what the catalogue holds of `files` (which exist, their dictionaries) in one
  // request, so that opening them right after costs none of its own. Only a hint: 0 also
  // when the store has nothing to learn; a failure is seen again by the next request.
  virtual int LookUpFiles(const std::vector<std::string>& files) {
    (void)files;
    return 0;
  }
  virtual bool FileExists(std::string_view file) = 0;
  virtual int CreateFile(std::string_view file) = 0;  // kFileExists when it exists
  virtual int DropFile(std::string_view file) = 0;
  virtual int ListFiles(std::vector<std::string>* files) = 0;

  virtual int SetDictItem(std::string_view file, const DictItem& item) = 0;
  virtual int Dictionary(std::string_view file, std::vector<DictItem>* items) = 0;

  virtual int SetPointer(std::string_view name, const PointerTarget& target) = 0;
  // The target of a file pointer, or nullopt when `name` is not a pointer.
  virtual std::optional<PointerTarget> Pointer(std::string_view name) = 0;

  virtual int CatalogueRoutine(std::string_view routine) = 0;
  virtual bool RoutineCatalogued(std::string_view routine) = 0;

  // ---- Reachability. 0 while the store can be reached; kServerUnreachable when its server
  // connection has been lost (the store's next operation tries to connect again when nothing
  // of the lost connection is still pending: no open transaction, no reservation held).
  virtual int Health() { return 0; }
  // Connects again now, through the hosts the store was given (of several, the one that takes
  // writes), even when the connection looks alive; only between transactions, with no
  // reservation held. 0 when a server answers; a store without a server has nothing to do.
  virtual int Reconnect() { return Health(); }
  // The server the store is connected to ("host:port"), empty for a store without one.
  virtual std::string ServerAddress() const { return {}; }
  // False when the store's server was not proven to be the one meant (a connection without
  // a verified certificate); a store without a server is its own proof.
  virtual bool ServerAuthenticated() const { return true; }

  // ---- Waits. A store whose requests may wait on a server tells `observer` about those waits
  // (connecting again included); the embedded store has none to tell.
  virtual void SetWaitObserver(WaitObserver observer) { (void)observer; }
  // The file named by the last kFileBusy: held by another connection of the server past the
  // wait for it. Empty when none was.
  virtual std::string BusyFile() const { return {}; }

 private:
  // Apply's changes between Begin and Commit, once their reservations are held.
  int ApplyOneByOne(const std::vector<Change>& changes, size_t* refused);
};

}  // namespace cortevane::db
