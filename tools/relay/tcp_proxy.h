// TcpProxy: a TCP relay on 127.0.0.1 in front of a server. Tests use it for a server that goes
// silent: after Stall() nothing is relayed any more in either direction while every socket
// stays open, as with a server whose host drops every packet, until Resume(). Benchmarks use it for
// a slow link: every byte waits `delay_ms` after it reached the relay before it is passed on, in
// each direction, and the relay counts the client's round trips (each time a client sends after
// having heard from the server, or sends first), which is what a distant office costs.
//
// One thread relays every connection; the counters may be read from any thread.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace cortevane::relay {

// A listening socket on `address` (an IPv4 address) and a port the system chooses, which is
// written to `*port`; -1 (and an open socket closed) when it cannot listen.
int Listen(const std::string& address, int* port);

class TcpProxy {
 public:
  // Relays to `host_port` ("127.0.0.1:5432"), delaying each direction by `delay_ms`. port()
  // is 0 when it could not listen.
  explicit TcpProxy(const std::string& host_port, int delay_ms = 0);
  ~TcpProxy();
  TcpProxy(const TcpProxy&) = delete;
  TcpProxy& operator=(const TcpProxy&) = delete;

  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  void Stall() { stalled_ = true; }
  // Relays again what waited meanwhile, and what follows.
  void Resume() { stalled_ = false; }
  // Round trips of every connection since the relay started (connection set-up included).
  long long round_trips() const { return round_trips_; }
  // What the relay added beyond its delay: each chunk of bytes passed on, in either
  // direction, leaves `delay_ms` after the kernel received it plus the relay's own lateness
  // (waiting for a core, mostly; a stall's wait too). The sum and the largest of those latenesses,
  // in microseconds, and the chunks passed on, since the relay started.
  long long overrun_us() const { return overrun_us_; }
  long long max_overrun_us() const { return max_overrun_us_; }
  long long deliveries() const { return deliveries_; }

 private:
  void Run();

  std::string target_host_;
  int target_port_ = 0;
  int delay_ms_ = 0;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stalled_{false};
  std::atomic<bool> stop_{false};
  std::atomic<long long> round_trips_{0};
  std::atomic<long long> overrun_us_{0};
  std::atomic<long long> max_overrun_us_{0};
  std::atomic<long long> deliveries_{0};
  std::thread thread_;
};

}  // namespace cortevane::relay
