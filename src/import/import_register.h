// The register of persons taken out to laptops (server file SDEXPORTAIDES, one record per
// person: user, date, time). The import checks every chosen person against it before writing
// anything, then registers every person in one transaction that writes only where the register
// is still free, so that two users taking out the same person at the same moment cannot both
// succeed; whatever an import wrote is withdrawn when it cannot finish.
#pragma once

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

// Registers `codes` with `record` (user, date, time): every record written where the register
// has none under its code, all in one transaction (one request to an office server), so two
// users taking out the same person at the same moment cannot both succeed. On kTaken or
// kFailed nothing of this call is left in the register.
Registration RegisterPersons(db::DbFile& file, const std::vector<std::string>& codes,
                             const db::DynArray& record);

// Deletes the register records of `codes` that still belong to `user` (others are left: they
// are not ours to remove). Returns the first failing status, 0 when all went well.
int WithdrawRegistrations(db::DbFile& file, const std::vector<std::string>& codes,
                          std::string_view user);

}  // namespace cortevane::import
