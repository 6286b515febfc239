#include "export/person_plan.h"

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/status.h"
#include "export/merge_rule.h"
#include "export/rules.h"

namespace cortevane::exporting {

Verdict Decide(const db::DynArray& reference, const db::DynArray& office,
               const db::DynArray& laptop, bool ask) {
  if (reference == laptop) return Verdict::kUnchanged;
  // Sent already, by a run that stopped before the end: asking would ask about our own change.
  if (office == laptop) return Verdict::kAlreadySent;
  if (reference == office) return Verdict::kWrite;
  if (!ask) return Verdict::kOverride;
  // Merged by a run that stopped before the end: the office holds the laptop's changes and
  // its own; asking again could only lose the office's.
  if (HoldsLaptopChanges(reference, office, laptop)) return Verdict::kAlreadySent;
  return Verdict::kConflict;
}

void Resolve(PersonPlan* plan,
             const std::function<Answer(const FilePlan& file, const RecordPlan& record)>& ask) {
  bool accepte = false;  // W_Accepte: once Yes, the person's later conflicts follow unasked
  for (FilePlan& file : plan->files) {
    for (RecordPlan& record : file.records) {
      if (record.verdict != Verdict::kConflict) continue;
      const Answer answer = accepte ? Answer::kYes : ask(file, record);
      accepte = answer == Answer::kYes;
      record.merge = answer == Answer::kMerge && record.mergeable;
      record.send = answer == Answer::kYes || record.merge;
    }
  }
}

void GiveCode(PersonPlan* plan, const std::string& new_code) {
  plan->new_code = new_code;
  for (FilePlan& file : plan->files)
    for (RecordPlan& record : file.records)
      record.office_key = file.several ? ReKey(new_code, record.key) : new_code;
}

std::vector<std::string> KeysOf(const db::DynArray& list) {
  std::vector<std::string> keys;
  for (std::string_view field : list.Fields())
    keys.emplace_back(db::PieceOf(field, db::kValueMark, 1));
  return keys;
}

int SelectKeys(db::Session& laptop, std::string_view file, std::string_view prefix,
               std::string_view user, db::DynArray* keys) {
  *keys = db::DynArray();
  db::DynArray request;
  const std::optional<std::string> sentence = SelectionSentence(file, prefix, user);
  if (!sentence) return db::kBadArgument;
  request.SetField(1, *sentence);
  request.SetField(2, file);
  request.SetField(3, "0");
  std::unique_ptr<db::DbSubroutine> routine = laptop.Subroutine(db::kDbaSelect, 3);
  if (!routine) return laptop.Error();
  routine->ResetArgs();
  routine->SetArg(0, "");
  routine->SetArg(1, request.Text());
  routine->Call();
  if (int status = routine->Error(); status != 0) return status;
  keys->SetText(routine->GetArg(2));
  return db::kOk;
}

int NotedCode(db::Session& laptop, const std::string& code, const std::string& threshold,
              std::string* noted) {
  noted->clear();
  std::unique_ptr<db::DbFile> notes = laptop.OpenFile(kCodesAttribues);
  if (!notes) return laptop.Error() == db::kNoSuchFile ? db::kOk : laptop.Error();
  notes->SetKey(code);
  const int status = notes->ReadRecord();
  if (status == db::kRecordNotFound) return db::kOk;
  if (status != db::kOk) return status;
  const db::DynArray& note = notes->GetRecord();
  if (note.Field(2) != threshold) return db::kOk;
  // Only a code this cycle's counter can have given: above the user's threshold.
  std::optional<long> donne = CounterValue(note.Field(1));
  std::optional<long> seuil = CounterValue(threshold);
  if (!donne || !seuil || *donne <= *seuil || *donne > kHighestCode ||
      FormatCode(*donne) != note.Field(1))
    return db::kOk;
  *noted = note.Field(1);
  return db::kOk;
}

std::string ReadCounter(db::DbFile& counter, db::DynArray* record, int* status) {
  counter.SetKey("999");
  *status = counter.ReadRecord();
  if (*status != db::kOk) {
    return "Lecture impossible de l'enregistrement 999 du fichier " + counter.Name() + " (erreur " +
           std::to_string(*status) + "). Exportation interrompue : rien n'a été écrit.";
  }
  *record = counter.GetRecord();
  if (CounterValue(record->Field(11))) return {};
  return "Le champ 11 de l'enregistrement 999 du fichier " + counter.Name() +
         " n'est pas un nombre : \"" + record->Field(11) +
         "\". Exportation interrompue : rien n'a été écrit.";
}

Planner::Planner(db::Session& laptop, db::Session& office, std::string user,
                 db::DynArray parameters, std::string threshold)
    : laptop_(laptop),
      office_(office),
      user_(std::move(user)),
      parameters_(std::move(parameters)),
      threshold_(std::move(threshold)) {}

Planner::~Planner() = default;

db::DbFile* Planner::OfficeFile(const std::string& file) const {
  auto it = office_files_.find(file);
  return it == office_files_.end() ? nullptr : it->second.get();
}

db::DbFile* Planner::Open(db::Session& session, const std::string& name, const std::string& file,
                          PlanFailure::Kind kind) {
  auto& files = &session == &laptop_ ? laptop_files_ : office_files_;
  std::unique_ptr<db::DbFile>& open = files[name];
  if (!open) open = session.OpenFile(name);
  if (!open) failure_ = {kind, file, "", session.Error(), &session == &laptop_};
  return open.get();
}

bool Planner::Read(db::DbFile& file, const std::vector<std::string>& keys,
                   std::map<std::string, db::DynArray>* records) {
  if (int status = file.ReadRecords(keys, records); status != db::kOk) {
    const auto on_laptop = laptop_files_.find(file.Name());
    failure_ = {PlanFailure::kRead, file.Name(), keys.empty() ? "" : keys.front(), status,
                on_laptop != laptop_files_.end() && on_laptop->second.get() == &file};
    return false;
  }
  return true;
}

bool Planner::Plan(const std::string& code, PersonPlan* plan) {
  if (auto ahead = ahead_.find(code); ahead != ahead_.end()) {
    *plan = std::move(ahead->second);
    ahead_.erase(ahead);
    failure_ = PlanFailure();
    return true;
  }
  return PlanNow(code, true, plan);
}

bool Planner::PlanNow(const std::string& code, bool office, PersonPlan* plan) {
  *plan = PersonPlan();
  failure_ = PlanFailure();
  plan->code = code;
  plan->created = !IsKnownPerson(threshold_, code);
  const int fichiers = parameters_.Count();
  for (int j = 1; j <= fichiers; ++j)
    if (!PlanFile(j, code, plan->created, office, plan)) return false;
  return true;
}

void Planner::ReadAhead(const std::vector<std::string>& codes) {
  ahead_.clear();
  // A person created on the laptop reads nothing of the office: Plan reads it when its turn
  // comes.
  std::vector<PersonPlan> plans;
  for (const std::string& code : codes) {
    if (!IsKnownPerson(threshold_, code)) continue;
    if (!PlanNow(code, false, &plans.emplace_back())) plans.pop_back();
  }
  failure_ = PlanFailure();
  if (plans.empty()) return;
  const size_t fichiers = plans.front().files.size();
  for (size_t j = 0; j < fichiers; ++j) {
    std::vector<std::string> keys;
    for (const PersonPlan& plan : plans)
      for (const RecordPlan& r : plan.files[j].records) keys.push_back(r.key);
    if (keys.empty()) continue;
    const std::string& file = plans.front().files[j].file;
    db::DbFile* reference = office_files_[file + "_" + user_].get();
    db::DbFile* office = office_files_[file].get();
    std::map<std::string, db::DynArray> references, current;
    if (!reference || !office || !Read(*reference, keys, &references) ||
        !Read(*office, keys, &current)) {
      failure_ = PlanFailure();
      return;
    }
    for (PersonPlan& plan : plans) DecideFile(&plan.files[j], references, current);
  }
  for (PersonPlan& plan : plans) {
    std::string code = plan.code;
    ahead_.insert_or_assign(std::move(code), std::move(plan));
  }
}

bool Planner::PlanFile(int field, const std::string& code, bool created, bool office_read,
                       PersonPlan* plan) {
  FilePlan& f = plan->files.emplace_back();
  f.field = field;
  f.file = parameters_.Value(field, 1);
  f.label = parameters_.Value(field, 2);
  f.several = parameters_.Value(field, 3) == "SELECT";
  f.ask = parameters_.Value(field, 4) != "N";

  // The files in the order the export always opened them: reference copy, office, laptop.
  db::DbFile* reference = nullptr;
  if (!created) {
    reference = Open(office_, f.file + "_" + user_, f.file, PlanFailure::kOpenOffice);
    if (!reference) return false;
  }
  db::DbFile* office = Open(office_, f.file, f.file, PlanFailure::kOpenOffice);
  if (!office) return false;
  db::DbFile* laptop = Open(laptop_, f.file, f.file, PlanFailure::kOpenLaptop);
  if (!laptop) return false;

  std::vector<std::string> keys;
  if (f.several) {
    if (!SelectionSentence(f.file, code, user_)) {
      failure_ = {PlanFailure::kUnselectableKey, f.file, code, 0};
      return false;
    }
    db::DynArray selected;
    if (int status = SelectKeys(laptop_, f.file, code, user_, &selected); status != db::kOk) {
      failure_ = {PlanFailure::kSelection, f.file, "", status, true};
      return false;
    }
    keys = KeysOf(selected);
  } else {
    keys.push_back(code);
  }

  std::map<std::string, db::DynArray> on_laptop;
  if (!Read(*laptop, keys, &on_laptop)) return false;
  std::vector<std::string> found;
  for (const std::string& key : keys) {
    auto it = on_laptop.find(key);
    if (it == on_laptop.end()) continue;
    RecordPlan& r = f.records.emplace_back();
    r.key = r.office_key = key;
    r.laptop = it->second;
    found.push_back(key);
  }
  if (field == 1 && !f.several && !f.records.empty()) {
    const db::DynArray& person = f.records.front().laptop;
    plan->surname = person.Field(2);
    plan->first_name = person.Field(3);
    plan->sector = person.Field(40);
  }
  if (created) {
    for (RecordPlan& r : f.records) {
      r.verdict = Verdict::kWrite;
      r.send = true;
    }
    return true;
  }
  if (found.empty() || !office_read) return true;

  std::map<std::string, db::DynArray> references, current;
  if (!Read(*reference, found, &references) || !Read(*office, found, &current)) return false;
  DecideFile(&f, references, current);
  return true;
}

void Planner::DecideFile(FilePlan* f, const std::map<std::string, db::DynArray>& references,
                         const std::map<std::string, db::DynArray>& current) {
  for (RecordPlan& r : f->records) {
    if (auto it = references.find(r.key); it != references.end()) r.reference = it->second;
    if (auto it = current.find(r.key); it != current.end()) {
      r.office = it->second;
      r.office_found = true;
    }
    r.verdict = Decide(r.reference, r.office, r.laptop, f->ask);
    r.send = r.verdict == Verdict::kWrite || r.verdict == Verdict::kOverride;
    if (r.verdict == Verdict::kConflict) {
      if (auto merged = Merge(r.reference, r.office, r.laptop)) {
        r.mergeable = true;
        r.merged = std::move(*merged);
      }
    }
  }
}

}  // namespace cortevane::exporting
