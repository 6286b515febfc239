// A primary and a streaming standby on 127.0.0.1, made for one test by pg_replica.sh (beside
// this file) and stopped when the object goes: the office of a test whose server fails over.
#pragma once

#include <filesystem>
#include <string>

namespace cortevane::test_support {

class PgReplica {
 public:
  PgReplica();
  ~PgReplica();
  PgReplica(const PgReplica&) = delete;
  PgReplica& operator=(const PgReplica&) = delete;

  // False when this machine cannot run them (no PostgreSQL server binaries).
  bool started() const { return !hosts_.empty(); }
  // Both servers, "127.0.0.1:p1,127.0.0.1:p2", as a laptop's configuration names the office;
  // the superuser is cortevane, password cortevane.
  const std::string& hosts() const { return hosts_; }
  // A shell command that stops the primary at once and promotes the standby.
  std::string FailoverCommand() const;
  bool Failover() const;
  // After a failover: the stopped server made again, as a standby of the new primary.
  bool Rejoin() const;
  // The standby refuses every client's session from now on, as one still starting up does.
  bool RefuseAtStandby() const;

 private:
  std::string Command(const std::string& what) const;
  std::filesystem::path dir_;
  std::string hosts_;
};

}  // namespace cortevane::test_support
