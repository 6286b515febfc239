// How the office store authenticates its server, against a cluster with TLS started for the
// test and its own certificate authorities, reached directly or through a relay on 127.0.0.2
// (a loopback address the store does not take for this machine, so the rules for a distant
// office apply). Whatever could not be authenticated is refused before the password leaves.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "db/postgres/postgres_store.h"
#include "db/status.h"
#include "support/admin_tool.h"
#include "support/temp_account.h"
#include "support/tls_cluster.h"
#include "support/tls_relay.h"

namespace cortevane::db {
namespace {

using test_support::TlsCluster;
using test_support::TlsRelay;

// Sets libpq's variables for the length of a scope, and puts back what was there.
class Variables {
 public:
  ~Variables() {
    for (const auto& [name, value] : saved_)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
  void Set(const std::string& name, const std::string& value) {
    Save(name);
    setenv(name.c_str(), value.c_str(), 1);
  }
  void Unset(const std::string& name) {
    Save(name);
    unsetenv(name.c_str());
  }

 private:
  void Save(const std::string& name) {
    if (saved_.count(name)) return;
    const char* now = std::getenv(name.c_str());
    saved_[name] = now ? std::optional<std::string>(now) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(PostgresTlsTest, TheOfficeServerIsAuthenticatedBeforeThePasswordLeaves) {
  Variables variables;
  for (const char* name : {"PGSSLMODE", "PGCHANNELBINDING", "PGSERVICE", "PGTARGETSESSIONATTRS"})
    variables.Unset(name);
  const std::string none = "/nonexistent/root.crt";
  variables.Set("PGSSLROOTCERT", none);
  TlsCluster cluster;
  if (!cluster.started()) GTEST_SKIP() << "no PostgreSQL server or openssl on this machine";
  TlsRelay relay("127.0.0.2", cluster.host());
  TlsRelay stripper("127.0.0.2", "");
  ASSERT_TRUE(relay.port() != 0 && stripper.port() != 0);

  const std::string password = "s3cret-Alice";
  PgAddress admin{cluster.host(), "kesta", "cortevane", "cortevane"};
  ASSERT_EQ(PostgresStore::CreateAccount(admin, true), kOk);
  {
    int status = -1;
    auto store = PostgresStore::Connect(admin, &status);
    ASSERT_EQ(status, kOk);
    ASSERT_EQ(store->CreateUser("ALICE", password), kOk);
  }

  const std::string office = cluster.office_authority().string();
  struct Case {
    const char* what;
    std::string host, authority;
    int status;
    AuthFailure why;
  };
  const Case cases[] = {
      {"the office's authority, the name on the certificate", relay.host(), office, kOk,
       AuthFailure::kNone},
      {"a certificate from another authority", relay.host(), cluster.other_authority().string(),
       kServerUnverified, AuthFailure::kUnknownAuthority},
      {"a host name the certificate does not bear", cluster.host(), office, kServerUnverified,
       AuthFailure::kWrongHostName},
      {"a relay that answers no TLS", stripper.host(), office, kServerUnverified,
       AuthFailure::kNoEncryption},
      {"a relay that answers no TLS, no authority installed", stripper.host(), none,
       kServerUnverified, AuthFailure::kNoChannelBinding},
      {"no authority installed: encrypted, bound, not authenticated", relay.host(), none, kOk,
       AuthFailure::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    variables.Set("PGSSLROOTCERT", c.authority);
    const size_t before = relay.received().size();
    int status = -1;
    AuthFailure why = AuthFailure::kNone;
    auto store = PostgresStore::Connect({c.host, "kesta", "ALICE", password}, &status, &why);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(why, c.why);
    if (store) {
      EXPECT_EQ(store->ServerAuthenticated(), c.authority == office);
    }
    store.reset();  // the relay serves one connection at a time
    // A handshake that failed stopped at the certificate: the client never changed to the
    // encrypted channel, so nothing of the start-up (user, password) was sent.
    const std::string types =
        TlsRelay::TlsRecordTypes(std::string_view(relay.received()).substr(before));
    const bool entered =
        types.find("20") != std::string::npos || types.find("23") != std::string::npos;
    if (c.host == relay.host()) {
      EXPECT_EQ(entered, c.status == kOk) << types;
    }
  }
  EXPECT_EQ(stripper.received().find(password), std::string::npos) << "the password leaked";

  // cortevane-admin says the same in English, and fails.
  test_support::TempFolder scratch;
  auto run = test_support::RunAdmin(scratch.path(),
                                    {"--host", stripper.host(), "--user", "ALICE",
                                     "--password-stdin", "--account", "kesta", "file", "list"},
                                    password + "\n", {"PGSSLROOTCERT=" + office});
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.err.find("the office server could not be authenticated: it offers no "
                         "encryption (TLS) (status 31011)"),
            std::string::npos)
      << run.err;

  // An administrator's PGSSLMODE is followed, even with the authority installed: on this
  // machine, no TLS at all.
  variables.Set("PGSSLROOTCERT", office);
  variables.Set("PGSSLMODE", "disable");
  int status = -1;
  auto store = PostgresStore::Connect({cluster.host(), "kesta", "ALICE", password}, &status);
  ASSERT_EQ(status, kOk);
  EXPECT_FALSE(store->ServerAuthenticated());
  PGresult* ssl = store->Exec("SELECT ssl::text FROM pg_stat_ssl WHERE pid = pg_backend_pid()", {});
  ASSERT_TRUE(PostgresStore::Ok(ssl));
  EXPECT_EQ(std::string(PQgetvalue(ssl, 0, 0)), "false");
  PQclear(ssl);
}

}  // namespace
}  // namespace cortevane::db
