#include "relay/tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
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

// Non-blocking, each write sent at once (no Nagle wait for the peer's acknowledgement, which a
// link's own routers never add), and each read stamped by the kernel with its arrival time.
void Prepare(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

// Reads what `fd` holds into `buffer`; *arrived becomes the time the kernel received it (of
// its last segment), so that a relay thread that wakes late does not add its lateness to the
// delay. Without the kernel's stamp, `now`.
ssize_t ReadStamped(int fd, char* buffer, size_t size, Clock::time_point now,
                    Clock::time_point* arrived) {
  iovec data{buffer, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &message, 0);
  *arrived = now;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); n > 0 && c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec stamp;
    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
    timespec real;
    ::clock_gettime(CLOCK_REALTIME, &real);
    const auto age = std::chrono::seconds(real.tv_sec - stamp.tv_sec) +
                     std::chrono::nanoseconds(real.tv_nsec - stamp.tv_nsec);
    // A stamp from the future, or older than a second, is not believed (the clock was set).
    if (age >= std::chrono::nanoseconds(0) && age < std::chrono::seconds(1))
      *arrived = Clock::now() - std::chrono::duration_cast<Clock::duration>(age);
  }
  return n;
}

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
  // The relay's wake-ups decide how much its delays overrun: on a loaded machine it asks to be
  // scheduled before the programs it relays for, and to be woken when its timers fall due
  // rather than up to the default 50 µs later. Both are only asked; the overrun is measured.
  ::prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -10);
  std::vector<std::unique_ptr<Link>> links;
  const auto delay = std::chrono::milliseconds(delay_ms_);
  while (!stop_) {
    const bool stalled = stalled_;
    const Clock::time_point now = Clock::now();
    // What to wait for: new connections, bytes from either side, and room on a side that has
    // bytes due; the wait ends no later than the next chunk falls due.
    std::vector<pollfd> wait{{listener_, POLLIN, 0}};
    std::vector<std::pair<Link*, int>> owner{{nullptr, -1}};
    Clock::duration timeout = std::chrono::milliseconds(50);
    for (auto& link : links) {
      for (int s = 0; s < 2; ++s) {
        short events = 0;
        if (!stalled && !link->read_done[s]) events |= POLLIN;
        const std::deque<Chunk>& toward = link->queue[s ^ 1];
        if (!stalled && !toward.empty()) {
          if (toward.front().due <= now)
            events |= POLLOUT;
          else
            timeout = std::min(timeout, toward.front().due - now);
        }
        // A side with nothing to do is left out: a hung-up socket would wake poll at once.
        wait.push_back({events != 0 ? link->fd[s] : -1, events, 0});
        owner.emplace_back(link.get(), s);
      }
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
    const timespec until{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    if (::ppoll(wait.data(), wait.size(), &until, nullptr) < 0) continue;

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
        Prepare(link->fd[0]);
        Prepare(link->fd[1]);
        links.push_back(std::move(link));
      }
    }
    const Clock::time_point arrived = Clock::now();
    for (size_t i = 1; i < wait.size(); ++i) {
      auto [link, s] = owner[i];
      if (stalled) break;
      if ((wait[i].revents & (POLLIN | POLLHUP | POLLERR)) && !link->read_done[s]) {
        char buffer[65536];
        Clock::time_point received;
        const ssize_t n = ReadStamped(link->fd[s], buffer, sizeof buffer, arrived, &received);
        if (n > 0) {
          if (s == 0 && link->heard) ++round_trips_;
          link->heard = s == 1;
          link->queue[s].push_back({received + delay, std::string(buffer, static_cast<size_t>(n))});
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
          const Clock::time_point leaving = Clock::now();
          const ssize_t w = ::write(link->fd[s], c.bytes.data() + c.sent, c.bytes.size() - c.sent);
          if (w < 0 && (errno == EAGAIN || errno == EINTR)) break;
          if (w <= 0) {  // the side is gone: nothing more reaches it
            link->write_done[s] = true;
            toward.clear();
            break;
          }
          if (c.sent == 0) {
            // How late the chunk leaves: what the relay adds beyond the delay it was given.
            const long long late =
                std::chrono::duration_cast<std::chrono::microseconds>(leaving - c.due).count();
            overrun_us_ += late;
            if (late > max_overrun_us_) max_overrun_us_ = late;
            ++deliveries_;
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
