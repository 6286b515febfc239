#include "db/postgres/postgres_store.h"

#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "db/names.h"
#include "db/status.h"

namespace cortevane::db {
namespace {

using Params = std::vector<std::optional<std::string>>;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string Cell(PGresult* r, int row, int col) {
  return std::string(PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col)));
}

// Splits "host:port" (a bare IPv6 address keeps its colons; "[::1]:5433" is understood).
void SplitHost(const std::string& given, std::string* host, std::string* port) {
  *host = given;
  *port = "5432";
  if (!given.empty() && given.front() == '[') {
    size_t close = given.find(']');
    if (close != std::string::npos) {
      *host = given.substr(1, close - 1);
      if (close + 1 < given.size() && given[close + 1] == ':') *port = given.substr(close + 2);
    }
    return;
  }
  size_t colon = given.find(':');
  if (colon != std::string::npos && given.find(':', colon + 1) == std::string::npos) {
    *host = given.substr(0, colon);
    *port = given.substr(colon + 1);
  }
  if (host->empty()) *host = "localhost";
}

PGconn* Open(const PgAddress& a, const std::string& dbname) {
  std::string host, port;
  SplitHost(a.host, &host, &port);
  std::string timeout = std::to_string(a.connect_timeout_s);
  const char* keys[] = {"host",     "port",    "dbname",          "user",
                        "password", "sslmode", "connect_timeout", "application_name",
                        nullptr};
  const char* values[] = {host.c_str(),    port.c_str(),       dbname.c_str(),
                          a.user.c_str(),  a.password.c_str(), "prefer",
                          timeout.c_str(), "cortevane",        nullptr};
  return PQconnectdbParams(keys, values, 0);
}

int ConnectStatus(PGconn* conn) {
  std::string message = PQerrorMessage(conn);
  if (message.find("password authentication failed") != std::string::npos ||
      message.find("no password supplied") != std::string::npos ||
      (message.find("role") != std::string::npos &&
       message.find("does not exist") != std::string::npos))
    return kBadCredentials;
  if (message.find("database") != std::string::npos &&
      message.find("does not exist") != std::string::npos)
    return kAccountNotFound;
  return kServerUnreachable;
}

// The smallest byte string greater than every string beginning with `prefix`, or nullopt when
// there is none (the prefix is all 0xFF bytes).
std::optional<std::string> PrefixEnd(std::string prefix) {
  while (!prefix.empty()) {
    unsigned char last = static_cast<unsigned char>(prefix.back());
    if (last < 0xFF) {
      prefix.back() = static_cast<char>(last + 1);
      return prefix;
    }
    prefix.pop_back();
  }
  return std::nullopt;
}

// A 64-bit FNV-1a hash of (file, key) naming the advisory lock. Two pairs sharing a hash only
// make one wait for the other; they never both pass.
long long LockId(std::string_view file, std::string_view key) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::string_view s) {
    for (unsigned char c : s) {
      h ^= c;
      h *= 1099511628211ull;
    }
  };
  mix(file);
  mix(std::string_view("\0", 1));
  mix(key);
  return static_cast<long long>(h);
}

// The table of a file: QuotedTableName when it fits in PostgreSQL's 63-byte identifiers (a
// longer one would be cut silently, and two files could share a table); otherwise its first
// 40 characters and a hash of the whole name.
std::string PgTableName(std::string_view file) {
  std::string quoted = QuotedTableName(file);
  if (quoted.empty() || quoted.size() - 2 <= 63) return quoted;
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : file) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char hash[17];
  snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(h));
  return quoted.substr(0, 1 + 2 + 40) + "_" + hash + "\"";
}

constexpr const char* kCatalogue[] = {
    "CREATE TABLE cv_files (name text PRIMARY KEY)",
    "CREATE TABLE cv_dict (file text NOT NULL, item text NOT NULL, field int NOT NULL, "
    "first_chars int NOT NULL, right_just bool NOT NULL, indexed bool NOT NULL, "
    "PRIMARY KEY (file, item))",
    "CREATE TABLE cv_pointers (name text PRIMARY KEY, host text NOT NULL, account text NOT "
    "NULL, file text NOT NULL)",
    "CREATE TABLE cv_routines (name text PRIMARY KEY)",
    "CREATE TABLE cv_index (file text NOT NULL, item text NOT NULL, value bytea NOT NULL, "
    "key bytea NOT NULL, PRIMARY KEY (file, item, value, key))",
    "CREATE INDEX cv_index_by_key ON cv_index (file, key)",
};

}  // namespace

PostgresStore::PostgresStore(pg_conn* conn) : conn_(conn) {}

PostgresStore::~PostgresStore() {
  if (conn_ != nullptr) PQfinish(conn_);
}

std::shared_ptr<PostgresStore> PostgresStore::Connect(const PgAddress& address, int* status) {
  if (address.account.empty()) {
    *status = kAccountNotFound;
    return nullptr;
  }
  PGconn* conn = Open(address, address.account);
  if (PQstatus(conn) != CONNECTION_OK) {
    *status = ConnectStatus(conn);
    PQfinish(conn);
    return nullptr;
  }
  std::shared_ptr<PostgresStore> store(new PostgresStore(conn));
  Result check(store->Exec("SELECT count(*)::text FROM cv_files", {}));
  if (!Ok(check.get())) {
    *status = kAccountCorrupt;
    return nullptr;
  }
  *status = kOk;
  return store;
}

int PostgresStore::CreateAccount(const PgAddress& address, bool server) {
  if (ValidateName(address.account) != kOk) return kBadName;
  PGconn* admin = Open(address, "postgres");
  if (PQstatus(admin) != CONNECTION_OK) {
    int status = ConnectStatus(admin);
    PQfinish(admin);
    return status;
  }
  // CREATE DATABASE takes no parameters: the validated name is quoted as an identifier.
  char* ident = PQescapeIdentifier(admin, address.account.data(), address.account.size());
  std::string sql = std::string("CREATE DATABASE ") + ident + " ENCODING 'UTF8' TEMPLATE template0";
  PQfreemem(ident);
  Result created(PQexec(admin, sql.c_str()));
  int status = kOk;
  if (PQresultStatus(created.get()) != PGRES_COMMAND_OK) {
    const char* state = PQresultErrorField(created.get(), PG_DIAG_SQLSTATE);
    status = (state != nullptr && std::string(state) == "42P04") ? kAccountExists : kIoError;
  }
  PQfinish(admin);
  if (status != kOk) return status;

  PGconn* conn = Open(address, address.account);
  if (PQstatus(conn) != CONNECTION_OK) {
    status = ConnectStatus(conn);
    PQfinish(conn);
    return status;
  }
  std::shared_ptr<PostgresStore> fresh(new PostgresStore(conn));
  return fresh->Atomically([&] {
    for (const char* statement : kCatalogue) {
      Result r(fresh->Exec(statement, {}));
      if (!Ok(r.get())) return static_cast<int>(kIoError);
    }
    int s = fresh->CatalogueRoutine("DBA.SELECT");
    if (s == kOk && server) s = fresh->CatalogueRoutine("IMPORTDONNEES");
    return s;
  });
}

int PostgresStore::CreateUser(std::string_view user, std::string_view password) {
  if (ValidateName(user) != kOk) return kBadName;
  std::string name(user), pw(password);
  // The server receives the password already hashed (SCRAM), so it never appears in a
  // statement or a log in clear.
  char* hashed = PQencryptPasswordConn(conn_, pw.c_str(), name.c_str(), nullptr);
  if (hashed == nullptr) return kIoError;
  std::string hash = hashed;
  PQfreemem(hashed);
  char* ident = PQescapeIdentifier(conn_, name.data(), name.size());
  char* literal = PQescapeLiteral(conn_, hash.data(), hash.size());
  if (ident == nullptr || literal == nullptr) {
    PQfreemem(ident);
    PQfreemem(literal);
    return kBadArgument;
  }
  std::string quoted = ident;
  std::string password_literal = literal;
  PQfreemem(ident);
  PQfreemem(literal);
  // Roles belong to the whole server, so another connection may create or change the same
  // role at the same moment: a clash is tried again, inside a savepoint when the caller has a
  // transaction open.
  int status = kIoError;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (in_transaction_) {
      Result sp(Exec("SAVEPOINT cv_user", {}));
      if (!Ok(sp.get())) return Failure();
    }
    std::string state;
    status = in_transaction_
                 ? SetRole(name, quoted, password_literal, &state)
                 : Atomically([&] { return SetRole(name, quoted, password_literal, &state); });
    if (in_transaction_) {
      Result end(
          Exec(status == kOk ? "RELEASE SAVEPOINT cv_user" : "ROLLBACK TO SAVEPOINT cv_user", {}));
      if (!Ok(end.get())) return Failure();
    }
    const bool clash = state == "42710" || state == "XX000" || state == "40001" || state == "23505";
    if (status == kOk || !clash) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * (attempt + 1)));
  }
  return status;
}

int PostgresStore::SetRole(const std::string& name, const std::string& quoted,
                           const std::string& password_literal, std::string* state) {
  auto failed = [&](pg_result* r) {
    const char* code = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    *state = code ? code : "";
    return Failure();
  };
  Result exists(Exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name}));
  if (!Ok(exists.get())) return failed(exists.get());
  const bool known = PQntuples(exists.get()) > 0;
  // Roles belong to the whole server: a user of several accounts has one password.
  Result r(Exec(
      (known ? "ALTER ROLE " : "CREATE ROLE ") + quoted + " LOGIN PASSWORD " + password_literal,
      {}));
  if (!Ok(r.get())) return failed(r.get());
  for (const std::string& grant :
       {"GRANT ALL ON ALL TABLES IN SCHEMA public TO " + quoted,
        "ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT ALL ON TABLES TO " + quoted,
        "GRANT CREATE, USAGE ON SCHEMA public TO " + quoted}) {
    Result g(Exec(grant, {}));
    if (!Ok(g.get())) return failed(g.get());
  }
  return kOk;
}

pg_result* PostgresStore::Exec(const std::string& sql, const Params& params) {
  if (PQstatus(conn_) != CONNECTION_OK) {
    // The connection was lost earlier. Connect again only when nothing of the old one is
    // still owed to a caller: its transaction and its advisory locks died with it.
    if (in_transaction_ || !held_locks_.empty()) return nullptr;
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK) return nullptr;
  }
  ++round_trips_;
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  for (const auto& p : params) {
    values.push_back(p ? p->data() : nullptr);
    lengths.push_back(p ? static_cast<int>(p->size()) : 0);
    formats.push_back(1);  // binary: bytea and text travel as raw bytes, never re-encoded
  }
  return PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                      lengths.data(), formats.data(), 1);
}

int PostgresStore::Failure() const {
  return PQstatus(conn_) == CONNECTION_OK ? static_cast<int>(kIoError)
                                          : static_cast<int>(kServerUnreachable);
}

int PostgresStore::Health() {
  return PQstatus(conn_) == CONNECTION_OK ? static_cast<int>(kOk)
                                          : static_cast<int>(kServerUnreachable);
}

bool PostgresStore::Ok(pg_result* r) {
  if (r == nullptr) return false;
  ExecStatusType s = PQresultStatus(r);
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

std::string PostgresStore::Table(std::string_view file, int* status) {
  std::string table = PgTableName(file);
  if (table.empty()) {
    *status = kBadName;
    return {};
  }
  if (!FileExists(file)) {
    *status = PQstatus(conn_) == CONNECTION_OK ? static_cast<int>(kNoSuchFile)
                                               : static_cast<int>(kServerUnreachable);
    return {};
  }
  *status = kOk;
  return table;
}

int PostgresStore::Atomically(const std::function<int()>& work) {
  if (in_transaction_) return work();
  int status = Begin();
  if (status != kOk) return status;
  status = work();
  if (status != kOk) {
    Rollback();
    return status;
  }
  return Commit();
}

int PostgresStore::Read(std::string_view file, std::string_view key, std::string* record) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  Result r(Exec("SELECT record FROM " + table + " WHERE key = $1", {std::string(key)}));
  if (!Ok(r.get())) return Failure();
  if (PQntuples(r.get()) == 0) {
    record->clear();
    return kRecordNotFound;
  }
  *record = Cell(r.get(), 0, 0);
  return kOk;
}

int PostgresStore::IndexedItems(std::string_view file, const std::vector<DictItem>** items) {
  auto it = indexed_cache_.find(file);
  if (it == indexed_cache_.end()) {
    // A dictionary that could not be read is not "no index": writes would then leave the
    // index behind the records. Nothing is remembered until a read succeeds.
    std::vector<DictItem> all, indexed;
    if (int s = Dictionary(file, &all)) return s;
    for (auto& item : all)
      if (item.indexed) indexed.push_back(item);
    it = indexed_cache_.emplace(std::string(file), std::move(indexed)).first;
  }
  *items = &it->second;
  return kOk;
}

int PostgresStore::WriteIndex(std::string_view file, std::string_view key,
                              std::string_view record) {
  const std::vector<DictItem>* indexed = nullptr;
  if (int s = IndexedItems(file, &indexed)) return s;
  const std::vector<DictItem>& items = *indexed;
  if (items.empty()) return kOk;
  Result del(Exec("DELETE FROM cv_index WHERE file = $1 AND key = $2",
                  {std::string(file), std::string(key)}));
  if (!Ok(del.get())) return Failure();
  for (const auto& item : items) {
    for (const auto& value : ItemValues(item, key, record)) {
      Result ins(
          Exec("INSERT INTO cv_index (file, item, value, key) VALUES ($1, $2, $3, $4) "
               "ON CONFLICT DO NOTHING",
               {std::string(file), item.name, IndexForm(item, value), std::string(key)}));
      if (!Ok(ins.get())) return Failure();
    }
  }
  return kOk;
}

int PostgresStore::Write(std::string_view file, std::string_view key, std::string_view record) {
  if (key.empty()) return kNoKey;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  if (in_transaction_) {
    // Inside a transaction nothing is visible to others before COMMIT anyway: the write waits
    // with the others and they travel together (see Settle).
    auto& rows = pending_[std::string(file)];
    const bool added = rows.insert_or_assign(std::string(key), std::string(record)).second;
    pending_bytes_ += key.size() + record.size();
    if (added) ++pending_count_;
    if (pending_count_ >= kPendingRows || pending_bytes_ >= kPendingBytes) return Settle();
    return kOk;
  }
  auto write = [&] {
    Result r(Exec("INSERT INTO " + table +
                      " (key, record) VALUES ($1, $2) "
                      "ON CONFLICT (key) DO UPDATE SET record = EXCLUDED.record",
                  {std::string(key), std::string(record)}));
    if (!Ok(r.get())) return Failure();
    return WriteIndex(file, key, record);
  };
  const std::vector<DictItem>* indexed = nullptr;
  if (int s = IndexedItems(file, &indexed)) return s;
  return indexed->empty() ? write() : Atomically(write);
}

namespace {

// A list of byte strings as one text parameter: each one "x" followed by its bytes in
// hexadecimal, joined by commas, which the server splits and decodes. The "x" keeps the
// empty string an element of its own.
void AppendHex(std::string* list, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  if (!list->empty()) list->push_back(',');
  list->push_back('x');
  for (unsigned char c : bytes) {
    list->push_back(kHex[c >> 4]);
    list->push_back(kHex[c & 15]);
  }
}

// The bytes of one element of such a list, in SQL.
std::string Decoded(const char* column) {
  return std::string("decode(substr(") + column + ", 2), 'hex')";
}

}  // namespace

void PostgresStore::IndexEntries::Add(const DictItem& item, std::string_view key,
                                      std::string_view record) {
  for (const auto& value : ItemValues(item, key, record)) {
    AppendHex(&items, item.name);
    AppendHex(&values, IndexForm(item, value));
    AppendHex(&keys, key);
    ++count;
  }
}

int PostgresStore::InsertIndexEntries(const std::string& file, IndexEntries* entries) {
  if (entries->count == 0) return kOk;
  Result ins(Exec("INSERT INTO cv_index (file, item, value, key) SELECT $1, convert_from(" +
                      Decoded("i") + ", 'UTF8'), " + Decoded("v") + ", " + Decoded("k") +
                      " FROM unnest(string_to_array($2::text, ','), "
                      "string_to_array($3::text, ','), string_to_array($4::text, ',')) "
                      "AS u(i, v, k) ON CONFLICT DO NOTHING",
                  {file, entries->items, entries->values, entries->keys}));
  *entries = IndexEntries{};
  return Ok(ins.get()) ? kOk : Failure();
}

int PostgresStore::Settle() {
  if (pending_.empty()) return kOk;
  auto pending = std::move(pending_);
  pending_.clear();
  pending_count_ = pending_bytes_ = 0;
  for (const auto& [file, rows] : pending) {
    std::string table = PgTableName(file);
    std::string keys, records;
    for (const auto& [key, record] : rows) {
      AppendHex(&keys, key);
      AppendHex(&records, record);
    }
    Result r(Exec("INSERT INTO " + table + " (key, record) SELECT " + Decoded("k") + ", " +
                      Decoded("r") +
                      " FROM unnest(string_to_array($1::text, ','), "
                      "string_to_array($2::text, ',')) AS u(k, r) "
                      "ON CONFLICT (key) DO UPDATE SET record = EXCLUDED.record",
                  {keys, records}));
    if (!Ok(r.get())) return Failure();

    const std::vector<DictItem>* indexed = nullptr;
    if (int s = IndexedItems(file, &indexed)) return s;
    if (indexed->empty()) continue;
    Result del(Exec("DELETE FROM cv_index WHERE file = $1 AND key IN (SELECT " + Decoded("k") +
                        " FROM unnest(string_to_array($2::text, ',')) AS u(k))",
                    {file, keys}));
    if (!Ok(del.get())) return Failure();
    IndexEntries entries;
    for (const auto& [key, record] : rows)
      for (const auto& item : *indexed) entries.Add(item, key, record);
    if (int s = InsertIndexEntries(file, &entries)) return s;
  }
  return kOk;
}

int PostgresStore::Delete(std::string_view file, std::string_view key) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  return Atomically([&] {
    Result r(Exec("DELETE FROM " + table + " WHERE key = $1", {std::string(key)}));
    if (!Ok(r.get())) return Failure();
    if (std::string(PQcmdTuples(r.get())) == "0") return static_cast<int>(kRecordNotFound);
    const std::vector<DictItem>* indexed = nullptr;
    if (int s = IndexedItems(file, &indexed)) return s;
    if (indexed->empty()) return static_cast<int>(kOk);
    Result x(Exec("DELETE FROM cv_index WHERE file = $1 AND key = $2",
                  {std::string(file), std::string(key)}));
    return Ok(x.get()) ? static_cast<int>(kOk) : Failure();
  });
}

int PostgresStore::Clear(std::string_view file) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  return Atomically([&] {
    Result r(Exec("DELETE FROM " + table, {}));
    Result x(Exec("DELETE FROM cv_index WHERE file = $1", {std::string(file)}));
    return Ok(r.get()) && Ok(x.get()) ? static_cast<int>(kOk) : Failure();
  });
}

int PostgresStore::Scan(std::string_view file,
                        const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  // Pages in key order, so a large file never sits whole in memory and an early stop costs
  // at most one page.
  constexpr int kPage = 2000;
  std::optional<std::string> after;
  while (true) {
    Result r(after ? Exec("SELECT key, record FROM " + table +
                              " WHERE key > $1 ORDER BY key LIMIT " + std::to_string(kPage),
                          {*after})
                   : Exec("SELECT key, record FROM " + table + " ORDER BY key LIMIT " +
                              std::to_string(kPage),
                          {}));
    if (!Ok(r.get())) return Failure();
    int rows = PQntuples(r.get());
    for (int i = 0; i < rows; ++i) {
      std::string key = Cell(r.get(), i, 0);
      if (!visit(key, Cell(r.get(), i, 1))) return kOk;
      after = std::move(key);
    }
    if (rows < kPage) return kOk;
  }
}

// The condition on cv_index for an equality or begins-with test, and its parameters after
// the file and item ($1, $2). Begins-with is a range on the index, so it stays an index scan.
static std::string IndexCondition(const DictItem& item, std::string_view value, bool prefix,
                                  std::vector<std::optional<std::string>>* params) {
  if (!prefix) {
    params->push_back(IndexForm(item, value));
    return "x.value = $3";
  }
  params->push_back(std::string(value));
  if (auto end = PrefixEnd(std::string(value))) {
    params->push_back(*end);
    return "x.value >= $3 AND x.value < $4";
  }
  return "x.value >= $3";
}

int PostgresStore::IndexedItem(std::string_view file, std::string_view item,
                               const DictItem** found) {
  const std::vector<DictItem>* indexed = nullptr;
  if (int s = IndexedItems(file, &indexed)) return s;
  for (const DictItem& i : *indexed)
    if (i.name == item) {
      *found = &i;
      return kOk;
    }
  return kQueryUnknownItem;
}

int PostgresStore::IndexLookup(std::string_view file, std::string_view item, std::string_view value,
                               bool prefix, std::vector<std::string>* keys) {
  if (int s = Settle()) return s;
  int status;
  Table(file, &status);
  if (status != kOk) return status;
  const DictItem* found = nullptr;
  if (int s = IndexedItem(file, item, &found)) return s;
  Params params{std::string(file), std::string(item)};
  std::string where = IndexCondition(*found, value, prefix, &params);
  Result r(Exec("SELECT DISTINCT x.key FROM cv_index x WHERE x.file = $1 AND x.item = $2 AND " +
                    where + " ORDER BY x.key",
                params));
  if (!Ok(r.get())) return Failure();
  keys->clear();
  for (int i = 0; i < PQntuples(r.get()); ++i) keys->push_back(Cell(r.get(), i, 0));
  return kOk;
}

int PostgresStore::IndexLookupAny(std::string_view file, std::string_view item,
                                  const std::vector<std::string>& values, bool prefix,
                                  std::vector<std::string>* keys) {
  if (values.size() <= 1 || values.size() > 500)
    return Store::IndexLookupAny(file, item, values, prefix, keys);
  if (int s = Settle()) return s;
  int status;
  Table(file, &status);
  if (status != kOk) return status;
  const DictItem* found = nullptr;
  if (int s = IndexedItem(file, item, &found)) return s;
  // One request: the tests of every value joined by OR, each an equality or a key range the
  // index answers.
  Params params{std::string(file), std::string(item)};
  auto next = [&params](std::string value) {
    params.push_back(std::move(value));
    return "$" + std::to_string(params.size());
  };
  std::string any;
  for (const std::string& value : values) {
    std::string test;
    if (!prefix) {
      test = "x.value = " + next(IndexForm(*found, value));
    } else {
      test = "x.value >= " + next(value);
      if (auto end = PrefixEnd(value)) test += " AND x.value < " + next(*end);
    }
    any += (any.empty() ? "(" : " OR (") + test + ")";
  }
  Result r(Exec("SELECT DISTINCT x.key FROM cv_index x WHERE x.file = $1 AND x.item = $2 AND (" +
                    any + ") ORDER BY x.key",
                params));
  if (!Ok(r.get())) return Failure();
  keys->clear();
  for (int i = 0; i < PQntuples(r.get()); ++i) keys->push_back(Cell(r.get(), i, 0));
  return kOk;
}

int PostgresStore::IndexScan(std::string_view file, std::string_view item, std::string_view value,
                             bool prefix,
                             const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  const DictItem* found = nullptr;
  if (int s = IndexedItem(file, item, &found)) return s;
  Params params{std::string(file), std::string(item)};
  std::string where = IndexCondition(*found, value, prefix, &params);
  // One request: the index names the keys, the join brings their records.
  Result r(Exec("SELECT f.key, f.record FROM " + table +
                    " f WHERE f.key IN (SELECT x.key FROM cv_index x WHERE x.file = $1 AND "
                    "x.item = $2 AND " +
                    where + ") ORDER BY f.key",
                params));
  if (!Ok(r.get())) return Failure();
  for (int i = 0; i < PQntuples(r.get()); ++i)
    if (!visit(Cell(r.get(), i, 0), Cell(r.get(), i, 1))) break;
  return kOk;
}

int PostgresStore::ReadMany(std::string_view file, const std::vector<std::string>& keys,
                            const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  if (keys.empty()) return kOk;
  // One request for all the keys: they travel as one parameter, each in hexadecimal, so any
  // byte of a key survives.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string list;
  for (const auto& key : keys) {
    if (!list.empty()) list += ',';
    for (unsigned char c : key) {
      list += kHex[c >> 4];
      list += kHex[c & 15];
    }
  }
  Result r(Exec("SELECT key, record FROM " + table +
                    " WHERE key IN (SELECT decode(h, 'hex') FROM "
                    "unnest(string_to_array($1::text, ',')) h) ORDER BY key",
                {list}));
  if (!Ok(r.get())) return Failure();
  for (int i = 0; i < PQntuples(r.get()); ++i)
    if (!visit(Cell(r.get(), i, 0), Cell(r.get(), i, 1))) break;
  return kOk;
}

int PostgresStore::CountRecords(std::string_view file, long long* count) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  Result r(Exec("SELECT count(*)::text FROM " + table, {}));
  if (!Ok(r.get())) return Failure();
  *count = std::stoll(Cell(r.get(), 0, 0));
  return kOk;
}

int PostgresStore::Reserve(std::string_view file, std::string_view key, int timeout_ms) {
  std::string id = std::string(file) + '\0' + std::string(key);
  if (held_locks_.count(id)) return kOk;  // already ours: one Free releases it
  std::string lock = std::to_string(LockId(file, key));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    Result r(Exec("SELECT pg_try_advisory_lock($1::text::bigint)::text", {lock}));
    if (!Ok(r.get())) return Failure();
    if (Cell(r.get(), 0, 0) == "true") {
      held_locks_.insert(id);
      return kOk;
    }
    if (std::chrono::steady_clock::now() >= deadline) return kLockTimeout;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int PostgresStore::Free(std::string_view file, std::string_view key) {
  std::string id = std::string(file) + '\0' + std::string(key);
  auto it = held_locks_.find(id);
  if (it == held_locks_.end()) return kNotReserved;
  Result r(Exec("SELECT pg_advisory_unlock($1::text::bigint)::text",
                {std::to_string(LockId(file, key))}));
  held_locks_.erase(it);
  return Ok(r.get()) ? kOk : Failure();
}

int PostgresStore::Begin() {
  if (in_transaction_) return kBadArgument;
  Result r(Exec("BEGIN", {}));
  if (!Ok(r.get())) return Failure();
  in_transaction_ = true;
  return kOk;
}

int PostgresStore::Commit() {
  if (!in_transaction_) return kBadArgument;
  if (int s = Settle()) {
    Rollback();
    return s;
  }
  // Sent while the transaction is still open here, so that a lost connection is not replaced
  // by a fresh one, on which COMMIT would answer success for work that is gone.
  Result r(Exec("COMMIT", {}));
  in_transaction_ = false;
  // A COMMIT of a failed transaction answers ROLLBACK: report it as the failure it is.
  if (!Ok(r.get()) || std::string(PQcmdStatus(r.get())) != "COMMIT") return Failure();
  return kOk;
}

int PostgresStore::Rollback() {
  if (!in_transaction_) return kBadArgument;
  in_transaction_ = false;
  pending_.clear();
  pending_count_ = pending_bytes_ = 0;
  indexed_cache_.clear();
  dict_cache_.clear();
  known_files_.clear();
  Result r(Exec("ROLLBACK", {}));
  return Ok(r.get()) ? kOk : Failure();
}

bool PostgresStore::FileExists(std::string_view file) {
  if (ValidateName(file) != kOk) return false;
  if (known_files_.count(std::string(file))) return true;
  Result r(Exec("SELECT 1 FROM cv_files WHERE name = $1", {std::string(file)}));
  if (!Ok(r.get()) || PQntuples(r.get()) == 0) return false;
  known_files_.insert(std::string(file));
  return true;
}

int PostgresStore::CreateFile(std::string_view file) {
  std::string table = PgTableName(file);
  if (table.empty()) return kBadName;
  // A file and a pointer never share a name: OpenFile could not tell which is meant.
  if (FileExists(file) || Pointer(file)) return kFileExists;
  return Atomically([&] {
    Result t(Exec("CREATE TABLE " + table + " (key bytea PRIMARY KEY, record bytea NOT NULL)", {}));
    if (!Ok(t.get())) {
      const char* state = PQresultErrorField(t.get(), PG_DIAG_SQLSTATE);
      // Another name maps to the same table ("A.B" and "A_B"): refuse rather than share it.
      return (state != nullptr && std::string(state) == "42P07") ? static_cast<int>(kFileExists)
                                                                 : Failure();
    }
    Result c(Exec("INSERT INTO cv_files (name) VALUES ($1)", {std::string(file)}));
    return Ok(c.get()) ? static_cast<int>(kOk) : Failure();
  });
}

int PostgresStore::DropFile(std::string_view file) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  status = Atomically([&] {
    Result t(Exec("DROP TABLE " + table, {}));
    Result a(Exec("DELETE FROM cv_files WHERE name = $1", {std::string(file)}));
    Result b(Exec("DELETE FROM cv_dict WHERE file = $1", {std::string(file)}));
    Result c(Exec("DELETE FROM cv_index WHERE file = $1", {std::string(file)}));
    return Ok(t.get()) && Ok(a.get()) && Ok(b.get()) && Ok(c.get()) ? static_cast<int>(kOk)
                                                                    : Failure();
  });
  known_files_.erase(std::string(file));
  indexed_cache_.erase(std::string(file));
  dict_cache_.erase(std::string(file));
  return status;
}

int PostgresStore::ListFiles(std::vector<std::string>* files) {
  Result r(Exec("SELECT name FROM cv_files ORDER BY name", {}));
  if (!Ok(r.get())) return Failure();
  files->clear();
  for (int i = 0; i < PQntuples(r.get()); ++i) files->push_back(Cell(r.get(), i, 0));
  return kOk;
}

int PostgresStore::SetDictItem(std::string_view file, const DictItem& item) {
  if (int s = Settle()) return s;
  int status;
  Table(file, &status);
  if (status != kOk) return status;
  // Item names are written in query sentences: the same rule as file names keeps them words.
  if (ValidateName(item.name) != kOk) return kBadName;
  if (item.field < 0 || item.first < 0) return kBadArgument;
  indexed_cache_.erase(std::string(file));
  dict_cache_.erase(std::string(file));
  status = Atomically([&] {
    Result r(
        Exec("INSERT INTO cv_dict (file, item, field, first_chars, right_just, indexed) "
             "VALUES ($1, $2, $3::text::int, $4::text::int, $5::text::bool, $6::text::bool) "
             "ON CONFLICT (file, item) DO UPDATE SET field = EXCLUDED.field, "
             "first_chars = EXCLUDED.first_chars, right_just = EXCLUDED.right_just, "
             "indexed = EXCLUDED.indexed",
             {std::string(file), item.name, std::to_string(item.field), std::to_string(item.first),
              item.right ? "true" : "false", item.indexed ? "true" : "false"}));
    if (!Ok(r.get())) return Failure();
    Result d(
        Exec("DELETE FROM cv_index WHERE file = $1 AND item = $2", {std::string(file), item.name}));
    if (!Ok(d.get())) return Failure();
    if (!item.indexed) return static_cast<int>(kOk);
    // Index the records already there, a few thousand entries a request.
    IndexEntries entries;
    int inner = kOk;
    int scanned = Scan(file, [&](std::string_view key, std::string_view record) {
      entries.Add(item, key, record);
      if (entries.count >= 5000) {
        inner = InsertIndexEntries(std::string(file), &entries);
        if (inner != kOk) return false;
      }
      return true;
    });
    if (scanned != kOk) return scanned;
    if (inner != kOk) return inner;
    return InsertIndexEntries(std::string(file), &entries);
  });
  indexed_cache_.erase(std::string(file));
  dict_cache_.erase(std::string(file));
  return status;
}

int PostgresStore::Dictionary(std::string_view file, std::vector<DictItem>* items) {
  // Every query reads the dictionary of its file: it is kept once read, and forgotten when
  // this connection changes it (SetDictItem, DropFile, Rollback).
  if (auto it = dict_cache_.find(file); it != dict_cache_.end()) {
    *items = it->second;
    return kOk;
  }
  Result r(
      Exec("SELECT item, field::text, first_chars::text, right_just::text, indexed::text "
           "FROM cv_dict WHERE file = $1 ORDER BY item",
           {std::string(file)}));
  if (!Ok(r.get())) return Failure();
  items->clear();
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    DictItem item;
    item.name = Cell(r.get(), i, 0);
    item.field = std::stoi(Cell(r.get(), i, 1));
    item.first = std::stoi(Cell(r.get(), i, 2));
    item.right = Cell(r.get(), i, 3) == "true";
    item.indexed = Cell(r.get(), i, 4) == "true";
    items->push_back(std::move(item));
  }
  dict_cache_.emplace(std::string(file), *items);
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
