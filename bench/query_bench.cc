// DBA.SELECT on the embedded store with 20,000 and 200,000 seeded persons, each against a raw
// SQLite query returning the same rows, measured in the same run (family name + "_Raw"):
//   - NameSearch: the import window's surname search, begins-with on the indexed NomAide,
//     sorted by surname, first name and code, eleven wanted fields;
//   - SectorSearch: the two-sector search on the indexed CodeSecteurAide;
//   - SectorSearchNoIndex: the same sentence with the dictionary's indexes hidden from the
//     evaluator, so it reads the whole file, as it would after the index is dropped.
// The raw queries fetch the matching (key, record) rows through the index table joined to the
// file's table, with one prepared statement, and touch every byte; they neither split fields
// nor sort, which is the work the routine adds. Seed gives the time to seed the base.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "db/dyn_array.h"
#include "db/names.h"
#include "db/query/evaluator.h"
#include "db/sample_data.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"

namespace {

namespace db = cortevane::db;

const std::string kNameSearch =
    "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide PAR PrenomAide PAR CodeAide";
const std::string kSectorSearch =
    "SSELECT CIVILAIDE AVEC CodeSecteurAide = \"12\" OR = \"15\" PAR NomAide PAR PrenomAide "
    "PAR CodeAide";
constexpr const char* kWanted = "0 2 3 5 6 7 8 9 10 11 43";

// Hides every index from the evaluator: the same dictionary, read as if none were indexed.
class Unindexed : public db::Store {
 public:
  explicit Unindexed(db::Store& s) : s_(s) {}
  int Read(std::string_view f, std::string_view k, std::string* r) override {
    return s_.Read(f, k, r);
  }
  int Write(std::string_view f, std::string_view k, std::string_view r) override {
    return s_.Write(f, k, r);
  }
  int Delete(std::string_view f, std::string_view k) override { return s_.Delete(f, k); }
  int Clear(std::string_view f) override { return s_.Clear(f); }
  int Scan(std::string_view f,
           const std::function<bool(std::string_view, std::string_view)>& v) override {
    return s_.Scan(f, v);
  }
  int IndexLookup(std::string_view f, std::string_view i, std::string_view v, bool p,
                  std::vector<std::string>* k) override {
    return s_.IndexLookup(f, i, v, p, k);
  }
  int CountRecords(std::string_view f, long long* c) override { return s_.CountRecords(f, c); }
  int Reserve(std::string_view f, std::string_view k, int t) override {
    return s_.Reserve(f, k, t);
  }
  int Free(std::string_view f, std::string_view k) override { return s_.Free(f, k); }
  int Begin() override { return s_.Begin(); }
  int Commit() override { return s_.Commit(); }
  int Rollback() override { return s_.Rollback(); }
  bool FileExists(std::string_view f) override { return s_.FileExists(f); }
  int CreateFile(std::string_view f) override { return s_.CreateFile(f); }
  int DropFile(std::string_view f) override { return s_.DropFile(f); }
  int ListFiles(std::vector<std::string>* f) override { return s_.ListFiles(f); }
  int SetDictItem(std::string_view f, const db::DictItem& i) override {
    return s_.SetDictItem(f, i);
  }
  int Dictionary(std::string_view f, std::vector<db::DictItem>* items) override {
    int st = s_.Dictionary(f, items);
    for (db::DictItem& i : *items) i.indexed = false;
    return st;
  }
  int SetPointer(std::string_view n, const db::PointerTarget& t) override {
    return s_.SetPointer(n, t);
  }
  std::optional<db::PointerTarget> Pointer(std::string_view n) override { return s_.Pointer(n); }
  int CatalogueRoutine(std::string_view r) override { return s_.CatalogueRoutine(r); }
  bool RoutineCatalogued(std::string_view r) override { return s_.RoutineCatalogued(r); }

 private:
  db::Store& s_;
};

struct Base {
  std::filesystem::path root;
  std::shared_ptr<db::SqliteStore> store;
  sqlite3* raw = nullptr;
  double seed_seconds = 0;

  explicit Base(long persons) {
    char pattern[] = "/tmp/cortevane-qbench-XXXXXX";
    root = mkdtemp(pattern);
    if (db::SqliteStore::Create(root / "SERVEUR", true) != 0 ||
        db::SqliteStore::Open(root / "SERVEUR", &store) != 0) {
      std::fprintf(stderr, "cannot make the account under %s\n", root.c_str());
      std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    std::string message;
    if (db::sample::Seed(*store, {persons, 1, {}}, nullptr, &message) != 0) {
      std::fprintf(stderr, "seeding failed: %s\n", message.c_str());
      std::exit(1);
    }
    seed_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string file = (root / "SERVEUR" / db::SqliteStore::kDatabaseName).string();
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "cannot open %s\n", file.c_str());
      std::exit(1);
    }
  }
  ~Base() {
    sqlite3_close(raw);
    store.reset();
    std::filesystem::remove_all(root);
  }
};

Base& BaseOf(long persons) {
  static std::map<long, std::unique_ptr<Base>> bases;
  auto& b = bases[persons];
  if (!b) b = std::make_unique<Base>(persons);
  return *b;
}

long RunSelect(db::Store& store, const std::string& sentence) {
  db::DynArray request;
  request.SetField(1, sentence);
  request.SetField(2, "CIVILAIDE");
  request.SetField(3, kWanted);
  std::string result;
  if (db::query::Select(store, request.Text(), &result).status != db::kOk) return -1;
  return db::DynArray(result).Count();
}

// The raw query: the records whose index entries of `item` match, through one statement.
long RunRaw(sqlite3* raw, const char* item_condition) {
  const std::string sql = "SELECT t.key, t.record FROM idx JOIN " +
                          db::QuotedTableName("CIVILAIDE") +
                          " t ON t.key = idx.key WHERE idx.file = 'CIVILAIDE' AND " +
                          item_condition + " ORDER BY idx.value, t.key";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(raw, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return -1;
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

// Index values are BLOBs, so the literals are blobs too (X'...': the bytes of the text).
constexpr const char* kRawName =
    "idx.item = 'NomAide' AND idx.value >= X'445550' AND idx.value < X'445551'";  // DUP, DUQ
constexpr const char* kRawSector =
    "idx.item = 'CodeSecteurAide' AND idx.value IN (X'3132', X'3135')";  // 12, 15

void Report(benchmark::State& state, long rows) {
  if (rows < 0) state.SkipWithError("the query failed");
  state.counters["rows"] = static_cast<double>(rows);
}

// A baseline that did not return the routine's rows would compare nothing.
void ReportRaw(benchmark::State& state, long rows, long routine_rows) {
  if (rows != routine_rows) state.SkipWithError("the raw query and the routine disagree");
  Report(state, rows);
}

void BM_NameSearch(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  for (auto _ : state) rows = RunSelect(*base.store, kNameSearch);
  Report(state, rows);
}

void BM_NameSearch_Raw(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  for (auto _ : state) rows = RunRaw(base.raw, kRawName);
  ReportRaw(state, rows, RunSelect(*base.store, kNameSearch));
}

void BM_SectorSearch(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  for (auto _ : state) rows = RunSelect(*base.store, kSectorSearch);
  Report(state, rows);
}

void BM_SectorSearch_Raw(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  for (auto _ : state) rows = RunRaw(base.raw, kRawSector);
  ReportRaw(state, rows, RunSelect(*base.store, kSectorSearch));
}

void BM_SectorSearchNoIndex(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  Unindexed unindexed(*base.store);
  long rows = 0;
  for (auto _ : state) rows = RunSelect(unindexed, kSectorSearch);
  Report(state, rows);
}

void BM_SectorSearchNoIndex_Raw(benchmark::State& state) { BM_SectorSearch_Raw(state); }

// The seeding time of the base, measured once when it was made (not repeated: a 200,000
// person seed is tens of seconds).
void BM_Seed(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  for (auto _ : state) state.SetIterationTime(base.seed_seconds);
  state.counters["persons"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_NameSearch)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameSearch_Raw)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearch)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearch_Raw)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearchNoIndex)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearchNoIndex_Raw)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seed)->Arg(20000)->Arg(200000)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
