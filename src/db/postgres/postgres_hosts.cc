// An office's host list past a server that refuses the connection.
//
// libpq tries the hosts of a list in turn while they cannot be reached or do not take writes
// (target_session_attrs), but it stops at the first server that answers the start of a
// session with an error: a standby still starting up, one that has not yet replayed the
// account's database, a server at its connection limit. A later host of the list may be the
// primary, freshly promoted while the old one comes back as a standby, so a laptop whose list
// names the old primary first would be refused until the standby is ready. Here the list is
// tried again from the host after the one that refused, the hosts before it last; each try
// starts one host further, so the wait stays bounded by a pass over the list per host.
#include <libpq-fe.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db::postgres {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

// The settings `conn` was made with, as PQconninfo gives them (libpq's defaults resolved).
Settings SettingsOf(PGconn* conn) {
  Settings settings;
  PQconninfoOption* options = PQconninfo(conn);
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o)
    if (o->val != nullptr) settings.emplace_back(o->keyword, o->val);
  PQconninfoFree(options);
  return settings;
}

std::string* Setting(Settings& settings, const std::string& key) {
  for (auto& [k, v] : settings)
    if (k == key) return &v;
  return nullptr;
}

std::vector<std::string> Split(const std::string* list) {
  std::vector<std::string> parts;
  if (list == nullptr) return parts;
  size_t start = 0;
  for (size_t comma; (comma = list->find(',', start)) != std::string::npos; start = comma + 1)
    parts.push_back(list->substr(start, comma - start));
  parts.push_back(list->substr(start));
  return parts;
}

PGconn* Connect(const Settings& settings) {
  std::vector<const char*> keys, values;
  for (const auto& [key, value] : settings) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  return PQconnectdbParams(keys.data(), values.data(), 0);
}

// The position in its list of the host where the failed `conn` stopped, or -1.
int StoppedAt(PGconn* conn, const std::vector<std::string>& names,
              const std::vector<std::string>& ports) {
  const std::string host = PQhost(conn) != nullptr ? PQhost(conn) : "";
  const std::string port = PQport(conn) != nullptr ? PQport(conn) : "";
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == host && (ports.size() != names.size() || ports[i] == port))
      return static_cast<int>(i);
  return -1;
}

}  // namespace

PGconn* ThroughHostList(PGconn* conn) {
  if (PQstatus(conn) == CONNECTION_OK) return conn;
  Settings settings = SettingsOf(conn);
  // The lists that name the hosts, entry for entry (a single port serves every host).
  const std::vector<std::string> hosts = Split(Setting(settings, "host"));
  const std::vector<std::string> addresses = Split(Setting(settings, "hostaddr"));
  const size_t count = std::max(hosts.size(), addresses.size());
  if (count < 2) return conn;
  std::vector<std::string> names(count), ports = Split(Setting(settings, "port"));
  for (size_t i = 0; i < count; ++i)
    names[i] = i < hosts.size() && !hosts[i].empty() ? hosts[i] : addresses.at(i);

  // The failure told when no host takes the session: the first refusal, for the hosts in the
  // order given, unless a later try met a server that could not be authenticated.
  PGconn* told = conn;
  PGconn* last = conn;
  for (size_t attempt = 1; attempt < count; ++attempt) {
    const int stop = StoppedAt(last, names, ports);
    if (stop < 0 || stop + 1 == static_cast<int>(count)) break;  // every host was tried
    for (const char* key : {"host", "hostaddr", "port"}) {
      std::string* value = Setting(settings, key);
      std::vector<std::string> entries = Split(value);
      if (entries.size() != count) continue;
      std::rotate(entries.begin(), entries.begin() + stop + 1, entries.end());
      value->clear();
      for (size_t i = 0; i < count; ++i) *value += (i ? "," : "") + entries[i];
    }
    std::rotate(names.begin(), names.begin() + stop + 1, names.end());
    if (ports.size() == count) std::rotate(ports.begin(), ports.begin() + stop + 1, ports.end());
    if (last != told) PQfinish(last);
    last = Connect(settings);
    if (PQstatus(last) == CONNECTION_OK) {
      PQfinish(told);
      return last;
    }
    if (ConnectStatus(last) == kServerUnverified && ConnectStatus(told) != kServerUnverified) {
      PQfinish(told);
      told = last;
    }
  }
  if (last != told) PQfinish(last);
  return told;
}

PGconn* Reopen(PGconn* conn) { return ThroughHostList(Connect(SettingsOf(conn))); }

}  // namespace cortevane::db::postgres
