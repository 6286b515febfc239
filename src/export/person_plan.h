// What an export sends for one laptop person, decided before anything is written. For a person
// the office knows, each laptop record of each exported file is compared with its reference
// copy (taken at import, F_<user>) and with the office's current version; for a person created
// on the laptop, every laptop record goes to the office under the person's new code.
//
// The export reads a PersonPlan (Planner::Plan), asks the user about its conflicts (Resolve),
// then writes what it sends, with the release of the person's registration, in one office
// transaction. cortevane-admin's export preview reads the same plans and prints them. Nothing
// here talks to the user or writes: it needs the database layer only.
//
// A Planner works on two connected sessions (laptop, office) that must outlive it, from one
// thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/dyn_array.h"

namespace cortevane::db {
class DbFile;
class Session;
}  // namespace cortevane::db

namespace cortevane::exporting {

// What becomes of one laptop record.
enum class Verdict {
  kUnchanged,    // the laptop did not change it (same text as the reference): left alone
  kAlreadySent,  // the office already holds the laptop's version, or its changes merged with
                 // the office's: neither written nor asked
  kWrite,        // only the laptop changed it, or the person is new: written
  kOverride,     // both sides changed it, the file's parameter says "N": written unasked
  kConflict,     // both sides changed it: written only when the user accepts
};

// The verdict on a record of a known person, from its three versions (an empty array where a
// side has no record). `ask` is false when the file's parameter says "N".
Verdict Decide(const db::DynArray& reference, const db::DynArray& office,
               const db::DynArray& laptop, bool ask);

struct RecordPlan {
  std::string key;         // on the laptop
  std::string office_key;  // on the office: the same, or re-keyed on a new person's code
  db::DynArray reference;  // empty when absent (and always for a person created on the laptop)
  db::DynArray office;     // likewise
  db::DynArray laptop;
  bool office_found = false;  // the office held a record under the key when it was read
  Verdict verdict = Verdict::kUnchanged;
  bool send = false;  // written on the office: kWrite, kOverride, or a conflict accepted
  // A conflict whose two changes touch different fields (export/merge_rule.h) can be merged:
  // `merged` is then the reference with both sides' changes.
  bool mergeable = false;
  db::DynArray merged;
  bool merge = false;  // the user chose the merge: `merged` is sent instead of `laptop`

  // What is written on the office when `send`.
  const db::DynArray& Sent() const { return merge ? merged : laptop; }
};

struct FilePlan {
  int field = 0;         // its field in SDPARAMEXPORT "AIDE"
  std::string file;      // the same name on the laptop and on the office
  std::string label;     // value 2: how the conflict question names the file's data
  bool several = false;  // value 3 "SELECT": keys beginning with the code, else the code
  bool ask = true;       // value 4 not "N": a conflict is asked
  // The person's records found on the laptop, in the order of the laptop's selection. A
  // record missing on the laptop is not there: deletions are not sent.
  std::vector<RecordPlan> records;
};

struct PersonPlan {
  std::string code;        // on the laptop
  bool created = false;    // created on the laptop: it needs a code of the common counter
  std::string new_code;    // that code, once given (GiveCode)
  std::string surname;     // fields 2, 3 and 40 of its laptop record in the first file, when
  std::string first_name;  // that file holds one record a person; empty otherwise
  std::string sector;
  std::vector<FilePlan> files;  // in parameter order
};

// The answers to a conflict question.
enum class Answer {
  kNo,     // the office keeps its version
  kYes,    // the laptop's version is sent, and so are the person's later conflicts, unasked
  kMerge,  // (a mergeable conflict only) the merge is sent; the next conflict is asked
};

// Settles the conflicts with the user's answers, in plan order: `ask` is called for each
// conflict until it answers kYes, which accepts the person's changes; every later conflict of
// the person is then sent as the laptop's, without a question.
void Resolve(PersonPlan* plan,
             const std::function<Answer(const FilePlan& file, const RecordPlan& record)>& ask);

// Gives a person created on the laptop its code: the code is the office key of its record in a
// one-record file, and replaces the first 5 characters of its keys in a several-records file.
void GiveCode(PersonPlan* plan, const std::string& new_code);

// Why a plan could not be read.
struct PlanFailure {
  enum Kind {
    kNone,
    kOpenOffice,  // an office file, or its reference copy, cannot be opened
    kOpenLaptop,  // a laptop file cannot be opened
    kSelection,   // the selection of a several-records file's keys failed
    kRead,        // a read failed (other than "no such record")
    // The person's code cannot be selected in a several-records file (see SelectionSentence):
    // the person is left out, the export goes on.
    kUnselectableKey,
  };
  Kind kind = kNone;
  std::string file;     // kOpen*: the exported file's name; kRead: the file read
  std::string key;      // kRead: the first key of the read
  int status = 0;       // the session's, routine's or file's status
  bool laptop = false;  // the failure is the laptop base's (else the office's)
};

// The keys of `file` that the export handles, selected through DBA.SELECT on the laptop
// session: every person ("CIVILAIDE"), the user's registrations ("SDEXPORTAIDES"), or the keys
// beginning with `prefix`. Returns 0 with *keys one field a key, or the failure's status with
// *keys empty (kBadArgument when `prefix` cannot be put in a sentence).
int SelectKeys(db::Session& laptop, std::string_view file, std::string_view prefix,
               std::string_view user, db::DynArray* keys);

// The keys of a selection's result (value 1 of each field), in its order, read in one walk.
std::vector<std::string> KeysOf(const db::DynArray& list);

// The laptop file where the export notes the server code given to each person created on the
// laptop, so that a run after an interrupted one gives the person the same code again.
inline constexpr char kCodesAttribues[] = "CODESATTRIBUES";

// The code an interrupted export of this cycle (the user's threshold `threshold`) noted for the
// laptop person `code`, in *noted; empty when there is no note, or a note of another cycle or
// of a code that cycle's counter cannot have given. Only "no such file" and "no such record"
// mean no note: any other status of the notes is returned (the caller must not take a code).
int NotedCode(db::Session& laptop, const std::string& code, const std::string& threshold,
              std::string* noted);

// Reads record "999" of a counter file and checks its field 11, as an export does before
// anything is written: "" with *record set, or the French message that stops the export, with
// *status the read's status (0 when field 11 is not a number).
std::string ReadCounter(db::DbFile& counter, db::DynArray* record, int* status);

// How many persons' plans are read ahead together (Planner::ReadAhead).
inline constexpr int kPersonsReadAhead = 100;

class Planner {
 public:
  // `parameters` is SDPARAMEXPORT "AIDE"; `threshold` is field 11 of COMPTEUR_<user> "999".
  Planner(db::Session& laptop, db::Session& office, std::string user, db::DynArray parameters,
          std::string threshold);
  ~Planner();
  Planner(const Planner&) = delete;
  Planner& operator=(const Planner&) = delete;

  // Reads the plan of the laptop person `code`, files in parameter order: for a known person
  // the laptop's records, then their reference and office versions, one request a file and
  // side; for a person created on the laptop its laptop records only. False, with failure()
  // set, when a file cannot be opened, a selection fails or a read fails.
  // A plan read ahead (ReadAhead) is given instead, once: a second Plan of the person reads
  // afresh.
  bool Plan(const std::string& code, PersonPlan* plan);
  const PlanFailure& failure() const { return failure_; }

  // Reads ahead the plans of the known persons among `codes` (the next persons of an export):
  // each one's laptop records, then the reference and office versions of them all with one
  // request a file and side. What was read ahead before is forgotten. A person whose plan
  // fails is left to Plan, which meets the failure in its turn; so is every person when a read
  // of the office fails. The office may change before a person's plan is used: its writes
  // check the versions it was decided on.
  void ReadAhead(const std::vector<std::string>& codes);
  // Forgets the plans read ahead (the office connection changed).
  void ForgetAhead() { ahead_.clear(); }

  // The office file `file`, opened by an earlier Plan, or nullptr.
  db::DbFile* OfficeFile(const std::string& file) const;

 private:
  // The plan of `code`; without `office`, a known person's records are left undecided, their
  // reference and office versions unread.
  bool PlanNow(const std::string& code, bool office, PersonPlan* plan);
  bool PlanFile(int field, const std::string& code, bool created, bool office, PersonPlan* plan);
  // Decides the laptop records of `f` against their versions read from the office.
  static void DecideFile(FilePlan* f, const std::map<std::string, db::DynArray>& references,
                         const std::map<std::string, db::DynArray>& current);
  db::DbFile* Open(db::Session& session, const std::string& name, const std::string& file,
                   PlanFailure::Kind kind);
  bool Read(db::DbFile& file, const std::vector<std::string>& keys,
            std::map<std::string, db::DynArray>* records);

  db::Session& laptop_;
  db::Session& office_;
  std::string user_;
  db::DynArray parameters_;
  std::string threshold_;
  // Files opened once a run; the laptop's and the office's kept apart (same names).
  std::map<std::string, std::unique_ptr<db::DbFile>> laptop_files_;
  std::map<std::string, std::unique_ptr<db::DbFile>> office_files_;
  PlanFailure failure_;
  std::map<std::string, PersonPlan> ahead_;  // code -> plan read ahead, not used yet
};

}  // namespace cortevane::exporting
