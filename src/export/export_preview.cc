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
    long write = 0;
    PreviewQuestion question{file.file};
    for (const RecordPlan& record : file.records) {
      if (plan.created || record.verdict == Verdict::kWrite ||
          record.verdict == Verdict::kOverride) {
        ++write;
      } else if (record.verdict == Verdict::kConflict) {
        ++question.records;
        question.mergeable += record.mergeable;
      }
    }
    if (write > 0) person.writes.emplace_back(file.file, write);
    if (question.records > 0) {
      person.mergeable += question.mergeable;
      person.questions.push_back(std::move(question));
    }
  }
  return person;
}

void PreviewTotals::Add(const PreviewPerson& person) {
  if (person.left_out) {
    ++left_out;
    return;
  }
  ++persons;
  unchanged += person.unchanged();
  mergeable += person.mergeable;
  records += person.records();
  questions += static_cast<long>(person.questions.size());
  created += person.created && person.noted_code.empty();
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
  // Field 11 of a counter's record "999", or the failure (its message kept) in *status.
  auto counter_field = [&](const std::string& file, int* status) -> std::string {
    auto counter = office_.OpenFile(file);
    if (!counter) {
      *status = fail(Step::kCounter, file, "", office_.Error());
      return "";
    }
    db::DynArray record;
    int read_status = 0;
    failed_message_ = ReadCounter(*counter, &record, &read_status);
    if (!failed_message_.empty())
      *status = fail(Step::kCounter, file, "999", read_status ? read_status : -1);
    return record.Field(11);
  };
  auto parameters = office_.OpenFile("SDPARAMEXPORT");
  if (!parameters) return fail(Step::kParameters, "SDPARAMEXPORT", "", office_.Error());
  parameters->SetKey("AIDE");
  if (int s = parameters->ReadRecord()) return fail(Step::kParameters, "SDPARAMEXPORT", "AIDE", s);

  int status = 0;
  threshold_ = counter_field("COMPTEUR_" + user_, &status);
  if (status == 0) counter_field("COMPTEUR", &status);
  if (status != 0) return status;

  db::DynArray persons;
  if (int s = SelectKeys(laptop_, "CIVILAIDE", "", user_, &persons))
    return fail(Step::kPersons, "CIVILAIDE", "", s);
  codes_ = KeysOf(persons);
  next_ = 0;
  planner_ =
      std::make_unique<Planner>(laptop_, office_, user_, parameters->GetRecord(), threshold_);
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
  std::string noted;
  if (plan.created) {
    if (int s = NotedCode(laptop_, code, threshold_, &noted)) {
      noted_failure_ = {PlanFailure::kOpenLaptop, kCodesAttribues, "", s, true};
      failed_code_ = code;
      return false;
    }
  }
  ++next_;
  *person = Summarise(plan);
  person->noted_code = std::move(noted);
  return true;
}

const PlanFailure& ExportPreview::failure() const {
  static const PlanFailure kNone;
  if (noted_failure_.kind != PlanFailure::kNone) return noted_failure_;
  return planner_ ? planner_->failure() : kNone;
}

}  // namespace cortevane::exporting
