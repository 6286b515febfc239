// Status codes of the database layer. Every operation reports through one of these: 0 is
// success, 30001 is the one failure callers interpret (no such record); the rest are this
// project's own, so a message can name what went wrong. No exception crosses the layer.
#pragma once

namespace cortevane::db {

enum Status : int {
  kOk = 0,
  kRecordNotFound = 30001,  // the record does not exist

  // Session and connection.
  kNotConnected = 31001,         // the session is not connected (or was disconnected)
  kBadCredentials = 31002,       // unknown user or wrong password
  kAccountNotFound = 31003,      // the account path names no account
  kAccountCorrupt = 31004,       // the account exists but cannot be read (damaged store)
  kRemoteHostForFolder = 31005,  // a folder account path with a host that is not this machine
  kServerUnreachable = 31006,    // the database server did not answer in time
  kAlreadyConnected = 31007,     // Connect on a session that is connected
  kBadDatabaseType = 31008,      // DataBaseType is not 2
  kAccountExists = 31009,        // creating an account where there is one already
  kNotPermitted = 31010,         // the server refuses the user a right the work needs (roles)
  kOutcomeUnknown = 31012,       // the connection was lost after COMMIT left: it may have been done
  kServerUnverified = 31011,     // the server could not be authenticated; no password was sent
  kNoPrimary = 31013,            // the office's servers answer, but none takes writes (standbys)

  // Files and records.
  kNoSuchFile = 32001,           // the account catalogues no file of that name
  kBadName = 32002,              // a file or user name the store refuses (quotes, marks, ...)
  kNoKey = 32003,                // SetKey was not called, or the key is empty
  kFileExists = 32004,           // creating a file that exists already
  kPointerTargetAbsent = 32005,  // a file pointer whose account has no connected session here
  kIoError = 32006,              // the store failed to read or write (disk, server)
  kLockTimeout = 32007,          // ReserveRecord could not get the lock in time
  kNotReserved = 32008,          // FreeRecord without a reservation
  kRecordTooLarge = 32009,       // a record beyond the store's limit
  kBaseBusy = 32010,             // another program holds the base's write lock past the wait
  kReadOnlyAccount = 32011,      // a write to an account opened for reading only (read-only medium)
  kConditionFailed = 32012,      // a conditional change found another record than it expects
  kFileChanged = 32013,          // the file or its dictionary changed under a selection (Store)
  kDiskFull = 32014,             // the store's disk (or the server's) has no room left
  kFileBusy = 32015,  // another connection holds the file past the wait (Store::BusyFile)

  // Catalogued routines.
  kNoSuchRoutine = 33001,       // the account does not catalogue the routine
  kBadArgument = 33002,         // an argument index or an argument's content is wrong
  kQuerySyntax = 33003,         // a query sentence that does not parse
  kQueryUnknownFile = 33004,    // a query naming a file the account does not have
  kQueryUnknownItem = 33005,    // a query naming an item the dictionary does not define
  kLaptopNotEmpty = 33006,      // IMPORTDONNEES on a laptop whose persons file holds records
  kLaptopNotConnected = 33007,  // IMPORTDONNEES without a session connected to the laptop
  kMissingParameters = 33008,   // IMPORTDONNEES without SDPARAMEXPORT records it needs
  kUserExists = 33009,          // adding a user that exists already
};

// Why a server could not be authenticated (kServerUnverified).
enum class AuthFailure {
  kNone,
  kNoEncryption,      // it offered no TLS where TLS was required
  kUnknownAuthority,  // its certificate is not signed by an authority this machine trusts
  kWrongHostName,     // its certificate names another host than the one reached
  kNoChannelBinding,  // it asked for the password without SCRAM bound to the TLS channel
};

// A short English description of a status, for tools and logs.
const char* StatusText(int status);
// The same for the reason a server could not be authenticated: "its certificate ...".
const char* AuthFailureText(AuthFailure why);

}  // namespace cortevane::db
