// The office store's catalogue: files (one table each), file pointers, catalogued routines.
#include <libpq-fe.h>

#include "db/names.h"
#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::Cell;
using postgres::PgTableName;
using postgres::Result;

std::string PostgresStore::Table(std::string_view file, int* status) {
  std::string table = PgTableName(file);
  if (table.empty()) {
    *status = kBadName;
    return {};
  }
  const FileKnowledge* known = nullptr;
  *status = Know(file, false, &known);
  return *status == kOk ? table : std::string();
}

bool PostgresStore::FileExists(std::string_view file) {
  const FileKnowledge* known = nullptr;
  return Know(file, true, &known) == kOk;
}

int PostgresStore::CreateFile(std::string_view file) {
  std::string table = PgTableName(file);
  if (table.empty()) return kBadName;
  // A file and a pointer never share a name: OpenFile could not tell which is meant.
  if (FileExists(file) || Pointer(file)) return kFileExists;
  // The catalogue entry and the table in one statement (cv_new_file): two names that fold to
  // one table ("A.B" and "A_B", or long names alike as far as PgTableName keeps them) clash
  // on the catalogue's unique index, so of two connections creating them at once the second
  // waits for the first and is told the file exists.
  Result r(Exec("SELECT cv_new_file($1::text, $2::text)",
                {std::string(file), table.substr(1, table.size() - 2)}));
  Forget(file);
  if (Ok(r.get())) return kOk;
  const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
  const std::string_view code = state != nullptr ? state : "";
  if (code == "23505" || code == "42P07") return kFileExists;
  if (code == "42501") return kNotPermitted;
  return Failure(r.get(), file);
}

int PostgresStore::DropFile(std::string_view file) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  status = Atomically([&] {
    // The entry first: the drop waits for the writes under way on the file.
    Result a(Exec("DELETE FROM cv_files WHERE name = $1", {std::string(file)}));
    if (!Ok(a.get())) return Failure();
    if (std::string(PQcmdTuples(a.get())) == "0") return static_cast<int>(kNoSuchFile);
    Result t(Exec("DROP TABLE " + table, {}));
    Result b(Exec("DELETE FROM cv_dict WHERE file = $1", {std::string(file)}));
    Result c(Exec("DELETE FROM cv_index WHERE file = $1", {std::string(file)}));
    return Ok(t.get()) && Ok(b.get()) && Ok(c.get()) ? static_cast<int>(kOk) : Failure();
  });
  Forget(file);
  return status;
}

int PostgresStore::ListFiles(std::vector<std::string>* files) {
  Result r(Exec("SELECT name FROM cv_files ORDER BY name", {}));
  if (!Ok(r.get())) return Failure();
  files->clear();
  for (int i = 0; i < PQntuples(r.get()); ++i) files->push_back(Cell(r.get(), i, 0));
  return kOk;
}

int PostgresStore::SetPointer(std::string_view name, const PointerTarget& target) {
  if (ValidateName(name) != kOk || ValidateName(target.file) != kOk) return kBadName;
  if (FileExists(name)) return kFileExists;
  Result r(
      Exec("INSERT INTO cv_pointers (name, host, account, file) VALUES ($1, $2, $3, $4) "
           "ON CONFLICT (name) DO UPDATE SET host = EXCLUDED.host, account = EXCLUDED.account, "
           "file = EXCLUDED.file",
           {std::string(name), target.host, target.account, target.file}));
  return Ok(r.get()) ? kOk : Failure();
}

std::optional<PointerTarget> PostgresStore::Pointer(std::string_view name) {
  Result r(
      Exec("SELECT host, account, file FROM cv_pointers WHERE name = $1", {std::string(name)}));
  if (!Ok(r.get()) || PQntuples(r.get()) == 0) return std::nullopt;
  return PointerTarget{Cell(r.get(), 0, 0), Cell(r.get(), 0, 1), Cell(r.get(), 0, 2)};
}

int PostgresStore::CatalogueRoutine(std::string_view routine) {
  Result r(Exec("INSERT INTO cv_routines (name) VALUES ($1) ON CONFLICT DO NOTHING",
                {std::string(routine)}));
  return Ok(r.get()) ? kOk : Failure();
}

bool PostgresStore::RoutineCatalogued(std::string_view routine) {
  // Every call of a routine asks; a routine once catalogued stays so.
  if (catalogued_.count(std::string(routine))) return true;
  Result r(Exec("SELECT 1 FROM cv_routines WHERE name = $1", {std::string(routine)}));
  if (!Ok(r.get()) || PQntuples(r.get()) == 0) return false;
  catalogued_.insert(std::string(routine));
  return true;
}

}  // namespace cortevane::db
