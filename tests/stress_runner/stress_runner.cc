// stress_runner: one export or one import in a process of its own, so that the fault and load
// tests of tests/stress can kill it at a chosen moment or run several at once.
//
//   stress_runner export SERVER LAPTOP USER
//   stress_runner import SERVER LAPTOP USER CODE...
//
// SERVER is an embedded account folder, or "pg:DATABASE" for a database of the PostgreSQL server
// named by CORTEVANE_PG_HOST (credentials CORTEVANE_PG_USER and PGPASSWORD). LAPTOP is an
// embedded account folder. The export answers Fusionner where a question offers it and Yes to
// every other question (STRESS_RETRY=1: see ChangeWhileAsked); the import checks the
// register, registers the codes in one conditional batch and calls IMPORTDONNEES, as the import
// window does.
//
// The runner first reads its standard input to the end: a test starts several runners at the
// same moment by closing one pipe.
//
// Both sessions work through a store that counts the changes it makes (writes, deletions,
// clearings, reservations and their release, transaction steps). Two environment variables
// act on the N-th change, just before it is made:
//   STRESS_KILL_AT=N   the process kills itself (SIGKILL): nothing is flushed, nothing closed.
//   STRESS_CUT_AT=N    the server ends this process's PostgreSQL connection from its side
//                      (pg_terminate_backend), as when the server goes away.
//   STRESS_RUN_AT=N    the shell command STRESS_RUN is run to its end (a failover, say).
//
// Output (stdout): each message box as "box|style|text", then "changes N".
// Exit status: 0 done (export: final message; import: every code imported), 3 ended on a
// failure message, 4 import refused by the register, 2 bad arguments or set-up.
#include <libpq-fe.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "db/date_converter.h"
#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/postgres/postgres_store.h"
#include "db/routines.h"
#include "db/session.h"
#include "db/sqlite/sqlite_store.h"
#include "db/status.h"
#include "db/store.h"
#include "export/mod_exportation.h"
#include "import/import_register.h"
#include "support/forwarding_store.h"
#include "ui/scripted_ui.h"

namespace {

using namespace cortevane;

long EnvNumber(const char* name) {
  const char* text = std::getenv(name);
  return text == nullptr ? 0 : std::atol(text);
}

struct Faults {
  long kill_at = EnvNumber("STRESS_KILL_AT");
  long cut_at = EnvNumber("STRESS_CUT_AT");
  long run_at = EnvNumber("STRESS_RUN_AT");
  long changes = 0;
  db::PostgresStore* office = nullptr;  // whose connection STRESS_CUT_AT cuts
  db::PgAddress office_address;
};

Faults& TheFaults() {
  static Faults faults;
  return faults;
}

// Ends the office connection from the server's side and waits until its backend is gone, so
// the next statement of the session finds the server away.
void CutOfficeConnection() {
  Faults& f = TheFaults();
  if (f.office == nullptr) return;
  const int pid = PQbackendPID(f.office->connection());
  int status = 0;
  auto admin = db::PostgresStore::Connect(f.office_address, &status);
  if (!admin) {
    std::cerr << "cannot connect to cut the connection: " << db::StatusText(status) << "\n";
    std::_Exit(2);
  }
  PQclear(
      admin->Exec("SELECT pg_terminate_backend($1::text::int, 5000)::text", {std::to_string(pid)}));
}

void Change() {
  Faults& f = TheFaults();
  ++f.changes;
  if (f.changes == f.kill_at) {
    std::fflush(nullptr);
    raise(SIGKILL);
  }
  if (f.changes == f.cut_at) CutOfficeConnection();
  if (f.changes == f.run_at && std::system(std::getenv("STRESS_RUN")) != 0) {
    std::cerr << "STRESS_RUN failed\n";
    std::_Exit(2);
  }
}

// Forwards every call to the real store, counting the changes.
class CountingStore final : public test_support::ForwardingStore {
 public:
  using ForwardingStore::ForwardingStore;

  int Write(std::string_view f, std::string_view k, std::string_view r) override {
    Change();
    return ForwardingStore::Write(f, k, r);
  }
  int Delete(std::string_view f, std::string_view k) override {
    Change();
    return ForwardingStore::Delete(f, k);
  }
  int Clear(std::string_view f) override {
    Change();
    return ForwardingStore::Clear(f);
  }
  int Reserve(std::string_view f, std::string_view k, int t) override {
    Change();
    return ForwardingStore::Reserve(f, k, t);
  }
  int Free(std::string_view f, std::string_view k) override {
    Change();
    return ForwardingStore::Free(f, k);
  }
  int Begin() override {
    Change();
    return ForwardingStore::Begin();
  }
  int Commit() override {
    Change();
    return ForwardingStore::Commit();
  }
  int CreateFile(std::string_view f) override {
    Change();
    return ForwardingStore::CreateFile(f);
  }
  int DropFile(std::string_view f) override {
    Change();
    return ForwardingStore::DropFile(f);
  }
  int SetDictItem(std::string_view f, const db::DictItem& i) override {
    Change();
    return ForwardingStore::SetDictItem(f, i);
  }
  int SetPointer(std::string_view n, const db::PointerTarget& t) override {
    Change();
    return ForwardingStore::SetPointer(n, t);
  }
};

bool ConnectEmbedded(db::Session& session, const std::string& folder) {
  std::shared_ptr<db::SqliteStore> store;
  if (int s = db::SqliteStore::Open(folder, &store)) {
    std::cerr << "cannot open " << folder << ": " << db::StatusText(s) << "\n";
    return false;
  }
  session.SetDataBaseType(2);
  session.SetHostName("localhost");
  session.SetAccountPath(folder);
  session.AttachStore(std::make_shared<CountingStore>(store));
  return true;
}

// A connection of its own to the office: an embedded folder, or "pg:DATABASE" (then
// *address, when given, is set). nullptr after a failure, told on standard error.
std::shared_ptr<db::Store> OpenOffice(const std::string& office, db::PgAddress* address = nullptr) {
  if (office.rfind("pg:", 0) != 0) {
    std::shared_ptr<db::SqliteStore> store;
    if (int s = db::SqliteStore::Open(office, &store)) {
      std::cerr << "cannot open " << office << ": " << db::StatusText(s) << "\n";
      return nullptr;
    }
    return store;
  }
  const char* host = std::getenv("CORTEVANE_PG_HOST");
  const char* user = std::getenv("CORTEVANE_PG_USER");
  const char* password = std::getenv("PGPASSWORD");
  db::PgAddress a;
  a.host = host != nullptr ? host : "";
  a.account = office.substr(3);
  a.user = user != nullptr ? user : "postgres";
  a.password = password != nullptr ? password : "";
  int status = 0;
  std::shared_ptr<db::PostgresStore> store = db::PostgresStore::Connect(a, &status);
  if (!store) {
    std::cerr << "cannot connect to " << office << ": " << db::StatusText(status) << "\n";
    return nullptr;
  }
  if (address) *address = a;
  return store;
}

bool ConnectServer(db::Session& session, const std::string& office) {
  if (office.rfind("pg:", 0) != 0) return ConnectEmbedded(session, office);
  db::PgAddress address;
  std::shared_ptr<db::Store> store = OpenOffice(office, &address);
  if (!store) return false;
  TheFaults().office = static_cast<db::PostgresStore*>(store.get());
  TheFaults().office_address = address;
  session.SetDataBaseType(2);
  session.SetHostName(address.host);
  session.SetAccountPath(address.account);
  session.AttachStore(std::make_shared<CountingStore>(store));
  return true;
}

void PrintBoxes(const ui::ScriptedUi& ui) {
  for (const auto& box : ui.boxes()) {
    std::string text;
    for (char c : box.text) text += (c == '\r' || c == '\n') ? ' ' : c;
    std::cout << "box|" << box.style << "|" << text << "\n";
  }
}

// Answers Fusionner wherever the box offers it, Yes to every other question.
class MergingUi final : public ui::ScriptedUi {
 public:
  int MsgBox(std::string_view text, int style, std::string_view title,
             std::string_view details) override {
    const int answer = ScriptedUi::MsgBox(text, style, title, details);
    return (style & ui::kMergeButton) ? ui::kAnswerMerge : answer;
  }
};

// STRESS_RETRY=1: another connection changes the office's record of the person asked while
// the first question waits, and puts it back while the question is asked again; the person is
// then asked a third time and sent as if nothing had happened, so the outcome is unchanged.
void ChangeWhileAsked(ui::ScriptedUi& ui, const std::string& office) {
  if (EnvNumber("STRESS_RETRY") == 0) return;
  ui.on_box = [office, asked = 0, code = std::string(),
               original = std::string()](const ui::ScriptedUi::Box& box) mutable {
    const size_t at = box.text.find("de l'aidé \"");
    if (box.text.rfind("Les informations de ", 0) != 0 || at == std::string::npos || ++asked > 2)
      return;
    std::shared_ptr<db::Store> other = OpenOffice(office);
    if (!other) std::_Exit(2);
    if (asked == 1) {
      code = box.text.substr(at + 12, 5);
      if (other->Read("CIVILAIDE", code, &original) != db::kOk) std::_Exit(2);
      db::DynArray changed(original);
      changed.SetField(70, "retouché au bureau pendant la question");
      if (other->Write("CIVILAIDE", code, changed.Text()) != db::kOk) std::_Exit(2);
    } else if (other->Write("CIVILAIDE", code, original) != db::kOk) {
      std::_Exit(2);
    }
  };
}

int RunExport(db::Session& server, db::Session& laptop, const std::string& user,
              const std::string& office) {
  MergingUi ui;
  ui.AnswerYes(100000);
  ChangeWhileAsked(ui, office);
  exporting::Mod_Exportation exporting(laptop, server, user, ui);
  exporting.Demarrage_Exportation();
  PrintBoxes(ui);
  const bool done =
      !ui.boxes().empty() &&
      ui.boxes().back().text.starts_with(
          "Exportation des données de l'ordinateur portable vers le serveur terminée.");
  return done ? 0 : 3;
}

int RunImport(db::Session& server, db::Session& laptop, const std::string& user,
              const std::vector<std::string>& codes) {
  db::DynArray request;
  request.SetField(1, "SSELECT SDEXPORTAIDES PAR @ID");
  request.SetField(2, "SDEXPORTAIDES");
  request.SetField(3, "0 1");
  auto select = server.Subroutine(db::kDbaSelect, 3);
  select->ResetArgs();
  select->SetArg(0, "");
  select->SetArg(1, request.Text());
  if (int s = select->Call()) {
    std::cout << "register query failed " << s << "\n";
    return 3;
  }
  const import::RegisterVerdict verdict =
      import::CheckRegister(db::DynArray(select->GetArg(2)), codes, user);
  if (verdict.kind != import::RegisterVerdict::kClear) {
    std::cout << "refused " << verdict.code << " " << verdict.holder << "\n";
    return 4;
  }
  auto registre = server.OpenFile("SDEXPORTAIDES");
  if (!registre) return 3;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  db::DynArray record;
  record.SetField(1, user);
  record.SetField(2, db::DateConverter::Today());
  record.SetField(3, std::to_string(local.tm_hour) + ":" + std::to_string(local.tm_min));
  const import::Registration outcome = import::RegisterPersons(*registre, codes, record);
  if (outcome.result == import::Registration::kTaken) {
    std::cout << "taken " << outcome.code << " " << outcome.holder << "\n";
    return 4;
  }
  if (outcome.result == import::Registration::kFailed) {
    std::cout << "registration failed " << outcome.status << "\n";
    return 3;
  }
  db::DynArray list;
  for (size_t k = 0; k < codes.size(); ++k) list.SetField(static_cast<int>(k) + 1, codes[k]);
  auto copy = server.Subroutine(db::kImportDonnees, 3);
  copy->ResetArgs();
  copy->SetArg(0, user + "|" + laptop.HostName() + "|" + laptop.AccountPath() + "|" +
                      server.HostName() + "|" + server.AccountPath());
  copy->SetArg(1, list.Text());
  if (int s = copy->Call()) {
    std::cout << "IMPORTDONNEES failed " << s << "\n";
    import::WithdrawRegistrations(*registre, codes, user);
    return 3;
  }
  std::cout << "imported\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 4 || (args[0] != "export" && args[0] != "import") ||
      (args[0] == "export" && args.size() != 4)) {
    std::cerr << "usage: stress_runner export SERVER LAPTOP USER\n"
                 "       stress_runner import SERVER LAPTOP USER CODE...\n";
    return 2;
  }
  // The gate: several runners wait here for the test to close their common pipe.
  char buffer[64];
  while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }

  int status;
  {
    db::Session server, laptop;
    if (!ConnectServer(server, args[1]) || !ConnectEmbedded(laptop, args[2])) return 2;
    const std::string& user = args[3];
    status = args[0] == "export" ? RunExport(server, laptop, user, args[1])
                                 : RunImport(server, laptop, user, {args.begin() + 4, args.end()});
    laptop.Disconnect();
    server.Disconnect();
  }
  std::cout << "changes " << TheFaults().changes << "\n";
  return status;
}
