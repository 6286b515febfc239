#include "stress_world.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "db/dyn_array.h"
#include "db/routines.h"
#include "db/sample_data.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "export/merge_rule.h"
#include "export/mod_exportation.h"
#include "export/rules.h"
#include "support/pg_server.h"

extern char** environ;

namespace cortevane::stress {

namespace fs = std::filesystem;

namespace {

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string Read(db::Store& store, const std::string& file, const std::string& key) {
  std::string record;
  int s = store.Read(file, key, &record);
  if (s == db::kRecordNotFound || s == db::kNoSuchFile) return "";
  EXPECT_EQ(s, db::kOk) << file << " " << key;
  return record;
}

void Write(db::Store& store, const std::string& file, const std::string& key,
           const std::string& record) {
  ASSERT_EQ(store.Write(file, key, record), db::kOk) << file << " " << key;
}

std::vector<std::pair<std::string, std::string>> All(db::Store& store, const std::string& file) {
  std::vector<std::pair<std::string, std::string>> out;
  if (!store.FileExists(file)) return out;
  EXPECT_EQ(store.Scan(file,
                       [&](std::string_view k, std::string_view r) {
                         out.emplace_back(k, r);
                         return true;
                       }),
            db::kOk)
      << file;
  return out;
}

// The files named by value 1 of each field of an SDPARAMEXPORT record.
std::vector<std::string> Files(db::Store& office, const std::string& record) {
  db::DynArray params(Read(office, "SDPARAMEXPORT", record));
  std::vector<std::string> files;
  for (int i = 1; i <= params.Count(); ++i) files.push_back(params.Value(i, 1));
  return files;
}

long Number(const std::string& text) { return exporting::CounterValue(text).value_or(-1); }

std::shared_ptr<db::SqliteStore> OpenFolder(const fs::path& folder) {
  std::shared_ptr<db::SqliteStore> store;
  EXPECT_EQ(db::SqliteStore::Open(folder, &store), db::kOk) << folder;
  return store;
}

void IntegrityCheck(const fs::path& folder) {
  sqlite3* db = nullptr;
  const std::string path = (folder / db::SqliteStore::kDatabaseName).string();
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::string result;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] ? values[0] : "";
        return 0;
      },
      &result, nullptr);
  sqlite3_close_v2(db);
  EXPECT_EQ(result, "ok") << folder;
}

void CopyFolder(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::remove_all(to, ec);
  fs::create_directories(to.parent_path(), ec);
  fs::copy(from, to, fs::copy_options::recursive, ec);
  ASSERT_FALSE(ec) << from << " -> " << to << ": " << ec.message();
}

// The codes under which the office's persons file holds `person`.
std::vector<std::string> CodesHolding(
    const std::vector<std::pair<std::string, std::string>>& persons, const std::string& person) {
  std::vector<std::string> keys;
  for (const auto& [key, record] : persons)
    if (record == person) keys.push_back(key);
  return keys;
}

// Every record under a code above the counter's start belongs to a person created on a laptop
// and found whole: a code given and then abandoned halfway would leave one.
void NoStrayRecords(db::Store& office, const std::vector<std::string>& files,
                    const std::set<long>& given, long counter_before) {
  for (const std::string& file : files) {
    for (const auto& [key, record] : All(office, file)) {
      const long k = Number(key.substr(0, 5));
      if (k > counter_before) {
        EXPECT_TRUE(given.count(k)) << "stray record " << file << " " << key;
      }
    }
  }
}

}  // namespace

long RunResult::Changes() const {
  size_t at = output.rfind("changes ");
  return at == std::string::npos ? -1 : std::atol(output.c_str() + at + 8);
}

Runner::Runner(const std::vector<std::string>& args, const std::vector<std::string>& env,
               int gate) {
  char pattern[] = "/tmp/cortevane-runner-XXXXXX";
  int fd = mkstemp(pattern);
  EXPECT_GE(fd, 0);
  output_ = pattern;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (gate >= 0)
    posix_spawn_file_actions_adddup2(&actions, gate, STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fd, STDERR_FILENO);

  std::vector<std::string> arguments{STRESS_RUNNER};
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view inherited(*e);
    const std::string_view name = inherited.substr(0, inherited.find('=') + 1);
    bool replaced = false;
    for (const std::string& given : env) replaced = replaced || given.rfind(name, 0) == 0;
    if (!replaced) environment.emplace_back(inherited);
  }
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  started_ = Now();
  int s = posix_spawn(&pid_, STRESS_RUNNER, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fd);
  EXPECT_EQ(s, 0) << "cannot start " << STRESS_RUNNER;
  if (s != 0) pid_ = -1;
}

Runner::~Runner() {
  if (pid_ > 0) Finish();
  std::error_code ec;
  fs::remove(output_, ec);
}

RunResult Runner::Finish() {
  RunResult result;
  if (pid_ <= 0) return result;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  result.seconds = Now() - started_;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  std::ifstream in(output_);
  std::stringstream text;
  text << in.rdbuf();
  result.output = text.str();
  return result;
}

RunResult RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  Runner runner(args, env);
  return runner.Finish();
}

World::World(const fs::path& root, bool postgres, const std::optional<db::PgAddress>& server)
    : root_(root), postgres_(postgres) {
  // The runners' exports keep their journals and look for documents on the world's own drive
  // C:, never in the user's.
  setenv("CORTEVANE_DRIVE_C", (root_ / "drive_c").c_str(), 1);
  if (!postgres_) {
    EXPECT_EQ(db::SqliteStore::Create(root_ / "office", true), db::kOk);
    office_ = OpenFolder(root_ / "office");
    return;
  }
  std::optional<db::PgAddress> address = server;
  if (address) {
    address->account = "stress_world";
    if (db::PostgresStore::CreateAccount(*address, true) != db::kOk) address.reset();
  } else {
    address = testing::NewPgAccount("stress");
  }
  if (!address) {
    unavailable_ = true;
    return;
  }
  address_ = *address;
  office_ = Office();
}

World::~World() {
  office_.reset();
  if (!postgres_ || unavailable_) return;
  AdminSql("DROP DATABASE IF EXISTS \"" + address_.account + "\" WITH (FORCE)");
  if (!pristine_.empty()) AdminSql("DROP DATABASE IF EXISTS \"" + pristine_ + "\" WITH (FORCE)");
}

std::string World::OfficeName() const {
  return postgres_ ? "pg:" + address_.account : (root_ / "office").string();
}

std::shared_ptr<db::Store> World::Office() {
  if (office_) return office_;
  if (!postgres_) return office_ = OpenFolder(root_ / "office");
  int status = 0;
  office_ = db::PostgresStore::Connect(address_, &status);
  EXPECT_EQ(status, db::kOk);
  return office_;
}

long World::Counter() { return Number(db::DynArray(Read(*Office(), "COMPTEUR", "999")).Field(11)); }

void World::AdminSql(const std::string& sql) {
  // The host may be a list ("h:p,h:p"): the server that takes writes is the one wanted.
  std::string hosts, ports;
  std::istringstream list(address_.host);
  for (std::string one; std::getline(list, one, ',');) {
    const size_t colon = one.rfind(':');
    hosts += (hosts.empty() ? "" : ",") + one.substr(0, colon);
    ports += (ports.empty() ? "" : ",") +
             (colon == std::string::npos ? std::string("5432") : one.substr(colon + 1));
  }
  const char* keys[] = {"host", "port", "dbname", "user", "password", "target_session_attrs",
                        nullptr};
  const char* values[] = {
      hosts.c_str(), ports.c_str(), "postgres", address_.user.c_str(), address_.password.c_str(),
      "read-write",  nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
  PGresult* r = PQexec(conn, sql.c_str());
  const ExecStatusType s = PQresultStatus(r);
  EXPECT_TRUE(s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK) << sql << ": " << PQerrorMessage(conn);
  PQclear(r);
  PQfinish(conn);
}

void World::TerminateBackend(int pid) {
  AdminSql("SELECT pg_terminate_backend(" + std::to_string(pid) + ", 5000)");
}

void World::TerminateOfficeConnections() {
  AdminSql("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = '" +
           address_.account + "' AND pid <> pg_backend_pid()");
}

void World::Seed(long persons, uint64_t seed) {
  db::sample::SeedOptions options;
  options.persons = persons;
  options.seed = seed;
  db::sample::SeedSummary summary;
  std::string message;
  ASSERT_EQ(db::sample::Seed(*Office(), options, &summary, &message), db::kOk) << message;
}

void World::Connect(db::Session& session, const fs::path& laptop) {
  session.SetDataBaseType(2);
  session.SetHostName("localhost");
  session.SetAccountPath(laptop.string());
  session.AttachStore(OpenFolder(laptop));
}

fs::path World::EmptyLaptop(const std::string& user) {
  fs::path folder = root_ / ("laptop-" + user);
  EXPECT_EQ(db::SqliteStore::Create(folder, false), db::kOk);
  laptops_.push_back(folder);
  return folder;
}

fs::path World::Laptop(const std::string& user, const std::vector<std::string>& codes,
                       int created) {
  const fs::path folder = EmptyLaptop(user);
  db::Store& office = *Office();
  {
    db::Session server, laptop;
    server.SetDataBaseType(2);
    server.SetHostName(postgres_ ? address_.host : "localhost");
    server.SetAccountPath(postgres_ ? address_.account : (root_ / "office").string());
    server.AttachStore(office_);
    Connect(laptop, folder);
    db::DynArray list;
    for (const std::string& code : codes) {
      Write(office, "SDEXPORTAIDES", code,
            user +
                "\xFE"
                "20000\xFE"
                "10:5");
      list.AppendField(code);
    }
    std::string result;
    EXPECT_EQ(db::ImportDonnees(server,
                                user + "|localhost|" + folder.string() + "|" + server.HostName() +
                                    "|" + server.AccountPath(),
                                list.Text(), &result),
              db::kOk);
  }

  std::shared_ptr<db::SqliteStore> lap = OpenFolder(folder);
  for (size_t j = 0; j < codes.size(); ++j) {
    const std::string& c = codes[j];
    const std::string tag = user + " " + std::to_string(j);
    db::DynArray person(Read(*lap, "CIVILAIDE", c));
    if (j % 2 == 0) {
      person.SetField(11, "VILLE " + tag);
      Write(*lap, "CIVILAIDE", c, person.Text());
    }
    if (j % 3 == 0) {
      // Changed on both sides: in different fields (a merge is offered), or, one person in
      // twelve, in the same field too (no merge: Yes).
      db::DynArray on_office(Read(office, "CIVILAIDE", c));
      on_office.SetField(12, "02 99 00 00 " + std::to_string(10 + j));
      if (j % 12 == 6) on_office.SetField(11, "VILLE DU BUREAU " + tag);
      Write(office, "CIVILAIDE", c, on_office.Text());
    }
    if (j % 2 == 1) {
      db::DynArray dossier(Read(*lap, "AIDEDOSSIER", c));
      dossier.SetField(1, dossier.Field(1) + " (portable " + tag + ")");
      Write(*lap, "AIDEDOSSIER", c, dossier.Text());
    }
    if (j % 5 == 4) Write(office, "AIDEDOSSIER", c, "Dossier repris au bureau");
    Write(*lap, "AIDEINTERV", c + "P" + std::to_string(j), "Visite portable\xFE" + tag);
    if (j % 4 == 0) {
      Write(*lap, "AIDENOTES", c, "note portable " + tag);
      Write(office, "AIDENOTES", c, "note bureau " + tag);
    }
  }
  const long threshold = Number(db::DynArray(Read(*lap, "COMPTEUR", "999")).Field(11));
  for (int i = 0; i < created; ++i) {
    const std::string code = exporting::FormatCode(threshold + 1 + i);
    const std::string tag = user + " " + std::to_string(i);
    db::DynArray person;
    person.SetField(1, "M.");
    person.SetField(2, "NOUVEAU");
    person.SetField(3, tag);
    person.SetField(40, "012");
    Write(*lap, "CIVILAIDE", code, person.Text());
    Write(*lap, "AIDEDOSSIER", code, "Dossier ouvert sur le portable\xFE" + tag);
    Write(*lap, "AIDEINTERV", code + "A", "Première visite\xFE" + tag);
    Write(*lap, "AIDEINTERV", code + "B", "Deuxième visite\xFE" + tag);
    Write(*lap, "AIDENOTES", code, "note " + tag);
  }
  return folder;
}

Expectation World::Expect(const std::string& user) {
  Expectation e;
  e.user = user;
  e.laptop_folder = (root_ / ("laptop-" + user)).string();
  db::Store& office = *Office();
  std::shared_ptr<db::SqliteStore> lap = OpenFolder(e.laptop_folder);
  const std::string threshold = db::DynArray(Read(office, "COMPTEUR_" + user, "999")).Field(11);
  const db::DynArray aide(Read(office, "SDPARAMEXPORT", "AIDE"));
  std::set<std::string> accepted;  // persons whose conflicts now follow unasked (a Yes)
  for (int f = 1; f <= aide.Count(); ++f) {
    const std::string file = aide.Value(f, 1);
    const bool asked = aide.Value(f, 4) != "N";
    for (const auto& [key, record] : All(*lap, file)) {
      const std::string code = key.substr(0, 5);
      if (exporting::IsKnownPerson(threshold, code)) {
        const std::string reference = Read(office, file + "_" + user, key);
        const std::string current = Read(office, file, key);
        // The runner answers Fusionner where it is offered, Yes elsewhere.
        std::string sent = record;
        if (record == reference) {
          sent = current;
        } else if (current != reference && current != record && asked && !accepted.count(code)) {
          if (auto merged = exporting::Merge(db::DynArray(reference), db::DynArray(current),
                                             db::DynArray(record))) {
            sent = merged->Text();
          } else {
            accepted.insert(code);
          }
        }
        e.known[{file, key}] = sent;
        e.before[{file, key}] = current;
      } else {
        e.created[code][{file, key.substr(5)}] = record;
      }
    }
  }
  return e;
}

void World::Verify(const std::vector<Expectation>& expectations, long counter_before,
                   bool consecutive) {
  db::Store& office = *Office();
  const std::vector<std::string> aide = Files(office, "AIDE");
  const std::vector<std::string> planning = Files(office, "PLANNING");

  std::set<long> given;
  for (const Expectation& e : expectations) {
    SCOPED_TRACE("laptop of " + e.user);
    for (const auto& [where, record] : e.known)
      EXPECT_EQ(db::ToVisible(Read(office, where.first, where.second)), db::ToVisible(record))
          << where.first << " " << where.second;

    // A person created on the laptop is found by its record, which nobody else has.
    const auto persons = All(office, "CIVILAIDE");
    for (const auto& [code, records] : e.created) {
      const std::vector<std::string> keys = CodesHolding(persons, records.at({"CIVILAIDE", ""}));
      ASSERT_EQ(keys.size(), 1u) << "laptop person " << code << " is on the office under "
                                 << keys.size() << " codes";
      const long k = Number(keys[0]);
      EXPECT_GT(k, counter_before) << keys[0];
      EXPECT_TRUE(given.insert(k).second) << "code " << keys[0] << " given twice";
      for (const auto& [where, record] : records)
        EXPECT_EQ(db::ToVisible(Read(office, where.first, keys[0] + where.second)),
                  db::ToVisible(record))
            << where.first << " " << keys[0] + where.second;
    }

    long long left = 0;
    for (const auto& [key, record] : All(office, "SDEXPORTAIDES"))
      EXPECT_NE(db::DynArray(record).Field(1), e.user) << "registration " << key << " left";
    std::shared_ptr<db::SqliteStore> lap = OpenFolder(e.laptop_folder);
    std::vector<std::string> cleared = aide;
    cleared.insert(cleared.end(), planning.begin(), planning.end());
    cleared.push_back(exporting::kCodesAttribues);
    for (const std::string& file : cleared) {
      if (!lap->FileExists(file)) continue;
      EXPECT_EQ(lap->CountRecords(file, &left), db::kOk);
      EXPECT_EQ(left, 0) << "laptop file " << file << " not cleared";
    }
    for (const std::string& file : aide) {
      EXPECT_EQ(office.CountRecords(file + "_" + e.user, &left), db::kOk);
      EXPECT_EQ(left, 0) << "reference copy " << file << "_" << e.user << " not cleared";
    }
    lap.reset();
    IntegrityCheck(e.laptop_folder);
  }

  NoStrayRecords(office, aide, given, counter_before);

  const long counter = Counter();
  if (!given.empty()) {
    EXPECT_GE(counter, *given.rbegin());
  }
  if (consecutive) {
    EXPECT_EQ(counter, counter_before + static_cast<long>(given.size()));
    if (!given.empty()) {
      EXPECT_EQ(*given.begin(), counter_before + 1);
      EXPECT_EQ(*given.rbegin(), counter_before + static_cast<long>(given.size()));
    }
  }
  if (!postgres_) IntegrityCheck(root_ / "office");
}

std::set<std::string> World::CheckWhole(const Expectation& e, long counter_before) {
  SCOPED_TRACE("laptop of " + e.user + ", after an interrupted export");
  db::Store& office = *Office();
  // Per known person, its records the export changes: how many are as on the laptop, and how
  // many still as before.
  std::map<std::string, std::pair<int, int>> persons;
  for (const auto& [where, after] : e.known) {
    const std::string& before = e.before.at(where);
    if (before == after) continue;
    const std::string now = Read(office, where.first, where.second);
    auto& [sent, unsent] = persons[where.second.substr(0, 5)];
    if (now == after) {
      ++sent;
    } else if (now == before) {
      ++unsent;
    } else {
      ADD_FAILURE() << where.first << " " << where.second << " is neither as before nor as on "
                    << "the laptop: " << db::ToVisible(now);
    }
  }
  std::set<std::string> to_send;
  for (const auto& [code, counts] : persons) {
    const auto [sent, unsent] = counts;
    EXPECT_TRUE(sent == 0 || unsent == 0)
        << "person " << code << " half sent: " << sent << " records as on the laptop, " << unsent
        << " as before";
    const bool registered = db::DynArray(Read(office, "SDEXPORTAIDES", code)).Field(1) == e.user;
    if (sent == 0) {
      to_send.insert(code);
      EXPECT_TRUE(registered) << "person " << code << " released but not sent";
    } else {
      EXPECT_FALSE(registered) << "person " << code << " sent but still registered";
    }
  }

  const auto on_office = All(office, "CIVILAIDE");
  std::set<long> given;
  for (const auto& [code, records] : e.created) {
    const std::vector<std::string> keys = CodesHolding(on_office, records.at({"CIVILAIDE", ""}));
    EXPECT_LE(keys.size(), 1u) << "laptop person " << code << " is on the office twice";
    if (keys.empty()) continue;
    given.insert(Number(keys[0]));
    for (const auto& [where, record] : records)
      EXPECT_EQ(db::ToVisible(Read(office, where.first, keys[0] + where.second)),
                db::ToVisible(record))
          << "laptop person " << code << " half sent: " << where.first << " "
          << keys[0] + where.second;
  }
  NoStrayRecords(office, Files(office, "AIDE"), given, counter_before);
  return to_send;
}

void World::Snapshot() {
  office_.reset();
  for (const fs::path& laptop : laptops_)
    CopyFolder(laptop, root_ / "pristine" / laptop.filename());
  if (postgres_) {
    pristine_ = address_.account + "_p";
    AdminSql("CREATE DATABASE \"" + pristine_ + "\" TEMPLATE \"" + address_.account + "\"");
  } else {
    CopyFolder(root_ / "office", root_ / "pristine" / "office");
  }
}

void World::Restore() {
  office_.reset();
  for (const fs::path& laptop : laptops_)
    CopyFolder(root_ / "pristine" / laptop.filename(), laptop);
  if (postgres_) {
    AdminSql("DROP DATABASE IF EXISTS \"" + address_.account + "\" WITH (FORCE)");
    AdminSql("CREATE DATABASE \"" + address_.account + "\" TEMPLATE \"" + pristine_ + "\"");
  } else {
    CopyFolder(root_ / "pristine" / "office", root_ / "office");
  }
}

}  // namespace cortevane::stress
