#include "relay/tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace cortevane::relay {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes read from one side, due at the other side at `due`; an empty chunk with `end` set
// stands for the end of the stream.
struct Chunk {
  Clock::time_point due;
  std::string bytes;
  size_t sent = 0;
  bool end = false;
};

// One relayed connection: side 0 the client, side 1 the target. queue[s] holds what side s
// sent, on its way to the other side. Sockets are non-blocking, so a side that does not read
// never stops the relay from reading the other.
struct Link {
  int fd[2] = {-1, -1};
  std::deque<Chunk> queue[2];
  bool read_done[2] = {false, false};
  bool write_done[2] = {false, false};
  bool heard = true;  // the server spoke since the client last sent (or the client is new)

  ~Link() {
    for (int f : fd)
      if (f >= 0) ::close(f);
  }
  bool finished() const { return write_done[0] && write_done[1]; }
};

void NonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

int Listen(const std::string& address, int* port) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  socklen_t length = sizeof addr;
  if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1 ||
      ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ::close(listener);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return listener;
}

TcpProxy::TcpProxy(const std::string& host_port, int delay_ms) : delay_ms_(delay_ms) {
  target_host_ = host_port.substr(0, host_port.rfind(':'));
  target_port_ = std::stoi(host_port.substr(host_port.rfind(':') + 1));
  listener_ = Listen("127.0.0.1", &port_);
  if (listener_ < 0) return;
  thread_ = std::thread([this] { Run(); });
}

TcpProxy::~TcpProxy() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

void TcpProxy::Run() {
  std::vector<std::unique_ptr<Link>> links;
  const auto delay = std::chrono::milliseconds(delay_ms_);
  while (!stop_) {
    const bool stalled = stalled_;
    const Clock::time_point now = Clock::now();
    // What to wait for: new connections, bytes from either side, and room on a side that has
    // bytes due; the wait ends no later than the next chunk falls due.
    std::vector<pollfd> wait{{listener_, POLLIN, 0}};
    std::vector<std::pair<Link*, int>> owner{{nullptr, -1}};
    auto timeout = std::chrono::milliseconds(50);
    for (auto& link : links) {
      for (int s = 0; s < 2; ++s) {
        short events = 0;
        if (!stalled && !link->read_done[s]) events |= POLLIN;
        const std::deque<Chunk>& toward = link->queue[s ^ 1];
        if (!stalled && !toward.empty()) {
          if (toward.front().due <= now)
            events |= POLLOUT;
          else
            timeout = std::min(
                timeout, std::chrono::ceil<std::chrono::milliseconds>(toward.front().due - now));
        }
        wait.push_back({link->fd[s], events, 0});
        owner.emplace_back(link.get(), s);
      }
    }
    if (::poll(wait.data(), wait.size(), static_cast<int>(timeout.count())) < 0) continue;

    if (wait[0].revents & POLLIN) {
      auto link = std::make_unique<Link>();
      link->fd[0] = ::accept(listener_, nullptr, nullptr);
      link->fd[1] = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_port = htons(static_cast<uint16_t>(target_port_));
      ::inet_pton(AF_INET, target_host_.c_str(), &addr.sin_addr);
      if (link->fd[0] >= 0 &&
          ::connect(link->fd[1], reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        NonBlocking(link->fd[0]);
        NonBlocking(link->fd[1]);
        links.push_back(std::move(link));
      }
    }
    const Clock::time_point arrived = Clock::now();
    for (size_t i = 1; i < wait.size(); ++i) {
      auto [link, s] = owner[i];
      if (stalled) break;
      if ((wait[i].revents & (POLLIN | POLLHUP | POLLERR)) && !link->read_done[s]) {
        char buffer[65536];
        const ssize_t n = ::read(link->fd[s], buffer, sizeof buffer);
        if (n > 0) {
          if (s == 0 && link->heard) ++round_trips_;
          link->heard = s == 1;
          link->queue[s].push_back({arrived + delay, std::string(buffer, static_cast<size_t>(n))});
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          link->read_done[s] = true;
          link->queue[s].push_back({arrived + delay, {}, 0, true});
        }
      }
      if (wait[i].revents & (POLLOUT | POLLERR)) {
        std::deque<Chunk>& toward = link->queue[s ^ 1];
        while (!toward.empty() && toward.front().due <= arrived) {
          Chunk& c = toward.front();
          if (c.end) {
            ::shutdown(link->fd[s], SHUT_WR);
            link->write_done[s] = true;
            toward.pop_front();
            continue;
          }
          const ssize_t w = ::write(link->fd[s], c.bytes.data() + c.sent, c.bytes.size() - c.sent);
          if (w < 0 && (errno == EAGAIN || errno == EINTR)) break;
          if (w <= 0) {  // the side is gone: nothing more reaches it
            link->write_done[s] = true;
            toward.clear();
            break;
          }
          c.sent += static_cast<size_t>(w);
          if (c.sent < c.bytes.size()) break;
          toward.pop_front();
        }
      }
    }
    std::erase_if(links, [](const auto& link) { return link->finished(); });
  }
}

}  // namespace cortevane::relay
