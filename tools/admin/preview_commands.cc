// export-preview: what an export of the laptop account would now send to the office, person by
// person, computed by the export's own planner (export/person_plan.h) on the two bases as they
// are. It only reads: no record is written, no registration released, no counter reserved.
//
// The office is the one the laptop's configuration file names (Cortevane.ini: the office host
// and the first office base), unless --office gives it: a folder (embedded) or the name of a
// PostgreSQL database on --office-host. PostgreSQL credentials: the global --user or PGUSER
// (else the export's user), --password-stdin or PGPASSWORD.
#include <iostream>
#include <map>
#include <sstream>

#include "commands.h"
#include "connection/configuration.h"
#include "db/db_file.h"
#include "db/names.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store_factory.h"
#include "export/person_plan.h"

namespace cortevane::admin {
namespace {

struct {
  std::string user;
  std::string office;
  std::string office_host;
} options;

std::string Plural(long n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The office account: --office, else the configuration file's. nullptr after a failure.
std::shared_ptr<db::Store> OpenOfficeAccount(AdminContext& ctx, const std::string& user) {
  std::string host = options.office_host;
  std::string path = options.office;
  if (path.empty()) {
    const auto file = connection::ConfigurationPath();
    const auto lines = connection::ReadConfigurationFile(file);
    if (!lines) {
      FailMessage(ctx, "no --office given and the configuration file " + Quoted(file.string()) +
                           " cannot be read");
      return nullptr;
    }
    const connection::Configuration configuration = connection::ParseConfiguration(*lines);
    path = configuration.W_BasesDistantes.Value(1, 1);
    if (path.empty()) {
      FailMessage(ctx, "the configuration file " + Quoted(file.string()) + " names no office base");
      return nullptr;
    }
    if (host.empty()) host = configuration.W_ServeurDistant;
  }
  if (host.empty()) host = "localhost";

  std::shared_ptr<db::Store> store;
  if (db::IsFolderAccountPath(path)) {
    if (!db::IsLocalHost(host)) {
      Fail(ctx, "office " + Quoted(path) + " on host " + Quoted(host), db::kRemoteHostForFolder);
      return nullptr;
    }
    std::shared_ptr<db::SqliteStore> embedded;
    if (int s = db::SqliteStore::Open(db::EmbeddedFolder(path), &embedded)) {
      Fail(ctx, "office " + Quoted(path), s);
      return nullptr;
    }
    return embedded;
  }
  const db::PgAddress credentials = ctx.OfficeAddress();
  const std::string pg_user = credentials.user.empty() ? user : credentials.user;
  if (int s = db::OpenOfficeStore(host, path, pg_user, credentials.password, &store,
                                  &ctx.auth_failure)) {
    Fail(ctx, "office " + Quoted(path) + " on host " + Quoted(host), s);
    return nullptr;
  }
  return store;
}

// Field 11 of record "999" of `file` on the office, checked as the export checks it (its own
// message when it cannot be used), or nullopt after a failure.
std::optional<std::string> CounterField(AdminContext& ctx, db::Session& office,
                                        const std::string& file) {
  auto counter = office.OpenFile(file);
  if (!counter) {
    Fail(ctx, "office file " + Quoted(file), office.Error());
    return std::nullopt;
  }
  db::DynArray record;
  int status = db::kOk;
  if (std::string problem = exporting::ReadCounter(*counter, &record, &status); !problem.empty()) {
    FailMessage(ctx, problem);
    return std::nullopt;
  }
  return record.Field(11);
}

std::string PlanFailureText(const exporting::PlanFailure& failure) {
  switch (failure.kind) {
    case exporting::PlanFailure::kOpenOffice:
      return "office file " + Quoted(failure.file);
    case exporting::PlanFailure::kOpenLaptop:
      return "laptop file " + Quoted(failure.file);
    case exporting::PlanFailure::kSelection:
      return "selection of the records of " + Quoted(failure.file);
    case exporting::PlanFailure::kUnselectableKey:
      return "its code cannot be put in a selection of " + Quoted(failure.file) +
             " (it holds both quotes, a mark, or begins with \"[\")";
    default:
      return "record " + Quoted(failure.key) + " of file " + Quoted(failure.file);
  }
}

struct Totals {
  long persons = 0, unchanged = 0, records = 0, questions = 0, mergeable = 0, created = 0,
       left_out = 0;
};

// One line for one person: what an export would do with it now. `noted`: the code an
// interrupted export gave a person created on the laptop, which the export gives it again.
std::string Describe(const exporting::PersonPlan& plan, const std::string& noted, Totals* totals) {
  using exporting::Verdict;
  std::vector<std::string> writes, asks;
  long person_records = 0;
  for (const exporting::FilePlan& file : plan.files) {
    long write = 0, conflict = 0, mergeable = 0;
    for (const exporting::RecordPlan& record : file.records) {
      if (plan.created || record.verdict == Verdict::kWrite ||
          record.verdict == Verdict::kOverride) {
        ++write;
      } else if (record.verdict == Verdict::kConflict) {
        ++conflict;
        mergeable += record.mergeable;
      }
    }
    if (write > 0) writes.push_back(file.file + " " + std::to_string(write));
    if (conflict > 0) {
      asks.push_back(file.file + " (" + Plural(conflict, "record", "records") +
                     (mergeable > 0 ? ", " + std::to_string(mergeable) + " could be merged" : "") +
                     ")");
    }
    person_records += write;
    totals->questions += conflict > 0;
    totals->mergeable += mergeable;
  }
  totals->records += person_records;

  std::string line = plan.code;
  if (!plan.surname.empty() || !plan.first_name.empty())
    line += " " + plan.surname + " " + plan.first_name;
  line += ": ";
  if (plan.created && !noted.empty()) {
    line += "new person, keeps the code " + noted + " an interrupted export gave it";
  } else if (plan.created) {
    ++totals->created;
    line += "new person, would get a code";
  } else if (writes.empty() && asks.empty()) {
    ++totals->unchanged;
    return line + "unchanged";
  }
  auto join = [](const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : ", ") + part;
    return out;
  };
  std::string what;
  if (!writes.empty()) what = "records to write: " + join(writes);
  if (!asks.empty()) what += (what.empty() ? "" : "; ") + std::string("question on ") + join(asks);
  if (plan.created) return line + (what.empty() ? "" : "; " + what);
  return line + what;
}

void RunPreview(AdminContext& ctx) {
  const std::string user = Upper(options.user);
  if (db::ValidateName(user) != db::kOk) {
    return FailMessage(ctx, "user " + Quoted(options.user) + ": not a valid user name");
  }
  auto laptop_store = ctx.OpenEmbedded();
  if (!laptop_store) return;
  auto office_store = OpenOfficeAccount(ctx, user);
  if (!office_store) return;
  db::Session laptop, office;
  laptop.AttachStore(laptop_store);
  office.AttachStore(office_store);

  auto parameters = office.OpenFile("SDPARAMEXPORT");
  if (!parameters) return (void)Fail(ctx, "office file \"SDPARAMEXPORT\"", office.Error());
  parameters->SetKey("AIDE");
  if (int s = parameters->ReadRecord()) {
    return (void)Fail(ctx, "record \"AIDE\" of office file \"SDPARAMEXPORT\"", s);
  }
  // Both counters, checked as the export checks them before it writes anything.
  const auto threshold = CounterField(ctx, office, "COMPTEUR_" + user);
  if (!threshold || !CounterField(ctx, office, "COMPTEUR")) return;

  db::DynArray persons;
  if (int s = exporting::SelectKeys(laptop, "CIVILAIDE", "", user, &persons)) {
    return (void)Fail(ctx, "selection of the laptop's persons", s);
  }
  exporting::Planner planner(laptop, office, user, parameters->GetRecord(), *threshold);
  Totals totals;
  for (const std::string& code : exporting::KeysOf(persons)) {
    exporting::PersonPlan plan;
    if (!planner.Plan(code, &plan)) {
      const exporting::PlanFailure& failure = planner.failure();
      if (failure.kind == exporting::PlanFailure::kUnselectableKey) {
        // The export leaves such a person out and goes on: so does the preview.
        ++totals.left_out;
        std::cout << code << ": would be left out: " << PlanFailureText(failure) << "\n";
        continue;
      }
      return (void)Fail(ctx, "person " + Quoted(code) + ": " + PlanFailureText(failure),
                        failure.status);
    }
    std::string noted;
    if (plan.created) {
      if (int s = exporting::NotedCode(laptop, code, *threshold, &noted)) {
        return (void)Fail(
            ctx, "person " + Quoted(code) + ": laptop file " + Quoted(exporting::kCodesAttribues),
            s);
      }
    }
    ++totals.persons;
    std::cout << Describe(plan, noted, &totals) << "\n";
  }
  std::cout << "Total: " << Plural(totals.persons, "person", "persons") << ", " << totals.unchanged
            << " unchanged, " << Plural(totals.records, "record", "records") << " to write, "
            << Plural(totals.questions, "file", "files") << " that would bring a question";
  if (totals.mergeable > 0)
    std::cout << " (" << Plural(totals.mergeable, "record", "records") << " could be merged)";
  std::cout << ", " << Plural(totals.created, "new person", "new persons") << " to get a code";
  if (totals.left_out > 0)
    std::cout << ", " << Plural(totals.left_out, "person", "persons") << " left out";
  std::cout << "\n";
}

}  // namespace

void AddPreviewCommands(CLI::App& app, AdminContext& ctx) {
  auto* preview = app.add_subcommand(
      "export-preview",
      "What an export of the laptop account (--account) would send to the office now, person "
      "by person; reads only");
  preview->add_option("--user", options.user, "The user whose export it is")->required();
  preview->add_option("--office", options.office,
                      "The office account (a folder, or a PostgreSQL database name); default: "
                      "the one the configuration file Cortevane.ini names");
  preview->add_option("--office-host", options.office_host,
                      "Host of a PostgreSQL office (default: the configuration file's office "
                      "host, else localhost)");
  preview->callback([&ctx] { RunPreview(ctx); });
}

}  // namespace cortevane::admin
