// The office store's connection: connecting to an account, sending one statement, the
// status of a failure, transactions. Records, indexes, the catalogue, reservations and
// accounts each have their own file beside this one.
#include <libpq-fe.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>

#include "db/names.h"
#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::ConnectStatus;
using postgres::Open;
using postgres::Params;
using postgres::Result;

namespace postgres {

void RunObserved(const std::function<void()>& work, const WaitObserver& observer) {
  if (!observer) {
    work();
    return;
  }
  WaitReport report(observer);
  std::future<void> done = std::async(std::launch::async, work);
  while (done.wait_for(kWaitSlice) != std::future_status::ready) report.Tick();
  done.get();
}

std::string PgTableName(std::string_view file) {
  std::string quoted = QuotedTableName(file);
  if (quoted.empty() || quoted.size() - 2 <= 63) return quoted;
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : file) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char hash[17];
  snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(h));
  return quoted.substr(0, 1 + 2 + 40) + "_" + hash + "\"";
}

void AppendHex(std::string* list, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  if (!list->empty()) list->push_back(',');
  list->push_back('x');
  for (unsigned char c : bytes) {
    list->push_back(kHex[c >> 4]);
    list->push_back(kHex[c & 15]);
  }
}

std::string Decoded(const char* column) {
  return std::string("decode(substr(") + column + ", 2), 'hex')";
}

}  // namespace postgres

PostgresStore::PostgresStore(pg_conn* conn, int request_timeout_s)
    : conn_(conn), request_timeout_s_(request_timeout_s) {}

PostgresStore::~PostgresStore() {
  if (conn_ != nullptr) PQfinish(conn_);
}

std::shared_ptr<PostgresStore> PostgresStore::Connect(const PgAddress& address, int* status,
                                                      AuthFailure* why, WaitObserver on_wait) {
  if (why != nullptr) *why = AuthFailure::kNone;
  if (address.account.empty()) {
    *status = kAccountNotFound;
    return nullptr;
  }
  PGconn* conn = nullptr;
  postgres::RunObserved([&] { conn = Open(address, address.account); }, on_wait);
  if (PQstatus(conn) != CONNECTION_OK) {
    *status = ConnectStatus(conn, why);
    PQfinish(conn);
    return nullptr;
  }
  std::shared_ptr<PostgresStore> store(new PostgresStore(conn, address.request_timeout_s));
  store->SetWaitObserver(std::move(on_wait));
  Result check(
      store->Exec("SELECT (to_regprocedure('cv_new_file(text,text)') IS NOT NULL AND "
                  "to_regclass('cv_files_folded') IS NOT NULL AND count(version) >= 0)::text "
                  "FROM cv_files",
                  {}));
  if (!Ok(check.get()) || postgres::Cell(check.get(), 0, 0) != "true") {
    // An account made by an earlier version gets what it lacks (the account owner's
    // connection can); anything else that fails is not an account.
    const int upgraded = store->Atomically([&] {
      Result version(
          store->Exec("ALTER TABLE cv_files ADD COLUMN IF NOT EXISTS version bigint "
                      "NOT NULL DEFAULT txid_current()",
                      {}));
      return Ok(version.get()) ? store->ApplyAccountRules() : store->Failure();
    });
    if (upgraded != kOk) {
      *status = kAccountCorrupt;
      return nullptr;
    }
  }
  *status = kOk;
  return store;
}

bool PostgresStore::Usable() {
  if (PQstatus(conn_) == CONNECTION_OK) return true;
  // The connection was lost earlier. Connect again only when nothing of the old one is still
  // owed to a caller: its transaction and its advisory locks died with it.
  if (in_transaction_ || !held_locks_.empty()) return false;
  postgres::RunObserved([this] { Renew(); }, on_wait_);
  return PQstatus(conn_) == CONNECTION_OK;
}

pg_result* PostgresStore::Exec(const std::string& sql, const Params& params) {
  // The wait observer runs while a request waits; a request it sent would find the
  // connection busy with the first one. Refused as a failed request.
  if (awaiting_) return nullptr;
  awaiting_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{awaiting_};
  if (!Usable()) return nullptr;
  ++round_trips_;
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  for (const auto& p : params) {
    values.push_back(p ? p->data() : nullptr);
    lengths.push_back(p ? static_cast<int>(p->size()) : 0);
    formats.push_back(1);  // binary: bytea and text travel as raw bytes, never re-encoded
  }
  if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr,
                         values.data(), lengths.data(), formats.data(), 1))
    return nullptr;
  return Await();
}

pg_result* PostgresStore::Await() {
  // The answer is awaited a bounded time: past it the server is taken for lost, and the
  // connection is cut so that it reads as lost (and is made again by the next request when
  // nothing of it is still owed to a caller).
  // With an observer the wait is cut in slices, between which it is told how long it has been.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(request_timeout_s_);
  postgres::WaitReport report(on_wait_);
  PGresult* last = nullptr;
  while (true) {
    while (PQisBusy(conn_)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const bool sliced = on_wait_ && left > postgres::kWaitSlice;
      if (sliced) left = postgres::kWaitSlice;
      pollfd wait{PQsocket(conn_), POLLIN, 0};
      int ready = left.count() > 0 ? poll(&wait, 1, static_cast<int>(left.count())) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0 && sliced) {
        report.Tick();
        continue;
      }
      if (ready <= 0) {
        PQclear(last);
        Cut();
        return nullptr;
      }
      if (!PQconsumeInput(conn_)) break;  // the connection failed: PQgetResult says how
    }
    PGresult* r = PQgetResult(conn_);
    if (r == nullptr) return last;
    // One statement gives one result; should there be more, the first failure is kept.
    if (last != nullptr && !Ok(last)) {
      PQclear(r);
      continue;
    }
    PQclear(last);
    last = r;
  }
}

void PostgresStore::Cut() {
  ::shutdown(PQsocket(conn_), SHUT_RDWR);
  PQconsumeInput(conn_);
  while (PGresult* r = PQgetResult(conn_)) PQclear(r);
}

int PostgresStore::Failure() const {
  return PQstatus(conn_) == CONNECTION_OK ? static_cast<int>(kIoError)
                                          : static_cast<int>(kServerUnreachable);
}

int PostgresStore::Failure(pg_result* result, std::string_view file) {
  const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  if (state != nullptr && std::string_view(state) == "42P01") {  // undefined table
    files_.clear();
    return kNoSuchFile;
  }
  if (state != nullptr && std::string_view(state) == "53100") return kDiskFull;  // disk_full
  if (state != nullptr && std::string_view(state) == "55P03") {                  // lock_timeout
    busy_file_ = file;
    return kFileBusy;
  }
  return Failure();
}

bool PostgresStore::ServerAuthenticated() const {
  if (!PQsslInUse(conn_)) return false;
  bool verified = false;
  PQconninfoOption* settings = PQconninfo(conn_);
  for (PQconninfoOption* o = settings; o != nullptr && o->keyword != nullptr; ++o)
    if (std::string_view(o->keyword) == "sslmode")
      verified = o->val != nullptr && std::string_view(o->val) == "verify-full";
  PQconninfoFree(settings);
  return verified;
}

int PostgresStore::Health() {
  return PQstatus(conn_) == CONNECTION_OK ? static_cast<int>(kOk)
                                          : static_cast<int>(kServerUnreachable);
}

int PostgresStore::Reconnect() {
  if (in_transaction_ || !held_locks_.empty()) return kBadArgument;
  files_.clear();  // another server may know other versions
  postgres::RunObserved([this] { Renew(); }, on_wait_);
  return Health();
}

void PostgresStore::Renew() {
  PGconn* fresh = postgres::Reopen(conn_);
  PQfinish(conn_);
  conn_ = fresh;
}

std::string PostgresStore::ServerAddress() const {
  if (PQstatus(conn_) != CONNECTION_OK) return {};
  return std::string(PQhost(conn_)) + ":" + PQport(conn_);
}

bool PostgresStore::Ok(pg_result* r) {
  if (r == nullptr) return false;
  ExecStatusType s = PQresultStatus(r);
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

int PostgresStore::Atomically(const std::function<int()>& work) {
  if (in_transaction_) return work();
  int status = Begin();
  if (status != kOk) return status;
  status = work();
  if (status != kOk) {
    Rollback();
    return status;
  }
  return Commit();
}

int PostgresStore::Begin() {
  if (in_transaction_) return kBadArgument;
  Result r(Exec("BEGIN", {}));
  if (!Ok(r.get())) return Failure();
  in_transaction_ = true;
  return kOk;
}

int PostgresStore::Commit() {
  if (!in_transaction_) return kBadArgument;
  if (int s = Settle()) {
    Rollback();
    return s;
  }
  // Sent while the transaction is still open here, so that a lost connection is not replaced
  // by a fresh one, on which COMMIT would answer success for work that is gone.
  const bool alive = PQstatus(conn_) == CONNECTION_OK;
  Result r(Exec("COMMIT", {}));
  in_transaction_ = false;
  if (Ok(r.get()) && std::string(PQcmdStatus(r.get())) == "COMMIT") return kOk;
  // The connection went once COMMIT had left: the server may have committed before it went.
  if (alive && PQstatus(conn_) != CONNECTION_OK) return kOutcomeUnknown;
  // A COMMIT of a failed transaction answers ROLLBACK: report it as the failure it is.
  return Failure();
}

int PostgresStore::Rollback() {
  if (!in_transaction_) return kBadArgument;
  in_transaction_ = false;
  pending_.clear();
  pending_count_ = pending_bytes_ = 0;
  files_.clear();
  Result r(Exec("ROLLBACK", {}));
  return Ok(r.get()) ? kOk : Failure();
}

}  // namespace cortevane::db
