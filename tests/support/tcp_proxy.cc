#include "support/tcp_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace cortevane::test_support {

TcpProxy::TcpProxy(const std::string& host_port) {
  target_host_ = host_port.substr(0, host_port.rfind(':'));
  target_port_ = std::stoi(host_port.substr(host_port.rfind(':') + 1));
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
    return;
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Run(); });
}

TcpProxy::~TcpProxy() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
}

void TcpProxy::Run() {
  // Pairs of sockets: fds[2k] the client's, fds[2k+1] the target's.
  std::vector<int> fds;
  while (!stop_) {
    std::vector<pollfd> wait{{listener_, POLLIN, 0}};
    if (!stalled_)
      for (int fd : fds) wait.push_back({fd, POLLIN, 0});
    if (::poll(wait.data(), wait.size(), 50) <= 0) continue;
    if (wait[0].revents & POLLIN) {
      int client = ::accept(listener_, nullptr, nullptr);
      int target = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_port = htons(static_cast<uint16_t>(target_port_));
      ::inet_pton(AF_INET, target_host_.c_str(), &addr.sin_addr);
      if (::connect(target, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        fds.push_back(client);
        fds.push_back(target);
      } else {
        ::close(client);
        ::close(target);
      }
    }
    for (size_t i = 1; i < wait.size(); ++i) {
      if (!(wait[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const size_t k = i - 1;
      char buffer[65536];
      ssize_t n = ::read(fds[k], buffer, sizeof buffer);
      if (n > 0) {
        for (ssize_t sent = 0; sent < n;) {
          ssize_t w = ::write(fds[k ^ 1], buffer + sent, static_cast<size_t>(n - sent));
          if (w <= 0) break;
          sent += w;
        }
      } else {
        ::shutdown(fds[k ^ 1], SHUT_WR);
      }
    }
  }
  for (int fd : fds) ::close(fd);
}

}  // namespace cortevane::test_support
