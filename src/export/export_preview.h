// What an export would now do, person by person, without doing it: the laptop's persons, each
// planned by the export's own Planner (person_plan.h) and summed up. cortevane-admin's
// export-preview prints it in English; the program's "Suivi" menu shows it in a window. Reads
// only: nothing is written, reserved or released.
//
// Use: Start() once, then Next() until it returns false (done() or a failure). Next() plans
// one person, so a window can show progress and stop between two persons. Both sessions must
// be connected and outlive the preview; one thread.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/dyn_array.h"
#include "export/person_plan.h"

namespace cortevane::db {
class Session;
}

namespace cortevane::exporting {

// A file whose records would bring the conflict question: how many, and how many of them the
// two sides changed in ways that could be merged.
struct PreviewQuestion {
  std::string file;
  long records = 0;
  long mergeable = 0;
};

// One person's summary: records to write per file, and files whose records would bring a
// question, in parameter order.
struct PreviewPerson {
  std::string code;
  std::string surname;
  std::string first_name;
  bool created = false;   // created on the laptop: would get a code
  bool left_out = false;  // a key the export cannot select: it would leave the person out
  // Created on the laptop, and an interrupted export of this cycle already gave it this code,
  // which the next export gives it again.
  std::string noted_code;
  std::vector<std::pair<std::string, long>> writes;
  std::vector<PreviewQuestion> questions;
  long mergeable = 0;  // records of those questions whose two sides' changes could be merged

  bool unchanged() const { return !created && !left_out && writes.empty() && questions.empty(); }
  long records() const;
};

PreviewPerson Summarise(const PersonPlan& plan);

// The sums over the persons planned; a person left out counts in left_out only, and a new
// person keeping a noted code is not one "to get a code".
struct PreviewTotals {
  long persons = 0, unchanged = 0, records = 0, questions = 0, mergeable = 0, created = 0,
       left_out = 0;
  void Add(const PreviewPerson& person);
};

class ExportPreview {
 public:
  // What Start() could not read.
  enum class Step {
    kNone,
    kParameters,  // office file SDPARAMEXPORT, or its record AIDE
    kCounter,     // office file COMPTEUR_<user> or COMPTEUR, or its record 999
    kPersons,     // the selection of the laptop's persons
  };

  ExportPreview(db::Session& laptop, db::Session& office, std::string user);
  ~ExportPreview();

  // Reads the export parameters, both counters (checked as the export checks them before it
  // writes anything) and the laptop's persons. 0, or the failing status (-1 for a counter
  // record that cannot be used) with failed_step() set.
  int Start();
  Step failed_step() const { return failed_step_; }
  // The file Start() failed on, and the key of the record when it was a read that failed.
  const std::string& failed_file() const { return failed_file_; }
  const std::string& failed_key() const { return failed_key_; }
  // For an unusable counter record: the export's own message about it; empty otherwise.
  const std::string& failed_message() const { return failed_message_; }

  int count() const { return static_cast<int>(codes_.size()); }
  int done_count() const { return next_; }
  bool done() const { return next_ >= count(); }

  // Plans the next person into *person. False when every person is done, or when the plan
  // could not be read (failure() then says why, failed_code() which person; a noted code that
  // cannot be read is a kOpenLaptop failure on CODESATTRIBUES). A person the export would
  // leave out (a key it cannot select) comes back with left_out set.
  bool Next(PreviewPerson* person);
  const PlanFailure& failure() const;
  const std::string& failed_code() const { return failed_code_; }

 private:
  db::Session& laptop_;
  db::Session& office_;
  std::string user_;
  std::unique_ptr<Planner> planner_;
  std::string threshold_;
  PlanFailure noted_failure_;
  std::vector<std::string> codes_;
  int next_ = 0;
  Step failed_step_ = Step::kNone;
  std::string failed_file_;
  std::string failed_key_;
  std::string failed_message_;
  std::string failed_code_;
};

}  // namespace cortevane::exporting
