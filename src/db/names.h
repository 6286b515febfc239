// The one gate for names that become part of a store's schema: file names (which may contain
// a user name: COMPTEUR_USER, CIVILAIDE_USER) and user names. A name is accepted when it is
// 1 to 63 bytes of letters, digits, '_', '.', '-' or '$', starting with a letter or digit;
// anything else (quotes, semicolons, blanks, control characters, marks) is refused with
// kBadName and never reaches a statement.
#pragma once

#include <string>
#include <string_view>

namespace cortevane::db {

int ValidateName(std::string_view name);

// The table name a store uses for file `name` (already validated): "f_" + name in lower case
// with '.', '-', '$' replaced by '_', quoted for SQL. Returns the empty text when the name is
// refused. Two names can share a table name ("CIVILAIDE" and "civilaide", "A.B" and "A_B"): a
// store refuses to create the second one with kFileExists rather than mixing their records.
std::string QuotedTableName(std::string_view name);

}  // namespace cortevane::db
