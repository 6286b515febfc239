#include "support/tls_cluster.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace cortevane::test_support {
namespace {

std::string Script() { return std::string(CORTEVANE_SOURCE_DIR) + "/tests/support/tls_cluster.sh"; }

}  // namespace

TlsCluster::TlsCluster() {
  char pattern[] = "/tmp/cortevane-tls.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  dir_ = pattern;
  const std::string command = "bash " + Script() + " start " + dir_.string();
  FILE* out = ::popen(command.c_str(), "r");
  if (out == nullptr) return;
  char line[64] = {};
  if (std::fgets(line, sizeof line, out) != nullptr) port_ = std::atoi(line);
  if (::pclose(out) != 0) port_ = 0;
}

TlsCluster::~TlsCluster() {
  if (dir_.empty()) return;
  const std::string command = "bash " + Script() + " stop " + dir_.string();
  if (std::system(command.c_str()) != 0) std::perror("tls_cluster.sh stop");
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

}  // namespace cortevane::test_support
