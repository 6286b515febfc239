// A PostgreSQL cluster with TLS and its certificate authorities, started for one test by
// tls_cluster.sh (beside this file) and stopped when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace cortevane::test_support {

class TlsCluster {
 public:
  TlsCluster();
  ~TlsCluster();
  TlsCluster(const TlsCluster&) = delete;
  TlsCluster& operator=(const TlsCluster&) = delete;

  // False when this machine cannot run one (no PostgreSQL server or openssl).
  bool started() const { return port_ != 0; }
  // "127.0.0.1:port"; the superuser is cortevane, password cortevane.
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  // The office's certificate authority, which signed the server's certificate (made out to
  // 127.0.0.2), and another one.
  std::filesystem::path office_authority() const { return dir_ / "ca.crt"; }
  std::filesystem::path other_authority() const { return dir_ / "other-ca.crt"; }

 private:
  std::filesystem::path dir_;
  int port_ = 0;
};

}  // namespace cortevane::test_support
