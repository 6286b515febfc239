// cortevane-admin seed, select and demo, as scripts use them: the built binary on temporary
// folders, its output lines and exit statuses, and the bases it leaves behind.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sstream>

#include "db/db_file.h"
#include "db/dyn_array.h"
#include "db/session.h"
#include "db/status.h"
#include "support/admin_tool.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

namespace fs = std::filesystem;

using Result = test_support::AdminRun;
using test_support::ShellQuote;
using test_support::Slurp;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The value of the "name: value" line of `text`, or "" when there is none.
std::string LineValue(const std::string& text, const std::string& name) {
  for (const std::string& line : Lines(text))
    if (line.starts_with(name + ": ")) return line.substr(name.size() + 2);
  return "";
}

class AdminSampleTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("CORTEVANE_DRIVE_C", DriveC().c_str(), 1); }
  void TearDown() override { unsetenv("CORTEVANE_DRIVE_C"); }

  fs::path DriveC() const { return scratch_.path() / "drive_c"; }

  Result Admin(const std::vector<std::string>& args, const std::string& input = "") {
    return test_support::RunAdmin(scratch_.path(), args, input);
  }

  test_support::TempFolder scratch_;
};

TEST_F(AdminSampleTest, SeedThenSelectAsTheImportWindowAsks) {
  const std::string account = (scratch_.path() / "SERVEUR").string();
  const std::string laptop = (scratch_.path() / "PORTABLE").string();
  ASSERT_EQ(Admin({"--account", account, "account", "create", "--server"}).exit, 0);
  ASSERT_EQ(Admin({"--account", laptop, "account", "create"}).exit, 0);

  Result seed = Admin({"--account", account, "seed", "--persons", "400", "--seed", "9"});
  ASSERT_EQ(seed.exit, 0) << seed.err;
  EXPECT_TRUE(seed.out.starts_with("seeded 400 persons (")) << seed.out;

  Result again = Admin({"--account", account, "seed", "--persons", "10"});
  EXPECT_EQ(again.exit, 1);
  EXPECT_EQ(again.err,
            "cortevane-admin: seed: file \"CIVILAIDE\" already holds 400 records; seed fills a "
            "fresh account: file exists already (status 32004)\n");
  Result on_laptop = Admin({"--account", laptop, "seed"});
  EXPECT_EQ(on_laptop.exit, 1);
  EXPECT_NE(on_laptop.err.find("is not a server account"), std::string::npos);

  Result names = Admin({"--account", account, "select", "CIVILAIDE", "0 2 3",
                        "SSELECT CIVILAIDE AVEC NomAide = \"DUP]\" PAR NomAide PAR PrenomAide "
                        "PAR CodeAide"});
  ASSERT_EQ(names.exit, 0) << names.err;
  std::vector<std::string> lines = Lines(names.out);
  ASSERT_GT(lines.size(), 3u);
  std::string previous;
  for (const std::string& line : lines) {
    DynArray row(FromVisible(line));  // "00042]DUPONT]Anne": one line a record
    EXPECT_EQ(row.Value(1, 1).size(), 5u) << line;
    EXPECT_TRUE(row.Value(1, 2).starts_with("DUP")) << line;
    const std::string order = row.Value(1, 2) + '\x01' + row.Value(1, 3) + '\x01' + row.Value(1, 1);
    EXPECT_LT(previous, order) << line;
    previous = order;
  }

  Result bad = Admin({"--account", account, "select", "CIVILAIDE", "0", "SSELECT CIVILAIDE PAR"});
  EXPECT_EQ(bad.exit, 1);
  EXPECT_NE(bad.err.find("(status 33003)"), std::string::npos) << bad.err;

  // A user added after the seed gets the server's counter as threshold.
  ASSERT_EQ(Admin({"--account", account, "user", "add", "agent"}, "secret\n").exit, 0);
  Result counter = Admin({"--account", account, "record", "get", "COMPTEUR_AGENT", "999"});
  EXPECT_EQ(counter.out, "^^^^^^^^^^00400\n");
}

TEST_F(AdminSampleTest, DemoBuildsAWorkingPairOfBasesOnceAndSaysSoTheSecondTime) {
  Result demo = Admin({"demo", "--persons", "60"});
  ASSERT_EQ(demo.exit, 0) << demo.err;
  const std::string user = LineValue(demo.out, "user");
  const std::string password = LineValue(demo.out, "password");
  ASSERT_FALSE(user.empty());
  ASSERT_GE(password.size(), 12u);

  const std::string ini = Slurp(DriveC() / "windows" / "Cortevane.ini");
  EXPECT_EQ(ini,
            "[SERVEUR]\r\nServeur=localhost\r\n\r\n[DISTANT SERVEUR]\r\nServeur2=localhost\r\n\r\n"
            "[BASES]\r\nPortable=C:\\KESTA\\PORTABLE\r\n\r\n"
            "[DISTANT BASES]\r\nServeur=C:\\KESTA\\SERVEUR\r\n\r\n");

  // Both bases open with the printed password, as the program will open them.
  auto connect = [&](const char* path) {
    auto s = std::make_unique<Session>();
    s->SetDataBaseType(2);
    s->SetHostName("localhost");
    s->SetAccountPath(path);
    s->SetUserName(user);
    s->SetPassword(password);
    EXPECT_EQ(s->Connect(), kOk) << path;
    return s;
  };
  {
    auto server = connect("C:\\KESTA\\SERVEUR");
    auto laptop = connect("C:\\KESTA\\PORTABLE");
    auto persons = server->OpenFile("CIVILAIDE");
    ASSERT_TRUE(persons);
    persons->SetKey("00060");
    EXPECT_EQ(persons->ReadRecord(), kOk);
    auto counter = server->OpenFile("COMPTEUR_" + user);
    ASSERT_TRUE(counter);
    counter->SetKey("999");
    ASSERT_EQ(counter->ReadRecord(), kOk);
    EXPECT_EQ(counter->GetRecord().Field(11), "00060");
    // The laptop is empty but has what an export opens, and the office register behind its
    // SDEXPORTAIDES.
    auto empty = laptop->OpenFile("CIVILAIDE");
    ASSERT_TRUE(empty);
    empty->SetKey("00001");
    EXPECT_EQ(empty->ReadRecord(), kRecordNotFound);
    EXPECT_TRUE(laptop->OpenFile("SECTEUR"));
    EXPECT_TRUE(laptop->OpenFile("SDEXPORTAIDES"));
  }

  int folders = 0, documents = 0;
  for (const auto& e : fs::directory_iterator(DriveC() / "KESTA" / "DOCSCAN")) {
    ++folders;
    for ([[maybe_unused]] const auto& f : fs::directory_iterator(e.path())) ++documents;
  }
  EXPECT_GE(folders, 4);
  EXPECT_GT(documents, folders);
  EXPECT_TRUE(fs::is_directory(DriveC() / "KESTA" / "SECTEURS" / "S012"));

  const auto stamp = fs::last_write_time(DriveC() / "KESTA" / "SERVEUR" / "account.db");
  Result second = Admin({"demo"});
  EXPECT_EQ(second.exit, 0);
  EXPECT_TRUE(second.out.starts_with("the demo exists under ")) << second.out;
  EXPECT_EQ(LineValue(second.out, "password"), password);
  EXPECT_EQ(fs::last_write_time(DriveC() / "KESTA" / "SERVEUR" / "account.db"), stamp);

  Result rebuilt = Admin({"demo", "--rebuild", "--persons", "10"});
  ASSERT_EQ(rebuilt.exit, 0) << rebuilt.err;
  EXPECT_NE(LineValue(rebuilt.out, "password"), password);
}

}  // namespace
}  // namespace cortevane::db
