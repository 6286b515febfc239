// The export of a laptop back to the office base, on embedded stores: 250, 1,000 and 4,000
// persons, so the report shows how the time grows, with six records each in four exported files; 20
// % of the persons changed on the laptop, a quarter of those also changed on the server in the file
// written without asking ("N"); 20 persons created on the laptop. Timed: Demarrage_Exportation
// answered Yes, from the question to the final message (merge, new codes, releases, clearing).
//
// BM_Export_Raw is the baseline of the same run: the same job straight through SQLite with the
// same journal settings (WAL, synchronous FULL): the laptop's persons listed, each person's
// notes found by key prefix, the same records read (laptop; reference and office for a known
// person), compared, and the person's writes made with the release of its registration in one
// transaction a person; new persons' codes taken from the counter in a transaction of their
// own and noted on the laptop; the copies cleared at the end. No sessions, no query routine,
// no reservations.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/store.h"
#include "export/mod_exportation.h"
#include "export_scenario.h"
#include "ui/scripted_ui.h"

namespace {

namespace fs = std::filesystem;
using cortevane::db::DynArray;
using cortevane::db::Session;
using cortevane::db::SqliteStore;

using cortevane::bench::ExportCheck;
using cortevane::bench::ExportCode;
using cortevane::bench::ExportRecord;
using cortevane::bench::kExportFiles;
using cortevane::bench::kExportUser;

constexpr int kNewPersons = 20;
constexpr int kNotes = 3;

// The accounts of the scenario, built once, copied for each run (the export empties them).
class Accounts {
 public:
  explicit Accounts(int persons) : persons_(persons) {
    char pattern[] = "/tmp/cortevane-export-bench-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    fs::create_directories(root_ / "drive_c");
    setenv("CORTEVANE_DRIVE_C", (root_ / "drive_c").c_str(), 1);
    Build();
  }
  ~Accounts() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  const std::vector<ExportRecord>& records() const { return records_; }
  const fs::path& root() const { return root_; }

  // Fresh copies of both accounts for one run.
  void Fresh(const fs::path& run) const {
    std::error_code ec;
    fs::remove_all(run, ec);
    fs::create_directories(run);
    fs::copy(root_ / "server", run / "server", fs::copy_options::recursive);
    fs::copy(root_ / "laptop", run / "laptop", fs::copy_options::recursive);
  }

 private:
  void Build() {
    records_ = cortevane::bench::ExportScenario(persons_, kNotes, kNewPersons);
    ExportCheck(SqliteStore::Create(root_ / "server", true), "create server");
    ExportCheck(SqliteStore::Create(root_ / "laptop", false), "create laptop");
    std::shared_ptr<SqliteStore> server, laptop;
    ExportCheck(SqliteStore::Open(root_ / "server", &server), "open server");
    ExportCheck(SqliteStore::Open(root_ / "laptop", &laptop), "open laptop");
    cortevane::bench::LoadExportScenario(*server, *laptop, records_, persons_);
  }

  int persons_;
  fs::path root_;
  std::vector<ExportRecord> records_;
};

Accounts& AccountsFor(int persons) {
  static std::map<int, std::unique_ptr<Accounts>> built;
  auto& accounts = built[persons];
  if (!accounts) accounts = std::make_unique<Accounts>(persons);
  return *accounts;
}

void Connect(Session& session, const fs::path& folder) {
  std::shared_ptr<SqliteStore> store;
  ExportCheck(SqliteStore::Open(folder, &store), "open");
  session.SetDataBaseType(2);
  session.SetHostName("localhost");
  session.SetAccountPath(folder.string());
  session.AttachStore(store);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The CPU time this process has used, in seconds: the timed part's own, unlike the benchmark
// library's CPU column of a manually timed run (which counts the setup too).
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_Export(benchmark::State& state) {
  Accounts& accounts = AccountsFor(static_cast<int>(state.range(0)));
  const fs::path run = accounts.root() / "run";
  std::string user = kExportUser;
  size_t questions = 0;
  double cpu = 0;
  for (auto _ : state) {
    accounts.Fresh(run);
    auto server = std::make_unique<Session>();
    auto laptop = std::make_unique<Session>();
    Connect(*server, run / "server");
    Connect(*laptop, run / "laptop");
    ExportCheck(laptop->store()->SetPointer("SDEXPORTAIDES",
                                            {"localhost", server->AccountPath(), "SDEXPORTAIDES"}),
                "pointer");
    cortevane::ui::ScriptedUi ui;
    cortevane::exporting::Mod_Exportation exporting(*laptop, *server, user, ui);
    ui.AnswerYes();

    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds();
    exporting.Demarrage_Exportation();
    state.SetIterationTime(Seconds(start));
    cpu += CpuSeconds() - cpu_start;

    if (ui.boxes().empty() || ui.boxes().back().text.find("terminée") == std::string::npos) {
      // A failed export would measure nothing worth reporting.
      fprintf(stderr, "export failed:\n%s\n", ui.LogText().c_str());
      std::abort();
    }
    questions = ui.boxes().size() - 2;
  }
  state.counters["records"] = static_cast<double>(accounts.records().size());
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(accounts.records().size()),
                         benchmark::Counter::kIsIterationInvariantRate);
  state.counters["questions"] = static_cast<double>(questions);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

// ---- Raw baseline: one SQLite database a side, a table a file.

sqlite3* OpenRaw(const fs::path& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
  return db;
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(db));
}

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(db));
  return st;
}

// The raw baseline's bases: the scenario's records in one SQLite database a side, a table a
// file, with the register, the counter and the laptop's note of new codes.
void FillRaw(const fs::path& folder, const std::vector<ExportRecord>& records, sqlite3** server,
             sqlite3** laptop) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder);
  *server = OpenRaw(folder / "server.db");
  *laptop = OpenRaw(folder / "laptop.db");
  Exec(*server, "BEGIN");
  Exec(*laptop, "BEGIN");
  const std::string table = " (key BLOB PRIMARY KEY, record BLOB)";
  for (const char* file : kExportFiles) {
    Exec(*server, std::string("CREATE TABLE ") + file + table);
    Exec(*server, std::string("CREATE TABLE ") + file + "_ref" + table);
    Exec(*laptop, std::string("CREATE TABLE ") + file + table);
  }
  for (const char* file : {"SDEXPORTAIDES", "COMPTEUR"})
    Exec(*server, std::string("CREATE TABLE ") + file + table);
  for (const char* file : {"AGENDA", "CODESATTRIBUES"})
    Exec(*laptop, std::string("CREATE TABLE ") + file + table);
  auto put = [](sqlite3* db, const std::string& table, const std::string& key,
                const std::string& value) {
    sqlite3_stmt* st = Prepare(db, "INSERT INTO " + table + " VALUES (?, ?)");
    sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_blob(st, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    sqlite3_step(st);
    sqlite3_finalize(st);
  };
  for (const ExportRecord& r : records) {
    if (!r.reference.empty()) {
      put(*server, r.file + "_ref", r.key, r.reference);
      put(*server, r.file, r.key, r.server);
      if (r.file == "CIVILAIDE") put(*server, "SDEXPORTAIDES", r.key, std::string(kExportUser));
    }
    put(*laptop, r.file, r.key, r.laptop);
  }
  put(*server, "COMPTEUR", "999", cortevane::bench::kFirstCounter);
  Exec(*server, "COMMIT");
  Exec(*laptop, "COMMIT");
}

// Reads the record of `key` with the prepared statement `st`; false when there is none.
bool ReadRaw(sqlite3_stmt* st, const std::string& key, std::string* out) {
  sqlite3_reset(st);
  sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  out->clear();
  if (sqlite3_step(st) != SQLITE_ROW) return false;
  out->assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
              static_cast<size_t>(sqlite3_column_bytes(st, 0)));
  return true;
}

void Step(sqlite3* db, sqlite3_stmt* st, const std::string& key, const std::string* record) {
  sqlite3_reset(st);
  sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  if (record)
    sqlite3_bind_blob(st, 2, record->data(), static_cast<int>(record->size()), SQLITE_STATIC);
  if (sqlite3_step(st) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
}

// The export's whole job straight on SQLite: the laptop's persons; for each, its notes' keys
// by prefix, the three versions of each record (a person created on the laptop: the laptop's
// only), its registration; a new person's code taken from the counter in a transaction of its
// own and noted on the laptop; then the person's writes and the release of its registration
// in one transaction; at the end the register checked and the copies cleared.
void BM_Export_Raw(benchmark::State& state) {
  Accounts& accounts = AccountsFor(static_cast<int>(state.range(0)));
  const std::string threshold = ExportCode(static_cast<int>(state.range(0)));
  size_t written = 0;
  double cpu = 0;
  for (auto _ : state) {
    sqlite3 *server = nullptr, *laptop = nullptr;
    FillRaw(accounts.root() / "raw", accounts.records(), &server, &laptop);
    std::map<std::string, sqlite3_stmt*> st;
    for (const char* file : kExportFiles) {
      const std::string f = file;
      st["ref " + f] = Prepare(server, "SELECT record FROM " + f + "_ref WHERE key = ?");
      st["srv " + f] = Prepare(server, "SELECT record FROM " + f + " WHERE key = ?");
      st["lap " + f] = Prepare(laptop, "SELECT record FROM " + f + " WHERE key = ?");
      st["put " + f] = Prepare(server, "INSERT OR REPLACE INTO " + f + " VALUES (?, ?)");
    }
    st["keys"] = Prepare(laptop, "SELECT key FROM NOTES WHERE key >= ? AND key < ?");
    st["reg"] = Prepare(server, "SELECT record FROM SDEXPORTAIDES WHERE key = ?");
    st["release"] = Prepare(server, "DELETE FROM SDEXPORTAIDES WHERE key = ?");
    st["counter"] = Prepare(server, "SELECT record FROM COMPTEUR WHERE key = ?");
    st["advance"] = Prepare(server, "UPDATE COMPTEUR SET record = ?2 WHERE key = ?1");
    st["note"] = Prepare(laptop, "INSERT OR REPLACE INTO CODESATTRIBUES VALUES (?, ?)");
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds();
    written = 0;

    std::vector<std::string> persons;
    {
      sqlite3_stmt* all = Prepare(laptop, "SELECT key FROM CIVILAIDE");
      while (sqlite3_step(all) == SQLITE_ROW)
        persons.emplace_back(static_cast<const char*>(sqlite3_column_blob(all, 0)),
                             static_cast<size_t>(sqlite3_column_bytes(all, 0)));
      sqlite3_finalize(all);
    }
    std::string mine, reference, current, registration;
    for (const std::string& code : persons) {
      const bool known = code <= threshold;
      std::vector<std::pair<std::string, std::string>> writes;  // (file, key) with its record
      std::vector<std::string> records;
      for (const char* file : kExportFiles) {
        std::vector<std::string> keys;
        if (std::string(file) == "NOTES") {
          const std::string end = code.substr(0, 4) + static_cast<char>(code[4] + 1);
          sqlite3_reset(st["keys"]);
          sqlite3_bind_blob(st["keys"], 1, code.data(), 5, SQLITE_STATIC);
          sqlite3_bind_blob(st["keys"], 2, end.data(), 5, SQLITE_STATIC);
          while (sqlite3_step(st["keys"]) == SQLITE_ROW)
            keys.emplace_back(static_cast<const char*>(sqlite3_column_blob(st["keys"], 0)),
                              static_cast<size_t>(sqlite3_column_bytes(st["keys"], 0)));
        } else {
          keys.push_back(code);
        }
        for (const std::string& key : keys) {
          if (!ReadRaw(st["lap " + std::string(file)], key, &mine)) continue;
          if (known) {
            ReadRaw(st["ref " + std::string(file)], key, &reference);
            ReadRaw(st["srv " + std::string(file)], key, &current);
            if (mine == reference || mine == current) continue;
          }
          writes.emplace_back(file, key);
          records.push_back(mine);
        }
      }
      const bool registered =
          ReadRaw(st["reg"], code, &registration) && registration == kExportUser;
      std::string given = code;
      if (!known) {
        Exec(server, "BEGIN IMMEDIATE");
        ReadRaw(st["counter"], "999", &current);
        given = ExportCode(std::stoi(current) + 1);
        sqlite3_reset(st["advance"]);
        sqlite3_bind_blob(st["advance"], 1, "999", 3, SQLITE_STATIC);
        sqlite3_bind_blob(st["advance"], 2, given.data(), 5, SQLITE_STATIC);
        if (sqlite3_step(st["advance"]) != SQLITE_DONE) throw std::runtime_error("counter");
        Exec(server, "COMMIT");
        Step(laptop, st["note"], code, &given);
      }
      if (writes.empty() && !registered) continue;
      Exec(server, "BEGIN IMMEDIATE");
      for (size_t w = 0; w < writes.size(); ++w) {
        const auto& [file, key] = writes[w];
        Step(server, st["put " + file], known ? key : given + key.substr(5), &records[w]);
      }
      if (registered) Step(server, st["release"], code, nullptr);
      Exec(server, "COMMIT");
      written += writes.size();
    }
    sqlite3_stmt* left = Prepare(server, "SELECT record FROM SDEXPORTAIDES");
    while (sqlite3_step(left) == SQLITE_ROW) {
    }
    sqlite3_finalize(left);
    for (const char* file : kExportFiles) {
      Exec(laptop, std::string("DELETE FROM ") + file);
      Exec(server, std::string("DELETE FROM ") + file + "_ref");
    }
    Exec(laptop, "DELETE FROM AGENDA");
    Exec(laptop, "DELETE FROM CODESATTRIBUES");
    state.SetIterationTime(Seconds(start));
    cpu += CpuSeconds() - cpu_start;

    for (auto& [name, statement] : st) sqlite3_finalize(statement);
    sqlite3_close(server);
    sqlite3_close(laptop);
  }
  state.counters["records"] = static_cast<double>(accounts.records().size());
  state.counters["written"] = static_cast<double>(written);
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(accounts.records().size()),
                         benchmark::Counter::kIsIterationInvariantRate);
}

// Program and baseline at each size; their repetitions run in a random interleaved order (see
// main), so a change of the machine's load falls on both alike.
BENCHMARK(BM_Export)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();
BENCHMARK(BM_Export_Raw)
    ->Arg(250)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());  // a flag given on the command line wins
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
