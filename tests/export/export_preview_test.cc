// cortevane-admin export-preview on real stores: what an export would now do, person by
// person, with the office found through the laptop's configuration file or given with
// --office (embedded, or PostgreSQL when the test server is there); and that it changes
// nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "export_fixture.h"
#include "support/pg_server.h"

namespace cortevane::exporting::testing {
namespace {

namespace fs = std::filesystem;

class ExportPreviewTest : public ExportTest {
 protected:
  // Runs cortevane-admin on the laptop account with `args` (after the variables `env`);
  // standard output and error.
  std::string Preview(const std::string& args, int* exit_status = nullptr,
                      const std::string& env = "") {
    const std::string command =
        env + " '" CORTEVANE_BINARY_DIR "/tools/admin/cortevane-admin' --account '" +
        (root_ / "laptop").string() + "' export-preview " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    if (exit_status) *exit_status = WEXITSTATUS(status);
    return output;
  }

  // Three persons on `office` and the laptop: 00042 unchanged; 00043 changed on the laptop in
  // each file, its note changed at the office too; 00118 created on the laptop.
  void Scenario(db::Session& office) {
    auto imported = [&](const std::string& file, const std::string& key, const std::string& rec) {
      Put(office, file, key, rec);
      Put(office, file + "_" + user_, key, rec);
      Put(laptop_, file, key, rec);
    };
    imported("CIVILAIDE", "00042", Person("DUPONT", "Anne", "0123"));
    imported("CIVILAIDE", "00043", Person("MARTIN", "Paul", "0123"));
    imported("NOTES", "00043A", "note");
    imported("BUDGET", "00043", "100");
    Put(laptop_, "CIVILAIDE", "00043", Person("MARTIN", "Paul-Henri", "0123"));
    Put(laptop_, "NOTES", "00043A", "note du portable");
    Put(office, "NOTES", "00043A", "note du bureau");
    Put(laptop_, "NOTES", "00043B", "nouvelle note");
    Put(laptop_, "BUDGET", "00043", "150");
    Put(office, "BUDGET", "00043", "120");  // both changed, "N": written without a question
    Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
    Put(laptop_, "NOTES", "00118A", "première");
    Put(laptop_, "NOTES", "00118B", "seconde");
  }

  const std::string kExpected =
      "00042 DUPONT Anne: unchanged\n"
      "00043 MARTIN Paul-Henri: records to write: CIVILAIDE 1, NOTES 1, BUDGET 1; question on "
      "NOTES (1 record)\n"
      "00118 NOUVEAU Né: new person, would get a code; records to write: CIVILAIDE 1, NOTES 2\n"
      "Total: 3 persons, 1 unchanged, 6 records to write, 1 file that would bring a question, 1 "
      "new person to get a code\n";
};

TEST_F(ExportPreviewTest, TellsWhatAnExportWouldDoAndChangesNothing) {
  Scenario(server_);
  // The office as the program finds it: the configuration file on the laptop's drive C:.
  fs::create_directories(drive_c_ / "windows");
  std::ofstream(drive_c_ / "windows" / "Cortevane.ini")
      << "[SERVEUR]\r\nServeur=localhost\r\n[DISTANT SERVEUR]\r\nDistant1=localhost\r\n"
         "[BASES]\r\nPortable="
      << (root_ / "laptop").string()
      << "\r\n\r\n[DISTANT BASES]\r\nBureau=" << (root_ / "server").string() << "\r\n";
  const std::string office_before = Dump(server_, "CIVILAIDE") + Dump(server_, "NOTES") +
                                    Dump(server_, "BUDGET") + Dump(server_, "COMPTEUR");
  const std::string laptop_before = Dump(laptop_, "CIVILAIDE") + Dump(laptop_, "NOTES");
  int status = -1;
  EXPECT_EQ(Preview("--user alice", &status), kExpected);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Preview("--user ALICE --office '" + (root_ / "server").string() + "'"), kExpected);
  EXPECT_EQ(Dump(server_, "CIVILAIDE") + Dump(server_, "NOTES") + Dump(server_, "BUDGET") +
                Dump(server_, "COMPTEUR"),
            office_before);
  EXPECT_EQ(Dump(laptop_, "CIVILAIDE") + Dump(laptop_, "NOTES"), laptop_before);
  EXPECT_EQ(Dump(laptop_, kCodesAttribues), "status " + std::to_string(db::kNoSuchFile));

  // An office without the user's counter cannot say who is new: a clear error, exit 1.
  EXPECT_EQ(Preview("--user BRUNO", &status),
            "cortevane-admin: office file \"COMPTEUR_BRUNO\": no such file (status 32001)\n");
  EXPECT_EQ(status, 1);
}

// What the preview announces is what the export then does: it stops on the same counter
// faults with the export's own message, and a code noted by an interrupted run is kept.
TEST_F(ExportPreviewTest, AgreesWithTheExportOnCounterFaultsAndNotedCodes) {
  const std::string office = " --user ALICE --office '" + (root_ / "server").string() + "'";
  struct Fault {
    const char* file;
    const char* field11;  // nullptr: no record "999"
  };
  for (const Fault& fault :
       {Fault{"COMPTEUR_ALICE", "60 "}, Fault{"COMPTEUR_ALICE", ""},
        Fault{"COMPTEUR_ALICE", nullptr}, Fault{"COMPTEUR", "x"}, Fault{"COMPTEUR", nullptr}}) {
    ASSERT_NO_FATAL_FAILURE(SetUpServer(server_, user_));
    if (fault.field11) {
      Put(server_, fault.file, "999", Counter(fault.field11));
    } else {
      ASSERT_EQ(server_.store()->Delete(fault.file, "999"), db::kOk);
    }
    ui_.ClearLog();
    Run();
    int status = 0;
    EXPECT_EQ(Preview(office, &status), "cortevane-admin: " + LastBox() + "\n") << fault.file;
    EXPECT_EQ(status, 1);
  }

  ASSERT_NO_FATAL_FAILURE(SetUpServer(server_, user_));
  Put(server_, "COMPTEUR", "999", Counter("00150"));
  Put(laptop_, "CIVILAIDE", "00118", Person("NOUVEAU", "Né", "0123"));
  ASSERT_EQ(laptop_.store()->CreateFile(kCodesAttribues), db::kOk);
  Put(laptop_, kCodesAttribues, "00118", "00151^00100");
  EXPECT_EQ(Preview(office),
            "00118 NOUVEAU Né: new person, keeps the code 00151 an interrupted export gave it; "
            "records to write: CIVILAIDE 1\nTotal: 1 person, 0 unchanged, 1 record to write, 0 "
            "files that would bring a question, 0 new persons to get a code\n");
  ui_.ClearLog();
  Run();
  EXPECT_EQ(Dump(server_, "CIVILAIDE"), "00151=" + Person("NOUVEAU", "Né", "0123"));
  EXPECT_EQ(Get(server_, "COMPTEUR", "999"), Counter("00150"));
}

TEST_F(ExportPreviewTest, ReachesAPostgresOffice) {
  const auto address = cortevane::testing::NewPgAccount("preview");
  if (!address) GTEST_SKIP() << "no PostgreSQL test server";
  int status = db::kOk;
  auto store = db::PostgresStore::Connect(*address, &status);
  ASSERT_EQ(status, db::kOk);
  db::Session office;
  office.AttachStore(store);
  ASSERT_NO_FATAL_FAILURE(SetUpServer(office, user_));
  Scenario(office);
  EXPECT_EQ(
      Preview("--user ALICE --office " + address->account + " --office-host " + address->host,
              nullptr, "PGUSER='" + address->user + "' PGPASSWORD='" + address->password + "'"),
      kExpected);
  office.Disconnect();
  db::PostgresStore::DropAccount(*address);
}

}  // namespace
}  // namespace cortevane::exporting::testing
