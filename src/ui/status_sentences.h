// What a failure's number means to the user. Boxes that report a failure by its number
// ("Error Code 32007", "Impossible d'exécuter la commande : 33006", "copie impossible
// (erreur 20)") keep that line as it is and add, on a second line, the plain French sentence
// of this one table, for the failures the program meets in use: persons still on the laptop,
// the office base out of reach, a record or the whole base held by someone else, a read-only
// base, a damaged base (with the command that checks it), a full disk, a folder that cannot be
// written; and, for the connection, a base not found, a user unknown or a password wrong.
//
// One number space serves both kinds: database statuses (db/status.h) are 30000 and above;
// the copy of scanned documents reports system error numbers (errno), which are below.
#pragma once

#include <string>
#include <string_view>

#include "db/status.h"

namespace cortevane::ui {

// Which base a failure concerns, for the sentences that name it: the account path (a laptop
// folder, or an office database) and its server. Unknown: the sentence says "la base".
struct Place {
  enum Base { kUnknown, kLaptop, kOffice };
  Base base = kUnknown;
  std::string path;
  std::string host;
};

// The sentence for `status`, or empty when the number has none (its line stays alone).
std::string StatusSentence(int status, const Place& place = {});

// What a failure names when another connection holds `file` on the server (kFileBusy):
// "fichier AIDEINTERV occupé sur le serveur".
std::string BusyFileText(std::string_view file);

// `first_line`, then "\r\n" and the sentence of `status` when it has one.
std::string WithStatusSentence(std::string_view first_line, int status, const Place& place = {});

// The sentence of a server that could not be authenticated, with its reason: "Le serveur du
// bureau n'a pas pu être authentifié : il ne propose pas de connexion chiffrée.".
std::string ServerNotAuthenticatedSentence(db::AuthFailure why);

}  // namespace cortevane::ui
