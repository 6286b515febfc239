// The catalogued routines an account can run. A call names the routine and passes its
// arguments as texts; the routine may replace any of them (argument 2 is the result by
// convention). Calling a routine that the session's account does not catalogue gives
// kNoSuchRoutine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cortevane::db {

class Session;
class Store;

inline constexpr std::string_view kDbaSelect = "DBA.SELECT";
inline constexpr std::string_view kImportDonnees = "IMPORTDONNEES";

int CallRoutine(Session& session, std::string_view name, std::vector<std::string>& args);

// DBA.SELECT over a store: `request` is field 1 the sentence, field 2 the file name, field 3
// the wanted field numbers separated by single blanks ("0": the key). *result gets one field
// per selected record, one value per wanted field (a wanted field's own value marks lowered
// to subvalue marks); the empty text when nothing is selected.
int DbaSelect(Store& store, std::string_view request, std::string* result);

// IMPORTDONNEES, run by the server session: argument 0
// "USER|laptop host|laptop path|server host|server path", argument 1 one person code a field.
int ImportDonnees(Session& server, const std::string& arg0, const std::string& arg1,
                  std::string* arg2);

}  // namespace cortevane::db
