// The embedded store's account: creating and opening the folder's database, its users, and
// the catalogue of files, dictionaries, routines and file pointers.
#include <fcntl.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <system_error>

#include "db/dyn_array.h"
#include "db/names.h"
#include "db/routines.h"
#include "db/sqlite/sqlite_internal.h"
#include "db/status.h"

namespace cortevane::db {
namespace {

// Written in the meta table at creation; an account of another format is refused as damaged
// rather than misread.
constexpr const char* kFormat = "cortevane-account 1";

// A writer waits this long for another process's transaction before giving up.
constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema = R"sql(
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE files (name TEXT PRIMARY KEY, tbl TEXT NOT NULL UNIQUE);
CREATE TABLE dict (file TEXT NOT NULL, item TEXT NOT NULL, field INTEGER NOT NULL,
                   first INTEGER NOT NULL, right INTEGER NOT NULL, indexed INTEGER NOT NULL,
                   PRIMARY KEY (file, item));
CREATE TABLE idx (file TEXT NOT NULL, item TEXT NOT NULL, value BLOB NOT NULL, key BLOB NOT NULL,
                  PRIMARY KEY (file, item, value, key)) WITHOUT ROWID;
CREATE INDEX idx_by_key ON idx (file, key);
CREATE TABLE routines (name TEXT PRIMARY KEY);
CREATE TABLE pointers (name TEXT PRIMARY KEY, host TEXT NOT NULL, account TEXT NOT NULL,
                       file TEXT NOT NULL);
CREATE TABLE users (name TEXT PRIMARY KEY, hash TEXT NOT NULL);
)sql";

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

std::string Upper(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Settings of every connection. WAL: readers never block the writer; FULL: a commit is on
// disk when it returns. cell_size_check: a damaged page is reported as damaged when it is
// read, not trusted. A read-only database keeps the journal mode its header holds.
int Pragmas(sqlite3* db, bool read_only) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  const char* pragmas = read_only ? "PRAGMA cell_size_check=ON;"
                                  : "PRAGMA cell_size_check=ON; PRAGMA journal_mode=WAL; "
                                    "PRAGMA synchronous=FULL;";
  return SqliteStatus(sqlite3_exec(db, pragmas, nullptr, nullptr, nullptr));
}

// One-row, one-column query used while opening, before a store exists.
int QueryText(sqlite3* db, const char* sql, std::string* out) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(stmt, 0);
    out->assign(t ? reinterpret_cast<const char*>(t) : "");
  }
  sqlite3_finalize(stmt);
  return rc;
}

// The bytes of an empty account's database, made in memory.
int EmptyAccountImage(bool server, std::string* image) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(db);
    return kIoError;
  }
  std::string script = std::string(kSchema) + "INSERT INTO meta VALUES ('format', '" + kFormat +
                       "');" + "INSERT INTO meta VALUES ('kind', '" +
                       (server ? "server" : "laptop") + "');" + "INSERT INTO routines VALUES ('" +
                       std::string(kDbaSelect) + "');";
  if (server) script += "INSERT INTO routines VALUES ('" + std::string(kImportDonnees) + "');";
  sqlite3_int64 size = 0;
  unsigned char* bytes = nullptr;
  if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
    bytes = sqlite3_serialize(db, "main", &size, 0);
  sqlite3_close_v2(db);
  if (!bytes) return kIoError;
  image->assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  sqlite3_free(bytes);
  return kOk;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return fsync(fd) == 0;
}

// Gives the folder's database its name if nothing has it yet: a link fails rather than
// replace, so of two creates at once exactly one places its database.
int LinkInPlace(int dir, const char* from, int from_dir, int flags) {
  if (linkat(from_dir, from, dir, SqliteStore::kDatabaseName, flags) == 0) return kOk;
  return errno == EEXIST ? kAccountExists : kIoError;
}

// Writes `image` into the folder `dir` under the database's name, whole or not at all. The
// bytes go first to a file without a name (a create killed before the link leaves nothing);
// a file system without such files gets a named temporary file, which this create removes
// whatever happens, short of being killed.
int PlaceImage(int dir, std::string_view image) {
  int fd = openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd >= 0) {
    int status = WriteAll(fd, image) ? kOk : kIoError;
    if (status == kOk) {
      const std::string self = "/proc/self/fd/" + std::to_string(fd);
      status = LinkInPlace(dir, self.c_str(), AT_FDCWD, AT_SYMLINK_FOLLOW);
    }
    close(fd);
    if (status != kIoError) return status;
    // No /proc to name the unnamed file by: the named way below.
  }
  unsigned char random[8];
  randombytes_buf(random, sizeof random);
  std::string temp = ".account-" + std::to_string(getpid()) + "-";
  for (unsigned char b : random) temp += "0123456789abcdef"[b & 15];
  temp += ".tmp";
  fd = openat(dir, temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) return kIoError;
  int status = WriteAll(fd, image) ? kOk : kIoError;
  close(fd);
  if (status == kOk) status = LinkInPlace(dir, temp.c_str(), dir, 0);
  unlinkat(dir, temp.c_str(), 0);
  return status;
}

// Turns `path` into a URI filename (the query part carries the read-only options).
std::string FileUri(const std::filesystem::path& path) {
  std::string uri = "file:";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += "0123456789ABCDEF"[c >> 4];
      uri += "0123456789ABCDEF"[c & 15];
    }
  }
  return uri;
}

bool OnReadOnlyMedium(const std::filesystem::path& folder) {
  struct statvfs fs;
  return statvfs(folder.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

}  // namespace

int SqliteStore::Create(const std::filesystem::path& folder, bool server) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) return kIoError;
  // A write-ahead log without its database is what is left of another account: a new
  // database beside it would be read through it.
  for (const char* name : {kDatabaseName, "account.db-wal"})
    if (std::filesystem::exists(folder / name, ec) || ec) return kAccountExists;
  // Built aside, then put in place only if nothing is there: nobody ever sees half an account,
  // and a create that finds one removes nothing.
  std::string image;
  if (int s = EmptyAccountImage(server, &image)) return s;
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return kIoError;
  int status = PlaceImage(dir, image);
  if (status == kOk && fsync(dir) != 0) status = kIoError;
  close(dir);
  return status;
}

int SqliteStore::Open(const std::filesystem::path& folder, std::shared_ptr<SqliteStore>* store) {
  store->reset();
  if (!SodiumReady()) return kIoError;
  std::error_code ec;
  const auto path = folder / kDatabaseName;
  if (!std::filesystem::is_directory(folder, ec) || !std::filesystem::is_regular_file(path, ec))
    return kAccountNotFound;
  // On a read-only medium the account is read where it is: without its write-ahead log it
  // cannot change under us (immutable), with one SQLite reads the log into memory.
  const bool read_only = OnReadOnlyMedium(folder);
  std::string uri = FileUri(path);
  int flags = SQLITE_OPEN_URI;
  if (read_only) {
    flags |= SQLITE_OPEN_READONLY;
    uri += std::filesystem::exists(folder / "account.db-wal", ec) ? "?mode=ro"
                                                                  : "?mode=ro&immutable=1";
  } else {
    flags |= SQLITE_OPEN_READWRITE;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(uri.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    return kIoError;
  }
  // Only what opening needs is read: the header, the schema and the format row (a file that
  // is not an SQLite database fails here, an SQLite database that is not an account has no
  // format row). Damaged pages elsewhere are met, and reported, by the operations that read
  // them; `account check` reads every page.
  std::string format;
  int status = Pragmas(db, read_only);
  if (status == kOk) {
    int rc = QueryText(db, "SELECT value FROM meta WHERE key = 'format'", &format);
    if (rc == SQLITE_ROW)
      status = format == kFormat ? kOk : kAccountCorrupt;
    else if (rc == SQLITE_DONE || (rc & 0xFF) == SQLITE_ERROR)  // no row, or no meta table
      status = kAccountCorrupt;
    else
      status = SqliteStatus(rc);
  }
  if (status != kOk) {
    sqlite3_close_v2(db);
    return status;
  }
  store->reset(new SqliteStore(folder, db, read_only || sqlite3_db_readonly(db, "main") == 1));
  return kOk;
}

int SqliteStore::Check(std::vector<std::string>* problems) {
  problems->clear();
  Statement st(this, "PRAGMA integrity_check");
  if (!st.ok()) return st.status();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) {
    std::string line(st.Column(0));
    if (line != "ok") problems->push_back(std::move(line));
  }
  if (rc != SQLITE_DONE) {
    int status = Fail(rc);
    if (status != kAccountCorrupt) return status;
    problems->push_back(last_message_);
  }
  return problems->empty() ? kOk : kAccountCorrupt;
}

// ---- Users.

int SqliteStore::AddUser(std::string_view name, std::string_view password) {
  if (ValidateName(name) != kOk) return kBadName;
  if (!SodiumReady()) return kIoError;
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    return kIoError;  // out of memory
  Statement st(this, "INSERT INTO users (name, hash) VALUES (?, ?)");
  if (!st.ok()) return st.status();
  int rc = st.Text(1, Upper(name)).Text(2, hash).Step();
  if ((rc & 0xFF) == SQLITE_CONSTRAINT) return kUserExists;
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::Authenticate(std::string_view name, std::string_view password) {
  if (ValidateName(name) != kOk) return kBadName;
  if (!SodiumReady()) return kIoError;
  std::string hash;
  {
    Statement st(this, "SELECT hash FROM users WHERE name = ?");
    if (!st.ok()) return st.status();
    int rc = st.Text(1, Upper(name)).Step();
    if (rc == SQLITE_DONE) return kBadCredentials;
    if (rc != SQLITE_ROW) return Fail(rc);
    hash.assign(st.Column(0));
  }
  if (crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) != 0)
    return kBadCredentials;
  return kOk;
}

int SqliteStore::ListUsers(std::vector<std::string>* users) {
  users->clear();
  Statement st(this, "SELECT name FROM users ORDER BY name");
  if (!st.ok()) return st.status();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) users->emplace_back(st.Column(0));
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

// ---- Files.

bool SqliteStore::FileExists(std::string_view file) {
  std::string table;
  return TableOf(file, &table) == kOk;
}

int SqliteStore::CreateFile(std::string_view file) {
  if (ValidateName(file) != kOk) return kBadName;
  if (Pointer(file)) return kFileExists;
  CatalogueChange change(this);
  const std::string table = QuotedTableName(file);
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  {
    Statement st(this, "SELECT 1 FROM files WHERE name = ? OR tbl = ?");
    if (!st.ok()) return st.status();
    int rc = st.Text(1, file).Text(2, table).Step();
    if (rc == SQLITE_ROW) return kFileExists;
    if (rc != SQLITE_DONE) return Fail(rc);
  }
  const std::string create = "CREATE TABLE " + table +
                             " (key BLOB PRIMARY KEY NOT NULL, record BLOB NOT NULL)" +
                             " WITHOUT ROWID";
  if (int s = Exec(create.c_str())) return s;
  Statement st(this, "INSERT INTO files (name, tbl) VALUES (?, ?)");
  if (!st.ok()) return st.status();
  if (int s = st.Text(1, file).Text(2, table).Run()) return s;
  return scope.Commit();
}

int SqliteStore::DropFile(std::string_view file) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  // Cached statements on the table would keep naming it; they are prepared again on demand.
  ForgetStatements();
  CatalogueChange change(this);
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  if (int s = Exec(("DROP TABLE " + table).c_str())) return s;
  for (const char* sql : {"DELETE FROM files WHERE name = ?", "DELETE FROM dict WHERE file = ?",
                          "DELETE FROM idx WHERE file = ?"}) {
    Statement st(this, sql);
    if (!st.ok()) return st.status();
    if (int s = st.Text(1, file).Run()) return s;
  }
  return scope.Commit();
}

int SqliteStore::ListFiles(std::vector<std::string>* files) {
  files->clear();
  Statement st(this, "SELECT name FROM files ORDER BY name");
  if (!st.ok()) return st.status();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) files->emplace_back(st.Column(0));
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

// ---- Dictionaries.

int SqliteStore::SetDictItem(std::string_view file, const DictItem& item) {
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  // Item names are written in query sentences: the same rule as file names keeps them words.
  if (int s = ValidateName(item.name)) return s;
  if (item.field < 0 || item.first < 0) return kBadArgument;
  CatalogueChange change(this);
  WriteScope scope(this);
  if (scope.status()) return scope.status();
  {
    Statement st(this,
                 "INSERT OR REPLACE INTO dict (file, item, field, first, right, indexed) "
                 "VALUES (?, ?, ?, ?, ?, ?)");
    if (!st.ok()) return st.status();
    st.Text(1, file).Text(2, item.name).Int(3, item.field).Int(4, item.first);
    if (int s = st.Int(5, item.right).Int(6, item.indexed).Run()) return s;
  }
  {
    Statement st(this, "DELETE FROM idx WHERE file = ? AND item = ?");
    if (!st.ok()) return st.status();
    if (int s = st.Text(1, file).Text(2, item.name).Run()) return s;
  }
  if (item.indexed) {
    // Index the records already there. Collected first: the scan's statement must be done
    // before the index is written.
    std::vector<std::pair<std::string, std::string>> records;
    if (int s = Scan(file, [&](std::string_view k, std::string_view r) {
          records.emplace_back(k, r);
          return true;
        }))
      return s;
    for (const auto& [key, record] : records)
      if (int s = AddIndexEntries(file, {item}, key, record)) return s;
  }
  return scope.Commit();
}

int SqliteStore::Dictionary(std::string_view file, std::vector<DictItem>* items) {
  items->clear();
  std::string table;
  if (int s = TableOf(file, &table)) return s;
  Statement st(this,
               "SELECT item, field, first, right, indexed FROM dict WHERE file = ? ORDER BY item");
  if (!st.ok()) return st.status();
  st.Text(1, file);
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW) {
    DictItem item;
    item.name = st.Column(0);
    item.field = static_cast<int>(st.ColumnInt(1));
    item.first = static_cast<int>(st.ColumnInt(2));
    item.right = st.ColumnInt(3) != 0;
    item.indexed = st.ColumnInt(4) != 0;
    items->push_back(std::move(item));
  }
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

// ---- File pointers and routines.

int SqliteStore::SetPointer(std::string_view name, const PointerTarget& target) {
  if (ValidateName(name) != kOk || ValidateName(target.file) != kOk) return kBadName;
  if (target.account.empty()) return kBadArgument;
  if (FileExists(name)) return kFileExists;
  Statement st(this,
               "INSERT OR REPLACE INTO pointers (name, host, account, file) VALUES (?, ?, ?, ?)");
  if (!st.ok()) return st.status();
  return st.Text(1, name).Text(2, target.host).Text(3, target.account).Text(4, target.file).Run();
}

std::optional<PointerTarget> SqliteStore::Pointer(std::string_view name) {
  Statement st(this, "SELECT host, account, file FROM pointers WHERE name = ?");
  if (!st.ok()) return std::nullopt;
  if (st.Text(1, name).Step() != SQLITE_ROW) return std::nullopt;
  return PointerTarget{std::string(st.Column(0)), std::string(st.Column(1)),
                       std::string(st.Column(2))};
}

int SqliteStore::ListPointers(std::vector<std::pair<std::string, PointerTarget>>* pointers) {
  pointers->clear();
  Statement st(this, "SELECT name, host, account, file FROM pointers ORDER BY name");
  if (!st.ok()) return st.status();
  int rc;
  while ((rc = st.Step()) == SQLITE_ROW)
    pointers->emplace_back(std::string(st.Column(0)),
                           PointerTarget{std::string(st.Column(1)), std::string(st.Column(2)),
                                         std::string(st.Column(3))});
  return rc == SQLITE_DONE ? 0 : Fail(rc);
}

int SqliteStore::CatalogueRoutine(std::string_view routine) {
  if (routine.empty()) return kBadArgument;
  Statement st(this, "INSERT OR IGNORE INTO routines (name) VALUES (?)");
  if (!st.ok()) return st.status();
  return st.Text(1, routine).Run();
}

bool SqliteStore::RoutineCatalogued(std::string_view routine) {
  Statement st(this, "SELECT 1 FROM routines WHERE name = ?");
  return st.ok() && st.Text(1, routine).Step() == SQLITE_ROW;
}

}  // namespace cortevane::db
