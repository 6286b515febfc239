// export-preview: what an export of the laptop account would now send to the office, person by
// person, computed by the export's own planner (export/person_plan.h) on the two bases as they
// are. It only reads: no record is written, no registration released, no counter reserved.
//
// The office is the one the laptop's configuration file names (Cortevane.ini: the office host
// and the first office base), unless --office gives it: a folder (embedded) or the name of a
// PostgreSQL database on --office-host. PostgreSQL credentials: the global --user or PGUSER
// (else the export's user), --password-stdin or PGPASSWORD.
#include <iostream>
#include <sstream>

#include "commands.h"
#include "connection/configuration.h"
#include "db/db_file.h"
#include "db/names.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store_factory.h"
#include "export/export_preview.h"

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

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : ", ") + part;
  return out;
}

// One line for one person: what an export would do with it now.
std::string Describe(const exporting::PreviewPerson& person) {
  std::string line = person.code;
  if (!person.surname.empty() || !person.first_name.empty())
    line += " " + person.surname + " " + person.first_name;
  line += ": ";
  if (person.unchanged()) return line + "unchanged";
  std::vector<std::string> writes, asks;
  for (const auto& [file, count] : person.writes)
    writes.push_back(file + " " + std::to_string(count));
  for (const exporting::PreviewQuestion& question : person.questions) {
    asks.push_back(question.file + " (" + Plural(question.records, "record", "records") +
                   (question.mergeable > 0
                        ? ", " + std::to_string(question.mergeable) + " could be merged"
                        : "") +
                   ")");
  }
  std::string what;
  if (!writes.empty()) what = "records to write: " + Join(writes);
  if (!asks.empty()) what += (what.empty() ? "" : "; ") + std::string("question on ") + Join(asks);
  if (!person.created) return line + what;
  line += person.noted_code.empty() ? "new person, would get a code"
                                    : "new person, keeps the code " + person.noted_code +
                                          " an interrupted export gave it";
  return line + (what.empty() ? "" : "; " + what);
}

std::string TotalLine(const exporting::PreviewTotals& totals) {
  std::string line = "Total: " + Plural(totals.persons, "person", "persons") + ", " +
                     std::to_string(totals.unchanged) + " unchanged, " +
                     Plural(totals.records, "record", "records") + " to write, " +
                     Plural(totals.questions, "file", "files") + " that would bring a question";
  if (totals.mergeable > 0)
    line += " (" + Plural(totals.mergeable, "record", "records") + " could be merged)";
  line += ", " + Plural(totals.created, "new person", "new persons") + " to get a code";
  if (totals.left_out > 0)
    line += ", " + Plural(totals.left_out, "person", "persons") + " left out";
  return line;
}

// Why ExportPreview::Start failed, as the admin tool says it.
void FailStart(AdminContext& ctx, const exporting::ExportPreview& preview, int status) {
  using Step = exporting::ExportPreview::Step;
  if (!preview.failed_message().empty()) return FailMessage(ctx, preview.failed_message());
  if (preview.failed_step() == Step::kPersons)
    return (void)Fail(ctx, "selection of the laptop's persons", status);
  std::string what = "office file " + Quoted(preview.failed_file());
  if (!preview.failed_key().empty())
    what = "record " + Quoted(preview.failed_key()) + " of " + what;
  Fail(ctx, what, status);
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

  exporting::ExportPreview preview(laptop, office, user);
  if (int s = preview.Start()) return FailStart(ctx, preview, s);
  exporting::PreviewTotals totals;
  exporting::PreviewPerson person;
  while (preview.Next(&person)) {
    totals.Add(person);
    if (person.left_out) {
      // The export leaves such a person out and goes on: so does the preview.
      std::cout << person.code << ": would be left out: " << PlanFailureText(preview.failure())
                << "\n";
    } else {
      std::cout << Describe(person) << "\n";
    }
  }
  if (!preview.done()) {
    const exporting::PlanFailure& failure = preview.failure();
    return (void)Fail(ctx,
                      "person " + Quoted(preview.failed_code()) + ": " + PlanFailureText(failure),
                      failure.status);
  }
  std::cout << TotalLine(totals) << "\n";
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
