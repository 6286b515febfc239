// Sessions of the program on an office base kept on PostgreSQL: connecting with the user's own
// role, files and reservations through DbFile, and the laptop's register pointer reaching the
// office session, as the export relies on.
#include <gtest/gtest.h>

#include <memory>

#include "db/db_file.h"
#include "db/dyn_array.h"
#include "db/postgres/postgres_store.h"
#include "db/session.h"
#include "db/status.h"
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

}  // namespace
}  // namespace cortevane::db
