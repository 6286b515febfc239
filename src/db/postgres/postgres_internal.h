// Helpers shared by the office store's source files: a result that clears itself, opening a
// connection, a file's table name, and lists of byte strings sent as one text parameter.
#pragma once

#include <libpq-fe.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/postgres/postgres_store.h"
#include "db/status.h"

namespace cortevane::db::postgres {

using Params = std::vector<std::optional<std::string>>;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

inline std::string Cell(PGresult* r, int row, int col) {
  return std::string(PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col)));
}
// The cell's bytes in the result itself, valid until the result is cleared: what a visitor of
// many rows reads, without a copy a row.
inline std::string_view CellView(PGresult* r, int row, int col) {
  return std::string_view(PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col)));
}

// The hosts of a host text: "host", "host:port" or "[v6]:port", or several of these separated
// by commas (the primary and standbys of one office), each with port 5432 unless given.
struct HostList {
  std::vector<std::string> hosts;
  std::vector<std::string> ports;
};
HostList SplitHosts(std::string_view given);

// A connection to the database `dbname` of the server (or the writable one of the servers) at
// `a.host`, with the security settings of postgres_connect.cc; check PQstatus.
PGconn* Open(const PgAddress& a, const std::string& dbname);
// The status of a connection that failed: kServerUnverified (with *why), kBadCredentials,
// kAccountNotFound, kNoPrimary or kServerUnreachable.
int ConnectStatus(PGconn* conn, AuthFailure* why = nullptr);
// `conn` when it is connected, or when libpq tried every host of its list; otherwise (a
// server of the list refused the session before the later hosts were tried) the first good
// connection made from the hosts after it, else `conn` itself (postgres_hosts.cc).
PGconn* ThroughHostList(PGconn* conn);
// A new connection with the settings `conn` was made with, as PQreset would make it, but
// through the whole host list; `conn` is left as it is.
PGconn* Reopen(PGconn* conn);

// How often a waiting request looks up from its socket to tell the wait observer.
inline constexpr std::chrono::milliseconds kWaitSlice{100};

// One wait told to an observer: Tick() after each slice waited, and kWaitOver when the wait
// ends, if it told anything. Without an observer it tells nothing.
class WaitReport {
 public:
  explicit WaitReport(const WaitObserver& observer)
      : observer_(observer), start_(std::chrono::steady_clock::now()) {}
  ~WaitReport() {
    if (told_) observer_(kWaitOver);
  }
  WaitReport(const WaitReport&) = delete;
  WaitReport& operator=(const WaitReport&) = delete;

  void Tick() {
    if (!observer_) return;
    told_ = true;
    observer_(static_cast<int>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_)
            .count()));
  }

 private:
  const WaitObserver& observer_;
  std::chrono::steady_clock::time_point start_;
  bool told_ = false;
};

// Runs `work`, which blocks inside libpq (connecting, connecting again), on a thread of its
// own while this thread tells `observer` how long it has been waiting; without an observer,
// here. `work` is bounded by the connection's own timeout.
void RunObserved(const std::function<void()>& work, const WaitObserver& observer);

// The table of a file: QuotedTableName when it fits in PostgreSQL's 63-byte identifiers (a
// longer one would be cut silently, and two files could share a table); otherwise its first
// 40 characters and a hash of the whole name.
std::string PgTableName(std::string_view file);

// A list of byte strings as one text parameter: each one "x" followed by its bytes in
// hexadecimal, joined by commas, which the server splits and decodes. The "x" keeps the
// empty string an element of its own.
void AppendHex(std::string* list, std::string_view bytes);
// The bytes of one element of such a list, in SQL.
std::string Decoded(const char* column);

// The advisory lock that stands for the reservation of (file, key).
long long LockId(std::string_view file, std::string_view key);

// Inserts index entries given as such lists: $1 the file, $2 the item names, $3 the values in
// index form, $4 the keys (PostgresStore::IndexEntries).
std::string InsertIndexStatement();

}  // namespace cortevane::db::postgres
