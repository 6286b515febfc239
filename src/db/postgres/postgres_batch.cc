// The office store's batches (Store::Apply): every change of a batch, its index entries and
// the commit travel as one libpq pipeline, so a batch costs one round trip whatever its size.
//
// The statements between two synchronisation points of a pipeline form one implicit
// transaction: the first one that fails makes the server skip the rest and roll back at the
// sync. A failed condition is made such a failure on purpose: its statement divides by the
// number of rows it changed, so "no row" is a division by zero (SQLSTATE 22012), told apart
// from every other failure by the statement it comes from.
#include <libpq-fe.h>

#include <poll.h>

#include <chrono>
#include <map>
#include <set>

#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::AppendHex;
using postgres::Decoded;
using postgres::Params;
using postgres::PgTableName;
using postgres::Result;

namespace {

constexpr int kAttempts = 3;
constexpr const char* kDivisionByZero = "22012";

struct Statement {
  std::string sql;
  Params params;
  long change = -1;   // the change it makes, or -1 (the version check, locks, index entries)
  bool lock = false;  // waits for a reservation held elsewhere
};

// The statement of one change on `table`: $1 the key, $2 the record, $3 the expected record.
Statement ChangeStatement(const Change& c, const std::string& table, long index) {
  const std::string key = "$1::bytea";
  Statement st;
  st.change = index;
  st.params.push_back(c.key);
  auto checked = [](const std::string& dml) {
    return "WITH w AS (" + dml + " RETURNING 1) SELECT 1 / count(*)::int FROM w";
  };
  if (c.kind == Change::kWrite) {
    st.params.push_back(c.record);
    if (c.condition == Change::kAlways)
      st.sql = "INSERT INTO " + table + " (key, record) VALUES (" + key +
               ", $2::bytea) ON CONFLICT (key) DO UPDATE SET record = EXCLUDED.record";
    else if (c.condition == Change::kIfAbsent)
      st.sql = checked("INSERT INTO " + table + " (key, record) VALUES (" + key +
                       ", $2::bytea) ON CONFLICT (key) DO NOTHING");
    else
      st.sql = checked("UPDATE " + table + " SET record = $2::bytea WHERE key = " + key +
                       " AND record = $3::bytea");
  } else {
    if (c.condition == Change::kAlways)
      st.sql = "DELETE FROM " + table + " WHERE key = " + key;
    else if (c.condition == Change::kIfAbsent)
      st.sql = "SELECT 1 / (count(*) = 0)::int FROM (SELECT 1 FROM " + table +
               " WHERE key = " + key + " FOR UPDATE) s";
    else
      st.sql = checked("DELETE FROM " + table + " WHERE key = " + key + " AND record = $2::bytea");
  }
  if (c.condition == Change::kIfRecord) st.params.push_back(c.expected);
  return st;
}

}  // namespace

int PostgresStore::Apply(const std::vector<Change>& changes, size_t* refused) {
  if (in_transaction_) return kBadArgument;
  for (const Change& c : changes) {
    int status;
    Table(c.file, &status);
    if (status != kOk) return status;
    if (c.key.empty()) return kNoKey;
    if (c.record.size() > kMaxRecordBytes) return kRecordTooLarge;
  }
  if (changes.empty()) return kOk;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    int s = ApplyOnce(changes, refused);
    if (s != kStale) return s;
    files_.clear();  // read again by the next try
  }
  return kIoError;
}

int PostgresStore::ApplyOnce(const std::vector<Change>& changes, size_t* refused) {
  // The files' versions, and per file the final state of each key it touches (for the index
  // entries: nullptr when the batch ends by deleting the record).
  std::map<std::string, const FileKnowledge*> known;
  std::map<std::string, std::map<std::string, const std::string*>> finals;
  for (const Change& c : changes) {
    const FileKnowledge* k = nullptr;
    if (int s = Know(c.file, false, &k)) return s;
    known[c.file] = k;
    if (!k->indexed.empty()) finals[c.file][c.key] = c.kind == Change::kWrite ? &c.record : nullptr;
  }

  std::vector<Statement> statements;
  {
    // Holds every file's catalogue entry in share mode to the end of the transaction, as
    // single writes do, and fails when one moved since it was read.
    std::string names, versions;
    for (const auto& [file, k] : known) {
      AppendHex(&names, file);
      versions += (versions.empty() ? "" : ",") + std::to_string(k->version);
    }
    // (Through cv_gate: users may not lock the catalogue's rows themselves.)
    statements.push_back({"SELECT 1 / (count(*) = " + std::to_string(known.size()) +
                              ")::int FROM unnest(string_to_array($1::text, ','), "
                              "string_to_array($2::text, ',')) AS u(n, v) WHERE cv_gate("
                              "convert_from(" +
                              Decoded("n") + ", 'UTF8'), v::bigint)",
                          {names, versions}});
  }
  // A reservation of a conditional change's record held by another session is waited for, as
  // Reserve would, with a lock of the transaction that the commit releases. The locks are
  // taken first and in one order, so two batches sharing records never wait for each other
  // in a circle.
  std::set<long long> locks;
  for (const Change& c : changes)
    if (c.condition != Change::kAlways && !Holds(c.file, c.key))
      locks.insert(postgres::LockId(c.file, c.key));
  for (long long lock : locks)
    statements.push_back(
        {"SELECT pg_advisory_xact_lock($1::text::bigint)", {std::to_string(lock)}, -1, true});
  for (size_t i = 0; i < changes.size(); ++i)
    statements.push_back(
        ChangeStatement(changes[i], PgTableName(changes[i].file), static_cast<long>(i)));
  for (const auto& [file, keys] : finals) {
    std::string listed;
    IndexEntries entries;
    for (const auto& [key, record] : keys) {
      AppendHex(&listed, key);
      if (record != nullptr)
        for (const DictItem& item : known[file]->indexed) entries.Add(item, key, *record);
    }
    statements.push_back({"DELETE FROM cv_index WHERE file = $1 AND key IN (SELECT " +
                              Decoded("k") +
                              " FROM unnest(string_to_array($2::text, ',')) AS u(k))",
                          {file, listed}});
    if (entries.count > 0)
      statements.push_back(
          {postgres::InsertIndexStatement(), {file, entries.items, entries.values, entries.keys}});
  }

  if (!Usable()) return Failure();
  if (!PQenterPipelineMode(conn_)) return Failure();
  PQsetnonblocking(conn_, 1);
  ++round_trips_;
  bool sent = true;
  for (const Statement& st : statements) {
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const auto& p : st.params) {
      values.push_back(p->data());
      lengths.push_back(static_cast<int>(p->size()));
      formats.push_back(1);
    }
    if (!PQsendQueryParams(conn_, st.sql.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), lengths.data(), formats.data(), 1)) {
      sent = false;
      break;
    }
  }
  sent = sent && PQpipelineSync(conn_) && FlushPipeline();
  PQsetnonblocking(conn_, 0);

  // The answers, in order: the first failure decides.
  int status = sent ? static_cast<int>(kOk) : Failure();
  // Everything sent and nothing refused so far: a connection lost now may have been lost after
  // the server committed at the synchronisation point.
  auto lost = [&] { return status == kOk ? static_cast<int>(kOutcomeUnknown) : Failure(); };
  for (size_t i = 0; sent && i < statements.size(); ++i) {
    Result r(Await());
    if (r == nullptr) return lost();  // lost, or no answer in time (the connection is cut)
    if (status != kOk || Ok(r.get())) continue;
    const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
    const bool zero = state != nullptr && std::string_view(state) == kDivisionByZero;
    const long change = statements[i].change;
    if (zero && i == 0) {
      status = kStale;
    } else if (statements[i].lock) {
      status = PQstatus(conn_) == CONNECTION_OK ? static_cast<int>(kLockTimeout) : Failure();
    } else if (zero && change >= 0 && changes[change].condition != Change::kAlways) {
      *refused = static_cast<size_t>(change);
      status = kConditionFailed;
    } else {
      status = Failure(r.get(), change >= 0 ? std::string_view(changes[change].file) : "");
    }
  }
  if (sent) {
    // The synchronisation point: the transaction is committed (or rolled back) once it is
    // answered.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(request_timeout_s_);
    while (PQisBusy(conn_)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd wait{PQsocket(conn_), POLLIN, 0};
      if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) == 0) {
        Cut();
        return lost();
      }
      if (!PQconsumeInput(conn_)) return lost();
    }
    Result sync(PQgetResult(conn_));
    if (sync == nullptr || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC) return lost();
  }
  PQexitPipelineMode(conn_);
  return status;
}

bool PostgresStore::FlushPipeline() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(request_timeout_s_);
  while (true) {
    const int f = PQflush(conn_);
    if (f == 0) return true;
    if (f < 0) return false;
    // The server may be answering the first statements while the last are still on their
    // way: read what it sends, so that neither side waits on the other's full buffer.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{PQsocket(conn_), POLLIN | POLLOUT, 0};
    if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) == 0) {
      Cut();
      return false;
    }
    if ((wait.revents & POLLIN) && !PQconsumeInput(conn_)) return false;
  }
}

}  // namespace cortevane::db
