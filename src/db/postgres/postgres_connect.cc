// How the office store reaches its server: the host list of the configuration, the settings
// handed to libpq, and what a failed connection means.
//
// Security follows libpq's own conventions, as psql does. Where an administrator set one of
// libpq's variables (PGSSLMODE, PGCHANNELBINDING, PGTARGETSESSIONATTRS) or a service file
// (PGSERVICE) gives one of these settings, it decides. Otherwise:
//   - with the office's certificate authority installed where libpq looks for it
//     (PGSSLROOTCERT, else ~/.postgresql/root.crt), the server must prove who it is:
//     sslmode=verify-full and channel_binding=require (an administrator's PGSSLMODE, say
//     "disable" on this machine, is followed as it is);
//   - without it, sslmode=prefer: the traffic is encrypted when the server offers it, and the
//     server is not authenticated (ServerAuthenticated() is false, the export's journal says
//     so);
//   - whatever the mode, a host that is not this machine (IsLocalHost: by name, so another
//     127.x address or a name of a relay counts as remote) gets channel_binding=require: the
//     password is then given only to SCRAM bound to the encrypted channel, never in clear,
//     never by md5, and never through a relay that stripped or replaced the encryption.
//     Only a connection to this machine (the demo) may do without.
#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "db/postgres/postgres_internal.h"
#include "db/status.h"
#include "db/store_factory.h"

namespace cortevane::db::postgres {
namespace {

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// The value of the environment variable `name`, or nullptr when it is unset or empty.
const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// libpq's defaults as it would apply them now (service file, then environment, then its own).
class LibpqDefaults {
 public:
  LibpqDefaults() : options_(PQconndefaults()) {}
  ~LibpqDefaults() { PQconninfoFree(options_); }
  LibpqDefaults(const LibpqDefaults&) = delete;
  LibpqDefaults& operator=(const LibpqDefaults&) = delete;

  // True when the administrator decided `keyword`: its variable is set, or the service file
  // named by PGSERVICE gives it a value of its own.
  bool Decided(const char* keyword, const char* variable) const {
    if (Environment(variable) != nullptr) return true;
    if (Environment("PGSERVICE") == nullptr) return false;
    const PQconninfoOption* o = Find(keyword);
    return o != nullptr && o->val != nullptr &&
           (o->compiled == nullptr || std::strcmp(o->val, o->compiled) != 0);
  }
  std::string Value(const char* keyword) const {
    const PQconninfoOption* o = Find(keyword);
    return o != nullptr && o->val != nullptr ? o->val : "";
  }

 private:
  const PQconninfoOption* Find(const char* keyword) const {
    for (const PQconninfoOption* o = options_; o != nullptr && o->keyword != nullptr; ++o)
      if (std::strcmp(o->keyword, keyword) == 0) return o;
    return nullptr;
  }
  PQconninfoOption* options_;
};

// Where libpq looks for the certificate authorities it trusts, as libpq does: sslrootcert
// (PGSSLROOTCERT or the service file), else ~/.postgresql/root.crt, home from HOME.
std::filesystem::path RootCertificate(const LibpqDefaults& defaults) {
  if (std::string given = defaults.Value("sslrootcert"); !given.empty()) return given;
  std::string home;
  if (const char* h = Environment("HOME")) {
    home = h;
  } else if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  }
  if (home.empty()) return {};
  return std::filesystem::path(home) / ".postgresql" / "root.crt";
}

}  // namespace

HostList SplitHosts(std::string_view given) {
  HostList list;
  size_t start = 0;
  while (start <= given.size()) {
    size_t comma = given.find(',', start);
    if (comma == std::string_view::npos) comma = given.size();
    const std::string entry = Trimmed(given.substr(start, comma - start));
    start = comma + 1;
    if (entry.empty()) continue;
    std::string host = entry, port = "5432";
    if (entry.front() == '[') {  // "[::1]:5433"
      const size_t close = entry.find(']');
      if (close != std::string::npos) {
        host = entry.substr(1, close - 1);
        if (close + 1 < entry.size() && entry[close + 1] == ':') port = entry.substr(close + 2);
      }
    } else if (const size_t colon = entry.find(':');
               colon != std::string::npos && entry.find(':', colon + 1) == std::string::npos) {
      host = entry.substr(0, colon);  // a bare IPv6 address keeps its colons
      port = entry.substr(colon + 1);
    }
    if (host.empty()) host = "localhost";
    list.hosts.push_back(host);
    list.ports.push_back(port);
  }
  if (list.hosts.empty()) {
    list.hosts.push_back("localhost");
    list.ports.push_back("5432");
  }
  return list;
}

PGconn* Open(const PgAddress& a, const std::string& dbname) {
  const HostList list = SplitHosts(a.host);
  std::string hosts, ports;
  bool this_machine = true;
  for (size_t i = 0; i < list.hosts.size(); ++i) {
    hosts += (i ? "," : "") + list.hosts[i];
    ports += (i ? "," : "") + list.ports[i];
    this_machine = this_machine && IsLocalHost(list.hosts[i]);
  }
  std::string timeout = std::to_string(a.connect_timeout_s);
  // A server that stops answering is noticed by the connection itself: keepalives on an idle
  // connection, a limit on data left unacknowledged, and a statement limit on the server a
  // little below the wait for a request (Exec), so a slow statement ends as an error there.
  // A lock held by another connection is waited for a little less again, so that a file
  // held by an administrator's work is told apart from a server that does not answer.
  std::string unacknowledged = std::to_string(a.request_timeout_s * 1000);
  std::string options =
      "-c statement_timeout=" + std::to_string(std::max(1, a.request_timeout_s - 1) * 1000) +
      " -c lock_timeout=" + std::to_string(std::max(1, a.request_timeout_s - 2) * 1000);
  // Just-in-time compilation is off: the statements here are short look-ups and joins whose
  // cost the planner overrates (the index's values are shared by every item), and compiling
  // them would add 100 ms or more to a search that takes a few tens.
  options += " -c jit=off";
  std::vector<std::pair<const char*, std::string>> settings = {
      {"host", hosts},
      {"port", ports},
      {"dbname", dbname},
      {"user", a.user},
      {"password", a.password},
      {"connect_timeout", timeout},
      {"application_name", "cortevane"},
      {"keepalives", "1"},
      {"keepalives_idle", "10"},
      {"keepalives_interval", "5"},
      {"keepalives_count", "3"},
      {"tcp_user_timeout", unacknowledged},
      {"options", options},
  };
  const LibpqDefaults defaults;
  std::error_code ec;
  const std::filesystem::path root = RootCertificate(defaults);
  const bool office_authority = !root.empty() && std::filesystem::is_regular_file(root, ec);
  bool verify = false;
  if (!defaults.Decided("sslmode", "PGSSLMODE")) {
    verify = office_authority;
    settings.emplace_back("sslmode", verify ? "verify-full" : "prefer");
  }
  if (!defaults.Decided("channel_binding", "PGCHANNELBINDING") && (verify || !this_machine))
    settings.emplace_back("channel_binding", "require");
  // Of a primary and its standbys, the one that takes writes.
  if (list.hosts.size() > 1 && !defaults.Decided("target_session_attrs", "PGTARGETSESSIONATTRS"))
    settings.emplace_back("target_session_attrs", "read-write");

  std::vector<const char*> keys, values;
  for (const auto& [key, value] : settings) {
    keys.push_back(key);
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  return ThroughHostList(PQconnectdbParams(keys.data(), values.data(), 0));
}

int ConnectStatus(PGconn* conn, AuthFailure* why) {
  if (why != nullptr) *why = AuthFailure::kNone;
  const std::string message = PQerrorMessage(conn);
  auto has = [&](const char* text) { return message.find(text) != std::string::npos; };
  // With several hosts the message tells each one's failure; a server that could not be
  // authenticated counts first, whatever the others said.
  AuthFailure failure = AuthFailure::kNone;
  if (has("does not support SSL"))
    failure = AuthFailure::kNoEncryption;
  else if (has("does not match host name") || has("host name from server certificate"))
    failure = AuthFailure::kWrongHostName;
  else if (has("certificate"))
    failure = AuthFailure::kUnknownAuthority;
  else if (has("channel binding"))
    failure = AuthFailure::kNoChannelBinding;
  if (failure != AuthFailure::kNone) {
    if (why != nullptr) *why = failure;
    return kServerUnverified;
  }
  if (has("password authentication failed") || has("no password supplied") ||
      (has("role") && has("does not exist")))
    return kBadCredentials;
  if (has("database") && has("does not exist")) return kAccountNotFound;
  // Servers answered, but each one reached is a standby (target_session_attrs=read-write).
  if (has("session is read-only") || has("server is in hot standby mode")) return kNoPrimary;
  return kServerUnreachable;
}

}  // namespace cortevane::db::postgres
