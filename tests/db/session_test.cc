// Sessions: connecting to embedded accounts, credentials, files and pointers through the
// process's connected sessions, and what a disconnect leaves behind.
#include "db/session.h"

#include <gtest/gtest.h>

#include <fstream>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/status.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

using test_support::Flavour;
using test_support::TempAccount;

TEST(SessionTest, ConnectsReadsAndWritesThroughFiles) {
  TempAccount account;
  account.Put("CIVILAIDE", "00042", "DUPONT^Anne]Marie");
  auto session = account.Connect();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->Error(), 0);
  auto file = session->OpenFile("CIVILAIDE");
  ASSERT_NE(file, nullptr);
  file->SetKey("00042");
  EXPECT_EQ(file->ReadRecord(), 0);
  EXPECT_EQ(ToVisible(file->GetRecord().Text()), "DUPONT^Anne]Marie");

  DynArray rec = file->GetRecord();
  rec.ValueRef(2, 3) = "Zoé";
  file->SetRecord(rec);
  file->SetKey("00043");
  EXPECT_EQ(file->WriteRecord(), 0);
  EXPECT_EQ(account.Dump("CIVILAIDE"), "00042=DUPONT^Anne]Marie | 00043=DUPONT^Anne]Marie]Zoé");

  file->SetKey("00099");
  EXPECT_EQ(file->ReadRecord(), kRecordNotFound);
  EXPECT_EQ(file->GetRecord().Text(), "");
  EXPECT_EQ(file->DeleteRecord(), kRecordNotFound);
  file->SetKey("");
  EXPECT_EQ(file->ReadRecord(), kNoKey);
}

TEST(SessionTest, WrongPasswordUnknownUserAndBadNamesFail) {
  TempAccount account;
  auto session = account.Unconnected();
  session->SetPassword("wrong");
  EXPECT_EQ(session->Connect(), kBadCredentials);
  EXPECT_FALSE(session->IsConnected());
  session->SetPassword(account.Password());
  session->SetUserName("INCONNU");
  EXPECT_EQ(session->Connect(), kBadCredentials);
  session->SetUserName("X' OR '1'='1");
  EXPECT_EQ(session->Connect(), kBadName);
  // User names are kept in upper case; the name typed in any case finds the user.
  session->SetUserName("testeur");
  EXPECT_EQ(session->Connect(), kOk);
  EXPECT_EQ(session->Connect(), kAlreadyConnected);
  EXPECT_TRUE(session->IsConnected());
}

TEST(SessionTest, ConnectRefusesWhatIsNotAnEmbeddedAccountHere) {
  TempAccount account;
  auto session = account.Unconnected();
  session->SetDataBaseType(1);
  EXPECT_EQ(session->Connect(), kBadDatabaseType);
  session->SetDataBaseType(2);
  session->SetHostName("serveur.example.org");
  EXPECT_EQ(session->Connect(), kRemoteHostForFolder);
  session->SetHostName("localhost");
  session->SetAccountPath(account.Path() + "/ABSENT");
  EXPECT_EQ(session->Connect(), kAccountNotFound);
  session->SetAccountPath((account.Scratch() / "NOWHERE").string());
  EXPECT_EQ(session->Connect(), kAccountNotFound);
  session->SetAccountPath("");
  EXPECT_NE(session->Connect(), kOk);
  // Any other account path names a database on a server; none answers here.
  session->SetHostName("no-such-host.invalid");
  session->SetAccountPath("KESTA");
  EXPECT_NE(session->Connect(), kOk);
  EXPECT_FALSE(session->IsConnected());

  for (const char* host : {"localhost", "LOCALHOST", "127.0.0.1", "::1", ".", ""}) {
    auto local = account.Unconnected();
    local->SetHostName(host);
    EXPECT_EQ(local->Connect(), kOk) << host;
  }
}

TEST(SessionTest, DamagedAccountFileGivesAStatus) {
  TempAccount account;
  std::filesystem::create_directories(account.Scratch() / "BROKEN");
  std::ofstream(account.Scratch() / "BROKEN" / "account.db") << std::string(5000, '\x01');
  auto session = account.Unconnected();
  session->SetAccountPath((account.Scratch() / "BROKEN").string());
  EXPECT_EQ(session->Connect(), kAccountCorrupt);
}

TEST(SessionTest, DisconnectEndsFilesRoutinesAndReservations) {
  TempAccount account;
  account.Put("COMPTEUR", "999", "^^^^^^^^^^00120");
  auto first = account.Connect();
  auto second = account.Connect();
  ASSERT_TRUE(first && second);
  auto file = first->OpenFile("COMPTEUR");
  auto routine = first->Subroutine("DBA.SELECT", 3);
  ASSERT_TRUE(file && routine);
  file->SetKey("999");
  ASSERT_EQ(file->ReserveRecord(), kOk);
  EXPECT_EQ(file->GetRecord().Field(11), "00120");

  // A second session of this process sees the lock as held.
  auto other = second->OpenFile("COMPTEUR");
  other->SetKey("999");
  other->SetLockTimeoutMs(100);
  EXPECT_EQ(other->ReserveRecord(), kLockTimeout);

  first->Disconnect();
  EXPECT_EQ(file->ReadRecord(), kNotConnected);
  EXPECT_EQ(file->WriteRecord(), kNotConnected);
  EXPECT_EQ(file->EmptyFile(), kNotConnected);
  EXPECT_EQ(routine->Call(), kNotConnected);
  EXPECT_EQ(first->OpenFile("COMPTEUR"), nullptr);
  EXPECT_EQ(first->Error(), kNotConnected);
  first->Disconnect();  // twice is harmless

  other->SetLockTimeoutMs(2000);
  EXPECT_EQ(other->ReserveRecord(), kOk);
  EXPECT_EQ(other->FreeRecord(), kOk);
  EXPECT_EQ(other->FreeRecord(), kNotReserved);
}

TEST(SessionTest, ReserveRereadsTheRecordUnderTheLock) {
  TempAccount account;
  account.Put("COMPTEUR", "999", "^^^^^^^^^^00120");
  auto a = account.Connect();
  auto b = account.Connect();
  auto mine = a->OpenFile("COMPTEUR");
  auto theirs = b->OpenFile("COMPTEUR");
  mine->SetKey("999");
  ASSERT_EQ(mine->ReadRecord(), kOk);
  theirs->SetKey("999");
  DynArray changed(FromVisible("^^^^^^^^^^00121"));
  theirs->SetRecord(changed);
  ASSERT_EQ(theirs->WriteRecord(), kOk);
  ASSERT_EQ(mine->ReserveRecord(), kOk);
  EXPECT_EQ(mine->GetRecord().Field(11), "00121");
  mine->SetKey("555");  // a reservation of an absent record is still held
  EXPECT_EQ(mine->ReserveRecord(), kRecordNotFound);
  theirs->SetKey("555");
  theirs->SetLockTimeoutMs(50);
  EXPECT_EQ(theirs->ReserveRecord(), kLockTimeout);
}

TEST(SessionTest, EmptyFileAndUnknownFiles) {
  TempAccount account;
  account.Put("PLANNING1", "00042-1", "x");
  account.Put("PLANNING1", "00042-2", "y");
  auto session = account.Connect();
  auto file = session->OpenFile("PLANNING1");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->EmptyFile(), kOk);
  EXPECT_EQ(account.Dump("PLANNING1"), "");
  EXPECT_EQ(session->OpenFile("ABSENT"), nullptr);
  EXPECT_EQ(session->Error(), kNoSuchFile);
  EXPECT_EQ(session->OpenFile("CIVILAIDE; DROP TABLE files"), nullptr);
  EXPECT_EQ(session->Error(), kBadName);
}

TEST(SessionTest, PointersReachTheConnectedSessionOfTheirAccount) {
  TempAccount server(Flavour::kServer);
  TempAccount laptop;
  server.Put("SDEXPORTAIDES", "00042", "TESTEUR^7117^9:5");
  // Spelled differently from the server session's own path: same folder, another local name.
  laptop.SetPointer("SDEXPORTAIDES", "127.0.0.1", server.Path() + "/./", "SDEXPORTAIDES");
  auto on_laptop = laptop.Connect();
  EXPECT_EQ(on_laptop->OpenFile("SDEXPORTAIDES"), nullptr);
  EXPECT_EQ(on_laptop->Error(), kPointerTargetAbsent);

  auto on_server = server.Connect();
  EXPECT_EQ(Session::FindConnected("LOCALHOST", server.Path()), on_server.get());
  EXPECT_EQ(Session::FindConnected("elsewhere", server.Path()), nullptr);
  auto file = on_laptop->OpenFile("SDEXPORTAIDES");
  ASSERT_NE(file, nullptr);
  file->SetKey("00042");
  ASSERT_EQ(file->ReadRecord(), kOk);
  EXPECT_EQ(ToVisible(file->GetRecord().Text()), "TESTEUR^7117^9:5");
  ASSERT_EQ(file->DeleteRecord(), kOk);
  EXPECT_EQ(server.Get("SDEXPORTAIDES", "00042"), "<none>");

  on_server->Disconnect();
  EXPECT_EQ(file->ReadRecord(), kNotConnected);
  EXPECT_EQ(Session::FindConnected("localhost", server.Path()), nullptr);
}

TEST(SessionTest, DrivePathAccountsAreMappedFolders) {
  TempAccount account;
  const auto drive_c = account.Scratch() / "drive_c";
  std::filesystem::create_directories(drive_c / "KESTA");
  std::filesystem::rename(account.Folder(), drive_c / "KESTA" / "BASE");
  const char* previous = std::getenv("CORTEVANE_DRIVE_C");
  std::string saved = previous ? previous : "";
  setenv("CORTEVANE_DRIVE_C", drive_c.c_str(), 1);
  auto session = account.Unconnected();
  session->SetAccountPath("c:\\kesta\\base");
  EXPECT_EQ(session->Connect(), kOk);
  EXPECT_EQ(Session::FindConnected(".", (drive_c / "KESTA/BASE").string()), session.get());
  session->Disconnect();
  if (previous)
    setenv("CORTEVANE_DRIVE_C", saved.c_str(), 1);
  else
    unsetenv("CORTEVANE_DRIVE_C");
  std::filesystem::rename(drive_c / "KESTA" / "BASE", account.Folder());
}

TEST(SessionTest, SubroutinesCallOnlyCataloguedRoutines) {
  TempAccount laptop;
  laptop.Put("CIVILAIDE", "00042", "^DUPONT");
  auto session = laptop.Connect();
  auto import = session->Subroutine("IMPORTDONNEES", 3);
  ASSERT_NE(import, nullptr);
  EXPECT_EQ(import->Call(), kNoSuchRoutine);
  auto unknown = session->Subroutine("NOSUCH", 3);
  EXPECT_EQ(unknown->Call(), kNoSuchRoutine);

  auto select = session->Subroutine("DBA.SELECT", 3);
  select->ResetArgs();
  select->SetArg(3, "x");
  EXPECT_EQ(select->Error(), kBadArgument);
  EXPECT_EQ(select->GetArg(7), "");
  select->ResetArgs();
  DynArray request;
  request.SetField(1, "SSELECT CIVILAIDE");
  request.SetField(2, "CIVILAIDE");
  request.SetField(3, "0 2");
  select->SetArg(0, "");
  select->SetArg(1, request.Text());
  EXPECT_EQ(select->Call(), kOk);
  EXPECT_EQ(ToVisible(select->GetArg(2)), "00042]DUPONT");
}

}  // namespace
}  // namespace cortevane::db
