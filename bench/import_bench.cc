// The import window on the embedded store: filling Lst_Possible from a search that returns
// 5,000 persons (the query and the building of the lines), and the whole "Ok" of 200 chosen
// persons (register check, registrations, copy of their files to the laptop).
//
// The office base is seeded with realistic sample data of 5,000 persons, so that a search on
// every sector returns all of them. Each "Ok" starts from an empty register and an empty
// laptop, restored outside the timed part.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QRadioButton>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "db/sample_data.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "import/chd_import.h"
#include "ui/list_box.h"
#include "ui/scripted_ui.h"

namespace {

using cortevane::db::Session;
using cortevane::db::SqliteStore;
using cortevane::import::Chd_Import;
using cortevane::ui::ListBox;

constexpr long kPersons = 5000;
constexpr const char* kUser = "BENCH";
constexpr const char* kPassword = "bench-password";

struct Bases {
  std::filesystem::path root;
  std::shared_ptr<SqliteStore> server_store;
  std::shared_ptr<SqliteStore> laptop_store;
  Session serveur;
  Session autonome;
  cortevane::ui::ScriptedUi ui;

  Bases() {
    char pattern[] = "/tmp/cortevane-bench-XXXXXX";
    root = mkdtemp(pattern);
    Make(root / "SERVEUR", true, &server_store);
    Make(root / "PORTABLE", false, &laptop_store);
    cortevane::db::sample::SeedOptions options;
    options.persons = kPersons;
    cortevane::db::sample::SeedSummary summary;
    std::string message;
    if (cortevane::db::sample::Seed(*server_store, options, &summary, &message) != 0) {
      std::fprintf(stderr, "seeding failed: %s\n", message.c_str());
      std::exit(1);
    }
    Connect(serveur, root / "SERVEUR");
    Connect(autonome, root / "PORTABLE");
  }
  ~Bases() {
    serveur.Disconnect();
    autonome.Disconnect();
    server_store.reset();
    laptop_store.reset();
    std::filesystem::remove_all(root);
  }

  static void Make(const std::filesystem::path& folder, bool server,
                   std::shared_ptr<SqliteStore>* store) {
    if (SqliteStore::Create(folder, server) != 0 || SqliteStore::Open(folder, store) != 0 ||
        (*store)->AddUser(kUser, kPassword) != 0) {
      std::fprintf(stderr, "cannot make the account %s\n", folder.c_str());
      std::exit(1);
    }
  }
  static void Connect(Session& session, const std::filesystem::path& folder) {
    session.SetDataBaseType(2);
    session.SetHostName("localhost");
    session.SetAccountPath(folder.string());
    session.SetUserName(kUser);
    session.SetPassword(kPassword);
    if (session.Connect() != 0) {
      std::fprintf(stderr, "cannot connect to %s\n", folder.c_str());
      std::exit(1);
    }
  }

  // A window in "Secteur" mode with every sector chosen: its search selects every person.
  std::unique_ptr<Chd_Import> WindowOnEverySector() {
    auto window = std::make_unique<Chd_Import>(autonome, serveur, kUser, ui);
    window->findChild<QRadioButton*>("Opt_Secteur")->setChecked(true);
    window->findChild<ListBox*>("Lst_SelPossible")->selectAll();
    window->Ajout_Lst_SelSelection();
    return window;
  }
};

Bases& TheBases() {
  static Bases bases;
  return bases;
}

void BM_SearchFillsLstPossible(benchmark::State& state) {
  Bases& bases = TheBases();
  auto window = bases.WindowOnEverySector();
  auto* possible = window->findChild<ListBox*>("Lst_Possible");
  for (auto _ : state) {
    window->Cmd_Recherche_Click();
    benchmark::DoNotOptimize(possible->count());
  }
  if (possible->count() != kPersons) state.SkipWithError("the search did not list every person");
  state.counters["persons"] = possible->count();
  window->Fermeture_Forcee();
}
BENCHMARK(BM_SearchFillsLstPossible)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_OkOf200Persons(benchmark::State& state) {
  Bases& bases = TheBases();
  std::vector<std::string> laptop_files;
  for (auto _ : state) {
    state.PauseTiming();
    bases.server_store->Clear("SDEXPORTAIDES");
    laptop_files.clear();
    bases.laptop_store->ListFiles(&laptop_files);
    for (const std::string& file : laptop_files) bases.laptop_store->Clear(file);
    auto window = bases.WindowOnEverySector();
    window->Cmd_Recherche_Click();
    auto* possible = window->findChild<ListBox*>("Lst_Possible");
    for (int i = 0; i < 200; ++i) possible->item(i * (kPersons / 200))->setSelected(true);
    window->Ajout_Lst_Selection();
    bases.ui.ClearLog();
    state.ResumeTiming();

    window->Cmd_Ok_Click();

    state.PauseTiming();
    if (window->W_ListeCodes().Count() != 200 || !bases.ui.boxes().empty()) {
      state.SkipWithError(bases.ui.boxes().empty() ? "not 200 registrations"
                                                   : bases.ui.boxes().front().text.c_str());
      break;
    }
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OkOf200Persons)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
