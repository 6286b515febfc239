// The whole cycle on the demo: `cortevane-admin demo` builds the office base, the empty laptop
// base, the scanned documents and the sector folders; three persons are imported (the import
// routine, and their registrations as the import window writes them); records are changed on
// the laptop and on the office base through cortevane-admin; a person is created on the laptop;
// then the export runs with the conflict answered Yes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/dyn_array.h"
#include "db/routines.h"
#include "db/session.h"
#include "export/mod_exportation.h"
#include "platform/drive_mapping.h"
#include "ui/scripted_ui.h"

namespace cortevane::exporting {
namespace {

namespace fs = std::filesystem;

const std::string kAdmin = std::string(CORTEVANE_BINARY_DIR) + "/tools/admin/cortevane-admin";

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Runs cortevane-admin on `account` with `args`, feeding `input`; returns its standard output
// (the test fails when the command does).
std::string Admin(const std::string& account, const std::string& args,
                  const std::string& input = "") {
  const std::string command = Quote(kAdmin) + " --account " + Quote(account) + " " + args;
  std::string output;
  int status;
  if (!input.empty()) {
    FILE* pipe = popen(command.c_str(), "w");
    fwrite(input.data(), 1, input.size(), pipe);
    status = pclose(pipe);
  } else {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    status = pclose(pipe);
  }
  EXPECT_EQ(status, 0) << command << "\n" << output;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  return names;
}

class ExportEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kAdmin)) GTEST_FAIL() << "build cortevane-admin first: " << kAdmin;
    char pattern[] = "/tmp/cortevane-export-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("CORTEVANE_DRIVE_C", (root_ / "drive_c").c_str(), 1);
    const std::string demo = Quote(kAdmin) + " demo --persons 300 >/dev/null 2>&1";
    ASSERT_EQ(std::system(demo.c_str()), 0) << demo;
    std::istringstream credentials(ReadText(platform::MapPath("C:\\KESTA\\demo-utilisateur.txt")));
    std::string line;
    while (std::getline(credentials, line)) {
      if (line.rfind("user: ", 0) == 0) user_ = line.substr(6);
      if (line.rfind("password: ", 0) == 0) password_ = line.substr(10);
    }
    ASSERT_FALSE(user_.empty());
    server_path_ = platform::MapPath("C:\\KESTA\\SERVEUR").string();
    laptop_path_ = platform::MapPath("C:\\KESTA\\PORTABLE").string();
    Connect(server_, "C:\\KESTA\\SERVEUR");
    Connect(laptop_, "C:\\KESTA\\PORTABLE");
  }
  void TearDown() override {
    laptop_.Disconnect();
    server_.Disconnect();
    std::error_code ec;
    fs::remove_all(root_, ec);
    unsetenv("CORTEVANE_DRIVE_C");
  }
  void Connect(db::Session& session, const std::string& path) {
    session.SetDataBaseType(2);
    session.SetHostName("localhost");
    session.SetAccountPath(path);
    session.SetUserName(user_);
    session.SetPassword(password_);
    ASSERT_EQ(session.Connect(), 0) << path;
  }
  // What the import window does for its chosen persons: registrations, then the routine.
  void Import(const std::vector<std::string>& codes) {
    auto registre = server_.OpenFile("SDEXPORTAIDES");
    ASSERT_TRUE(registre);
    db::DynArray liste;
    for (const std::string& code : codes) {
      registre->SetKey(code);
      registre->SetRecord(db::DynArray(user_ + "\xFE"
                                               "20000\xFE"
                                               "10:5"));
      ASSERT_EQ(registre->WriteRecord(), 0);
      liste.AppendField(code);
    }
    auto routine = server_.Subroutine(db::kImportDonnees, 3);
    routine->ResetArgs();
    routine->SetArg(0, user_ + "|localhost|C:\\KESTA\\PORTABLE|localhost|C:\\KESTA\\SERVEUR");
    routine->SetArg(1, liste.Text());
    ASSERT_EQ(routine->Call(), 0);
  }

  fs::path root_;
  std::string user_, password_, server_path_, laptop_path_;
  db::Session server_, laptop_;
};

TEST_F(ExportEndToEndTest, ImportWorkExport) {
  // Three persons that have scanned documents.
  std::vector<std::string> codes;
  for (const std::string& name : FilesIn(platform::MapPath("C:\\KESTA\\DOCSCAN"))) {
    if (codes.size() < 3 && name.size() == 5) codes.push_back(name);
  }
  ASSERT_EQ(codes.size(), 3u);
  ASSERT_NO_FATAL_FAILURE(Import(codes));
  const std::string threshold =
      db::DynArray(Admin(laptop_path_, "record get --raw COMPTEUR 999")).Field(11);
  const std::string counter =
      db::DynArray(Admin(server_path_, "record get --raw COMPTEUR 999")).Field(11);
  ASSERT_EQ(threshold, counter);

  // On the laptop: the first person's first name, the first intervention on the laptop;
  // a new person with one intervention and a scanned document.
  db::DynArray first(Admin(laptop_path_, "record get --raw CIVILAIDE " + codes[0]));
  const std::string original_first = first.Text();
  first.SetField(3, "Prénom du portable");
  Admin(laptop_path_, "record put --raw CIVILAIDE " + codes[0], first.Text());
  const std::string interventions = Admin(laptop_path_, "record list AIDEINTERV");
  std::string intervention_key;
  std::istringstream keys(interventions);
  std::getline(keys, intervention_key);
  ASSERT_FALSE(intervention_key.empty()) << interventions;
  Admin(laptop_path_, "record put --raw AIDEINTERV " + Quote(intervention_key),
        "Intervention revue sur le portable");

  const std::string new_code = std::to_string(std::stoi(threshold) + 40);
  const std::string laptop_code = std::string(5 - new_code.size(), '0') + new_code;
  db::DynArray created;
  created.SetField(2, "NOUVELLE");
  created.SetField(3, "Personne");
  created.SetField(40, first.Field(40));
  Admin(laptop_path_, "record put --raw CIVILAIDE " + laptop_code, created.Text());
  Admin(laptop_path_, "record put --raw AIDEINTERV " + Quote(laptop_code + "*001"),
        "Première visite");
  const fs::path new_documents = platform::MapPath("C:\\KESTA\\DOCSCAN\\" + laptop_code);
  fs::create_directories(new_documents);
  std::ofstream(new_documents / "fiche.txt") << "fiche de " << laptop_code;

  // On the office base, meanwhile: the same person's record changes too.
  db::DynArray office(original_first);
  office.SetField(12, "06 00 00 00 00");
  Admin(server_path_, "record put --raw CIVILAIDE " + codes[0], office.Text());

  ui::ScriptedUi ui;
  ui.SetMenuEnabled(ui::MenuEntry::kImport, false);
  ui.AnswerYes(2);  // the start, then the conflict on the first person
  Mod_Exportation exporting(laptop_, server_, user_, ui);
  exporting.Demarrage_Exportation();

  ASSERT_EQ(ui.boxes().size(), 3u);
  // The two sides changed different fields: Fusionner is offered; Oui sends the laptop's.
  EXPECT_EQ(ui.boxes()[1].style, ui::kYesNo + ui::kMergeButton + ui::kQuestion);
  EXPECT_EQ(ui.boxes()[1].text.rfind("Les informations de État civil de l'aidé \"" + codes[0], 0),
            0u)
      << ui.boxes()[1].text;
  EXPECT_EQ(
      ui.boxes()[2].text.rfind(
          "Exportation des données de l'ordinateur portable vers le serveur terminée.\r\n", 0),
      0u)
      << ui.boxes()[2].text;
  EXPECT_NE(ui.boxes()[2].text.find(" aidés envoyés, 1 question dont 0 fusion, nouveau code : "),
            std::string::npos)
      << ui.boxes()[2].text;
  EXPECT_EQ(ui.unanswered(), 0);
  EXPECT_TRUE(ui.MenuEnabled(ui::MenuEntry::kImport));

  // The office holds the laptop's work.
  EXPECT_EQ(Admin(server_path_, "record get --raw CIVILAIDE " + codes[0]), first.Text());
  EXPECT_EQ(Admin(server_path_, "record get --raw AIDEINTERV " + Quote(intervention_key)),
            "Intervention revue sur le portable");
  const std::string given = std::to_string(std::stoi(counter) + 1);
  const std::string server_code = std::string(5 - given.size(), '0') + given;
  EXPECT_EQ(db::DynArray(Admin(server_path_, "record get --raw COMPTEUR 999")).Field(11),
            server_code);
  EXPECT_EQ(Admin(server_path_, "record get --raw CIVILAIDE " + server_code), created.Text());
  EXPECT_EQ(Admin(server_path_, "record get --raw AIDEINTERV " + Quote(server_code + "*001")),
            "Première visite");

  // Documents are in the sector folders, under the laptop codes.
  std::vector<std::string> moved = codes;
  moved.push_back(laptop_code);
  for (const std::string& code : moved) {
    std::string sector_code =
        code == laptop_code
            ? created.Field(40)
            : db::DynArray(Admin(server_path_, "record get --raw CIVILAIDE " + code)).Field(40);
    db::DynArray sector(
        Admin(server_path_, "record get --raw SECTEUR " + sector_code.substr(0, 3)));
    const fs::path copied = platform::MapPath(sector.Field(22) + code);
    EXPECT_EQ(FilesIn(copied), FilesIn(platform::MapPath("C:\\KESTA\\DOCSCAN\\" + code))) << code;
    EXPECT_FALSE(FilesIn(copied).empty()) << copied;
  }

  // Registrations are gone, the laptop and the reference copies are empty.
  EXPECT_EQ(Admin(server_path_, "record list SDEXPORTAIDES"), "");
  for (const char* file : {"CIVILAIDE", "AIDEDOSSIER", "AIDEINTERV", "AIDENOTES", "PLANNINGAIDE"}) {
    EXPECT_EQ(Admin(laptop_path_, std::string("record list ") + file), "") << file;
    if (std::string(file) != "PLANNINGAIDE") {  // planning files have no reference copy
      EXPECT_EQ(Admin(server_path_, std::string("record list ") + file + "_" + user_), "") << file;
    }
  }
}

}  // namespace
}  // namespace cortevane::exporting
