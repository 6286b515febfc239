#include "db/store_factory.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <system_error>

#include "db/names.h"
#include "db/postgres/postgres_internal.h"
#include "db/postgres/postgres_store.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "platform/drive_mapping.h"

namespace cortevane::db {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string MachineName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace

bool IsLocalHost(std::string_view host) {
  const std::string h = Lower(host);
  if (h.empty() || h == "." || h == "localhost" || h == "127.0.0.1" || h == "::1" || h == "[::1]")
    return true;
  const std::string machine = Lower(MachineName());
  if (machine.empty()) return false;
  // The machine's name, or its fully qualified form ("vm" and "vm.example.org").
  return h == machine || (h.size() > machine.size() && h.compare(0, machine.size(), machine) == 0 &&
                          h[machine.size()] == '.');
}

bool IsFolderAccountPath(std::string_view account_path) {
  return (!account_path.empty() && account_path.front() == '/') ||
         platform::IsDrivePath(account_path);
}

std::filesystem::path EmbeddedFolder(std::string_view account_path) {
  std::filesystem::path folder = platform::MapPath(account_path);
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, ec);
  return ec ? folder.lexically_normal() : canonical;
}

std::string AccountIdentity(std::string_view host, std::string_view account_path) {
  if (IsFolderAccountPath(account_path)) {
    // A folder on another machine is no account of this process's sessions.
    if (!IsLocalHost(host)) return "remote-folder:" + Lower(host) + ":" + std::string(account_path);
    return "folder:" + EmbeddedFolder(account_path).string();
  }
  const postgres::HostList list = postgres::SplitHosts(Lower(host));
  std::string hosts;
  for (size_t i = 0; i < list.hosts.size(); ++i) {
    const std::string& h = list.hosts[i];
    hosts += (i ? "," : "") + (IsLocalHost(h) ? std::string("localhost") : h) + ":" + list.ports[i];
  }
  return "postgresql:" + hosts + "/" + std::string(account_path);
}

int OpenEmbeddedStore(std::string_view account_path, std::string_view user,
                      std::string_view password, std::shared_ptr<Store>* store) {
  store->reset();
  std::shared_ptr<SqliteStore> sqlite;
  if (int s = SqliteStore::Open(EmbeddedFolder(account_path), &sqlite)) return s;
  if (int s = sqlite->Authenticate(user, password)) return s;
  *store = std::move(sqlite);
  return kOk;
}

int OpenOfficeStore(std::string_view host, std::string_view database, std::string_view user,
                    std::string_view password, std::shared_ptr<Store>* store, AuthFailure* why,
                    WaitObserver on_wait) {
  store->reset();
  if (ValidateName(database) != kOk) return kAccountNotFound;
  PgAddress address{std::string(host), std::string(database), std::string(user),
                    std::string(password)};
  int status = kOk;
  auto office = PostgresStore::Connect(address, &status, why, std::move(on_wait));
  if (status != kOk) return status;
  *store = std::move(office);
  return kOk;
}

}  // namespace cortevane::db
