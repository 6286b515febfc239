#include "support/pg_replica.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace cortevane::test_support {

PgReplica::PgReplica() {
  char pattern[] = "/tmp/cortevane-replica.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  dir_ = pattern;
  FILE* out = ::popen(Command("start").c_str(), "r");
  if (out == nullptr) return;
  int first = 0, second = 0;
  const bool read = std::fscanf(out, "%d %d", &first, &second) == 2;
  if (::pclose(out) == 0 && read)
    hosts_ = "127.0.0.1:" + std::to_string(first) + ",127.0.0.1:" + std::to_string(second);
}

PgReplica::~PgReplica() {
  if (dir_.empty()) return;
  if (std::system(Command("stop").c_str()) != 0) std::perror("pg_replica.sh stop");
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string PgReplica::Command(const std::string& what) const {
  return "bash " CORTEVANE_SOURCE_DIR "/tests/support/pg_replica.sh " + what + " " + dir_.string();
}

std::string PgReplica::FailoverCommand() const { return Command("failover"); }

bool PgReplica::Failover() const { return std::system(FailoverCommand().c_str()) == 0; }

bool PgReplica::Rejoin() const { return std::system(Command("rejoin").c_str()) == 0; }

bool PgReplica::RefuseAtStandby() const { return std::system(Command("refuse").c_str()) == 0; }

}  // namespace cortevane::test_support
