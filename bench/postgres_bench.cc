// The office base over PostgreSQL on 127.0.0.1 against the embedded store, in the same run,
// on bases seeded with the same sample persons (seed 1) at two sizes (20,000 and 200,000 by
// default; CORTEVANE_BENCH_PG_PERSONS="2000,5000" chooses others):
//   - NameSearch: the import window's surname search as it sends it, DBA.SELECT through a
//     Session, begins-with "DUP" on the indexed NomAide, sorted by surname, first name and
//     code, eleven wanted fields;
//   - SectorSearch: the two-sector search (sectors 12 and 15) on the indexed CodeSecteurAide;
//   - Import100: IMPORTDONNEES of 100 persons from the server account to an empty embedded
//     laptop account (the laptop is emptied again outside the timed part);
//   - Seed: the time taken to seed the base, measured once when it was made;
//   - Export: the export of an embedded laptop to an office account of its own (100 known
//     persons, 10 created on the laptop), persons of 6 and of 30 records, with the office's
//     round trips per person over the whole export (its raw baseline is the embedded one of
//     export_bench.cc); on PostgreSQL also through a link that adds 10 ms each way
//     (PostgresExportAt10ms);
//   - ImportOk (and ImportOkAt10ms): the office's part of the import window's "Ok" of 100 persons
//   (the register
//     read, the registrations, IMPORTDONNEES), the office reached through a relay on 127.0.0.1
//     that adds 0 or 10 ms each way (relay/tcp_proxy.h). Round trips per person are counted
//     three ways: by the relay (each time the program speaks after hearing the server), from
//     the time the delay adds (a run at 0 ms beside each run at 10 ms), and the statements the
//     server ran (pg_stat_statements, when the server loads it: ./scripts/bench does), which
//     exceed the round trips where several statements travel in one pipeline.
// Each family runs as Postgres<Name> and Embedded<Name>; the searches and the import have
// their baseline <Family>_Raw: on PostgreSQL the whole search straight on libpq (the same rows
// through one plain statement, cut into the wanted fields, sorted and laid out as the routine
// does, its text checked equal to the routine's), on the embedded store the same rows through
// one sqlite3 statement; for the import the same records read and written straight through
// libpq or sqlite3. The counters give the rows, and on PostgreSQL the round trips (statements
// sent to the server) per search or per import.
//
// The PostgreSQL part needs a server: CORTEVANE_PG_HOST ("127.0.0.1:port"), CORTEVANE_PG_USER
// and PGPASSWORD, as ./scripts/bench sets them. Without one, its benchmarks report why they
// were skipped and the embedded ones still run.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/dyn_array.h"
#include "db/names.h"
#include "db/postgres/postgres_store.h"
#include "db/routines.h"
#include "db/sample_data.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "export/mod_exportation.h"
#include "export_scenario.h"
#include "import/import_register.h"
#include "raw_copies.h"
#include "raw_rows.h"
#include "relay/tcp_proxy.h"
#include "ui/scripted_ui.h"

namespace {

namespace db = cortevane::db;
namespace fs = std::filesystem;
using cortevane::bench::kByCode;
using cortevane::bench::kByPrefix;
using cortevane::bench::RawLaptop;
using cortevane::bench::RawReference;
using cortevane::bench::Rows;

const std::string kNameSearch =
    "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide PAR PrenomAide PAR CodeAide";
const std::string kSectorSearch =
    "SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"15\" PAR NomAide PAR PrenomAide "
    "PAR CodeAide";
constexpr const char* kWanted = "0 2 3 5 6 7 8 9 10 11 43";
constexpr const char* kUser = "BENCH";
constexpr const char* kPassword = "bench-password";
constexpr int kImported = 100;

// Stops the program at once: the bases are left to the throwaway folder and cluster (their
// sessions may be half made).
[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "postgres_bench: %s\n", what.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

std::string Pad(long n) {
  std::string digits = std::to_string(n);
  return digits.size() >= 5 ? digits : std::string(5 - digits.size(), '0') + digits;
}

// The persons of each import: 100 codes spread over the first persons of the base, all below
// 10,000, so that no code is the beginning of another (a base above 99,999 persons has
// 6-digit codes, and "10001" would also select the files of "100010").
std::vector<std::string> ImportedCodes(long persons) {
  const long step = std::max(1L, std::min(persons, 9900L) / kImported);
  std::vector<std::string> codes;
  for (int i = 0; i < kImported; ++i) codes.push_back(Pad(1 + i * step));
  return codes;
}

// ---- The PostgreSQL server, when there is one.

std::optional<db::PgAddress> PgServer() {
  const char* host = std::getenv("CORTEVANE_PG_HOST");
  if (host == nullptr || *host == '\0') return std::nullopt;
  db::PgAddress a;
  a.host = host;
  const char* user = std::getenv("CORTEVANE_PG_USER");
  a.user = user != nullptr ? user : "postgres";
  const char* password = std::getenv("PGPASSWORD");
  a.password = password != nullptr ? password : "";
  return a;
}

// Why the PostgreSQL part cannot run, or the empty text when it can.
std::string& PgUnavailable() {
  static std::string why;
  return why;
}

// A plain libpq connection to the account, for the raw baselines.
PGconn* RawConnect(const db::PgAddress& a) {
  std::string host = a.host, port = "5432";
  const size_t colon = host.rfind(':');
  if (colon != std::string::npos && host.find(':') == colon) {
    port = host.substr(colon + 1);
    host.resize(colon);
  }
  const char* keys[] = {"host", "port", "dbname", "user", "password", "connect_timeout", nullptr};
  const char* values[] = {host.c_str(),   port.c_str(),       a.account.c_str(),
                          a.user.c_str(), a.password.c_str(), "5",
                          nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn) != CONNECTION_OK) Fail(std::string("libpq: ") + PQerrorMessage(conn));
  // The import's range look-ups (a key range for each code of an array) are estimated at
  // hundreds of thousands of rows on a large table, which makes the server compile them
  // just in time: 100 to 200 ms for a query that runs in under 10 ms.
  PGresult* r = PQexec(conn, "SET jit = off");
  PQclear(r);
  return conn;
}

// Statements the server has run in the connection's database (pg_stat_statements), counting
// this question itself; -1 when the server does not keep the count.
long long ServerStatements(PGconn* conn) {
  PGresult* r =
      PQexec(conn,
             "SELECT coalesce(sum(calls), 0)::bigint FROM pg_stat_statements WHERE dbid = "
             "(SELECT oid FROM pg_database WHERE datname = current_database())");
  long long n = -1;
  if (PQresultStatus(r) == PGRES_TUPLES_OK) n = std::stoll(PQgetvalue(r, 0, 0)) + 1;
  PQclear(r);
  return n;
}

// Makes the server's statement count readable from the account (nothing when the server does
// not load pg_stat_statements).
void CountStatements(PGconn* conn) {
  PGresult* r = PQexec(conn, "CREATE EXTENSION IF NOT EXISTS pg_stat_statements");
  PQclear(r);
}

void RawCommand(PGconn* conn, const std::string& sql) {
  PGresult* r = PQexec(conn, sql.c_str());
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  if (!ok) Fail("libpq: " + sql + ": " + PQerrorMessage(conn));
}

// ---- Bases: for one size, a PostgreSQL server account (when a server is there), an embedded
// server account seeded alike, and an embedded laptop account for each.

void Connect(db::Session& session, const std::string& host, const std::string& path,
             const std::string& user, const std::string& password) {
  session.SetDataBaseType(2);
  session.SetHostName(host);
  session.SetAccountPath(path);
  session.SetUserName(user);
  session.SetPassword(password);
  if (session.Connect() != db::kOk)
    Fail("cannot connect to " + path + ": status " + std::to_string(session.Error()));
}

double Seed(db::Store& store, long persons, const char* where) {
  const auto start = std::chrono::steady_clock::now();
  db::sample::SeedOptions options;
  options.persons = persons;
  options.seed = 1;
  options.progress = [where](long done, long total) {
    std::fprintf(stderr, "\rseeding %s: %ld / %ld persons", where, done, total);
    if (done == total) std::fprintf(stderr, "\n");
  };
  std::string message;
  if (db::sample::Seed(store, options, nullptr, &message) != db::kOk)
    Fail(std::string("seeding ") + where + " failed: " + message);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::shared_ptr<db::SqliteStore> MakeEmbedded(const fs::path& folder, bool server) {
  std::shared_ptr<db::SqliteStore> store;
  if (db::SqliteStore::Create(folder, server) != db::kOk ||
      db::SqliteStore::Open(folder, &store) != db::kOk || store->AddUser(kUser, kPassword) != 0)
    Fail("cannot make the account " + folder.string());
  return store;
}

struct Side {
  db::Session server;
  db::Session laptop;
  fs::path laptop_folder;
  double seed_seconds = 0;
  bool warmed = false;  // one import done, so the laptop's files and dictionaries exist

  db::PostgresStore* pg() const { return dynamic_cast<db::PostgresStore*>(server.store().get()); }
  long long round_trips() const { return pg() != nullptr ? pg()->round_trips() : 0; }
};

struct Base {
  long persons;
  fs::path root;
  Side embedded;
  std::unique_ptr<Side> postgres;  // null without a server
  std::optional<db::PgAddress> pg_address;
  sqlite3* raw_sqlite = nullptr;  // the embedded server account, read-only
  PGconn* raw_pg = nullptr;       // the PostgreSQL account

  explicit Base(long n) : persons(n) {
    char pattern[] = "/tmp/cortevane-pgbench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) Fail("mkdtemp");
    root = pattern;

    auto server = MakeEmbedded(root / "SERVEUR", true);
    embedded.seed_seconds = Seed(*server, persons, "embedded store");
    server.reset();
    Connect(embedded.server, "localhost", (root / "SERVEUR").string(), kUser, kPassword);
    embedded.laptop_folder = root / "PORTABLE";
    MakeEmbedded(embedded.laptop_folder, false).reset();
    Connect(embedded.laptop, "localhost", embedded.laptop_folder.string(), kUser, kPassword);
    const std::string file = (root / "SERVEUR" / db::SqliteStore::kDatabaseName).string();
    if (sqlite3_open_v2(file.c_str(), &raw_sqlite, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      Fail("cannot open " + file);

    if (!PgUnavailable().empty()) return;
    pg_address = PgServer();
    pg_address->account = "cvbench_" + std::to_string(persons) + "_" + std::to_string(getpid());
    int s = db::PostgresStore::CreateAccount(*pg_address, true);
    if (s == db::kAccountExists) {  // left by an earlier run that was stopped
      db::PostgresStore::DropAccount(*pg_address);
      s = db::PostgresStore::CreateAccount(*pg_address, true);
    }
    if (s != db::kOk)
      Fail("cannot create the PostgreSQL account " + pg_address->account + ": status " +
           std::to_string(s));
    postgres = std::make_unique<Side>();
    Connect(postgres->server, pg_address->host, pg_address->account, pg_address->user,
            pg_address->password);
    postgres->seed_seconds = Seed(*postgres->server.store(), persons, "PostgreSQL");
    postgres->laptop_folder = root / "PORTABLE_PG";
    MakeEmbedded(postgres->laptop_folder, false).reset();
    Connect(postgres->laptop, "localhost", postgres->laptop_folder.string(), kUser, kPassword);
    raw_pg = RawConnect(*pg_address);
    CountStatements(raw_pg);
    // Statistics for the planner, as autovacuum would gather them soon after such a load;
    // without them the first plans on a freshly filled table can be far off.
    RawCommand(raw_pg, "ANALYZE");
  }

  ~Base() {
    if (raw_pg != nullptr) PQfinish(raw_pg);
    sqlite3_close(raw_sqlite);
    if (postgres) {
      postgres->server.Disconnect();
      postgres->laptop.Disconnect();
      db::PostgresStore::DropAccount(*pg_address);
    }
    embedded.server.Disconnect();
    embedded.laptop.Disconnect();
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  Side* side(bool pg) { return pg ? postgres.get() : &embedded; }
};

// The bases made so far; emptied before the program ends, while the registry of connected
// sessions still exists.
std::map<long, std::unique_ptr<Base>>& Bases() {
  static auto* bases = new std::map<long, std::unique_ptr<Base>>;
  return *bases;
}

Base& BaseOf(long persons) {
  auto& b = Bases()[persons];
  if (!b) b = std::make_unique<Base>(persons);
  return *b;
}

// The base for a benchmark, or nullptr when it is a PostgreSQL one and there is no server
// (the benchmark is then skipped with the reason).
Side* SideFor(benchmark::State& state, bool pg, Base** base = nullptr) {
  if (pg && !PgUnavailable().empty()) {
    state.SkipWithError(PgUnavailable().c_str());
    return nullptr;
  }
  Base& b = BaseOf(state.range(0));
  if (base != nullptr) *base = &b;
  return b.side(pg);
}

// ---- Searches through the session, as the import window runs them.

// Runs the sentence as the import window does; its result text, or nullopt when it failed.
std::optional<std::string> Select(db::Session& session, const std::string& sentence) {
  db::DynArray request;
  request.SetField(1, sentence);
  request.SetField(2, "CIVILAIDE");
  request.SetField(3, kWanted);
  auto routine = session.Subroutine(db::kDbaSelect, 3);
  if (!routine) return std::nullopt;
  routine->ResetArgs();
  routine->SetArg(0, "");
  routine->SetArg(1, request.Text());
  if (routine->Call() != db::kOk || routine->Error() != db::kOk) return std::nullopt;
  return routine->GetArg(2);
}

// The rows of a result text, counted outside the timed part.
long RowsOf(const std::optional<std::string>& result) {
  if (!result) return -1;
  return result->empty() ? 0 : std::count(result->begin(), result->end(), '\xFE') + 1;
}

void Search(benchmark::State& state, bool pg, const std::string& sentence) {
  Side* side = SideFor(state, pg);
  if (side == nullptr) return;
  std::optional<std::string> result;
  const long long before = side->round_trips();
  for (auto _ : state) result = Select(side->server, sentence);
  const long rows = RowsOf(result);
  if (rows <= 0) {
    state.SkipWithError("the search failed or selected nobody");
    return;
  }
  state.counters["rows"] = static_cast<double>(rows);
  if (pg)
    state.counters["round_trips"] =
        static_cast<double>(side->round_trips() - before) / static_cast<double>(state.iterations());
}

// ---- Raw searches: the records whose index entries match, joined to the persons' table in
// one statement. On PostgreSQL the baseline does the whole job; on the embedded store it only
// reads the rows (query_bench.cc has its whole-job baseline).

struct RawCondition {
  std::string item;
  std::vector<std::string> values;  // equality on any of them, or
  std::string from, to;             // the range [from, to) for a begins-with
};

const RawCondition kRawName{"NomAide", {}, "DUP", "DUQ"};
const RawCondition kRawSector{"CodeSecteurAide", {"12", "15"}, "", ""};  // index form of 012, 015

// The whole search straight on libpq, as a program written for these searches would do it:
// the rows through one statement joining the index to the records (binary results), each
// record cut once into the eleven wanted fields (the key and fields 2 3 5 6 7 8 9 10 11 43,
// value marks lowered to subvalue marks), sorted by surname, first name (value by value) and
// code (a number), and laid out one row a field, the wanted fields a value each.
std::string RawPgSearch(PGconn* conn, const RawCondition& c, long long* round_trips, long* rows) {
  std::string sql = "SELECT t.key, t.record FROM cv_index x JOIN " +
                    db::QuotedTableName("CIVILAIDE") +
                    " t ON t.key = x.key WHERE x.file = 'CIVILAIDE' AND x.item = $1 AND ";
  std::vector<const char*> values = {c.item.c_str()};
  if (c.values.empty()) {
    sql += "x.value >= convert_to($2, 'UTF8') AND x.value < convert_to($3, 'UTF8')";
    values.push_back(c.from.c_str());
    values.push_back(c.to.c_str());
  } else {
    sql += "x.value IN (";
    for (size_t i = 0; i < c.values.size(); ++i) {
      sql += (i ? ", " : "") + std::string("convert_to($") + std::to_string(i + 2) + ", 'UTF8')";
      values.push_back(c.values[i].c_str());
    }
    sql += ")";
  }
  sql += " ORDER BY x.value, t.key";
  PGresult* r = PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 1);
  ++*round_trips;
  *rows = -1;
  if (PQresultStatus(r) != PGRES_TUPLES_OK) {
    PQclear(r);
    return {};
  }
  // The rows' fields point into the result, which lives until the text is laid out.
  struct Row {
    long code = 0;
    cortevane::bench::RawFields fields;  // 0: the key
  };
  std::vector<Row> found(static_cast<size_t>(PQntuples(r)));
  for (size_t i = 0; i < found.size(); ++i) {
    Row& row = found[i];
    const int n = static_cast<int>(i);
    const std::string_view key(PQgetvalue(r, n, 0), static_cast<size_t>(PQgetlength(r, n, 0)));
    for (char ch : key) row.code = row.code * 10 + (ch - '0');
    row.fields = cortevane::bench::RawWantedFields(
        key, {PQgetvalue(r, n, 1), static_cast<size_t>(PQgetlength(r, n, 1))});
  }
  std::vector<const Row*> order;
  order.reserve(found.size());
  for (const Row& row : found) order.push_back(&row);
  std::sort(order.begin(), order.end(), [](const Row* a, const Row* b) {
    if (int c = cortevane::bench::RawCompareLists(a->fields[1], b->fields[1])) return c < 0;
    if (int c = cortevane::bench::RawCompareLists(a->fields[2], b->fields[2])) return c < 0;
    if (a->code != b->code) return a->code < b->code;
    return a->fields[0] < b->fields[0];
  });
  size_t size = 0;
  for (int i = 0; i < PQntuples(r); ++i) size += static_cast<size_t>(PQgetlength(r, i, 1)) + 16;
  std::string out;
  out.reserve(size);
  for (const Row* row : order) cortevane::bench::RawAppendRow(row->fields, &out);
  *rows = static_cast<long>(found.size());
  PQclear(r);
  return out;
}

long RawSqliteSearch(sqlite3* raw, const RawCondition& c) {
  std::string sql = "SELECT t.key, t.record FROM idx JOIN " + db::QuotedTableName("CIVILAIDE") +
                    " t ON t.key = idx.key WHERE idx.file = 'CIVILAIDE' AND idx.item = ?1 AND ";
  if (c.values.empty()) {
    sql += "idx.value >= CAST(?2 AS BLOB) AND idx.value < CAST(?3 AS BLOB)";
  } else {
    sql += "idx.value IN (";
    for (size_t i = 0; i < c.values.size(); ++i)
      sql += (i ? ", " : "") + std::string("CAST(?") + std::to_string(i + 2) + " AS BLOB)";
    sql += ")";
  }
  sql += " ORDER BY idx.value, t.key";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(raw, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return -1;
  sqlite3_bind_text(st, 1, c.item.c_str(), -1, SQLITE_STATIC);
  if (c.values.empty()) {
    sqlite3_bind_text(st, 2, c.from.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 3, c.to.c_str(), -1, SQLITE_STATIC);
  } else {
    for (size_t i = 0; i < c.values.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 2), c.values[i].c_str(), -1, SQLITE_STATIC);
  }
  long rows = 0;
  size_t bytes = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++rows;
    bytes += static_cast<size_t>(sqlite3_column_bytes(st, 0) + sqlite3_column_bytes(st, 1));
    benchmark::DoNotOptimize(sqlite3_column_blob(st, 1));
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(bytes);
  return rows;
}

void RawSearch(benchmark::State& state, bool pg, const RawCondition& condition,
               const std::string& sentence) {
  Base* base = nullptr;
  Side* side = SideFor(state, pg, &base);
  if (side == nullptr) return;
  long rows = 0;
  long long round_trips = 0;
  std::string out;
  for (auto _ : state) {
    if (pg)
      out = RawPgSearch(base->raw_pg, condition, &round_trips, &rows);
    else
      rows = RawSqliteSearch(base->raw_sqlite, condition);
  }
  // A baseline that did not return the routine's rows would compare nothing.
  const std::optional<std::string> routine = Select(side->server, sentence);
  if (rows != RowsOf(routine)) {
    state.SkipWithError("the raw query and the routine disagree");
    return;
  }
  if (pg && out != *routine) {
    // Where the two texts part, marks made visible, to see which side is wrong.
    const auto at = static_cast<size_t>(
        std::mismatch(out.begin(), out.end(), routine->begin(), routine->end()).first -
        out.begin());
    const size_t from = at > 100 ? at - 100 : 0;
    std::fprintf(stderr, "byte %zu\n raw:     %s\n routine: %s\n", at,
                 db::ToVisible(out.substr(from, 200)).c_str(),
                 db::ToVisible(routine->substr(from, 200)).c_str());
    state.SkipWithError("the raw search's result differs from the routine's");
    return;
  }
  state.counters["rows"] = static_cast<double>(rows);
  if (pg)
    state.counters["round_trips"] =
        static_cast<double>(round_trips) / static_cast<double>(state.iterations());
}

// ---- IMPORTDONNEES of 100 persons to the side's empty laptop.

void EmptyLaptop(Side& side) {
  db::Store& laptop = *side.laptop.store();
  std::vector<std::string> files;
  if (laptop.ListFiles(&files) != db::kOk) Fail("cannot list the laptop's files");
  for (const std::string& file : files)
    if (laptop.Clear(file) != db::kOk) Fail("cannot empty the laptop's " + file);
}

// Runs the import through `server` (the side's own session by default); the laptop records
// written (the routine's second result), or -1.
long ImportOnce(Side& side, const std::vector<std::string>& codes, db::Session* server = nullptr) {
  if (server == nullptr) server = &side.server;
  db::DynArray list;
  for (size_t i = 0; i < codes.size(); ++i) list.SetField(static_cast<int>(i + 1), codes[i]);
  const std::string identity = std::string(kUser) + "|localhost|" + side.laptop_folder.string() +
                               "|" + server->HostName() + "|" + server->AccountPath();
  auto routine = server->Subroutine(db::kImportDonnees, 3);
  if (!routine) return -1;
  routine->ResetArgs();
  routine->SetArg(0, identity);
  routine->SetArg(1, list.Text());
  if (routine->Call() != db::kOk || routine->Error() != db::kOk) {
    std::fprintf(stderr, "IMPORTDONNEES: status %d\n", routine->Error());
    return -1;
  }
  return std::stol("0" + db::DynArray(routine->GetArg(2)).Field(2));
}

void Import(benchmark::State& state, bool pg) {
  Side* side = SideFor(state, pg);
  if (side == nullptr) return;
  const std::vector<std::string> codes = ImportedCodes(state.range(0));
  if (!side->warmed) {
    EmptyLaptop(*side);
    if (ImportOnce(*side, codes) < 0) {
      state.SkipWithError("IMPORTDONNEES failed");
      return;
    }
    side->warmed = true;
  }
  long records = 0;
  long long round_trips = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EmptyLaptop(*side);
    const long long before = side->round_trips();
    state.ResumeTiming();
    records = ImportOnce(*side, codes);
    state.PauseTiming();
    round_trips += side->round_trips() - before;
    state.ResumeTiming();
    if (records < 0) {
      state.SkipWithError("IMPORTDONNEES failed");
      break;
    }
  }
  state.counters["persons"] = kImported;
  state.counters["records"] = static_cast<double>(records);
  if (pg)
    state.counters["round_trips"] =
        static_cast<double>(round_trips) / static_cast<double>(state.iterations());
}

// ---- The office's part of "Ok" over a link with a delay: the register read, the
// registrations, IMPORTDONNEES.

struct Link {
  std::unique_ptr<cortevane::relay::TcpProxy> relay;
  db::Session office;
};

std::unique_ptr<Link> OpenLink(const db::PgAddress& a, int delay_ms) {
  auto link = std::make_unique<Link>();
  link->relay = std::make_unique<cortevane::relay::TcpProxy>(a.host, delay_ms);
  if (link->relay->port() == 0) Fail("the relay cannot listen");
  Connect(link->office, link->relay->address(), a.account, a.user, a.password);
  return link;
}

// One "Ok" through `office`; false when a step failed.
bool OkOnce(Side& side, db::Session& office, const std::vector<std::string>& codes) {
  db::DynArray request;
  request.SetField(1, "SSELECT SDEXPORTAIDES PAR @ID");
  request.SetField(2, "SDEXPORTAIDES");
  request.SetField(3, "0 1");
  auto select = office.Subroutine(db::kDbaSelect, 3);
  if (!select) return false;
  select->ResetArgs();
  select->SetArg(0, "");
  select->SetArg(1, request.Text());
  if (select->Call() != db::kOk || !select->GetArg(2).empty()) return false;
  auto registre = office.OpenFile("SDEXPORTAIDES");
  db::DynArray record;
  record.SetField(1, kUser);
  record.SetField(2, "21528");
  record.SetField(3, "10:30");
  if (!registre || cortevane::import::RegisterPersons(*registre, codes, record).result !=
                       cortevane::import::Registration::kDone)
    return false;
  return ImportOnce(side, codes, &office) > 0;
}

void ImportOk(benchmark::State& state, int delay) {
  Base* base = nullptr;
  Side* side = SideFor(state, true, &base);
  if (side == nullptr) return;
  const std::vector<std::string> codes = ImportedCodes(state.range(0));
  auto link = OpenLink(*base->pg_address, delay);
  auto still = delay > 0 ? OpenLink(*base->pg_address, 0) : nullptr;
  auto restore = [&] {
    EmptyLaptop(*side);
    if (side->server.store()->Clear("SDEXPORTAIDES") != db::kOk) Fail("cannot empty the register");
  };
  auto seconds = [](auto start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  long long relay_trips = 0, statements = 0;
  double added = 0;
  for (auto _ : state) {
    restore();
    const long long trips_before = link->relay->round_trips();
    const long long statements_before = ServerStatements(base->raw_pg);
    const auto start = std::chrono::steady_clock::now();
    if (!OkOnce(*side, link->office, codes)) {
      state.SkipWithError("the import failed");
      return;
    }
    const double took = seconds(start);
    state.SetIterationTime(took);
    statements += ServerStatements(base->raw_pg) - statements_before - 1;
    relay_trips += link->relay->round_trips() - trips_before;
    if (still) {
      restore();
      const auto at_zero = std::chrono::steady_clock::now();
      if (!OkOnce(*side, still->office, codes)) Fail("the import at 0 ms failed");
      added += took - seconds(at_zero);
    }
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["persons"] = kImported;
  state.counters["round_trips_per_person"] = static_cast<double>(relay_trips) / runs / kImported;
  if (ServerStatements(base->raw_pg) >= 0)
    state.counters["statements_per_person"] = static_cast<double>(statements) / runs / kImported;
  if (delay > 0)
    state.counters["round_trips_per_person_by_time"] =
        added / runs / (2 * delay / 1000.0) / kImported;
}

// ---- Raw imports: the same records read from the server account and written to its
// reference copies (on the server, one table) and to a laptop database (one table a file, WAL
// and synchronous FULL as the embedded store), each side in one transaction.

// The code list as a PostgreSQL text array literal (codes are digits only).
std::string PgArray(const std::vector<std::string>& codes) {
  std::string out = "{";
  for (size_t i = 0; i < codes.size(); ++i) out += (i ? "," : "") + codes[i];
  return out + "}";
}

// Reads rows (key, record) of one statement with one text parameter; counts a round trip.
Rows PgRows(PGconn* conn, const std::string& sql, const std::string& param,
            long long* round_trips) {
  const char* values[] = {param.c_str()};
  PGresult* r =
      PQexecParams(conn, sql.c_str(), param.empty() ? 0 : 1, nullptr, values, nullptr, nullptr, 1);
  ++*round_trips;
  if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK)
    Fail("libpq: " + sql + ": " + PQerrorMessage(conn));
  Rows rows;
  for (int i = 0; i < PQntuples(r); ++i)
    rows.emplace_back(std::string(PQgetvalue(r, i, 0), static_cast<size_t>(PQgetlength(r, i, 0))),
                      std::string(PQgetvalue(r, i, 1), static_cast<size_t>(PQgetlength(r, i, 1))));
  PQclear(r);
  return rows;
}

long RawPgImport(PGconn* conn, RawLaptop& laptop, const std::vector<std::string>& codes,
                 long long* round_trips) {
  const std::string list = PgArray(codes);
  // The persons' records, read and copied to the reference table in the same statement.
  auto copy = [](const std::string& file, const std::string& from) {
    return "WITH picked AS (SELECT t.key, t.record FROM " + from +
           "), kept AS (INSERT INTO bench_reference (file, key, record) SELECT '" + file +
           "', key, record FROM picked ON CONFLICT (file, key) DO UPDATE SET record = "
           "EXCLUDED.record) SELECT key, record FROM picked ORDER BY key";
  };
  std::map<std::string, Rows> files;
  RawCommand(conn, "BEGIN");
  ++*round_trips;
  // The codes travel as one array; each is an index look-up (codes are digits, so their text is
  // their bytes).
  for (const std::string& file : kByCode)
    files[file] =
        PgRows(conn, copy(file, db::QuotedTableName(file) + " t WHERE t.key = ANY ($1::bytea[])"),
               list, round_trips);
  // Keys beginning with a code: the range [code "*", code "+"), as the keys are code*number;
  // one index range scan a code.
  for (const std::string& file : kByPrefix)
    files[file] = PgRows(conn,
                         copy(file, "unnest($1::text[]) c, LATERAL (SELECT key, record FROM " +
                                        db::QuotedTableName(file) +
                                        " WHERE key >= convert_to(c || '*', 'UTF8') AND key < "
                                        "convert_to(c || '+', 'UTF8')) t"),
                         list, round_trips);
  files["SECTEUR"] =
      PgRows(conn, "SELECT key, record FROM " + db::QuotedTableName("SECTEUR") + " ORDER BY key",
             "", round_trips);
  RawCommand(conn, "COMMIT");
  ++*round_trips;
  return laptop.Write(files);
}

void RawImport(benchmark::State& state, bool pg) {
  Base* base = nullptr;
  Side* side = SideFor(state, pg, &base);
  if (side == nullptr) return;
  const std::vector<std::string> codes = ImportedCodes(state.range(0));
  RawLaptop laptop(base->root / (pg ? "raw-laptop-pg.db" : "raw-laptop.db"));
  std::unique_ptr<RawReference> reference;
  if (pg)
    RawCommand(base->raw_pg,
               "CREATE TABLE IF NOT EXISTS bench_reference (file text, key bytea, record bytea, "
               "PRIMARY KEY (file, key))");
  else
    reference = std::make_unique<RawReference>(base->root / "raw-reference.db");
  long records = 0;
  long long round_trips = 0;
  for (auto _ : state) {
    state.PauseTiming();
    laptop.Empty();
    state.ResumeTiming();
    if (pg) {
      records = RawPgImport(base->raw_pg, laptop, codes, &round_trips);
    } else {
      const std::map<std::string, Rows> files =
          cortevane::bench::RawReadCopies(base->raw_sqlite, codes);
      reference->Write(files);
      records = laptop.Write(files);
    }
  }
  // The routine writes the same records to the laptop (and its counter record, not counted).
  EmptyLaptop(*side);
  const long routine = ImportOnce(*side, codes);
  if (records != routine) {
    state.SkipWithError(("the raw import copied " + std::to_string(records) +
                         " records, the routine " + std::to_string(routine))
                            .c_str());
    return;
  }
  state.counters["persons"] = kImported;
  state.counters["records"] = static_cast<double>(records);
  if (pg)
    state.counters["round_trips"] =
        static_cast<double>(round_trips) / static_cast<double>(state.iterations());
}

// ---- The export of a laptop, the office on PostgreSQL or embedded: the export benchmarks'
// scenario (bench/export_scenario.h) with persons of 6 or of 30 records, built afresh for
// each run; the office's round trips counted over the whole export.

constexpr int kExportPersons = 100;
constexpr int kExportCreated = 10;

void Export(benchmark::State& state, bool pg, int delay) {
  if (pg && !PgUnavailable().empty()) {
    state.SkipWithError(PgUnavailable().c_str());
    return;
  }
  const int per_person = static_cast<int>(state.range(0));
  const auto records =
      cortevane::bench::ExportScenario(kExportPersons, per_person - 3, kExportCreated);
  char pattern[] = "/tmp/cortevane-pgexport-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("mkdtemp");
  const fs::path root = pattern;
  setenv("CORTEVANE_DRIVE_C", (root / "drive_c").c_str(), 1);
  db::PgAddress office;
  std::unique_ptr<cortevane::relay::TcpProxy> relay;
  if (pg) {
    office = *PgServer();
    office.account = "cvexport_" + std::to_string(getpid());
    relay = std::make_unique<cortevane::relay::TcpProxy>(office.host, delay);
  }
  long long round_trips = 0, relay_trips = 0, statements = -1, overrun_us = 0, deliveries = 0;
  for (auto _ : state) {
    if (pg) {
      if (db::PostgresStore::CreateAccount(office, true) != db::kOk) Fail("export account");
    } else {
      std::error_code ec;
      fs::remove_all(root / "SERVEUR", ec);
      MakeEmbedded(root / "SERVEUR", true).reset();
    }
    std::error_code ec;
    fs::remove_all(root / "PORTABLE", ec);
    MakeEmbedded(root / "PORTABLE", false).reset();
    db::Session server, laptop;
    PGconn* counter = nullptr;
    if (pg) {
      Connect(server, relay->address(), office.account, office.user, office.password);
      counter = RawConnect(office);
      CountStatements(counter);
    } else {
      Connect(server, "localhost", (root / "SERVEUR").string(), kUser, kPassword);
    }
    Connect(laptop, "localhost", (root / "PORTABLE").string(), kUser, kPassword);
    {
      // Loaded straight, not through the slow link, which is only the export's.
      std::shared_ptr<db::Store> loader = server.store();
      int status = db::kOk;
      if (pg) loader = db::PostgresStore::Connect(office, &status);
      if (!loader) Fail("cannot load the export's office: status " + std::to_string(status));
      cortevane::bench::LoadExportScenario(*loader, *laptop.store(), records, kExportPersons);
    }
    if (laptop.store()->SetPointer(
            "SDEXPORTAIDES", {server.HostName(), server.AccountPath(), "SDEXPORTAIDES"}) != db::kOk)
      Fail("register pointer");
    const std::string user = cortevane::bench::kExportUser;
    cortevane::ui::ScriptedUi ui;
    ui.AnswerYes(1000);
    cortevane::exporting::Mod_Exportation exporting(laptop, server, user, ui);
    auto* store = dynamic_cast<db::PostgresStore*>(server.store().get());
    const long long before = store != nullptr ? store->round_trips() : 0;
    const long long relay_before = relay ? relay->round_trips() : 0;
    const long long overrun_before = relay ? relay->overrun_us() : 0;
    const long long deliveries_before = relay ? relay->deliveries() : 0;
    const long long statements_before = counter != nullptr ? ServerStatements(counter) : -1;
    const auto start = std::chrono::steady_clock::now();
    exporting.Demarrage_Exportation();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (store != nullptr) round_trips = store->round_trips() - before;
    if (relay) {
      relay_trips = relay->round_trips() - relay_before;
      overrun_us = relay->overrun_us() - overrun_before;
      deliveries = relay->deliveries() - deliveries_before;
    }
    if (statements_before >= 0) statements = ServerStatements(counter) - statements_before - 1;
    if (counter != nullptr) PQfinish(counter);
    if (ui.boxes().empty() || ui.boxes().back().text.find("terminée") == std::string::npos)
      Fail("the export failed:\n" + ui.LogText());
    laptop.Disconnect();
    server.Disconnect();
    if (pg) db::PostgresStore::DropAccount(office);
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  state.counters["persons"] = kExportPersons + kExportCreated;
  state.counters["records_per_person"] = per_person;
  if (pg) {
    constexpr double persons = kExportPersons + kExportCreated;
    state.counters["round_trips_per_person"] = static_cast<double>(round_trips) / persons;
    state.counters["relay_round_trips_per_person"] = static_cast<double>(relay_trips) / persons;
    // The relay's lateness beyond its delay, over the whole export and per chunk passed on.
    state.counters["relay_overrun_ms"] = static_cast<double>(overrun_us) / 1000.0;
    if (deliveries > 0)
      state.counters["relay_overrun_us_per_chunk"] =
          static_cast<double>(overrun_us) / static_cast<double>(deliveries);
    if (statements >= 0)
      state.counters["statements_per_person"] = static_cast<double>(statements) / persons;
    state.counters["delay_ms"] = delay;
  }
}

// The seeding time of the base, measured once when it was made (not repeated).
void SeedTime(benchmark::State& state, bool pg) {
  Side* side = SideFor(state, pg);
  if (side == nullptr) return;
  for (auto _ : state) state.SetIterationTime(side->seed_seconds);
  state.counters["persons"] = static_cast<double>(state.range(0));
  state.counters["persons_per_s"] = static_cast<double>(state.range(0)) / side->seed_seconds;
}

std::vector<long> Sizes() {
  std::vector<long> sizes;
  const char* given = std::getenv("CORTEVANE_BENCH_PG_PERSONS");
  std::stringstream in(given != nullptr && *given != '\0' ? given : "20000,200000");
  std::string item;
  while (std::getline(in, item, ',')) {
    char* end = nullptr;
    const long n = std::strtol(item.c_str(), &end, 10);
    if (end == item.c_str() || *end != '\0' || n < 1000 || n > 1000000)
      Fail("CORTEVANE_BENCH_PG_PERSONS: \"" + item +
           "\" is not a number of persons (1000 to "
           "1000000)");
    sizes.push_back(n);
  }
  return sizes;
}

// Checks that a PostgreSQL server can be reached and can make an account; sets the reason for
// skipping the PostgreSQL benchmarks otherwise.
void ProbeServer() {
  std::optional<db::PgAddress> a = PgServer();
  if (!a) {
    PgUnavailable() = "no PostgreSQL server: CORTEVANE_PG_HOST is not set";
  } else {
    a->account = "cvbench_probe_" + std::to_string(getpid());
    const int s = db::PostgresStore::CreateAccount(*a, true);
    if (s != db::kOk)
      PgUnavailable() =
          "PostgreSQL server " + a->host + " cannot be used: status " + std::to_string(s);
    else
      db::PostgresStore::DropAccount(*a);
  }
  if (!PgUnavailable().empty())
    std::fprintf(stderr, "postgres_bench: %s; the PostgreSQL benchmarks are skipped\n",
                 PgUnavailable().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ProbeServer();
  const std::vector<long> sizes = Sizes();
  using benchmark::kMillisecond;
  for (bool pg : {true, false}) {
    const std::string side = pg ? "Postgres" : "Embedded";
    auto* b = benchmark::RegisterBenchmark((side + "NameSearch").c_str(),
                                           [pg](auto& s) { Search(s, pg, kNameSearch); });
    auto* r = benchmark::RegisterBenchmark((side + "NameSearch_Raw").c_str(), [pg](auto& s) {
      RawSearch(s, pg, kRawName, kNameSearch);
    });
    auto* c = benchmark::RegisterBenchmark((side + "SectorSearch").c_str(),
                                           [pg](auto& s) { Search(s, pg, kSectorSearch); });
    auto* cr = benchmark::RegisterBenchmark((side + "SectorSearch_Raw").c_str(), [pg](auto& s) {
      RawSearch(s, pg, kRawSector, kSectorSearch);
    });
    for (auto* each : {b, r, c, cr}) {
      each->Unit(kMillisecond);
      for (long n : sizes) each->Arg(n);
    }
    auto* i = benchmark::RegisterBenchmark((side + "Import100").c_str(), Import, pg);
    auto* ir = benchmark::RegisterBenchmark((side + "Import100_Raw").c_str(), RawImport, pg);
    for (auto* each : {i, ir}) {
      each->Unit(kMillisecond)->Iterations(3);
      for (long n : sizes) each->Arg(n);
    }
    auto* e = benchmark::RegisterBenchmark((side + "Export").c_str(), Export, pg, 0);
    e->Unit(kMillisecond)->UseManualTime()->Iterations(1)->Arg(6)->Arg(30);
    if (pg) {
      // Over a link that adds 10 ms each way, and the office's part of the import's "Ok".
      auto* far = benchmark::RegisterBenchmark("PostgresExportAt10ms", Export, true, 10);
      far->Unit(kMillisecond)->UseManualTime()->Iterations(1)->Arg(6);
      for (int delay : {0, 10}) {
        auto* ok = benchmark::RegisterBenchmark(
            delay ? "PostgresImportOkAt10ms" : "PostgresImportOk", ImportOk, delay);
        ok->Unit(kMillisecond)->UseManualTime()->Iterations(3)->Arg(sizes.front());
      }
    }
    auto* s = benchmark::RegisterBenchmark((side + "Seed").c_str(), SeedTime, pg);
    s->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
    for (long n : sizes) s->Arg(n);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Bases().clear();
  return 0;
}
