// How a session's properties become a store: which account paths are embedded folders, which
// host names are this machine, and the one place that opens each kind of store. Session uses
// it; the admin tool and the tests use the same rules.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "db/status.h"
#include "db/store.h"

namespace cortevane::db {

// True for a host name that means this machine: empty, ".", "localhost", "127.0.0.1", "::1"
// or the machine's own host name, compared without regard to letter case.
bool IsLocalHost(std::string_view host);

// True when the account path names a folder: an absolute POSIX path or a drive path
// ("C:\KESTA\BASE"); any other account path names a PostgreSQL database.
bool IsFolderAccountPath(std::string_view account_path);

// The folder of an embedded account on this machine (drive paths mapped), made canonical
// when it exists, so that two spellings of one folder compare equal.
std::filesystem::path EmbeddedFolder(std::string_view account_path);

// The identity of the account (host, account path) for Session::FindConnected: embedded
// accounts by their canonical folder whatever the local host name; PostgreSQL databases by
// host (lower case, port 5432 made explicit, each host of a list) and database name.
std::string AccountIdentity(std::string_view host, std::string_view account_path);

// Opens an embedded account and authenticates the user (name in any case). kAccountNotFound,
// kAccountCorrupt, kBadName, kBadCredentials.
int OpenEmbeddedStore(std::string_view account_path, std::string_view user,
                      std::string_view password, std::shared_ptr<Store>* store);

// Opens a PostgreSQL database `database` on `host` ("name" or "name:port", or a
// comma-separated list of them) with the user's credentials: kAccountNotFound (also for a name
// that cannot be a database), kAccountCorrupt, kBadCredentials, kServerUnverified (with
// *why when given), kServerUnreachable (after a bounded connect timeout). `on_wait` is told
// about the waits for the server, connecting included (Store::SetWaitObserver).
int OpenOfficeStore(std::string_view host, std::string_view database, std::string_view user,
                    std::string_view password, std::shared_ptr<Store>* store,
                    AuthFailure* why = nullptr, WaitObserver on_wait = {});

}  // namespace cortevane::db
