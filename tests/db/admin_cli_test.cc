// cortevane-admin as scripts use it: the built binary run on a temporary folder, its output,
// its error lines and its exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>

#include "db/db_file.h"
#include "db/session.h"
#include "db/status.h"
#include "support/admin_tool.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using Result = test_support::AdminRun;
using test_support::ShellQuote;
using test_support::Slurp;

class AdminCliTest : public ::testing::Test {
 protected:
  // Runs cortevane-admin --account <account> ARGS with `input` on standard input.
  Result Admin(const std::vector<std::string>& args, const std::string& input = "") {
    return test_support::RunAdmin(scratch_.path(), args, input);
  }
  Result On(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--account", Account()});
    return Admin(args, input);
  }
  std::string Account() const { return (scratch_.path() / "SERVEUR").string(); }

  test_support::TempFolder scratch_;
};

TEST_F(AdminCliTest, BuildsAServerAccountWithUserCounters) {
  ASSERT_EQ(On({"account", "create", "--server"}).exit, 0);
  Result again = On({"account", "create"});
  EXPECT_NE(again.exit, 0);
  EXPECT_EQ(again.err, "cortevane-admin: account \"" + Account() +
                           "\": account exists already (status 31009)\n");
  ASSERT_EQ(On({"file", "create", "COMPTEUR", "CIVILAIDE", "SDEXPORTAIDES"}).exit, 0);
  ASSERT_EQ(On({"record", "put", "COMPTEUR", "999"}, "^^^^^^^^^^00120\n").exit, 0);
  ASSERT_EQ(On({"user", "add", "jdupont"}, "mot de passe\n").exit, 0);
  EXPECT_EQ(On({"file", "list"}).out, "CIVILAIDE\nCOMPTEUR\nCOMPTEUR_JDUPONT\nSDEXPORTAIDES\n");
  EXPECT_EQ(On({"record", "get", "COMPTEUR_JDUPONT", "999"}).out, "^^^^^^^^^^00120\n");
  Result twice = On({"user", "add", "JDUPONT"}, "x\n");
  EXPECT_EQ(twice.err, "cortevane-admin: user \"JDUPONT\": user exists already (status 33009)\n");
  EXPECT_NE(On({"user", "add", "SANS"}, "").exit, 0);  // no password line

  // The program's way in: the name in upper case, the password given.
  Session session;
  session.SetDataBaseType(2);
  session.SetHostName("localhost");
  session.SetAccountPath(Account());
  session.SetUserName("JDUPONT");
  session.SetPassword("mot de passe");
  EXPECT_EQ(session.Connect(), kOk);
  EXPECT_NE(session.OpenFile("COMPTEUR_JDUPONT"), nullptr);
}

TEST_F(AdminCliTest, RecordsWithVisibleMarksRawBytesAndStatuses) {
  ASSERT_EQ(On({"account", "create"}).exit, 0);
  ASSERT_EQ(On({"file", "create", "CIVILAIDE"}).exit, 0);
  ASSERT_EQ(On({"record", "put", "CIVILAIDE", "00042"}, "DUPONT^Hélène]Zoé\\x^^12\n").exit, 0);
  ASSERT_EQ(On({"record", "put", "CIVILAIDE", "00007"}, "MARTIN").exit, 0);
  EXPECT_EQ(On({"record", "get", "CIVILAIDE", "00042"}).out, "DUPONT^Hélène]Zoé\\x^^12\n");
  EXPECT_EQ(On({"record", "get", "CIVILAIDE", "00042", "--raw"}).out,
            "DUPONT\xFEHélène\xFDZoé\xFCx\xFE\xFE"
            "12");
  // --raw keeps characters that would otherwise be read as marks.
  ASSERT_EQ(On({"record", "put", "CIVILAIDE", "00050", "--raw"}, "a^b]c\\d\n").exit, 0);
  EXPECT_EQ(On({"record", "get", "CIVILAIDE", "00050", "--raw"}).out, "a^b]c\\d\n");
  EXPECT_EQ(On({"record", "list", "CIVILAIDE"}).out, "00007\n00042\n00050\n");

  Result missing = On({"record", "get", "CIVILAIDE", "99999"});
  EXPECT_EQ(missing.exit, 3);
  EXPECT_EQ(missing.err,
            "cortevane-admin: record \"99999\" of file \"CIVILAIDE\": no such record (status "
            "30001)\n");
  EXPECT_EQ(On({"record", "delete", "CIVILAIDE", "00007"}).exit, 0);
  EXPECT_EQ(On({"record", "delete", "CIVILAIDE", "00007"}).exit, 1);
  Result no_file = On({"record", "list", "NOPE"});
  EXPECT_EQ(no_file.exit, 1);
  EXPECT_EQ(no_file.err, "cortevane-admin: file \"NOPE\": no such file (status 32001)\n");
  Result injected = On({"file", "create", "X\"; DROP TABLE files; --"});
  EXPECT_EQ(injected.exit, 1);
  EXPECT_NE(injected.err.find("(status 32002)"), std::string::npos) << injected.err;
  EXPECT_EQ(On({"file", "list"}).out, "CIVILAIDE\n");

  EXPECT_EQ(On({"file", "clear", "CIVILAIDE"}).exit, 0);
  EXPECT_EQ(On({"record", "list", "CIVILAIDE"}).out, "");
  EXPECT_EQ(On({"file", "drop", "CIVILAIDE"}).exit, 0);
  EXPECT_EQ(On({"file", "list"}).out, "");
}

TEST_F(AdminCliTest, DictionaryPointersSelectAndRefusals) {
  ASSERT_EQ(On({"account", "create"}).exit, 0);
  ASSERT_EQ(On({"file", "create", "CIVILAIDE"}).exit, 0);
  ASSERT_EQ(On({"record", "put", "CIVILAIDE", "00042"}, "^DUPONT^Anne").exit, 0);
  ASSERT_EQ(On({"record", "put", "CIVILAIDE", "00043"}, "^MARTIN^Paul]Marc").exit, 0);
  EXPECT_EQ(On({"dict", "set", "CIVILAIDE", "NomAide", "--field", "2", "--index"}).exit, 0);
  EXPECT_EQ(On({"dict", "set", "CIVILAIDE", "CodeAide", "--key", "--right"}).exit, 0);
  EXPECT_NE(On({"dict", "set", "CIVILAIDE", "X"}).exit, 0);  // neither --field nor --key
  EXPECT_NE(On({"dict", "set", "CIVILAIDE", "X", "--field", "2", "--key"}).exit, 0);
  EXPECT_EQ(On({"select", "CIVILAIDE", "0 2 3", "SSELECT CIVILAIDE"}).out,
            "00042]DUPONT]Anne\n00043]MARTIN]Paul\\Marc\n");

  EXPECT_EQ(On({"pointer", "create", "SDEXPORTAIDES", "--to-host", "serveur", "--to-account",
                "/srv/BASE", "--to-file", "SDEXPORTAIDES"})
                .exit,
            0);
  EXPECT_EQ(On({"pointer", "list"}).out, "SDEXPORTAIDES -> serveur /srv/BASE SDEXPORTAIDES\n");

  Result remote = Admin({"--account", Account(), "--host", "ailleurs", "file", "list"});
  EXPECT_EQ(remote.exit, 1);
  EXPECT_NE(remote.err.find("(status 31005)"), std::string::npos) << remote.err;
  Result absent = Admin({"--account", Account() + "/NOPE", "file", "list"});
  EXPECT_NE(absent.err.find("(status 31003)"), std::string::npos) << absent.err;
  for (auto args : std::vector<std::vector<std::string>>{{"--help"},
                                                         {"record", "--help"},
                                                         {"record", "put", "--help"},
                                                         {"dict", "set", "--help"}})
    EXPECT_EQ(Admin(args).exit, 0) << args.back();
}

// The account's folder mounted read-only in a mount namespace of the script's own, as a base on
// a CD or a write-protected key would be: it is read, a write says why it cannot be done, and
// the whole check runs.
TEST_F(AdminCliTest, AnAccountOnAReadOnlyMediumOpensForReading) {
  ASSERT_EQ(On({"account", "create"}).exit, 0);
  ASSERT_EQ(On({"file", "create", "CIVILAIDE"}).exit, 0);
  ASSERT_EQ(On({"record", "put", "CIVILAIDE", "00001"}, "DUPONT^Anne\n").exit, 0);
  const std::string account = ShellQuote(Account());
  const std::string admin =
      ShellQuote(CORTEVANE_BINARY_DIR "/tools/admin/cortevane-admin") + " --account " + account;
  const std::string script =
      "mount --bind " + account + " " + account + " && mount -o remount,bind,ro " + account +
      " || exit 77; touch " + account + "/x 2>/dev/null && exit 77; " + admin +
      " record get CIVILAIDE 00001; echo \"get $?\"; echo X | " + admin +
      " record put CIVILAIDE 00002; echo \"put $?\"; " + admin +
      " select CIVILAIDE '0 2' 'SELECT CIVILAIDE'; " + admin + " account check; echo \"check $?\"";
  const auto out = scratch_.path() / "ro.out";
  int status = std::system(
      ("unshare -rm sh -c " + ShellQuote(script) + " >" + ShellQuote(out.string()) + " 2>&1")
          .c_str());
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 127)
    GTEST_SKIP() << "no read-only mount here: " << Slurp(out);
  EXPECT_EQ(Slurp(out),
            "DUPONT^Anne\nget 0\ncortevane-admin: record \"00002\" of file \"CIVILAIDE\": "
            "account is read-only (status 32011)\nput 1\n00001]Anne\nok\ncheck 0\n");
}

}  // namespace
}  // namespace cortevane::db
