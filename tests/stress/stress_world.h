// The world of the fault and load tests: an office account (embedded folder or PostgreSQL
// database) seeded from a fixed seed, laptops that took persons out through IMPORTDONNEES and
// worked on them, and the runner processes (stress_runner) that export or import against it.
//
// A World prepared once can be put back to that state before each trial (Restore), so each
// killed export starts from the same bases. Expect() records, before the export, what the
// office must hold after it; Verify() checks it after, together with everything an export
// that reached its end promises: registrations released, laptop and reference copies cleared,
// each person created on a laptop on the office exactly once under a code of its own, and
// sound embedded stores.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/postgres/postgres_store.h"
#include "db/session.h"
#include "db/store.h"

namespace cortevane::stress {

// How a runner process ended.
struct RunResult {
  int exit_code = -1;  // when it exited
  int signal = 0;      // when a signal ended it
  std::string output;  // its standard output
  double seconds = 0;
  long Changes() const;  // the "changes N" line, -1 without one
};

// Starts a runner with `args` and extra environment `env` ("NAME=value", in place of the
// test's own value of NAME); its standard input
// is the read end of `gate` when given (else empty). Returns its pid; output goes to a file
// that Finish reads.
class Runner {
 public:
  Runner(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
         int gate = -1);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;
  pid_t pid() const { return pid_; }
  // Waits for the process to end.
  RunResult Finish();

 private:
  pid_t pid_ = -1;
  std::filesystem::path output_;
  double started_ = 0;
};

// Runs one runner to its end.
RunResult RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// What must hold on the office after every laptop person came back.
struct Expectation {
  // Known persons: (file, key) -> record the office must hold ("" : none).
  std::map<std::pair<std::string, std::string>, std::string> known;
  // The same keys: the record the office held before the export.
  std::map<std::pair<std::string, std::string>, std::string> before;
  // Persons created on the laptop: laptop code -> (file, key suffix) -> record.
  std::map<std::string, std::map<std::pair<std::string, std::string>, std::string>> created;
  std::string laptop_folder;
  std::string user;
};

class World {
 public:
  // An embedded office account under `root`, or, with `postgres`, a database of the test
  // server, or of `server` when given (its host may be a list; unavailable() then tells
  // whether there is none).
  World(const std::filesystem::path& root, bool postgres,
        const std::optional<db::PgAddress>& server = std::nullopt);
  ~World();

  bool unavailable() const { return unavailable_; }
  bool postgres() const { return postgres_; }

  // Seeds the office with `persons` persons from `seed`.
  void Seed(long persons, uint64_t seed);
  // A laptop of `user` (created when missing) that imports `codes` through the register and
  // IMPORTDONNEES, then works: changes records on the laptop and some of them on the office
  // too, and creates `created` persons on the laptop with records in every exported file.
  std::filesystem::path Laptop(const std::string& user, const std::vector<std::string>& codes,
                               int created);
  // An empty laptop account of `user`.
  std::filesystem::path EmptyLaptop(const std::string& user);

  // What the office must hold once the laptop of `user` is exported.
  Expectation Expect(const std::string& user);
  // Checks every expectation after the exports; `counter_before` is field 11 of the common
  // counter before them. With `consecutive`, the new codes must be exactly the ones after it
  // and the counter the last of them.
  void Verify(const std::vector<Expectation>& expectations, long counter_before, bool consecutive);
  // Checks the office after an export that stopped anywhere: each person is there wholly as
  // before the export or wholly as on the laptop, registered exactly while it is not sent; a
  // person created on the laptop is there once with all its records, or not at all. Returns
  // the codes of the known persons still to send.
  std::set<std::string> CheckWhole(const Expectation& e, long counter_before);

  // Keeps the present state of every account; Restore puts it back.
  void Snapshot();
  void Restore();

  // The office as the runner names it, and a store on it.
  std::string OfficeName() const;
  std::shared_ptr<db::Store> Office();
  db::PgAddress address() const { return address_; }
  long Counter();

  // Ends every connection to the office database, or the one served by backend `pid`, from
  // the server's side, and waits until they are gone.
  void TerminateOfficeConnections();
  void TerminateBackend(int pid);

 private:
  void Connect(db::Session& session, const std::filesystem::path& laptop);
  void AdminSql(const std::string& sql);

  std::filesystem::path root_;
  bool postgres_;
  bool unavailable_ = false;
  db::PgAddress address_;
  std::string pristine_;  // the PostgreSQL snapshot's database
  std::shared_ptr<db::Store> office_;
  std::vector<std::filesystem::path> laptops_;
};

}  // namespace cortevane::stress
