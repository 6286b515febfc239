#include "export_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "db/db_file.h"
#include "db/dyn_array.h"
#include "db/sqlite/sqlite_store.h"
#include "db/store.h"

namespace cortevane::exporting::testing {

namespace fs = std::filesystem;
using db::FromVisible;
using db::ToVisible;

std::string Person(std::string_view surname, std::string_view first_name, std::string_view sector,
                   std::string_view extra) {
  db::DynArray record;
  record.SetField(2, surname);
  record.SetField(3, first_name);
  record.SetField(40, sector);
  if (!extra.empty()) record.SetField(41, extra);
  return ToVisible(record.Text());
}

std::string Counter(std::string_view field11) {
  db::DynArray record;
  record.SetField(1, "Compteur");
  record.SetField(11, field11);
  return ToVisible(record.Text());
}

void ConnectAccount(db::Session& session, const fs::path& folder, bool server) {
  if (!fs::exists(folder / db::SqliteStore::kDatabaseName)) {
    ASSERT_EQ(db::SqliteStore::Create(folder, server), 0) << folder;
  }
  std::shared_ptr<db::SqliteStore> store;
  ASSERT_EQ(db::SqliteStore::Open(folder, &store), 0) << folder;
  session.SetDataBaseType(2);
  session.SetHostName("localhost");
  session.SetAccountPath(folder.string());
  session.AttachStore(store);
}

namespace {

void Create(db::Session& session, std::string_view file) {
  if (session.store()->FileExists(file)) return;
  ASSERT_EQ(session.store()->CreateFile(file), 0) << file;
}

}  // namespace

void SetUpServer(db::Session& server, const std::string& user) {
  for (std::string file : {"SDEXPORTAIDES", "SDPARAMEXPORT", "COMPTEUR", "CIVILAIDE", "NOTES",
                           "BUDGET", "SECTEUR", "TEMPO"})
    Create(server, file);
  for (std::string file : {"COMPTEUR_", "CIVILAIDE_", "NOTES_", "BUDGET_"})
    Create(server, file + user);
  Put(server, "SDPARAMEXPORT", "PARAMETRES", "export");
  Put(server, "SDPARAMEXPORT", "AIDE",
      "CIVILAIDE]l'état civil]]^NOTES]les notes]SELECT]^BUDGET]le budget]]N");
  Put(server, "SDPARAMEXPORT", "PLANNING", "AGENDA");
  if (Get(server, "COMPTEUR", "999") == "-") Put(server, "COMPTEUR", "999", Counter("00150"));
  Put(server, "COMPTEUR_" + user, "999", Counter("00100"));
}

void SetUpLaptop(db::Session& laptop, const db::Session& server) {
  for (std::string file : {"CIVILAIDE", "NOTES", "BUDGET", "SECTEUR", "AGENDA"})
    Create(laptop, file);
  ASSERT_EQ(laptop.store()->SetPointer("SDEXPORTAIDES",
                                       {"localhost", server.AccountPath(), "SDEXPORTAIDES"}),
            0);
}

void Put(db::Session& session, std::string_view file, std::string_view key,
         std::string_view visible) {
  ASSERT_EQ(session.store()->Write(file, key, FromVisible(visible)), 0) << file << " " << key;
}

std::string Get(db::Session& session, std::string_view file, std::string_view key) {
  std::string record;
  int status = session.store()->Read(file, key, &record);
  if (status == db::kRecordNotFound) return "-";
  if (status != 0) return "status " + std::to_string(status);
  return ToVisible(record);
}

std::string Dump(db::Session& session, std::string_view file) {
  std::string out;
  int status = session.store()->Scan(file, [&](std::string_view key, std::string_view record) {
    if (!out.empty()) out += " | ";
    out += std::string(key) + "=" + ToVisible(record);
    return true;
  });
  if (status != 0) return "status " + std::to_string(status);
  return out;
}

void Drop(db::Session& session, std::string_view file) {
  ASSERT_EQ(session.store()->DropFile(file), 0) << file;
}

void ExportTest::SetUp() {
  char pattern[] = "/tmp/cortevane-export-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  root_ = pattern;
  drive_c_ = root_ / "drive_c";
  fs::create_directories(drive_c_ / "KESTA" / "DOCSCAN");
  setenv("CORTEVANE_DRIVE_C", drive_c_.c_str(), 1);
  ASSERT_NO_FATAL_FAILURE(ConnectAccount(server_, root_ / "server", true));
  ASSERT_NO_FATAL_FAILURE(ConnectAccount(laptop_, root_ / "laptop", false));
  ASSERT_NO_FATAL_FAILURE(SetUpServer(server_, user_));
  ASSERT_NO_FATAL_FAILURE(SetUpLaptop(laptop_, server_));
  // Sector 012 files its documents on the office share; sector 013 has no folder.
  db::DynArray nord;
  nord.SetField(1, "Secteur Nord");
  nord.SetField(22, (root_ / "share" / "nord").string() + "/");
  Put(laptop_, "SECTEUR", "012", ToVisible(nord.Text()));
  Put(laptop_, "SECTEUR", "013", "Secteur Sud");
  export_ = std::make_unique<Mod_Exportation>(laptop_, server_, user_, ui_);
}

void ExportTest::TearDown() {
  export_.reset();
  laptop_.Disconnect();
  server_.Disconnect();
  std::error_code ec;
  fs::remove_all(root_, ec);
  unsetenv("CORTEVANE_DRIVE_C");
}

void ExportTest::Imported(std::string_view code, std::string_view person) {
  Put(server_, "CIVILAIDE", code, person);
  Put(server_, "CIVILAIDE_" + user_, code, person);
  Put(laptop_, "CIVILAIDE", code, person);
  Put(server_, "SDEXPORTAIDES", code, user_ + "^20000^10:5");
}

void ExportTest::ImportedNote(std::string_view key, std::string_view note) {
  Put(server_, "NOTES", key, note);
  Put(server_, "NOTES_" + user_, key, note);
  Put(laptop_, "NOTES", key, note);
}

fs::path ExportTest::DocumentFolder(std::string_view code, std::string_view file) {
  fs::path folder = drive_c_ / "KESTA" / "DOCSCAN" / std::string(code);
  fs::create_directories(folder);
  std::ofstream(folder / std::string(file)) << "scan of " << code;
  return folder;
}

void ExportTest::Run(std::initializer_list<int> answers) {
  ui_.AnswerYes();
  for (int answer : answers) ui_.Answer(answer);
  export_->Demarrage_Exportation();
  EXPECT_EQ(ui_.unanswered(), 0) << Boxes();
}

namespace {

// `text` without the final box's summary line (checked on its own where it matters).
std::string WithoutSummary(std::string text) {
  const size_t at = text.find(kFinalText + "\r\n");
  if (at == std::string::npos) return text;
  const size_t from = at + kFinalText.size();
  size_t to = text.find_first_of("\r\n", from + 2);
  text.erase(from, (to == std::string::npos ? text.size() : to) - from);
  return text;
}

}  // namespace

std::string ExportTest::Boxes() const {
  std::string out;
  for (const auto& box : ui_.boxes()) {
    std::string text;
    for (char c : WithoutSummary(box.text)) {
      if (c == '\r') {
        text += "\\r";
      } else if (c == '\n') {
        text += "\\n";
      } else {
        text += c;
      }
    }
    if (!out.empty()) out += '\n';
    out += std::to_string(box.style) + "|" + box.title + "|" + text;
  }
  return out;
}

std::string ExportTest::Log() const { return WithoutSummary(ui_.LogText()); }

std::string ExportTest::LastBox() const {
  return ui_.boxes().empty() ? std::string() : WithoutSummary(ui_.boxes().back().text);
}

}  // namespace cortevane::exporting::testing
