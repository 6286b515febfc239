#include "db/routines.h"

#include "db/session.h"
#include "db/status.h"
#include "db/store.h"

namespace cortevane::db {

int CallRoutine(Session& session, std::string_view name, std::vector<std::string>& args) {
  const std::shared_ptr<Store>& store = session.store();
  if (!store) return kNotConnected;
  if (!store->RoutineCatalogued(name)) return kNoSuchRoutine;
  // Both routines take the three-argument convention: 0 and 1 in, 2 out.
  if (args.size() < 3) return kBadArgument;
  if (name == kDbaSelect) return DbaSelect(*store, args[1], &args[2]);
  if (name == kImportDonnees) return ImportDonnees(session, args[0], args[1], &args[2]);
  return kNoSuchRoutine;  // catalogued, but this program has no such routine
}

}  // namespace cortevane::db
