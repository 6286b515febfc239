#include "support/tls_relay.h"

#include "relay/tcp_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <vector>

namespace cortevane::test_support {
namespace {

// Reads exactly `size` bytes, waiting at most two seconds for each piece.
bool ReadExactly(int fd, char* out, size_t size) {
  for (size_t got = 0; got < size;) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 2000) <= 0) return false;
    ssize_t n = ::read(fd, out + got, size - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

uint32_t BigEndian(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

TlsRelay::TlsRelay(const std::string& address, const std::string& target) : address_(address) {
  if (!target.empty()) {
    target_host_ = target.substr(0, target.rfind(':'));
    target_port_ = std::stoi(target.substr(target.rfind(':') + 1));
  }
  listener_ = relay::Listen(address, &port_);
  if (listener_ < 0) return;
  thread_ = std::thread([this] { Run(); });
}

TlsRelay::~TlsRelay() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string TlsRelay::received() {
  std::lock_guard lock(mutex_);
  return received_;
}

std::string TlsRelay::TlsRecordTypes(std::string_view bytes) {
  std::string types;
  std::set<int> seen;
  // Each connection starts with an 8-byte request for TLS; records follow it.
  size_t at = 0;
  while (at + 8 <= bytes.size()) {
    at += 8;
    while (at + 5 <= bytes.size()) {
      const int type = static_cast<unsigned char>(bytes[at]);
      if (type < 20 || type > 23) break;  // the next connection's request
      if (seen.insert(type).second) types += (types.empty() ? "" : " ") + std::to_string(type);
      at += 5 + ((static_cast<unsigned char>(bytes[at + 3]) << 8) |
                 static_cast<unsigned char>(bytes[at + 4]));
    }
  }
  return types;
}

void TlsRelay::Keep(const char* data, size_t size) {
  std::lock_guard lock(mutex_);
  received_.append(data, size);
}

void TlsRelay::Run() {
  while (!stop_) {
    pollfd wait{listener_, POLLIN, 0};
    if (::poll(&wait, 1, 50) <= 0) continue;
    int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    if (target_port_ == 0)
      Strip(client);
    else
      Relay(client);
    ::close(client);
  }
}

void TlsRelay::Strip(int client) {
  // Requests for TLS (code 80877103) or GSSAPI encryption (80877104) are refused, as by a
  // server without them; then comes the start-up message.
  char head[8];
  if (!ReadExactly(client, head, sizeof head)) return;
  Keep(head, sizeof head);
  while (BigEndian(head + 4) == 80877103 || BigEndian(head + 4) == 80877104) {
    if (::write(client, "N", 1) != 1 || !ReadExactly(client, head, sizeof head)) return;
    Keep(head, sizeof head);
  }
  const uint32_t length = BigEndian(head);
  if (length < 8 || length > 10000) return;
  std::vector<char> startup(length - 8);
  if (!ReadExactly(client, startup.data(), startup.size())) return;
  Keep(startup.data(), startup.size());
  // AuthenticationCleartextPassword; then whatever the client answers is kept.
  static constexpr char kAskPassword[] = {'R', 0, 0, 0, 8, 0, 0, 0, 3};
  if (::write(client, kAskPassword, sizeof kAskPassword) != sizeof kAskPassword) return;
  char buffer[4096];
  while (true) {
    pollfd wait{client, POLLIN, 0};
    if (::poll(&wait, 1, 2000) <= 0) return;
    ssize_t n = ::read(client, buffer, sizeof buffer);
    if (n <= 0) return;
    Keep(buffer, static_cast<size_t>(n));
  }
}

void TlsRelay::Relay(int client) {
  int server = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(target_port_));
  ::inet_pton(AF_INET, target_host_.c_str(), &addr.sin_addr);
  if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(server);
    return;
  }
  char buffer[65536];
  while (!stop_) {
    pollfd wait[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(wait, 2, 5000) <= 0) break;
    if (wait[0].revents) {
      ssize_t n = ::read(client, buffer, sizeof buffer);
      if (n <= 0) break;
      Keep(buffer, static_cast<size_t>(n));
      if (::write(server, buffer, static_cast<size_t>(n)) != n) break;
    }
    if (wait[1].revents) {
      ssize_t n = ::read(server, buffer, sizeof buffer);
      if (n <= 0) break;
      if (::write(client, buffer, static_cast<size_t>(n)) != n) break;
    }
  }
  ::close(server);
}

}  // namespace cortevane::test_support
