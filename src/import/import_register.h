// The register of persons taken out to laptops (server file SDEXPORTAIDES, one record per
// person: user, date, time). The import checks every chosen person against it before writing
// anything, then registers each person under a reservation of its record, so that two users
// taking out the same person at the same moment cannot both succeed; whatever an import wrote
// is withdrawn when it cannot finish.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/dyn_array.h"

namespace cortevane::db {
class DbFile;
}

namespace cortevane::import {

// What the register says about a selection, before anything is written.
struct RegisterVerdict {
  enum Kind {
    kClear,           // no chosen person is out and the user has nothing out
    kUserHasRecords,  // the user still has persons out: an export must come first
    kAlreadyOut,      // `code` is out with `holder`
  };
  Kind kind = kClear;
  std::string holder;
  std::string code;
};

// `rows` is the register query's result in key order (value 1 the code, value 2 the user);
// `codes` the chosen persons in list order; `user` in upper case. For each chosen person in
// turn, the first row that either belongs to the user or carries that person's code decides;
// the first person so stopped gives the verdict. Runs in time linear in rows + codes.
RegisterVerdict CheckRegister(const db::DynArray& rows, const std::vector<std::string>& codes,
                              std::string_view user);

// Outcome of writing the registrations.
struct Registration {
  enum Result {
    kDone,    // every code registered
    kTaken,   // `code` was registered by `holder` since the check; nothing of ours is left
    kFailed,  // a store operation failed with `status`; nothing of ours is left
  };
  Result result = kDone;
  int status = 0;
  std::string holder;
  std::string code;
};

// Registers `codes` in order with `record` (user, date, time). Each record is reserved, re-read
// under the lock, written only when still absent, and freed. On kTaken or kFailed the records
// this call wrote are withdrawn before it returns. `progress` is told before each code (count
// done so far).
Registration RegisterPersons(db::DbFile& file, const std::vector<std::string>& codes,
                             const db::DynArray& record,
                             const std::function<void(int done)>& progress = {});

// Deletes the register records of `codes` that still belong to `user` (others are left: they
// are not ours to remove). Returns the first failing status, 0 when all went well.
int WithdrawRegistrations(db::DbFile& file, const std::vector<std::string>& codes,
                          std::string_view user);

}  // namespace cortevane::import
