// Sessions of the program on an office base kept on PostgreSQL: connecting with the user's own
// role, files and reservations through DbFile, and the laptop's register pointer reaching the
// office session, as the export relies on, waits told to an observer, and a file held by
// another connection named.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "db/db_file.h"
#include "db/dyn_array.h"
#include "db/postgres/postgres_store.h"
#include "db/session.h"
#include "db/status.h"
#include "relay/tcp_proxy.h"
#include "support/pg_server.h"
#include "support/temp_account.h"

namespace cortevane::db {
namespace {

class PostgresSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto address = testing::NewPgAccount("sessions", true);
    if (!address) GTEST_SKIP() << "no PostgreSQL test server (CORTEVANE_PG_HOST)";
    address_ = *address;
    int status = -1;
    admin_ = PostgresStore::Connect(address_, &status);
    ASSERT_EQ(status, kOk);
    ASSERT_EQ(admin_->CreateFile("SDEXPORTAIDES"), kOk);
    ASSERT_EQ(admin_->CreateFile("COMPTEUR"), kOk);
    ASSERT_EQ(admin_->CreateUser("TESTEUR", "secret-42"), kOk);
  }

  std::unique_ptr<Session> Office(std::string user = "TESTEUR",
                                  std::string password = "secret-42") {
    auto session = std::make_unique<Session>();
    session->SetDataBaseType(2);
    session->SetHostName(address_.host);
    session->SetAccountPath(address_.account);
    session->SetUserName(std::move(user));
    session->SetPassword(std::move(password));
    return session;
  }

  PgAddress address_;
  std::shared_ptr<PostgresStore> admin_;
};

TEST_F(PostgresSessionTest, ConnectsWithTheUsersRoleAndRefusesWhatIsWrong) {
  EXPECT_EQ(Office("TESTEUR", "wrong")->Connect(), kBadCredentials);
  EXPECT_EQ(Office("INCONNU")->Connect(), kBadCredentials);
  auto bad_name = Office();
  bad_name->SetAccountPath("kesta\"; DROP DATABASE postgres; --");
  EXPECT_EQ(bad_name->Connect(), kAccountNotFound);
  auto nowhere = Office();
  nowhere->SetHostName("127.0.0.1:1");
  EXPECT_EQ(nowhere->Connect(), kServerUnreachable);

  auto session = Office();
  ASSERT_EQ(session->Connect(), kOk);
  auto file = session->OpenFile("SDEXPORTAIDES");
  ASSERT_NE(file, nullptr);
  file->SetKey("00042");
  EXPECT_EQ(file->ReadRecord(), kRecordNotFound);
  file->SetRecord(DynArray(FromVisible("TESTEUR^7117^9:5")));
  ASSERT_EQ(file->WriteRecord(), kOk);
  ASSERT_EQ(file->ReadRecord(), kOk);
  EXPECT_EQ(ToVisible(file->GetRecord().Text()), "TESTEUR^7117^9:5");
  EXPECT_EQ(session->OpenFile("ABSENT"), nullptr);
  EXPECT_EQ(session->Error(), kNoSuchFile);

  session->Disconnect();
  EXPECT_EQ(file->ReadRecord(), kNotConnected);
}

TEST_F(PostgresSessionTest, ACounterReservedByOneSessionWaitsForTheOther) {
  auto first = Office();
  auto second = Office();
  ASSERT_EQ(first->Connect(), kOk);
  ASSERT_EQ(second->Connect(), kOk);
  auto a = first->OpenFile("COMPTEUR");
  auto b = second->OpenFile("COMPTEUR");
  a->SetKey("999");
  b->SetKey("999");
  b->SetLockTimeoutMs(200);
  ASSERT_EQ(a->ReserveRecord(), kRecordNotFound) << "reserved, and re-read: no record yet";
  EXPECT_EQ(b->ReserveRecord(), kLockTimeout);
  a->SetRecord(DynArray(FromVisible("^^^^^^^^^^00150")));
  ASSERT_EQ(a->WriteRecord(), kOk);
  ASSERT_EQ(a->FreeRecord(), kOk);
  ASSERT_EQ(b->ReserveRecord(), kOk);
  EXPECT_EQ(b->GetRecord().Field(11), "00150") << "the record as it is once the lock is held";
  EXPECT_EQ(b->FreeRecord(), kOk);
}

TEST_F(PostgresSessionTest, TheLaptopRegisterPointerReachesTheOfficeSession) {
  ASSERT_EQ(admin_->Write("SDEXPORTAIDES", "00042", FromVisible("TESTEUR^7117^9:5")), kOk);
  test_support::TempAccount laptop;
  laptop.SetPointer("SDEXPORTAIDES", address_.host, address_.account, "SDEXPORTAIDES");
  auto on_laptop = laptop.Connect();
  EXPECT_EQ(on_laptop->OpenFile("SDEXPORTAIDES"), nullptr);
  EXPECT_EQ(on_laptop->Error(), kPointerTargetAbsent);

  auto office = Office();
  ASSERT_EQ(office->Connect(), kOk);
  EXPECT_EQ(Session::FindConnected(address_.host, address_.account), office.get());
  auto file = on_laptop->OpenFile("SDEXPORTAIDES");
  ASSERT_NE(file, nullptr);
  file->SetKey("00042");
  ASSERT_EQ(file->ReadRecord(), kOk);
  EXPECT_EQ(file->GetRecord().Field(1), "TESTEUR");
  ASSERT_EQ(file->DeleteRecord(), kOk);
  std::string gone;
  EXPECT_EQ(admin_->Read("SDEXPORTAIDES", "00042", &gone), kRecordNotFound);
}

// Through a relay that stops answering: the observer is told the seconds waited, connecting
// as well as waiting for an answer, and the end of each wait; a request whose answer comes
// late succeeds.
TEST_F(PostgresSessionTest, WaitsOnTheServerAreToldToTheObserver) {
  relay::TcpProxy relay(address_.host);
  ASSERT_NE(relay.port(), 0);
  PgAddress through = address_;
  through.host = "127.0.0.1:" + std::to_string(relay.port());
  through.connect_timeout_s = 2;
  through.request_timeout_s = 6;
  std::vector<int> told;
  auto observer = [&](int seconds) {
    told.push_back(seconds);
    if (seconds >= 1) relay.Resume();
  };

  relay.Stall();
  int status = -1;
  PostgresStore::Connect(through, &status, nullptr, [&](int seconds) { told.push_back(seconds); });
  EXPECT_EQ(status, kServerUnreachable);
  ASSERT_GE(told.size(), 10u);
  EXPECT_EQ(told.back(), kWaitOver);
  EXPECT_GE(told[told.size() - 2], 1) << "a 2-second connect timeout";

  relay.Resume();
  told.clear();
  auto store = PostgresStore::Connect(through, &status, nullptr, observer);
  ASSERT_EQ(status, kOk);
  told.clear();
  relay.Stall();
  std::string record;
  EXPECT_EQ(store->Read("SDEXPORTAIDES", "00042", &record), kRecordNotFound);
  ASSERT_FALSE(told.empty());
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end() - 1));
  EXPECT_EQ(told[told.size() - 2], 1);
  EXPECT_EQ(told.back(), kWaitOver);
}

// An administrator's work holds a file's catalogue entry (a dictionary item being indexed):
// a write to it stops after the server's lock wait with kFileBusy naming that file, even
// when it is another file's request that sends it, as the release of a registration does.
TEST_F(PostgresSessionTest, AWriteToAFileHeldByAnotherConnectionNamesIt) {
  ASSERT_EQ(admin_->CreateFile("AIDEINTERV"), kOk);
  PgAddress quick = address_;
  quick.request_timeout_s = 3;  // the server's lock wait: 1 s
  int status = -1;
  auto staff = PostgresStore::Connect(quick, &status);
  ASSERT_EQ(status, kOk);
  ASSERT_EQ(admin_->Begin(), kOk);
  ASSERT_EQ(admin_->SetDictItem("AIDEINTERV", DictItem{"CodeAide", 0, 0, false, true}), kOk);

  EXPECT_EQ(staff->Write("AIDEINTERV", "00042", "X"), kFileBusy);
  EXPECT_EQ(staff->BusyFile(), "AIDEINTERV");
  ASSERT_EQ(staff->Begin(), kOk);
  ASSERT_EQ(staff->Write("AIDEINTERV", "00042", "X"), kOk);
  EXPECT_EQ(staff->Delete("SDEXPORTAIDES", "00042"), kFileBusy);
  EXPECT_EQ(staff->BusyFile(), "AIDEINTERV");
  staff->Rollback();

  ASSERT_EQ(admin_->Commit(), kOk);
  EXPECT_EQ(staff->Write("AIDEINTERV", "00042", "X"), kOk);
}

}  // namespace
}  // namespace cortevane::db
