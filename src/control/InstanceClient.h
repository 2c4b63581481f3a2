#pragma once
// The client half of the running copy's socket: one request line, one answer
// line, within a deadline. Plain POSIX, no event loop, so the command-line
// commands work without Qt's application object or a display.
//
// Only a process of the same user is talked to: besides the 0700 runtime
// directory, the peer's credentials (SO_PEERCRED) must name our uid, on both
// ends of the socket.

#include <functional>
#include <string>
#include <string_view>

namespace duskwarden {

// Whether the process at the other end of the connected socket `fd` runs
// as this process's user.
bool peerIsSameUser(int fd);

struct InstanceAnswer {
  enum class Outcome {
    answered,      // `line` holds the answer, without its '\n'
    notListening,  // no socket, or nobody accepts on it
    noAnswer,      // connected, but closed (or timed out) before a whole line
    foreignPeer,   // the socket belongs to another user's process
  };
  Outcome outcome = Outcome::notListening;
  std::string line;
};

// Takes each answer line, the first too; true waits for the next, with no
// timeout (a follower's), until the running copy closes the connection.
using MoreLines = std::function<bool(std::string_view line)>;

// One exchange on the socket at `path`, the request given without '\n'.
// With `more`, the connection stays open as long as it asks; `line` is the last line read.
InstanceAnswer askOnce(const std::string& path, std::string_view request, int timeoutMs, const MoreLines& more = {});

// Asks until an answer comes or `timeoutMs` has passed, trying again (every
// 50 ms) when nobody listens or the copy closed without answering, as long
// as `worthWaiting` says a copy is on its way (it holds the lock, or we
// just started one). Every request is safe to repeat.
InstanceAnswer ask(const std::string& path, std::string_view request, int timeoutMs,
                   const std::function<bool()>& worthWaiting, const MoreLines& more = {});

}  // namespace duskwarden
