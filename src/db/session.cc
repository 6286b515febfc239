#include "db/session.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/names.h"
#include "db/status.h"
#include "db/store.h"
#include "db/store_factory.h"

namespace cortevane::db {
namespace {

// Every connected session of the process, by account identity, so that file pointers and
// IMPORTDONNEES can reach an account through the session already connected to it. Several
// sessions may share an identity; the first connected is found.
struct Registry {
  std::mutex mutex;
  std::vector<std::pair<std::string, Session*>> sessions;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

void Register(const std::string& identity, Session* session) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.sessions.emplace_back(identity, session);
}

void Unregister(Session* session) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.sessions, [&](const auto& entry) { return entry.second == session; });
}

// A pointer may lead to another pointer; a chain longer than this is taken for a loop.
constexpr int kMaxPointerHops = 8;

}  // namespace

Session::Session() = default;

Session::~Session() { Disconnect(); }

int Session::Connect() {
  auth_failure_ = AuthFailure::kNone;
  if (store_) return error_ = kAlreadyConnected;
  if (database_type_ != 2) return error_ = kBadDatabaseType;
  std::shared_ptr<Store> store;
  int status;
  if (IsFolderAccountPath(account_path_)) {
    if (!IsLocalHost(host_name_)) return error_ = kRemoteHostForFolder;
    status = OpenEmbeddedStore(account_path_, user_name_, password_, &store);
  } else if (account_path_.empty()) {
    status = kAccountNotFound;
  } else {
    status = OpenOfficeStore(host_name_, account_path_, user_name_, password_, &store,
                             &auth_failure_, on_wait_);
  }
  if (status != kOk) return error_ = status;
  AttachStore(std::move(store));
  return error_ = kOk;
}

void Session::AttachStore(std::shared_ptr<Store> store) {
  Disconnect();
  store_ = std::move(store);
  if (store_ && on_wait_) store_->SetWaitObserver(on_wait_);
  if (store_ && !account_path_.empty()) {
    registry_key_ = AccountIdentity(host_name_, account_path_);
    Register(registry_key_, this);
  }
}

void Session::SetWaitObserver(WaitObserver observer) {
  on_wait_ = std::move(observer);
  if (store_) store_->SetWaitObserver(on_wait_);
}

void Session::Disconnect() {
  if (!registry_key_.empty()) {
    Unregister(this);
    registry_key_.clear();
  }
  // Files and routines hold the store weakly: once the last owner lets go, they report
  // kNotConnected, and the store's reservations are released.
  store_.reset();
}

std::unique_ptr<DbFile> Session::OpenFile(std::string_view name) {
  if (!store_) {
    error_ = kNotConnected;
    return nullptr;
  }
  if (ValidateName(name) != kOk) {
    error_ = kBadName;
    return nullptr;
  }
  std::shared_ptr<Store> store = store_;
  std::string file(name);
  for (int hop = 0;; ++hop) {
    if (store->FileExists(file)) break;
    // A store whose server went away finds no file at all: say so, not "no such file". Asked
    // at once, since the store's next request would connect again and hide the loss.
    if (const int health = store->Health(); health != kOk) {
      error_ = health;
      return nullptr;
    }
    std::optional<PointerTarget> target = store->Pointer(file);
    if (!target) {
      error_ = store->Health() != kOk ? store->Health() : kNoSuchFile;
      return nullptr;
    }
    Session* other = FindConnected(target->host, target->account);
    if (!other || hop >= kMaxPointerHops) {
      error_ = kPointerTargetAbsent;
      return nullptr;
    }
    store = other->store();
    file = target->file;
  }
  error_ = kOk;
  return std::make_unique<DbFile>(std::move(store), std::move(file));
}

std::unique_ptr<DbSubroutine> Session::Subroutine(std::string_view name, int arg_count) {
  if (!store_) {
    error_ = kNotConnected;
    return nullptr;
  }
  if (arg_count < 0) {
    error_ = kBadArgument;
    return nullptr;
  }
  error_ = kOk;
  return std::make_unique<DbSubroutine>(this, std::string(name), arg_count);
}

Session* Session::FindConnected(std::string_view host, std::string_view account_path) {
  const std::string identity = AccountIdentity(host, account_path);
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const auto& [key, session] : r.sessions)
    if (key == identity) return session;
  if (IsFolderAccountPath(account_path)) return nullptr;
  Session* found = nullptr;
  for (const auto& [key, session] : r.sessions) {
    if (IsFolderAccountPath(session->AccountPath()) || session->AccountPath() != account_path)
      continue;
    if (found != nullptr && found != session) return nullptr;
    found = session;
  }
  return found;
}

}  // namespace cortevane::db
