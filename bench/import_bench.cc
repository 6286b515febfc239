// The import window on the embedded store:
//   - SearchFillsLstPossible/N: "Recherche" in "Secteur" mode with every sector chosen, on an
//     office base of N sample persons (1,000 and 5,000), so the search lists all of them: one
//     DBA.SELECT and the N lines of Lst_Possible;
//   - OkOfPersons/N: the whole "Ok" of N chosen persons (50 and 200) on the 5,000-person base:
//     register check, N registrations, copy of their files to the laptop by IMPORTDONNEES,
//     the import's journal. Each "Ok" starts from an empty register and an empty laptop,
//     restored outside the timed part; journals go to the benchmark's own folder.
// Their baselines (<Family>_Raw) do the same work straight through sqlite3 in the same run:
// for the search, the persons' records read through the sector index in one statement, cut
// into the eleven wanted fields, sorted by surname, first name and code (raw_rows.h), laid
// out as the window's lines (checked equal to them before timing) and put in a list widget
// with their codes;
// for "Ok", the whole job straight through sqlite3 into the same two accounts the window
// writes (the 5,000-person office account and the laptop account, emptied the same way
// between runs): the register read whole; the registrations written in one durable
// transaction, each where the register has none; the export parameters, the counter and the
// persons' records read; on the office, the reference copies (F_BENCH) and the user's counter
// COMPTEUR_BENCH written in one transaction; on the laptop, the persons' records with their
// index entries, SECTEUR replaced whole, the counter and the register pointer, in another;
// then the same journal, in a file of its own.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <QApplication>
#include <QListWidget>
#include <QRadioButton>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/dictionary.h"
#include "db/names.h"
#include "db/sample_data.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "import/chd_import.h"
#include "import/import_text.h"
#include "raw_copies.h"
#include "raw_rows.h"
#include "ui/list_box.h"
#include "ui/scripted_ui.h"

namespace {

namespace fs = std::filesystem;
using cortevane::bench::RawExec;
using cortevane::bench::RawFail;
using cortevane::bench::Rows;
using cortevane::db::Session;
using cortevane::db::SqliteStore;
using cortevane::import::Chd_Import;
using cortevane::ui::ListBox;

constexpr long kOkBase = 5000;  // persons of the base the "Ok" benchmarks run on
constexpr const char* kUser = "BENCH";
constexpr const char* kPassword = "bench-password";

struct Bases {
  long persons;
  fs::path root;
  std::shared_ptr<SqliteStore> server_store;
  std::shared_ptr<SqliteStore> laptop_store;
  Session serveur;
  Session autonome;
  cortevane::ui::ScriptedUi ui;
  sqlite3* raw = nullptr;  // the server account, read-only

  explicit Bases(long n) : persons(n) {
    char pattern[] = "/tmp/cortevane-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) RawFail("mkdtemp");
    root = pattern;
    Make(root / "SERVEUR", true, &server_store);
    Make(root / "PORTABLE", false, &laptop_store);
    cortevane::db::sample::SeedOptions options;
    options.persons = persons;
    cortevane::db::sample::SeedSummary summary;
    std::string message;
    if (cortevane::db::sample::Seed(*server_store, options, &summary, &message) != 0)
      RawFail("seeding failed: " + message);
    Connect(serveur, root / "SERVEUR");
    Connect(autonome, root / "PORTABLE");
    const fs::path file = root / "SERVEUR" / SqliteStore::kDatabaseName;
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      RawFail("cannot open " + file.string());
  }
  ~Bases() {
    sqlite3_close(raw);
    serveur.Disconnect();
    autonome.Disconnect();
    server_store.reset();
    laptop_store.reset();
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  static void Make(const fs::path& folder, bool server, std::shared_ptr<SqliteStore>* store) {
    if (SqliteStore::Create(folder, server) != 0 || SqliteStore::Open(folder, store) != 0 ||
        (*store)->AddUser(kUser, kPassword) != 0)
      RawFail("cannot make the account " + folder.string());
  }
  static void Connect(Session& session, const fs::path& folder) {
    session.SetDataBaseType(2);
    session.SetHostName("localhost");
    session.SetAccountPath(folder.string());
    session.SetUserName(kUser);
    session.SetPassword(kPassword);
    if (session.Connect() != 0) RawFail("cannot connect to " + folder.string());
  }

  // A window in "Secteur" mode with every sector chosen: its search selects every person.
  std::unique_ptr<Chd_Import> WindowOnEverySector() {
    auto window = std::make_unique<Chd_Import>(autonome, serveur, kUser, ui);
    window->SetJournalFolder((JournalFolder() / "").string());
    window->findChild<QRadioButton*>("Opt_Secteur")->setChecked(true);
    window->findChild<ListBox*>("Lst_SelPossible")->selectAll();
    window->Ajout_Lst_SelSelection();
    return window;
  }

  // Where the window and the baseline write their import journals (not the user's own).
  fs::path JournalFolder() const { return root / "JOURNAL"; }

  // An empty register and an empty laptop.
  void Restore() {
    server_store->Clear("SDEXPORTAIDES");
    std::vector<std::string> files;
    laptop_store->ListFiles(&files);
    for (const std::string& file : files) laptop_store->Clear(file);
  }

  // A window whose Lst_Selection holds `chosen` persons spread over the search's list.
  std::unique_ptr<Chd_Import> WindowWithChosen(long chosen) {
    auto window = WindowOnEverySector();
    window->Cmd_Recherche_Click();
    auto* possible = window->findChild<ListBox*>("Lst_Possible");
    for (long i = 0; i < chosen; ++i)
      possible->item(static_cast<int>(i * (persons / chosen)))->setSelected(true);
    window->Ajout_Lst_Selection();
    ui.ClearLog();
    return window;
  }
};

// The bases made so far; emptied before the program ends, while the registry of connected
// sessions and the application still exist.
std::map<long, std::unique_ptr<Bases>>& AllBases() {
  static auto* bases = new std::map<long, std::unique_ptr<Bases>>;
  return *bases;
}

Bases& BasesOf(long persons) {
  auto& b = AllBases()[persons];
  if (!b) b = std::make_unique<Bases>(persons);
  return *b;
}

void BM_SearchFillsLstPossible(benchmark::State& state) {
  Bases& bases = BasesOf(state.range(0));
  auto window = bases.WindowOnEverySector();
  auto* possible = window->findChild<ListBox*>("Lst_Possible");
  for (auto _ : state) {
    window->Cmd_Recherche_Click();
    benchmark::DoNotOptimize(possible->count());
  }
  if (possible->count() != bases.persons)
    state.SkipWithError("the search did not list every person");
  state.counters["persons"] = possible->count();
  window->Fermeture_Forcee();
}

// `text` cut or filled with blanks to `width` characters (UTF-8 sequences count as one).
std::string RawFit(std::string_view text, size_t width) {
  size_t chars = 0, at = 0;
  for (; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (chars == width) break;
    ++chars;
  }
  std::string out(text.substr(0, at));
  out.append(width - chars, ' ');
  return out;
}

std::string_view RawTrim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The list line of a row: code, name on 23 columns, address parts joined by single blanks on
// 47, city on 17, state.
std::string RawLine(std::string_view output) {
  std::string_view v[11];
  size_t n = 0;
  for (size_t start = 0; n < 11;) {
    const size_t end = std::min(output.find(cortevane::bench::kRawValueMark, start), output.size());
    v[n++] = output.substr(start, end - start);
    if (end == output.size()) break;
    start = end + 1;
  }
  std::string name = std::string(RawTrim(v[1])) + " " + std::string(RawTrim(v[2]));
  std::string address;
  for (size_t i = 3; i <= 8; ++i) {
    const std::string_view part = RawTrim(v[i]);
    if (part.empty()) continue;
    if (!address.empty()) address.push_back(' ');
    address.append(part);
  }
  std::string line = std::string(v[0]) + " " + RawFit(name, 23) + RawFit(address, 47);
  line += " " + RawFit(RawTrim(v[9]), 17);
  line += v[10].empty() ? " Actif" : " Suppr";
  return line;
}

// The records of every person through the sector index (every sector of the list, in the
// index's form), in one statement; then the rows cut, sorted, laid out and listed.
void BM_SearchFillsLstPossible_Raw(benchmark::State& state) {
  Bases& bases = BasesOf(state.range(0));
  std::vector<std::string> sectors;
  {
    auto window = bases.WindowOnEverySector();
    auto* chosen = window->findChild<ListBox*>("Lst_SelSelection");
    for (int i = 0; i < chosen->count(); ++i)
      sectors.push_back(std::to_string(chosen->ItemData(i)));
    window->Fermeture_Forcee();
  }
  std::string sql = "SELECT t.key, t.record FROM idx JOIN " +
                    cortevane::db::QuotedTableName("CIVILAIDE") +
                    " t ON t.key = idx.key WHERE idx.file = 'CIVILAIDE' AND idx.item = "
                    "'CodeSecteurAide' AND idx.value IN (";
  for (size_t i = 0; i < sectors.size(); ++i) sql += i ? ", CAST(? AS BLOB)" : "CAST(? AS BLOB)";
  sql += ")";
  sqlite3_stmt* st = cortevane::bench::RawPrepare(bases.raw, sql);
  QListWidget list;
  auto fill = [&] {
    sqlite3_reset(st);
    for (size_t i = 0; i < sectors.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 1), sectors[i].c_str(), -1, SQLITE_STATIC);
    std::vector<cortevane::bench::RawRow> rows;
    while (sqlite3_step(st) == SQLITE_ROW)
      rows.push_back(
          cortevane::bench::RawCutRow({static_cast<const char*>(sqlite3_column_blob(st, 0)),
                                       static_cast<size_t>(sqlite3_column_bytes(st, 0))},
                                      {static_cast<const char*>(sqlite3_column_blob(st, 1)),
                                       static_cast<size_t>(sqlite3_column_bytes(st, 1))}));
    cortevane::bench::RawSortRows(&rows);
    list.clear();
    list.setUpdatesEnabled(false);
    for (const auto& row : rows) {
      const std::string line = RawLine(row.output);
      auto* item =
          new QListWidgetItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
      item->setData(Qt::UserRole, std::stoi(row.key));
      list.addItem(item);
    }
    list.setUpdatesEnabled(true);
  };
  // The baseline must list what the window lists, line for line.
  {
    fill();
    auto window = bases.WindowOnEverySector();
    window->Cmd_Recherche_Click();
    auto* possible = window->findChild<ListBox*>("Lst_Possible");
    bool same = possible->count() == list.count();
    for (int i = 0; same && i < list.count(); ++i)
      same = possible->item(i)->text() == list.item(i)->text() &&
             possible->ItemData(i) == list.item(i)->data(Qt::UserRole).toInt();
    window->Fermeture_Forcee();
    if (!same) {
      sqlite3_finalize(st);
      state.SkipWithError("the baseline's list differs from the window's");
      return;
    }
  }
  for (auto _ : state) {
    fill();
    benchmark::DoNotOptimize(list.count());
  }
  sqlite3_finalize(st);
  if (list.count() != bases.persons) state.SkipWithError("the raw query did not read every person");
  state.counters["persons"] = static_cast<double>(list.count());
}

void BM_OkOfPersons(benchmark::State& state) {
  Bases& bases = BasesOf(kOkBase);
  const long chosen = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    bases.Restore();
    auto window = bases.WindowWithChosen(chosen);
    state.ResumeTiming();

    window->Cmd_Ok_Click();

    state.PauseTiming();
    if (window->W_ListeCodes().Count() != chosen || !bases.ui.boxes().empty()) {
      state.SkipWithError(bases.ui.boxes().empty() ? "not every person registered"
                                                   : bases.ui.boxes().front().text.c_str());
      state.ResumeTiming();
      break;
    }
    window.reset();
    state.ResumeTiming();
  }
  state.counters["persons"] = static_cast<double>(chosen);
}

// ---- The whole "Ok" straight through sqlite3, on the window's own accounts.

// `record` with field 11 set to `value` (the other fields kept).
std::string WithField11(const std::string& record, const std::string& value) {
  std::vector<std::string> fields(1);
  for (char c : record) {
    if (c == '\xFE')
      fields.emplace_back();
    else
      fields.back().push_back(c);
  }
  if (fields.size() < 11) fields.resize(11);
  fields[10] = value;
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) out += (i ? "\xFE" : "") + fields[i];
  return out;
}

class RawOk {
 public:
  RawOk(const fs::path& server, const fs::path& laptop, fs::path journals)
      : server_(Open(server / SqliteStore::kDatabaseName)),
        laptop_(Open(laptop / SqliteStore::kDatabaseName)),
        journals_(std::move(journals)) {
    // The laptop's indexed items, as IMPORTDONNEES gave its files the office's dictionaries.
    sqlite3_stmt* st = cortevane::bench::RawPrepare(
        laptop_, "SELECT file, item, field, first, \"right\" FROM dict WHERE indexed = 1");
    while (sqlite3_step(st) == SQLITE_ROW) {
      cortevane::db::DictItem item;
      item.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      item.field = sqlite3_column_int(st, 2);
      item.first = sqlite3_column_int(st, 3);
      item.right = sqlite3_column_int(st, 4) != 0;
      item.indexed = true;
      indexed_[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))].push_back(item);
    }
    sqlite3_finalize(st);
    if (indexed_.empty()) RawFail("the laptop has no dictionaries: run the window's Ok first");
  }
  ~RawOk() {
    sqlite3_close(server_);
    sqlite3_close(laptop_);
  }
  RawOk(const RawOk&) = delete;
  RawOk& operator=(const RawOk&) = delete;

  // The whole job; the laptop records written.
  long Run(const std::vector<std::string>& codes, const std::string& registration) {
    const std::string reg = Table("SDEXPORTAIDES");
    Rows rows;
    sqlite3_stmt* all =
        cortevane::bench::RawPrepare(server_, "SELECT key, record FROM " + reg + " ORDER BY key");
    cortevane::bench::RawRows(all, "", "", &rows);
    sqlite3_finalize(all);
    benchmark::DoNotOptimize(rows);

    RawExec(server_, "BEGIN IMMEDIATE");
    sqlite3_stmt* add = cortevane::bench::RawPrepare(
        server_, "INSERT INTO " + reg + " (key, record) VALUES (?1, ?2) ON CONFLICT DO NOTHING");
    for (const std::string& code : codes) {
      Put(add, code, registration);
      if (sqlite3_changes(server_) != 1) RawFail("a person was registered twice");
    }
    sqlite3_finalize(add);
    RawExec(server_, "COMMIT");

    const std::string threshold = ReadCounter();
    const auto files = cortevane::bench::RawReadCopies(server_, codes);

    RawExec(server_, "BEGIN IMMEDIATE");
    for (const auto& [file, rows] : files) {
      if (file == "SECTEUR" || file == "PLANNINGAIDE") continue;  // no reference copies
      sqlite3_stmt* put = cortevane::bench::RawPrepare(
          server_, "INSERT OR REPLACE INTO " + Table(file + "_" + kUser) + " VALUES (?1, ?2)");
      for (const auto& [key, record] : rows) Put(put, key, record);
      sqlite3_finalize(put);
    }
    SetCounter(server_, "COMPTEUR_" + std::string(kUser), threshold);
    RawExec(server_, "COMMIT");

    long written = 0;
    RawExec(laptop_, "BEGIN IMMEDIATE");
    sqlite3_stmt* entry = cortevane::bench::RawPrepare(
        laptop_, "INSERT OR IGNORE INTO idx (file, item, value, key) VALUES (?1, ?2, ?3, ?4)");
    for (const auto& [file, rows] : files) {
      const std::string table = Table(file);
      if (file == "SECTEUR") {
        RawExec(laptop_, "DELETE FROM " + table);
        RawExec(laptop_, "DELETE FROM idx WHERE file = 'SECTEUR'");
      }
      sqlite3_stmt* put = cortevane::bench::RawPrepare(
          laptop_, "INSERT OR REPLACE INTO " + table + " VALUES (?1, ?2)");
      const auto items = indexed_.find(file);
      for (const auto& [key, record] : rows) {
        Put(put, key, record);
        ++written;
        if (items == indexed_.end()) continue;
        for (const auto& item : items->second)
          for (const std::string& value : cortevane::db::ItemValues(item, key, record)) {
            sqlite3_reset(entry);
            sqlite3_bind_text(entry, 1, file.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(entry, 2, item.name.c_str(), -1, SQLITE_STATIC);
            const std::string form = cortevane::db::IndexForm(item, value);
            sqlite3_bind_blob(entry, 3, form.data(), static_cast<int>(form.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_blob(entry, 4, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
            if (sqlite3_step(entry) != SQLITE_DONE) RawFail(sqlite3_errmsg(laptop_));
          }
      }
      sqlite3_finalize(put);
    }
    sqlite3_finalize(entry);
    SetCounter(laptop_, "COMPTEUR", threshold);
    RawExec(laptop_, "DELETE FROM files WHERE name = 'SDEXPORTAIDES'");
    RawExec(laptop_,
            "INSERT OR REPLACE INTO pointers (name, host, account, file) VALUES "
            "('SDEXPORTAIDES', 'localhost', '" +
                server_path_ + "', 'SDEXPORTAIDES')");
    RawExec(laptop_, "COMMIT");
    WriteJournal(codes);
    return written;
  }

 private:
  sqlite3* Open(const fs::path& file) {
    if (server_path_.empty()) server_path_ = file.parent_path().string();
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) RawFail("cannot open " + file.string());
    RawExec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA busy_timeout=30000;");
    return db;
  }
  static std::string Table(const std::string& file) { return cortevane::db::QuotedTableName(file); }
  static void Put(sqlite3_stmt* st, const std::string& key, const std::string& record) {
    sqlite3_reset(st);
    sqlite3_bind_blob(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_blob(st, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_DONE) RawFail(sqlite3_errmsg(sqlite3_db_handle(st)));
  }
  // The export parameters and the office counter, as IMPORTDONNEES reads them first.
  std::string ReadCounter() {
    Rows rows;
    sqlite3_stmt* st = cortevane::bench::RawPrepare(
        server_, "SELECT key, record FROM " + Table("SDPARAMEXPORT") + " WHERE key = ?1");
    cortevane::bench::RawRows(st, "AIDE", "", &rows);
    cortevane::bench::RawRows(st, "PLANNING", "", &rows);
    sqlite3_finalize(st);
    st = cortevane::bench::RawPrepare(
        server_, "SELECT key, record FROM " + Table("COMPTEUR") + " WHERE key = ?1");
    cortevane::bench::RawRows(st, "999", "", &rows);
    sqlite3_finalize(st);
    if (rows.size() != 3) RawFail("export parameters or counter missing");
    const std::string& counter = rows.back().second;
    size_t at = 0;
    for (int f = 1; f < 11 && at != std::string::npos; ++f) at = counter.find('\xFE', at) + 1;
    return counter.substr(at, counter.find('\xFE', at) - at);
  }
  void SetCounter(sqlite3* db, const std::string& file, const std::string& threshold) {
    Rows rows;
    sqlite3_stmt* st = cortevane::bench::RawPrepare(
        db, "SELECT key, record FROM " + Table(file) + " WHERE key = ?1");
    cortevane::bench::RawRows(st, "999", "", &rows);
    sqlite3_finalize(st);
    st = cortevane::bench::RawPrepare(db,
                                      "INSERT OR REPLACE INTO " + Table(file) + " VALUES (?1, ?2)");
    Put(st, "999", WithField11(rows.empty() ? "" : rows.front().second, threshold));
    sqlite3_finalize(st);
  }

  // The import's journal, as the window writes it: who, each person, the outcome, each line
  // after the time, in a file of its own.
  void WriteJournal(const std::vector<std::string>& codes) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[16], when[40];
    std::strftime(time, sizeof time, "%H:%M:%S ", &local);
    std::strftime(when, sizeof when, "le %d/%m/%Y à %H:%M", &local);
    const std::string count = std::to_string(codes.size());
    std::string text =
        time + ("Importation de " + std::string(kUser) + " : " + count + " aidés choisis\r\n");
    for (const std::string& code : codes)
      text.append(time).append("  Aidé ").append(code).append("\r\n");
    text += time + count + " aidés importés " + when + "\r\n";
    static long runs = 0;  // over every RawOk of the program: one name a run
    std::error_code ec;
    fs::create_directories(journals_, ec);
    const fs::path path = journals_ / ("importation_raw_" + std::to_string(++runs) + ".txt");
    std::FILE* file = std::fopen(path.c_str(), "wx");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
        std::fclose(file) != 0)
      RawFail("cannot write the journal " + path.string() + ": " + std::strerror(errno));
  }

  std::string server_path_;
  sqlite3* server_;
  sqlite3* laptop_;
  fs::path journals_;
  std::map<std::string, std::vector<cortevane::db::DictItem>> indexed_;
};

void BM_OkOfPersons_Raw(benchmark::State& state) {
  Bases& bases = BasesOf(kOkBase);
  const long chosen = state.range(0);
  std::vector<std::string> codes;
  {
    // The window's own "Ok" once: the laptop's files, dictionaries and pointer and the
    // office's reference copies then exist, as they do for every timed run of the window.
    bases.Restore();
    auto window = bases.WindowWithChosen(chosen);
    auto* selection = window->findChild<ListBox*>("Lst_Selection");
    for (int i = 0; i < selection->count(); ++i)
      codes.push_back(cortevane::import::PadCode(selection->ItemData(i)));
    window->Cmd_Ok_Click();
    if (window->W_ListeCodes().Count() != chosen) RawFail("the window's Ok failed");
  }
  // What the window's Ok leaves on the laptop, which the baseline must leave too.
  auto laptop_records = [&] {
    long total = -1;  // the laptop's counter record is not a copied one
    std::vector<std::string> files;
    bases.laptop_store->ListFiles(&files);
    for (const std::string& file : files) {
      long long n = 0;
      bases.laptop_store->CountRecords(file, &n);
      total += static_cast<long>(n);
    }
    return total;
  };
  const long program_records = laptop_records();
  RawOk raw(bases.root / "SERVEUR", bases.root / "PORTABLE", bases.JournalFolder() / "raw");
  const std::string registration = std::string(kUser) +
                                   "\xFE"
                                   "21528"
                                   "\xFE"
                                   "10:30";
  long records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bases.Restore();
    state.ResumeTiming();
    records = raw.Run(codes, registration);
  }
  if (records != program_records || laptop_records() != program_records)
    state.SkipWithError("the baseline and the window copy different records");
  state.counters["persons"] = static_cast<double>(chosen);
  state.counters["records"] = static_cast<double>(records);
}

BENCHMARK(BM_SearchFillsLstPossible)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchFillsLstPossible_Raw)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OkOfPersons)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OkOfPersons_Raw)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  AllBases().clear();
  return 0;
}
