// The import's traffic to an office on PostgreSQL, counted at the office store: the
// registrations and the copy of a batch of persons take a few requests for the whole batch,
// never a few per person, nor more for a person with many records.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/db_file.h"
#include "db/db_subroutine.h"
#include "db/dyn_array.h"
#include "db/postgres/postgres_store.h"
#include "db/session.h"
#include "db/status.h"
#include "import/import_register.h"
#include "relay/tcp_proxy.h"
#include "support/pg_server.h"
#include "support/temp_account.h"

namespace cortevane::import {
namespace {

struct Requests {
  long long store = -1;  // requests the office store sent
  long long relay = -1;  // round trips a relay between the two saw
};

// The office requests of registering and importing `persons` persons of `notes` records each
// in a several-records file; -1 when the import failed.
Requests ImportRequests(int persons, int notes) {
  auto address = cortevane::testing::NewPgAccount("importrt", true);
  if (!address) return {};
  int status = -1;
  auto admin = db::PostgresStore::Connect(*address, &status);
  if (status != db::kOk) return {};
  for (const char* file : {"CIVILAIDE", "NOTES", "SDPARAMEXPORT", "COMPTEUR", "SDEXPORTAIDES"})
    admin->CreateFile(file);
  admin->Write("SDPARAMEXPORT", "AIDE", db::FromVisible("CIVILAIDE]]]^NOTES]]SELECT]"));
  admin->Write("COMPTEUR", "999", db::FromVisible("^^^^^^^^^^90000"));
  std::vector<std::string> codes;
  admin->Begin();
  for (int p = 1; p <= persons; ++p) {
    codes.push_back(std::to_string(10000 + p));
    admin->Write("CIVILAIDE", codes.back(), db::FromVisible("^NOM" + codes.back()));
    for (int n = 1; n <= notes; ++n)
      admin->Write("NOTES", codes.back() + "*" + std::to_string(n), "note");
  }
  admin->Commit();

  relay::TcpProxy relay(address->host);
  db::Session office;
  office.SetDataBaseType(2);
  office.SetHostName(relay.address());
  office.SetAccountPath(address->account);
  office.SetUserName(address->user);
  office.SetPassword(address->password);
  test_support::TempAccount laptop(test_support::Flavour::kLaptop);
  auto laptop_session = laptop.Connect();
  if (office.Connect() != db::kOk || laptop_session == nullptr) return {};
  auto* store = static_cast<db::PostgresStore*>(office.store().get());
  auto registre = office.OpenFile("SDEXPORTAIDES");
  const long long before = store->round_trips();
  const long long relay_before = relay.round_trips();

  db::DynArray record;
  record.SetField(1, "TESTEUR");
  if (RegisterPersons(*registre, codes, record).result != Registration::kDone) return {};
  db::DynArrayBuilder list;
  for (const std::string& code : codes) list.AddField(code);
  auto routine = office.Subroutine("IMPORTDONNEES", 3);
  routine->ResetArgs();
  routine->SetArg(0, "TESTEUR|localhost|" + laptop.Path() + "|" + office.HostName() + "|" +
                         office.AccountPath());
  routine->SetArg(1, list.TakeText());
  if (routine->Call() != db::kOk) return {};
  const Requests requests{store->round_trips() - before, relay.round_trips() - relay_before};
  const std::string keys = laptop.Keys("NOTES");
  if (std::count(keys.begin(), keys.end(), ' ') + 1 != persons * notes) return {};
  return requests;
}

TEST(ImportRoundTrips, AFewRequestsForAWholeBatchWhateverItsPersonsRecords) {
  if (!cortevane::testing::PgServer()) GTEST_SKIP() << "no PostgreSQL test server";
  const Requests one = ImportRequests(1, 1);
  const Requests many = ImportRequests(40, 1);
  const Requests thick = ImportRequests(40, 30);
  ASSERT_GT(one.store, 0);
  ASSERT_GT(many.store, 0);
  // The same requests for 40 persons as for one, and for 30 records a person as for one.
  EXPECT_EQ(many.store, one.store) << "requests grow with the persons";
  EXPECT_EQ(thick.store, many.store) << "requests grow with the records";
  EXPECT_LE(many.store, 3 * 40);
  // What the store counts is what reaches the wire.
  EXPECT_EQ(one.relay, one.store);
  EXPECT_EQ(thick.relay, thick.store);
}

}  // namespace
}  // namespace cortevane::import
