#include "control/InstanceClient.h"

#include "control/InstanceProtocol.h"
#include "base/fd/UniqueFd.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace duskwarden {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until the deadline (none: for as long as it
// takes); false on timeout or error.
bool waitFor(int fd, short events, std::optional<Clock::time_point> deadline) {
  while (true) {
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, deadline ? millisecondsLeft(*deadline) : -1);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace

bool peerIsSameUser(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && size == sizeof credentials &&
         credentials.uid == ::geteuid();
}

InstanceAnswer askOnce(const std::string& path, std::string_view request, int timeoutMs, const MoreLines& more) {
  using Outcome = InstanceAnswer::Outcome;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return {Outcome::notListening, {}};
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket.get() < 0) return {Outcome::notListening, {}};
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    // A full backlog (a busy copy) says EAGAIN on a non-blocking local socket.
    if (errno == EAGAIN) return {Outcome::noAnswer, {}};
    return {Outcome::notListening, {}};
  }
  if (!peerIsSameUser(socket.get())) return {Outcome::foreignPeer, {}};

  const std::string line = std::string(request) + "\n";
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::send(socket.get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN && waitFor(socket.get(), POLLOUT, deadline)) {
      continue;
    } else {
      return {Outcome::noAnswer, {}};
    }
  }

  instanceprotocol::LineReader reader;
  std::optional<std::string> last;
  // The first line within the deadline; a follower's later ones whenever they come.
  while (waitFor(socket.get(), POLLIN, last ? std::nullopt : std::optional(deadline))) {
    char buffer[512];
    const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    if (!reader.append(std::string_view(buffer, static_cast<std::size_t>(n)))) break;  // not one of ours
    while (auto answer = reader.takeLine()) {
      last = std::move(*answer);
      if (!more || !more(*last)) return {Outcome::answered, std::move(*last)};
    }
  }
  if (last) return {Outcome::answered, std::move(*last)};
  return {Outcome::noAnswer, {}};
}

InstanceAnswer ask(const std::string& path, std::string_view request, int timeoutMs,
                   const std::function<bool()>& worthWaiting, const MoreLines& more) {
  using Outcome = InstanceAnswer::Outcome;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    InstanceAnswer answer = askOnce(path, request, std::max(1, millisecondsLeft(deadline)), more);
    const bool retry = answer.outcome == Outcome::notListening || answer.outcome == Outcome::noAnswer;
    if (!retry || millisecondsLeft(deadline) == 0 || !worthWaiting()) return answer;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, millisecondsLeft(deadline))));
  }
}

}  // namespace duskwarden
