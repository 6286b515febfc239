// The export of a laptop back to the office base, on embedded stores: 500 persons (or the
// size given) with six records each in four exported files; 20 % of the persons changed on
// the laptop, a quarter of those also changed on the server in the file written without
// asking ("N"); 20 persons created on the laptop. Timed: Demarrage_Exportation answered Yes,
// from the question to the final message (merge, new codes, releases, clearing).
//
// BM_Export_Raw is the baseline of the same run: the same records read (reference, server,
// laptop), compared and the changed ones written, straight through SQLite with the same
// journal settings (WAL, synchronous FULL, one transaction a write), without sessions, the
// query routine or the register.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
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
#include "ui/scripted_ui.h"

namespace {

namespace fs = std::filesystem;
using cortevane::db::DynArray;
using cortevane::db::Session;
using cortevane::db::SqliteStore;

constexpr char kUser[] = "BENCH";
constexpr int kNewPersons = 20;

struct Record {
  std::string file, key, reference, server, laptop;  // empty: no such record on that side
};

std::string Code(int n) {
  std::string digits = std::to_string(n);
  return std::string(5 - digits.size(), '0') + digits;
}

std::string PersonRecord(int n, const char* variant) {
  DynArray r;
  r.SetField(2, "NOM" + std::to_string(n));
  r.SetField(3, std::string("Prénom ") + variant);
  for (int f = 5; f <= 11; ++f) r.SetField(f, "adresse " + std::to_string(f) + " rue des Lilas");
  r.SetField(12, "01 23 45 67 89");
  r.SetField(39, std::to_string(n % 40 + 1));
  r.SetField(40, "012");
  r.SetField(41, std::to_string(n % 90 + 1));
  return r.Text();
}

std::string Text(const char* what, int n, const char* variant) {
  return std::string(what) + " " + std::to_string(n) + " " + variant + std::string(120, 'x') +
         "\xFE" + "2024-03-0" + std::to_string(n % 9 + 1);
}

// Every record of the scenario, with its three versions.
std::vector<Record> Scenario(int persons) {
  std::vector<Record> records;
  for (int i = 1; i <= persons + kNewPersons; ++i) {
    const bool created = i > persons;
    const int n = created ? 50000 + i : i;  // created codes lie above the threshold
    const std::string code = Code(n);
    const bool changed = !created && i % 5 == 0;   // 20 %
    const bool conflict = changed && i % 20 == 0;  // a quarter of those
    auto add = [&](const std::string& file, const std::string& key, const std::string& base,
                   const std::string& on_laptop, const std::string& on_server) {
      if (created) {
        records.push_back({file, key, "", "", on_laptop});
      } else {
        records.push_back({file, key, base, on_server, on_laptop});
      }
    };
    std::string person = PersonRecord(n, "");
    add("CIVILAIDE", code, person, changed ? PersonRecord(n, "modifié") : person, person);
    std::string dossier = Text("dossier", n, "");
    add("DOSSIER", code, dossier, dossier, dossier);
    for (const char* suffix : {"*1", "*2", "*3"}) {
      std::string note = Text("note", n, suffix);
      bool edited = changed && std::string(suffix) == "*2";
      add("NOTES", code + suffix, note, edited ? note + " complétée" : note, note);
    }
    std::string budget = Text("budget", n, "");
    add("BUDGET", code, budget, changed ? budget + " portable" : budget,
        conflict ? budget + " bureau" : budget);
  }
  return records;
}

void Check(int status, const char* what) {
  if (status != 0)
    throw std::runtime_error(std::string(what) + ": status " + std::to_string(status));
}

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

  const std::vector<Record>& records() const { return records_; }
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
    records_ = Scenario(persons_);
    Check(SqliteStore::Create(root_ / "server", true), "create server");
    Check(SqliteStore::Create(root_ / "laptop", false), "create laptop");
    std::shared_ptr<SqliteStore> server, laptop;
    Check(SqliteStore::Open(root_ / "server", &server), "open server");
    Check(SqliteStore::Open(root_ / "laptop", &laptop), "open laptop");
    const std::vector<std::string> files = {"CIVILAIDE", "DOSSIER", "NOTES", "BUDGET"};
    for (const std::string& file : files) {
      Check(server->CreateFile(file), "file");
      Check(server->CreateFile(file + "_" + kUser), "file");
      Check(laptop->CreateFile(file), "file");
    }
    for (const char* file : {"SDEXPORTAIDES", "SDPARAMEXPORT", "COMPTEUR"})
      Check(server->CreateFile(file), "file");
    Check(server->CreateFile(std::string("COMPTEUR_") + kUser), "file");
    Check(laptop->CreateFile("SECTEUR"), "file");
    Check(laptop->CreateFile("AGENDA"), "file");
    Check(server->Begin(), "begin");
    Check(laptop->Begin(), "begin");
    Check(server->Write("SDPARAMEXPORT", "PARAMETRES", "export"), "w");
    Check(server->Write("SDPARAMEXPORT", "AIDE",
                        cortevane::db::FromVisible("CIVILAIDE]état civil]]^DOSSIER]dossier]]^"
                                                   "NOTES]notes]SELECT]^BUDGET]budget]]N")),
          "w");
    Check(server->Write("SDPARAMEXPORT", "PLANNING", "AGENDA"), "w");
    DynArray counter;
    counter.SetField(11, "10000");
    Check(server->Write("COMPTEUR", "999", counter.Text()), "w");
    counter.SetField(11, Code(persons_));
    Check(server->Write(std::string("COMPTEUR_") + kUser, "999", counter.Text()), "w");
    for (const Record& r : records_) {
      if (!r.reference.empty()) {
        Check(server->Write(r.file + "_" + kUser, r.key, r.reference), "w");
        Check(server->Write(r.file, r.key, r.server), "w");
      }
      Check(laptop->Write(r.file, r.key, r.laptop), "w");
      if (r.file == "CIVILAIDE" && !r.reference.empty())
        Check(server->Write("SDEXPORTAIDES", r.key,
                            std::string(kUser) + "\xFE"
                                                 "20000"),
              "w");
    }
    Check(server->Commit(), "commit");
    Check(laptop->Commit(), "commit");
  }

  int persons_;
  fs::path root_;
  std::vector<Record> records_;
};

Accounts& AccountsFor(int persons) {
  static std::map<int, std::unique_ptr<Accounts>> built;
  auto& accounts = built[persons];
  if (!accounts) accounts = std::make_unique<Accounts>(persons);
  return *accounts;
}

void Connect(Session& session, const fs::path& folder) {
  std::shared_ptr<SqliteStore> store;
  Check(SqliteStore::Open(folder, &store), "open");
  session.SetDataBaseType(2);
  session.SetHostName("localhost");
  session.SetAccountPath(folder.string());
  session.AttachStore(store);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_Export(benchmark::State& state) {
  Accounts& accounts = AccountsFor(static_cast<int>(state.range(0)));
  const fs::path run = accounts.root() / "run";
  std::string user = kUser;
  size_t questions = 0;
  for (auto _ : state) {
    accounts.Fresh(run);
    auto server = std::make_unique<Session>();
    auto laptop = std::make_unique<Session>();
    Connect(*server, run / "server");
    Connect(*laptop, run / "laptop");
    Check(laptop->store()->SetPointer("SDEXPORTAIDES",
                                      {"localhost", server->AccountPath(), "SDEXPORTAIDES"}),
          "pointer");
    cortevane::ui::ScriptedUi ui;
    cortevane::exporting::Mod_Exportation exporting(*laptop, *server, user, ui);
    ui.AnswerYes();

    const auto start = std::chrono::steady_clock::now();
    exporting.Demarrage_Exportation();
    state.SetIterationTime(Seconds(start));

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

struct RawStatements {
  std::map<std::string, sqlite3_stmt*> read, write;
};

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(db));
  return st;
}

std::string ReadRaw(sqlite3_stmt* st, const std::string& key) {
  sqlite3_reset(st);
  sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  std::string out;
  if (sqlite3_step(st) == SQLITE_ROW) {
    out.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
               static_cast<size_t>(sqlite3_column_bytes(st, 0)));
  }
  return out;
}

void WriteRaw(sqlite3* db, sqlite3_stmt* st, const std::string& key, const std::string& record) {
  Exec(db, "BEGIN IMMEDIATE");
  sqlite3_reset(st);
  sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  sqlite3_bind_blob(st, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
  if (sqlite3_step(st) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
  Exec(db, "COMMIT");
}

void BM_Export_Raw(benchmark::State& state) {
  Accounts& accounts = AccountsFor(static_cast<int>(state.range(0)));
  const std::vector<Record>& records = accounts.records();
  const fs::path raw = accounts.root() / "raw";
  for (auto _ : state) {
    std::error_code ec;
    fs::remove_all(raw, ec);
    fs::create_directories(raw);
    sqlite3* server = OpenRaw(raw / "server.db");
    sqlite3* laptop = OpenRaw(raw / "laptop.db");
    std::map<std::string, sqlite3_stmt*> statements;
    Exec(server, "BEGIN");
    Exec(laptop, "BEGIN");
    for (const char* file : {"CIVILAIDE", "DOSSIER", "NOTES", "BUDGET"}) {
      for (std::string table : {std::string(file), std::string(file) + "_ref"})
        Exec(server, "CREATE TABLE " + table + " (key BLOB PRIMARY KEY, record BLOB)");
      Exec(laptop, std::string("CREATE TABLE ") + file + " (key BLOB PRIMARY KEY, record BLOB)");
    }
    for (const Record& r : records) {
      auto put = [](sqlite3* db, const std::string& table, const Record& r,
                    const std::string& value) {
        sqlite3_stmt* st = Prepare(db, "INSERT INTO " + table + " VALUES (?, ?)");
        sqlite3_bind_blob(st, 1, r.key.data(), static_cast<int>(r.key.size()), SQLITE_STATIC);
        sqlite3_bind_blob(st, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_finalize(st);
      };
      if (!r.reference.empty()) {
        put(server, r.file + "_ref", r, r.reference);
        put(server, r.file, r, r.server);
      }
      put(laptop, r.file, r, r.laptop);
    }
    Exec(server, "COMMIT");
    Exec(laptop, "COMMIT");
    for (const char* file : {"CIVILAIDE", "DOSSIER", "NOTES", "BUDGET"}) {
      std::string f = file;
      statements["ref " + f] = Prepare(server, "SELECT record FROM " + f + "_ref WHERE key = ?");
      statements["srv " + f] = Prepare(server, "SELECT record FROM " + f + " WHERE key = ?");
      statements["lap " + f] = Prepare(laptop, "SELECT record FROM " + f + " WHERE key = ?");
      statements["put " + f] =
          Prepare(server, "INSERT OR REPLACE INTO " + f + " (key, record) VALUES (?, ?)");
    }
    const auto start = std::chrono::steady_clock::now();
    int written = 0;
    for (const Record& r : records) {
      std::string reference = ReadRaw(statements["ref " + r.file], r.key);
      std::string current = ReadRaw(statements["srv " + r.file], r.key);
      std::string mine = ReadRaw(statements["lap " + r.file], r.key);
      if (mine == reference) continue;
      WriteRaw(server, statements["put " + r.file], r.key, mine);
      ++written;
      (void)current;
    }
    benchmark::DoNotOptimize(written);
    state.SetIterationTime(Seconds(start));

    for (auto& [name, st] : statements) sqlite3_finalize(st);
    sqlite3_close(server);
    sqlite3_close(laptop);
  }
  state.counters["records"] = static_cast<double>(records.size());
  state.counters["records_per_s"] = benchmark::Counter(
      static_cast<double>(records.size()), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Export)
    ->Arg(100)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();
BENCHMARK(BM_Export_Raw)
    ->Arg(100)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
