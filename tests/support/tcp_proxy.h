// TcpProxy: a TCP relay on 127.0.0.1 in front of a server, for tests of a server that goes
// silent. Connections to port() are relayed to the target until Stall(), after which nothing
// is relayed any more in either direction while every socket stays open, as with a server
// whose host drops every packet.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace cortevane::test_support {

class TcpProxy {
 public:
  // Relays to `host_port` ("127.0.0.1:5432"). port() is 0 when it could not listen.
  explicit TcpProxy(const std::string& host_port);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  int port() const { return port_; }
  void Stall() { stalled_ = true; }

 private:
  void Run();

  std::string target_host_;
  int target_port_ = 0;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stalled_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace cortevane::test_support
