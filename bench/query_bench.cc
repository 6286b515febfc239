// DBA.SELECT on the embedded store, and opening an account, on seeded bases of 20,000 to
// 2,000,000 persons, each against a raw SQLite baseline measured in the same run (family name
// + "_Raw"):
//   - NameSearch (200,000 and 2,000,000): the import window's surname search, begins-with on
//     the indexed NomAide, sorted by surname, first name and code, eleven wanted fields. The
//     baseline does the whole job straight on SQLite: the same rows read (one statement joining
//     the index to the records), split into the eleven fields, sorted the same way (the code
//     as a number), laid out with the marks; its result is checked byte for byte against the
//     routine's.
//   - SectorSearch (20,000 and 200,000): the two-sector search on the indexed CodeSecteurAide;
//     SectorSearchNoIndex: the same sentence with the dictionary's indexes hidden from the
//     evaluator, so it reads the whole file. Their baselines only read the rows (no split, no
//     sort).
//   - KeyPrefix (20,000 and 200,000): the export's selection of a person's records in a
//     dependent file by the beginning of their keys, for 100 persons, the file's index on the
//     key hidden; the baseline asks sqlite3 for the same key ranges.
//   - OpenAccount (20,000, 200,000 and 2,000,000): opening the account and reading one record,
//     as `cortevane-admin record get` does, with no other connection open; the baseline opens
//     the database with the same settings and reads the record.
//   - Seed: the time it took to seed the base, measured when it was made.
// Seeded bases are kept between runs under build/release/bench-data, one folder per size, seed
// and version of the sample data, so only the first run pays for seeding 2,000,000 persons.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "db/dyn_array.h"
#include "db/names.h"
#include "db/query/evaluator.h"
#include "db/sample_data.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "raw_rows.h"

#ifndef CORTEVANE_BENCH_DATA_VERSION
#define CORTEVANE_BENCH_DATA_VERSION "unversioned"
#endif

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
  // The key order is no index: key ranges stay, as on a laptop whose files have no index.
  int PrefixScan(std::string_view f, const std::vector<std::string>& p,
                 const std::function<bool(std::string_view, std::string_view)>& v) override {
    return s_.PrefixScan(f, p, v);
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

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "benchmark: %s\n", what.c_str());
  std::exit(1);
}

// build/release/bench-data, beside the folder of this program.
std::filesystem::path DataFolder() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) Die("cannot find this program's folder");
  return self.parent_path().parent_path() / "bench-data";
}

// Removes what seedings killed half-way left behind (folders named ...tmp-<pid> whose process
// is gone).
void RemoveAbandonedSeeds(const std::filesystem::path& data) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(data, ec)) {
    const std::string name = entry.path().filename().string();
    const auto at = name.rfind(".tmp-");
    if (at == std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::atol(name.c_str() + at + 5));
    if (pid > 0 && kill(pid, 0) != 0) std::filesystem::remove_all(entry.path(), ec);
  }
}

// A seeded server account of `persons` persons (seed 1), made once and kept.
struct Base {
  std::filesystem::path folder;
  double seed_seconds = 0;

  explicit Base(long persons) {
    const auto data = DataFolder();
    std::filesystem::create_directories(data);
    RemoveAbandonedSeeds(data);
    const auto home =
        data / ("persons-" + std::to_string(persons) + "-seed-1-" + CORTEVANE_BENCH_DATA_VERSION);
    folder = home / "SERVEUR";
    if (!Usable(home)) Make(home, persons);
    std::ifstream(home / "seed-seconds") >> seed_seconds;
  }

  // A kept base is used when it opens as an account of this build's format.
  bool Usable(const std::filesystem::path& home) const {
    std::shared_ptr<db::SqliteStore> store;
    return std::filesystem::exists(home / "seed-seconds") &&
           db::SqliteStore::Open(folder, &store) == db::kOk;
  }

  // Seeds aside, then puts the base in place: an interrupted seeding leaves no base that looks
  // whole.
  void Make(const std::filesystem::path& home, long persons) {
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    const auto aside = home.string() + ".tmp-" + std::to_string(getpid());
    std::filesystem::remove_all(aside, ec);
    std::shared_ptr<db::SqliteStore> store;
    if (db::SqliteStore::Create(std::filesystem::path(aside) / "SERVEUR", true) != 0 ||
        db::SqliteStore::Open(std::filesystem::path(aside) / "SERVEUR", &store) != 0)
      Die("cannot make the account under " + aside);
    std::fprintf(stderr, "seeding %ld persons into %s (kept for later runs)\n", persons,
                 home.c_str());
    const auto start = std::chrono::steady_clock::now();
    std::string message;
    if (db::sample::Seed(*store, {persons, 1, {}}, nullptr, &message) != 0)
      Die("seeding failed: " + message);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    store.reset();  // the last connection folds the log into the database
    std::ofstream(std::filesystem::path(aside) / "seed-seconds") << seconds << "\n";
    std::filesystem::rename(aside, home, ec);
    if (ec) Die("cannot put the base in place at " + home.string());
  }

  // The account through the embedded store, opened on first use and kept until Close.
  db::SqliteStore& Store() {
    if (!store_ && db::SqliteStore::Open(folder, &store_) != db::kOk)
      Die("cannot open " + folder.string());
    return *store_;
  }
  // The account's database through sqlite3 alone, read-only.
  sqlite3* Raw() {
    if (!raw_) {
      const std::string file = (folder / db::SqliteStore::kDatabaseName).string();
      if (sqlite3_open_v2(file.c_str(), &raw_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        Die("cannot open " + file);
    }
    return raw_;
  }
  void Close() {
    sqlite3_close(raw_);
    raw_ = nullptr;
    store_.reset();
  }
  ~Base() { Close(); }

 private:
  std::shared_ptr<db::SqliteStore> store_;
  sqlite3* raw_ = nullptr;
};

Base& BaseOf(long persons) {
  static std::map<long, std::unique_ptr<Base>> bases;
  auto& b = bases[persons];
  if (!b) b = std::make_unique<Base>(persons);
  return *b;
}

std::string RunSelect(db::Store& store, const std::string& sentence, long* rows) {
  db::DynArray request;
  request.SetField(1, sentence);
  request.SetField(2, "CIVILAIDE");
  request.SetField(3, kWanted);
  std::string result;
  *rows = -1;
  if (db::query::Select(store, request.Text(), &result).status != db::kOk) return {};
  *rows = result.empty() ? 0 : std::count(result.begin(), result.end(), '\xFE') + 1;
  return result;
}

long RunSelect(db::Store& store, const std::string& sentence) {
  long rows;
  RunSelect(store, sentence, &rows);
  return rows;
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

// The whole job of the surname search straight on SQLite, as a program written for this one
// search would do it: the rows through one statement joining the index to the records, each
// split once into the eleven wanted fields (the key and fields 2 3 5 6 7 8 9 10 11 43, value
// marks lowered to subvalue marks), sorted by surname, first name and code (a number), then
// laid out one row a field, the wanted fields a value each.
std::string RawNameSearch(sqlite3* raw, long* rows) {
  struct Row {
    std::string key, record;
    long code = 0;
    cortevane::bench::RawFields fields;  // 0: the key
  };
  const std::string sql =
      "SELECT t.key, t.record FROM " + db::QuotedTableName("CIVILAIDE") +
      " t WHERE t.key IN (SELECT key FROM idx WHERE file = 'CIVILAIDE' AND item = 'NomAide' AND "
      "value >= X'445550' AND value < X'445551')";  // DUP <= value < DUQ
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(raw, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return {};
  std::vector<Row> found;
  while (sqlite3_step(st) == SQLITE_ROW) {
    Row& row = found.emplace_back();
    row.key.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                   static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    row.record.assign(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                      static_cast<size_t>(sqlite3_column_bytes(st, 1)));
  }
  sqlite3_finalize(st);
  for (Row& row : found) {
    for (char c : row.key) row.code = row.code * 10 + (c - '0');
    row.fields = cortevane::bench::RawWantedFields(row.key, row.record);
  }
  // The rows stay where they are (their fields point into them); their order is sorted.
  std::vector<const Row*> order;
  order.reserve(found.size());
  for (const Row& row : found) order.push_back(&row);
  std::sort(order.begin(), order.end(), [](const Row* a, const Row* b) {
    if (int c = a->fields[1].compare(b->fields[1])) return c < 0;
    if (int c = a->fields[2].compare(b->fields[2])) return c < 0;
    return a->code < b->code;
  });
  std::string out;
  for (const Row* row : order) cortevane::bench::RawAppendRow(row->fields, &out);
  *rows = static_cast<long>(found.size());
  return out;
}

// Index values are BLOBs, so the literals are blobs too (X'...': the bytes of the text).
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
  for (auto _ : state) rows = RunSelect(base.Store(), kNameSearch);
  Report(state, rows);
}

void BM_NameSearch_Raw(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  std::string out;
  for (auto _ : state) out = RawNameSearch(base.Raw(), &rows);
  long routine_rows = 0;
  const std::string routine = RunSelect(base.Store(), kNameSearch, &routine_rows);
  if (out != routine) {
    // The first row that differs, marks made visible, to see which side is wrong.
    db::DynArray a(out), b(routine);
    for (int i = 1; i <= std::max(a.Count(), b.Count()); ++i)
      if (a.Field(i) != b.Field(i)) {
        std::fprintf(stderr, "row %d\n raw:     %s\n routine: %s\n", i,
                     db::ToVisible(a.Field(i)).c_str(), db::ToVisible(b.Field(i)).c_str());
        break;
      }
    state.SkipWithError("the raw search's result differs from the routine's");
  }
  ReportRaw(state, rows, routine_rows);
}

void BM_SectorSearch(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  for (auto _ : state) rows = RunSelect(base.Store(), kSectorSearch);
  Report(state, rows);
}

void BM_SectorSearch_Raw(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  long rows = 0;
  for (auto _ : state) rows = RunRaw(base.Raw(), kRawSector);
  ReportRaw(state, rows, RunSelect(base.Store(), kSectorSearch));
}

void BM_SectorSearchNoIndex(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  Unindexed unindexed(base.Store());
  long rows = 0;
  for (auto _ : state) rows = RunSelect(unindexed, kSectorSearch);
  Report(state, rows);
}

void BM_SectorSearchNoIndex_Raw(benchmark::State& state) { BM_SectorSearch_Raw(state); }

// The export's selection of one person's records in a dependent file, `SELECT AIDEINTERV AVEC
// 0 = "<code>]"`, for 100 persons spread over the base, with the file's index on the first 5
// characters of the key hidden, as on a laptop: key ranges, whatever the size of the file.
std::vector<std::string> SpreadCodes(long persons) {
  std::vector<std::string> codes;
  for (long i = 0; i < 100; ++i) {
    std::string code = std::to_string(1 + i * persons / 100);
    codes.push_back(std::string(5 - std::min<size_t>(5, code.size()), '0') + code);
  }
  return codes;
}

void BM_KeyPrefix(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  Unindexed laptop(base.Store());
  const std::vector<std::string> codes = SpreadCodes(state.range(0));
  long rows = 0;
  for (auto _ : state) {
    rows = 0;
    for (const std::string& code : codes) {
      db::DynArray request;
      request.SetField(1, "SELECT AIDEINTERV AVEC 0 = \"" + code + "]\"");
      request.SetField(2, "AIDEINTERV");
      request.SetField(3, "0");
      std::string result;
      if (db::query::Select(laptop, request.Text(), &result).status != db::kOk) {
        rows = -1;
        break;
      }
      rows += db::DynArray(result).Count();
    }
  }
  Report(state, rows);
}

// The same keys through one prepared range statement of sqlite3.
void BM_KeyPrefix_Raw(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  const std::vector<std::string> codes = SpreadCodes(state.range(0));
  const std::string sql = "SELECT key FROM " + db::QuotedTableName("AIDEINTERV") +
                          " WHERE key >= ? AND key < ? ORDER BY key";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(base.Raw(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot prepare the range statement");
    return;
  }
  long rows = 0;
  for (auto _ : state) {
    rows = 0;
    for (const std::string& code : codes) {
      std::string end = code;
      ++end.back();
      sqlite3_bind_blob(st, 1, code.data(), static_cast<int>(code.size()), SQLITE_STATIC);
      sqlite3_bind_blob(st, 2, end.data(), static_cast<int>(end.size()), SQLITE_STATIC);
      while (sqlite3_step(st) == SQLITE_ROW) {
        benchmark::DoNotOptimize(sqlite3_column_blob(st, 0));
        ++rows;
      }
      sqlite3_reset(st);
    }
  }
  sqlite3_finalize(st);
  Report(state, rows);
}

// A person's key in every base: the first code given out.
constexpr const char* kFirstPerson = "00001";

void BM_OpenAccount(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  base.Close();  // nobody else has the account open, as when the program starts
  for (auto _ : state) {
    std::shared_ptr<db::SqliteStore> store;
    std::string record;
    if (db::SqliteStore::Open(base.folder, &store) != db::kOk ||
        store->Read("CIVILAIDE", kFirstPerson, &record) != db::kOk) {
      state.SkipWithError("cannot open the account or read its first person");
      break;
    }
    benchmark::DoNotOptimize(record.data());
  }
  state.counters["bytes"] =
      static_cast<double>(std::filesystem::file_size(base.folder / db::SqliteStore::kDatabaseName));
}

void BM_OpenAccount_Raw(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  base.Close();
  const std::string file = (base.folder / db::SqliteStore::kDatabaseName).string();
  const std::string sql =
      "SELECT record FROM " + db::QuotedTableName("CIVILAIDE") + " WHERE key = ?";
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    bool read = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
                sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr,
                             nullptr, nullptr) == SQLITE_OK &&
                sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
                sqlite3_bind_blob(st, 1, kFirstPerson, 5, SQLITE_STATIC) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW;
    if (read) benchmark::DoNotOptimize(sqlite3_column_blob(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (!read) {
      state.SkipWithError("cannot open the database or read its first person");
      break;
    }
  }
}

// The seeding time of the base, measured once when it was made (not repeated: a 2,000,000
// person seed takes minutes).
void BM_Seed(benchmark::State& state) {
  Base& base = BaseOf(state.range(0));
  for (auto _ : state) state.SetIterationTime(base.seed_seconds);
  state.counters["persons"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_NameSearch)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NameSearch_Raw)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearch)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearch_Raw)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearchNoIndex)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorSearchNoIndex_Raw)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyPrefix)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyPrefix_Raw)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAccount)->Arg(20000)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAccount_Raw)->Arg(20000)->Arg(200000)->Arg(2000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seed)->Arg(20000)->Arg(200000)->Arg(2000000)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
