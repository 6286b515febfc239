// TlsRelay: a man in the middle on a loopback address, for tests of how the office store
// authenticates its server. It either relays every connection to a real server (the TLS
// session then runs end to end through it), or plays the attacker that strips TLS: it answers
// "no TLS" to the client's request for it and asks for the password in clear text. Either
// way it keeps every byte the client sent, which tells what a relay could have learnt.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace cortevane::test_support {

class TlsRelay {
 public:
  // Listens on `address` ("127.0.0.2": a loopback address the store does not take for this
  // machine) and relays to `target` ("127.0.0.1:5432"), or, with an empty target, strips TLS.
  // port() is 0 when it could not listen.
  TlsRelay(const std::string& address, const std::string& target);
  ~TlsRelay();
  TlsRelay(const TlsRelay&) = delete;
  TlsRelay& operator=(const TlsRelay&) = delete;

  int port() const { return port_; }
  // "127.0.0.2:port", as a host of the configuration.
  std::string host() const { return address_ + ":" + std::to_string(port_); }
  // Everything clients sent so far, connections one after the other.
  std::string received();
  // The types of the TLS records in what clients sent (`bytes`, connections that each began
  // with a request for TLS): 22 handshake, 21 alert, 20 change of cipher, 23 application
  // data, each once, in order of appearance.
  static std::string TlsRecordTypes(std::string_view bytes);

 private:
  void Run();
  void Strip(int client);
  void Relay(int client);
  void Keep(const char* data, size_t size);

  std::string address_;
  std::string target_host_;
  int target_port_ = 0;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string received_;
  std::thread thread_;
};

}  // namespace cortevane::test_support
