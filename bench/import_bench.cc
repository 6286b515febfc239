// The import window on the embedded store:
//   - SearchFillsLstPossible/N: "Recherche" in "Secteur" mode with every sector chosen, on an
//     office base of N sample persons (1,000 and 5,000), so the search lists all of them: one
//     DBA.SELECT and the N lines of Lst_Possible;
//   - OkOfPersons/N: the whole "Ok" of N chosen persons (50 and 200) on the 5,000-person base:
//     register check, N registrations, copy of their files to the laptop by IMPORTDONNEES.
//     Each "Ok" starts from an empty register and an empty laptop, restored outside the timed
//     part.
// Their baselines (<Family>_Raw) do the same work straight through sqlite3 in the same run:
// for the search, the persons' records read through the sector index in one statement, cut
// into the eleven wanted fields, sorted by surname, first name and code (raw_rows.h), laid
// out as the window's lines (checked equal to them before timing) and put in a list widget
// with their codes;
// for "Ok", the register read whole, each registration its own durable transaction (re-read,
// write, commit) as the window makes them, then the persons' records read and written to
// reference copies and to a laptop database in one transaction each (raw_copies.h).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <QApplication>
#include <QListWidget>
#include <QRadioButton>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
using cortevane::bench::RawLaptop;
using cortevane::bench::RawReference;
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
    window->findChild<QRadioButton*>("Opt_Secteur")->setChecked(true);
    window->findChild<ListBox*>("Lst_SelPossible")->selectAll();
    window->Ajout_Lst_SelSelection();
    return window;
  }

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

// The raw register: SDEXPORTAIDES's table in a database of its own.
class RawRegister {
 public:
  explicit RawRegister(const fs::path& path) : db_(cortevane::bench::OpenRawDatabase(path)) {
    RawExec(db_, "CREATE TABLE register (key BLOB PRIMARY KEY, record BLOB NOT NULL)");
    read_ = cortevane::bench::RawPrepare(db_, "SELECT key, record FROM register WHERE key = ?1");
    write_ = cortevane::bench::RawPrepare(db_, "INSERT INTO register VALUES (?1, ?2)");
    all_ = cortevane::bench::RawPrepare(db_, "SELECT key, record FROM register ORDER BY key");
  }
  ~RawRegister() {
    sqlite3_finalize(read_);
    sqlite3_finalize(write_);
    sqlite3_finalize(all_);
    sqlite3_close(db_);
  }
  RawRegister(const RawRegister&) = delete;
  RawRegister& operator=(const RawRegister&) = delete;

  void Empty() { RawExec(db_, "DELETE FROM register"); }
  Rows All() {
    Rows rows;
    cortevane::bench::RawRows(all_, "", "", &rows);
    return rows;
  }
  // One durable transaction: the record re-read, then written when still absent.
  bool Register(const std::string& code, const std::string& record) {
    RawExec(db_, "BEGIN IMMEDIATE");
    Rows existing;
    cortevane::bench::RawRows(read_, code, "", &existing);
    if (!existing.empty()) {
      RawExec(db_, "ROLLBACK");
      return false;
    }
    sqlite3_reset(write_);
    sqlite3_bind_blob(write_, 1, code.data(), static_cast<int>(code.size()), SQLITE_STATIC);
    sqlite3_bind_blob(write_, 2, record.data(), static_cast<int>(record.size()), SQLITE_STATIC);
    if (sqlite3_step(write_) != SQLITE_DONE) RawFail(sqlite3_errmsg(db_));
    sqlite3_reset(write_);
    RawExec(db_, "COMMIT");
    return true;
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* read_;
  sqlite3_stmt* write_;
  sqlite3_stmt* all_;
};

void BM_OkOfPersons_Raw(benchmark::State& state) {
  Bases& bases = BasesOf(kOkBase);
  const long chosen = state.range(0);
  std::vector<std::string> codes;
  {
    auto window = bases.WindowWithChosen(chosen);
    auto* selection = window->findChild<ListBox*>("Lst_Selection");
    for (int i = 0; i < selection->count(); ++i)
      codes.push_back(cortevane::import::PadCode(selection->ItemData(i)));
    window->Fermeture_Forcee();
  }
  RawRegister register_file(bases.root / "raw-register.db");
  RawReference reference(bases.root / "raw-reference.db");
  RawLaptop laptop(bases.root / "raw-laptop.db");
  const std::string record = std::string(kUser) +
                             "\xFE"
                             "20000"
                             "\xFE"
                             "10:30";
  long records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    register_file.Empty();
    laptop.Empty();
    state.ResumeTiming();

    benchmark::DoNotOptimize(register_file.All());
    for (const std::string& code : codes)
      if (!register_file.Register(code, record)) RawFail("a person was registered twice");
    const auto files = cortevane::bench::RawReadCopies(bases.raw, codes);
    reference.Write(files);
    records = laptop.Write(files);
  }
  if (static_cast<long>(codes.size()) != chosen) state.SkipWithError("not every person chosen");
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
