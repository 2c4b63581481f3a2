#include "wlroots/WaylandConnection.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace duskwarden::provider::wlroots {

namespace {
// A compositor that takes longer than this to answer a sync is hung, and
// must not hang the caller (detection runs on the program's client queue).
constexpr auto kAnswerTime = std::chrono::seconds(2);
}  // namespace

WaylandConnection::WaylandConnection(wl_display* display, std::string where)
    : display_(display), where_(std::move(where)) {}

std::unique_ptr<WaylandConnection> WaylandConnection::open(int fd, const std::string& where, std::string* error) {
  wl_display* display = wl_display_connect_to_fd(fd);  // owns fd from here, also on failure
  if (display == nullptr) {
    *error = "wl_display_connect_to_fd " + where + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<WaylandConnection>(new WaylandConnection(display, where));
}

WaylandConnection::~WaylandConnection() {
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

bool WaylandConnection::roundtrip(std::string* error) {
  bool done = false;
  static const wl_callback_listener listener = {
      [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &listener, &done);
  const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
  bool broken = false;
  while (!done && !broken) {
    short events = 0;
    const Ready ready = beforePoll(&events);
    if (ready == Ready::again) continue;
    if (ready == Ready::lost) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd(), events, 0};
    const int seen = left.count() > 0 ? ::poll(&pfd, 1, static_cast<int>(left.count())) : 0;
    broken = !afterPoll(seen > 0 ? pfd.revents : 0);
    if (seen == 0) break;  // the deadline passed
  }
  wl_callback_destroy(callback);
  if (!done) *error = "wl_display.sync on " + where_ + ": " + (lost_.empty() ? "no answer within 2 s" : lost_);
  return done;
}

WaylandConnection::Ready WaylandConnection::beforePoll(short* events) {
  if (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) >= 0) return Ready::again;
    fail("dispatch");
    return Ready::lost;
  }
  *events = POLLIN;
  if (wl_display_flush(display_) < 0) {
    if (errno != EAGAIN) {
      wl_display_cancel_read(display_);
      fail("flush");
      return Ready::lost;
    }
    *events |= POLLOUT;  // the socket is full: wait until the compositor reads
  }
  return Ready::needsPoll;
}

bool WaylandConnection::afterPoll(short revents) {
  if (revents & (POLLIN | POLLERR | POLLHUP)) {
    if (wl_display_read_events(display_) < 0) return fail("read");
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) return fail("dispatch");
  if ((revents & POLLOUT) && wl_display_flush(display_) < 0 && errno != EAGAIN) return fail("flush");
  return true;
}

int WaylandConnection::fd() const { return wl_display_get_fd(display_); }

bool WaylandConnection::protocolError() const { return wl_display_get_error(display_) == EPROTO; }

bool WaylandConnection::fail(const char* during) {
  lost_ = std::string(during) + ": " + error();
  return false;
}

std::string WaylandConnection::error() const {
  const int code = wl_display_get_error(display_);
  if (code == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t protocolCode = wl_display_get_protocol_error(display_, &interface, &id);
    return "protocol error " + std::to_string(protocolCode) + " on " + (interface ? interface->name : "?") + "@" +
           std::to_string(id);
  }
  return std::strerror(code != 0 ? code : errno);
}

}  // namespace duskwarden::provider::wlroots
