// The office store's records: reads, writes (gathered inside a transaction and sent together),
// deletes, scans.
#include <libpq-fe.h>

#include "db/postgres/postgres_internal.h"
#include "db/status.h"

namespace cortevane::db {

using postgres::AppendHex;
using postgres::Cell;
using postgres::Decoded;
using postgres::Params;
using postgres::PgTableName;
using postgres::Result;

namespace {

// Tries of a write whose knowledge of the file turned out stale (each one reads it again).
constexpr int kAttempts = 3;

// The head of a statement that holds the file's catalogue entry (parameter `name`) in share
// mode until the transaction ends (cv_gate), as "g", with one row while the entry is there
// and, when `version` is given, of that version. Changes of the file take the entry in update
// mode, so they wait for the writes under way, and a write prepared against an older version
// finds g empty and writes nothing.
std::string Gate(const std::string& name, const std::string& version = "") {
  return "WITH g AS (SELECT 1 WHERE cv_gate(" + name + "::text, " +
         (version.empty() ? std::string("NULL") : version + "::text::bigint") + ")) ";
}

}  // namespace

int PostgresStore::Read(std::string_view file, std::string_view key, std::string* record) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  if (key.empty()) return kNoKey;
  Result r(Exec("SELECT record FROM " + table + " WHERE key = $1", {std::string(key)}));
  if (!Ok(r.get())) return Failure(r.get(), file);
  if (PQntuples(r.get()) == 0) {
    record->clear();
    return kRecordNotFound;
  }
  *record = Cell(r.get(), 0, 0);
  return kOk;
}

int PostgresStore::Write(std::string_view file, std::string_view key, std::string_view record) {
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  if (key.empty()) return kNoKey;
  if (record.size() > kMaxRecordBytes) return kRecordTooLarge;
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
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const FileKnowledge* known = nullptr;
    if (int s = Know(file, false, &known)) return s;
    const FileKnowledge& now = *known;  // valid until Forget or Rollback
    int s = now.indexed.empty()
                ? WriteOnce(table, file, now, key, record)
                : Atomically([&] { return WriteOnce(table, file, now, key, record); });
    if (s != kStale) return s;
    Forget(file);
  }
  return kIoError;
}

int PostgresStore::WriteOnce(const std::string& table, std::string_view file,
                             const FileKnowledge& known, std::string_view key,
                             std::string_view record) {
  Result r(Exec(
      Gate("$3", "$4") + "INSERT INTO " + table +
          " (key, record) SELECT $1::bytea, $2::bytea FROM g "
          "ON CONFLICT (key) DO UPDATE SET record = EXCLUDED.record",
      {std::string(key), std::string(record), std::string(file), std::to_string(known.version)}));
  if (!Ok(r.get())) return Failure(r.get(), file);
  if (std::string(PQcmdTuples(r.get())) == "0") return kStale;
  return WriteIndex(file, known.indexed, key, record);
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
    int status = kIoError;
    for (int attempt = 0; attempt < kAttempts && status != kOk; ++attempt) {
      const FileKnowledge* known = nullptr;
      if (int s = Know(file, false, &known)) return s;
      Result r(Exec(Gate("$3", "$4") + "INSERT INTO " + table + " (key, record) SELECT " +
                        Decoded("k") + ", " + Decoded("r") +
                        " FROM g, unnest(string_to_array($1::text, ','), "
                        "string_to_array($2::text, ',')) AS u(k, r) "
                        "ON CONFLICT (key) DO UPDATE SET record = EXCLUDED.record",
                    {keys, records, file, std::to_string(known->version)}));
      if (!Ok(r.get())) return Failure(r.get(), file);
      if (std::string(PQcmdTuples(r.get())) == "0") {
        Forget(file);  // nothing written: made again with what the file is now
        continue;
      }
      status = kOk;
      if (known->indexed.empty()) continue;
      Result del(Exec("DELETE FROM cv_index WHERE file = $1 AND key IN (SELECT " + Decoded("k") +
                          " FROM unnest(string_to_array($2::text, ',')) AS u(k))",
                      {file, keys}));
      if (!Ok(del.get())) return Failure();
      IndexEntries entries;
      for (const auto& [key, record] : rows)
        for (const auto& item : known->indexed) entries.Add(item, key, record);
      if (int s = InsertIndexEntries(file, &entries)) return s;
    }
    if (status != kOk) return status;
  }
  return kOk;
}

int PostgresStore::Delete(std::string_view file, std::string_view key) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  if (key.empty()) return kNoKey;
  return Atomically([&] {
    // The file's entry is held in share mode, as by writes: an index made meanwhile by
    // another connection cannot list the record this deletes.
    Result r(
        Exec(Gate("$2") + "DELETE FROM " + table + " WHERE key = $1 AND EXISTS (SELECT 1 FROM g)",
             {std::string(key), std::string(file)}));
    if (!Ok(r.get())) return Failure(r.get(), file);
    if (std::string(PQcmdTuples(r.get())) == "0") return static_cast<int>(kRecordNotFound);
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
    Result r(Exec(Gate("$1") + "DELETE FROM " + table + " WHERE EXISTS (SELECT 1 FROM g)",
                  {std::string(file)}));
    if (!Ok(r.get())) return Failure(r.get(), file);
    Result x(Exec("DELETE FROM cv_index WHERE file = $1", {std::string(file)}));
    return Ok(x.get()) ? static_cast<int>(kOk) : Failure();
  });
}

void PostgresStore::ClearFiles(const std::vector<std::string>& files, std::vector<int>* statuses) {
  statuses->assign(files.size(), kOk);
  if (int s = Settle()) {
    statuses->assign(files.size(), s);
    return;
  }
  std::vector<std::string> unknown;
  for (const std::string& file : files)
    if (auto it = files_.find(file); it == files_.end() || it->second.absent)
      unknown.push_back(file);
  if (!unknown.empty()) {
    if (int s = LookUpFiles(unknown)) {
      statuses->assign(files.size(), s);
      return;
    }
  }
  // Each file behind its own gate, so that a file whose catalogue entry went meanwhile is
  // passed over, as Clear passes it over; its index entries go with its records.
  std::vector<size_t> present;
  Params params;
  std::string with, index;
  for (size_t i = 0; i < files.size(); ++i) {
    std::string table = Table(files[i], &(*statuses)[i]);
    if ((*statuses)[i] != kOk) continue;
    present.push_back(i);
    params.push_back(files[i]);
    const std::string n = std::to_string(params.size());
    const std::string gate = "EXISTS (SELECT 1 FROM g" + n + ")";
    with += (with.empty() ? "WITH " : ", ") + ("g" + n) + " AS (SELECT 1 WHERE cv_gate($" + n +
            "::text, NULL)), d" + n + " AS (DELETE FROM " + table + " WHERE " + gate + ")";
    index += (index.empty() ? "" : " OR ") + ("(file = $" + n + " AND " + gate + ")");
  }
  if (present.empty()) return;
  Result r(Exec(with + ", x AS (DELETE FROM cv_index WHERE " + index + ") SELECT 1", params));
  if (Ok(r.get())) return;
  if (r == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    for (size_t i : present) (*statuses)[i] = Failure();
    return;
  }
  for (size_t i : present) (*statuses)[i] = Clear(files[i]);
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
  const bool gated = Selecting(file);
  std::optional<std::string> after;
  while (true) {
    Params params;
    std::string sql = "SELECT key, record FROM " + table;
    if (after) {
      params.push_back(*after);
      sql += " WHERE key > $1";
    }
    sql += " ORDER BY key LIMIT " + std::to_string(kPage);
    if (gated) sql = Gated(sql, &params);
    Result r(Exec(sql, params));
    int visited = 0;
    if (int s = VisitRecords(
            file, r.get(), gated,
            [&](std::string_view key, std::string_view record) {
              after = std::string(key);
              return visit(key, record);
            },
            &visited))
      return s;
    if (visited < kPage) return kOk;  // the last page, or `visit` stopped (-1)
  }
}

int PostgresStore::ReadMany(std::string_view file, const std::vector<std::string>& keys,
                            const std::function<bool(std::string_view, std::string_view)>& visit) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  if (keys.empty()) return kOk;
  if (int s = CheckSelection(file)) return s;
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
  if (!Ok(r.get())) return Failure(r.get(), file);
  for (int i = 0; i < PQntuples(r.get()); ++i)
    if (!visit(postgres::CellView(r.get(), i, 0), postgres::CellView(r.get(), i, 1))) break;
  return kOk;
}

int PostgresStore::CountRecords(std::string_view file, long long* count) {
  if (int s = Settle()) return s;
  int status;
  std::string table = Table(file, &status);
  if (status != kOk) return status;
  Result r(Exec("SELECT count(*)::text FROM " + table, {}));
  if (!Ok(r.get())) return Failure(r.get(), file);
  *count = std::stoll(Cell(r.get(), 0, 0));
  return kOk;
}

}  // namespace cortevane::db
