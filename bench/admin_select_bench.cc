// `cortevane-admin select` of the import window's surname search ("DUP", eleven wanted fields,
// sorted by surname, first name and code) as a whole process, on an embedded account seeded
// with N sample persons (20,000 and 200,000): AdminSelect/N. Its baseline AdminSelect_Raw/N
// is a small whole process doing the same work straight on the account's SQLite file
// (bench/select_raw): the same rows read through the surname index, cut into the same fields,
// sorted the same way and printed the same, byte for byte (checked before timing). Both print
// to a file; the time is the wall time from start to exit of the process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/names.h"
#include "db/sample_data.h"
#include "db/sqlite/sqlite_store.h"

namespace {

namespace fs = std::filesystem;
namespace db = cortevane::db;

constexpr const char* kSentence =
    "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide PAR PrenomAide PAR CodeAide";
constexpr const char* kWanted = "0 2 3 5 6 7 8 9 10 11 43";

[[noreturn]] void Stop(const std::string& what) {
  std::fprintf(stderr, "benchmark: %s\n", what.c_str());
  std::_Exit(1);
}

struct Account {
  fs::path root;
  fs::path folder;
  fs::path output;

  explicit Account(long persons) {
    char pattern[] = "/tmp/cortevane-abench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) Stop("mkdtemp");
    root = pattern;
    folder = root / "SERVEUR";
    output = root / "out.txt";
    std::shared_ptr<db::SqliteStore> store;
    if (db::SqliteStore::Create(folder, true) != 0 || db::SqliteStore::Open(folder, &store) != 0)
      Stop("cannot make the account under " + root.string());
    std::string message;
    if (db::sample::Seed(*store, {persons, 1, {}}, nullptr, &message) != 0)
      Stop("seeding failed: " + message);
  }
  ~Account() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  std::vector<std::string> AdminCommand() const {
    return {CORTEVANE_ADMIN, "--account", folder.string(), "select",
            "CIVILAIDE",     kWanted,     kSentence};
  }
  // The surname index joined to the persons' records: the keys whose NomAide begins with DUP.
  std::vector<std::string> RawCommand() const {
    return {SELECT_RAW, (folder / db::SqliteStore::kDatabaseName).string(),
            "SELECT t.key, t.record FROM idx JOIN " + db::QuotedTableName("CIVILAIDE") +
                " t ON t.key = idx.key WHERE idx.file = 'CIVILAIDE' AND idx.item = 'NomAide' "
                "AND idx.value >= X'445550' AND idx.value < X'445551'"};
  }
};

Account& AccountOf(long persons) {
  static std::map<long, std::unique_ptr<Account>> accounts;
  auto& a = accounts[persons];
  if (!a) a = std::make_unique<Account>(persons);
  return *a;
}

// Runs the command with its standard output to `output`; its exit status.
int Run(const std::vector<std::string>& command, const fs::path& output) {
  const pid_t pid = fork();
  if (pid < 0) Stop("fork");
  if (pid == 0) {
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) Stop("waitpid");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

void Measure(benchmark::State& state, const std::vector<std::string>& command,
             const fs::path& output) {
  for (auto _ : state)
    if (Run(command, output) != 0) {
      state.SkipWithError("the process failed");
      break;
    }
  state.counters["rows"] = static_cast<double>(Lines(Contents(output)));
}

void BM_AdminSelect(benchmark::State& state) {
  Account& account = AccountOf(state.range(0));
  Measure(state, account.AdminCommand(), account.output);
}

void BM_AdminSelect_Raw(benchmark::State& state) {
  Account& account = AccountOf(state.range(0));
  // The baseline must print what the tool prints, byte for byte.
  if (Run(account.AdminCommand(), account.output) != 0) {
    state.SkipWithError("cortevane-admin failed");
    return;
  }
  const std::string expected = Contents(account.output);
  if (Run(account.RawCommand(), account.output) != 0 || Contents(account.output) != expected) {
    state.SkipWithError("the baseline's output differs from cortevane-admin's");
    return;
  }
  Measure(state, account.RawCommand(), account.output);
}

BENCHMARK(BM_AdminSelect)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AdminSelect_Raw)
    ->Arg(20000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
