#include "export/export_preview.h"

#include <algorithm>

#include "db/db_file.h"
#include "db/session.h"

namespace cortevane::exporting {

long PreviewPerson::records() const {
  long n = 0;
  for (const auto& [file, count] : writes) n += count;
  return n;
}

PreviewPerson Summarise(const PersonPlan& plan) {
  PreviewPerson person;
  person.code = plan.code;
  person.surname = plan.surname;
  person.first_name = plan.first_name;
  person.created = plan.created;
  for (const FilePlan& file : plan.files) {
    long write = 0, conflict = 0;
    for (const RecordPlan& record : file.records) {
      if (plan.created || record.verdict == Verdict::kWrite ||
          record.verdict == Verdict::kOverride) {
        ++write;
      } else if (record.verdict == Verdict::kConflict) {
        ++conflict;
        person.mergeable += record.mergeable;
      }
    }
    if (write > 0) person.writes.emplace_back(file.file, write);
    if (conflict > 0) person.questions.emplace_back(file.file, conflict);
  }
  return person;
}

void PreviewTotals::Add(const PreviewPerson& person) {
  ++persons;
  unchanged += person.unchanged();
  mergeable += person.mergeable;
  left_out += person.left_out;
  records += person.records();
  questions += static_cast<long>(person.questions.size());
  created += person.created;
}

ExportPreview::ExportPreview(db::Session& laptop, db::Session& office, std::string user)
    : laptop_(laptop), office_(office), user_(std::move(user)) {}

ExportPreview::~ExportPreview() = default;

int ExportPreview::Start() {
  auto fail = [&](Step step, std::string file, std::string key, int status) {
    failed_step_ = step;
    failed_file_ = std::move(file);
    failed_key_ = std::move(key);
    return status;
  };
  auto parameters = office_.OpenFile("SDPARAMEXPORT");
  if (!parameters) return fail(Step::kParameters, "SDPARAMEXPORT", "", office_.Error());
  parameters->SetKey("AIDE");
  if (int s = parameters->ReadRecord()) return fail(Step::kParameters, "SDPARAMEXPORT", "AIDE", s);

  const std::string counter_file = "COMPTEUR_" + user_;
  auto counter = office_.OpenFile(counter_file);
  if (!counter) return fail(Step::kCounter, counter_file, "", office_.Error());
  db::DynArray counter_record;
  int counter_status = 0;
  if (!ReadCounter(*counter, &counter_record, &counter_status).empty())
    return fail(Step::kCounter, counter_file, "999", counter_status ? counter_status : -1);

  db::DynArray persons;
  if (int s = SelectKeys(laptop_, "CIVILAIDE", "", user_, &persons))
    return fail(Step::kPersons, "CIVILAIDE", "", s);
  codes_ = KeysOf(persons);
  next_ = 0;
  planner_ = std::make_unique<Planner>(laptop_, office_, user_, parameters->GetRecord(),
                                       counter_record.Field(11));
  return 0;
}

bool ExportPreview::Next(PreviewPerson* person) {
  if (!planner_ || done()) return false;
  if (next_ % kPersonsReadAhead == 0) {
    auto from = codes_.begin() + next_;
    planner_->ReadAhead({from, from + std::min<long>(kPersonsReadAhead, codes_.end() - from)});
  }
  const std::string& code = codes_[static_cast<size_t>(next_)];
  PersonPlan plan;
  if (!planner_->Plan(code, &plan)) {
    if (planner_->failure().kind == PlanFailure::kUnselectableKey) {
      ++next_;
      *person = PreviewPerson{};
      person->code = code;
      person->left_out = true;
      return true;
    }
    failed_code_ = code;
    return false;
  }
  ++next_;
  *person = Summarise(plan);
  return true;
}

const PlanFailure& ExportPreview::failure() const {
  static const PlanFailure kNone;
  return planner_ ? planner_->failure() : kNone;
}

}  // namespace cortevane::exporting
