// IMPORTDONNEES: takes assisted persons' files out of the office base onto a laptop base.
//
// Argument 0 is "USER|laptop host|laptop path|server host|server path", argument 1 one person
// code per field. For every file F named in SDPARAMEXPORT record AIDE, the persons' records of
// the server's F (key = code; keys beginning with the code for a "SELECT" file) go to the
// laptop's F and to the server's reference copy F_USER, the record as it was when the data
// went out, against which the export later tells who changed what. The persons' records of
// the files named by record PLANNING go to the laptop, and the whole SECTEUR file too. Field
// 11 of record 999 of the server's COMPTEUR_USER and of the laptop's COMPTEUR receive the
// server's current COMPTEUR value: codes above it are persons created on the laptop. The
// laptop's SDEXPORTAIDES becomes a pointer to the server's register.
//
// Everything is read and checked first; then both accounts are written, each inside one
// transaction. The server commits first: if the laptop's commit then failed, the server would
// hold fresh reference copies and nothing else, which the next import overwrites; the other
// way round, laptop records without reference copies would all look changed to the export.
#include <algorithm>
#include <optional>
#include <set>

#include "db/dyn_array.h"
#include "db/names.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"
#include "db/store.h"
#include "db/store_factory.h"

namespace cortevane::db {
namespace {

using Records = std::vector<std::pair<std::string, std::string>>;

struct FileCopy {
  std::string file;
  Records records;
  bool to_reference = false;  // also written to the server's F_USER
  bool replace_all = false;   // the laptop's file is emptied first (SECTEUR)
};

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    size_t stop = text.find(sep, start);
    out.emplace_back(
        text.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start));
    if (stop == std::string_view::npos) return out;
    start = stop + 1;
  }
}

bool IsCode(std::string_view code) {
  if (code.empty() || code.size() > 6) return false;
  return std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The records of `file` whose key begins with one of `codes`, in key order: ranges of the
// store's key order, each record read once.
int RecordsByPrefix(Store& store, const std::string& file, const std::vector<std::string>& codes,
                    Records* out) {
  return store.PrefixScan(file, codes, [&](std::string_view k, std::string_view r) {
    out->emplace_back(k, r);
    return true;
  });
}

// The codes in key order, each once, as the stores' ReadMany takes them.
std::vector<std::string> DistinctCodes(const std::vector<std::string>& codes) {
  std::vector<std::string> keys = codes;
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

// The records of `file` keyed by one of `codes`, read at once (one request to a server).
int RecordsByKey(Store& store, const std::string& file, const std::vector<std::string>& codes,
                 Records* out) {
  return store.ReadMany(file, DistinctCodes(codes), [&](std::string_view k, std::string_view r) {
    out->emplace_back(k, r);
    return true;
  });
}

// Creates `file` on `to` when it is missing, with the dictionary it has on `from` when
// `on_from` (it exists there).
int EnsureFile(Store& from, Store& to, const std::string& file, bool on_from) {
  if (to.FileExists(file)) return kOk;
  if (int s = to.CreateFile(file)) return s;
  std::vector<DictItem> items;
  if (!on_from) return kOk;
  if (int s = from.Dictionary(file, &items)) return s;
  for (const DictItem& item : items)
    if (int s = to.SetDictItem(file, item)) return s;
  return kOk;
}

// Creates `file` on `store` unless `exists`; a file another connection made meanwhile is the
// one wanted.
int Create(Store& store, const std::string& file, bool exists) {
  if (exists) return kOk;
  const int s = store.CreateFile(file);
  return s == kFileExists ? static_cast<int>(kOk) : s;
}

// Sets field 11 of record 999 of `file` (created unless `exists`), keeping its other fields.
int SetThreshold(Store& store, const std::string& file, bool exists, const std::string& value) {
  if (int s = Create(store, file, exists)) return s;
  std::string text;
  int s = store.Read(file, "999", &text);
  if (s != kOk && s != kRecordNotFound) return s;
  DynArray record(text);
  record.SetField(11, value);
  return store.Write(file, "999", record.Text());
}

class Import {
 public:
  Import(Session& server, Store& srv, Store& lap) : server_(server), srv_(srv), lap_(lap) {}

  // Reads and checks everything; writes nothing.
  int Prepare(const std::string& user, const std::vector<std::string>& codes) {
    user_ = user;
    std::string aide_text, planning_text, counter_text;
    int s = srv_.Read("SDPARAMEXPORT", "AIDE", &aide_text);
    if (s == kRecordNotFound || s == kNoSuchFile) return kMissingParameters;
    if (s != kOk) return s;
    s = srv_.Read("SDPARAMEXPORT", "PLANNING", &planning_text);
    if (s != kOk && s != kRecordNotFound) return s;
    s = srv_.Read("COMPTEUR", "999", &counter_text);
    if (s == kRecordNotFound || s == kNoSuchFile) return kMissingParameters;
    if (s != kOk) return s;
    threshold_ = DynArray(counter_text).Field(11);

    const DynArray aide(aide_text);
    if (aide.Count() == 0 || aide.Value(1, 1).empty()) return kMissingParameters;
    // Which of the server files this import reads or writes exist, learnt in one request
    // rather than one before each read and each write.
    std::vector<std::string> names = {"SECTEUR", "COMPTEUR_" + user_};
    for (std::string_view field : aide.Fields()) {
      names.emplace_back(PieceOf(field, kValueMark, 1));
      names.push_back(names.back() + "_" + user_);
    }
    for (std::string_view field : FieldsOf(planning_text))
      names.emplace_back(PieceOf(field, kValueMark, 1));
    srv_.LookUpFiles(names);
    for (const std::string& name : names)
      if (ValidateName(name) == kOk && srv_.FileExists(name)) on_server_.insert(name);
    // A laptop starts a cycle empty: a code created there in the last cycle could otherwise
    // fall under the new threshold and be taken for a server person.
    const std::string persons = aide.Value(1, 1);
    long long held = 0;
    if (lap_.FileExists(persons)) {
      if ((s = lap_.CountRecords(persons, &held))) return s;
      if (held > 0) return kLaptopNotEmpty;
    }

    int f = 0;
    for (std::string_view field : aide.Fields()) {
      ++f;
      FileCopy copy;
      copy.file = PieceOf(field, kValueMark, 1);
      if (copy.file.empty()) continue;
      if ((s = ValidateName(copy.file)) || (s = ValidateName(copy.file + "_" + user_))) return s;
      if (!on_server_.count(copy.file)) return kNoSuchFile;
      copy.to_reference = true;
      const bool several = PieceOf(field, kValueMark, 3) == "SELECT";
      s = several ? RecordsByPrefix(srv_, copy.file, codes, &copy.records)
                  : RecordsByKey(srv_, copy.file, codes, &copy.records);
      if (s) return s;
      // Every code must be a person of the server: the caller has just registered them as
      // taken out, and a silent success would leave a registration with nothing behind it.
      if (f == 1 && !several && copy.records.size() != DistinctCodes(codes).size())
        return kRecordNotFound;
      copies_.push_back(std::move(copy));
    }
    for (std::string_view field : FieldsOf(planning_text)) {
      FileCopy copy;
      copy.file = PieceOf(field, kValueMark, 1);
      if (copy.file.empty()) continue;
      if ((s = ValidateName(copy.file))) return s;
      // The laptop gets the file even when the server has none, so the export's final
      // clearing finds it.
      if (on_server_.count(copy.file) &&
          (s = RecordsByPrefix(srv_, copy.file, codes, &copy.records)))
        return s;
      copies_.push_back(std::move(copy));
    }
    if (on_server_.count("SECTEUR")) {
      FileCopy copy;
      copy.file = "SECTEUR";
      copy.replace_all = true;
      s = srv_.Scan("SECTEUR", [&](std::string_view k, std::string_view r) {
        copy.records.emplace_back(k, r);
        return true;
      });
      if (s) return s;
      copies_.push_back(std::move(copy));
    }

    // The laptop's SDEXPORTAIDES is replaced by a pointer; a real file there may go only when
    // it is empty, never with records in it.
    if (lap_.FileExists("SDEXPORTAIDES")) {
      if ((s = lap_.CountRecords("SDEXPORTAIDES", &held))) return s;
      if (held > 0) return kFileExists;
    }
    if ((s = ValidateName("COMPTEUR_" + user_))) return s;
    return kOk;
  }

  int WriteServer() {
    for (const FileCopy& copy : copies_) {
      if (!copy.to_reference) continue;
      const std::string reference = copy.file + "_" + user_;
      if (int s = Create(srv_, reference, on_server_.count(reference) > 0)) return s;
      for (const auto& [key, record] : copy.records)
        if (int s = srv_.Write(reference, key, record)) return s;
    }
    const std::string counter = "COMPTEUR_" + user_;
    return SetThreshold(srv_, counter, on_server_.count(counter) > 0, threshold_);
  }

  int WriteLaptop() {
    for (const FileCopy& copy : copies_) {
      if (int s = EnsureFile(srv_, lap_, copy.file, on_server_.count(copy.file) > 0)) return s;
      if (copy.replace_all)
        if (int s = lap_.Clear(copy.file)) return s;
      for (const auto& [key, record] : copy.records) {
        if (int s = lap_.Write(copy.file, key, record)) return s;
        ++laptop_records_;
      }
    }
    if (int s = SetThreshold(lap_, "COMPTEUR", lap_.FileExists("COMPTEUR"), threshold_)) return s;
    if (lap_.FileExists("SDEXPORTAIDES"))
      if (int s = lap_.DropFile("SDEXPORTAIDES")) return s;
    return lap_.SetPointer(
        "SDEXPORTAIDES", PointerTarget{server_.HostName(), server_.AccountPath(), "SDEXPORTAIDES"});
  }

  long laptop_records() const { return laptop_records_; }

 private:
  Session& server_;
  Store& srv_;
  Store& lap_;
  std::string user_;
  std::string threshold_;
  std::vector<FileCopy> copies_;
  std::set<std::string> on_server_;  // the server files of the import that exist (Prepare)
  long laptop_records_ = 0;
};

}  // namespace

int ImportDonnees(Session& server, const std::string& arg0, const std::string& arg1,
                  std::string* arg2) {
  arg2->clear();
  std::shared_ptr<Store> srv = server.store();
  if (!srv) return kNotConnected;

  const std::vector<std::string> identity = Split(arg0, '|');
  if (identity.size() != 5) return kBadArgument;
  const std::string& user = identity[0];
  if (int s = ValidateName(user)) return s;
  const std::string& laptop_host = identity[1];
  const std::string& laptop_path = identity[2];

  std::vector<std::string> codes;
  std::set<std::string> seen;
  for (std::string_view code : FieldsOf(arg1)) {
    if (!IsCode(code)) return kBadArgument;
    if (seen.emplace(code).second) codes.emplace_back(code);
  }
  if (codes.empty()) return kBadArgument;

  Session* laptop = Session::FindConnected(laptop_host, laptop_path);
  if (laptop == nullptr || !laptop->store()) return kLaptopNotConnected;
  // Both accounts are written inside transactions of their own; one account cannot be both.
  if (AccountIdentity(laptop_host, laptop_path) ==
      AccountIdentity(server.HostName(), server.AccountPath()))
    return kBadArgument;
  Store& lap = *laptop->store();

  Import import(server, *srv, lap);
  if (int s = import.Prepare(user, codes)) return s;

  if (int s = srv->Begin()) return s;
  if (int s = lap.Begin()) {
    srv->Rollback();
    return s;
  }
  int s = import.WriteServer();
  if (s == kOk) s = import.WriteLaptop();
  if (s != kOk) {
    lap.Rollback();
    srv->Rollback();
    return s;
  }
  if ((s = srv->Commit())) {
    lap.Rollback();
    return s;
  }
  if ((s = lap.Commit())) return s;

  DynArrayBuilder result;
  result.AddField(std::to_string(codes.size()));
  result.AddField(std::to_string(import.laptop_records()));
  *arg2 = result.TakeText();
  return kOk;
}

}  // namespace cortevane::db
