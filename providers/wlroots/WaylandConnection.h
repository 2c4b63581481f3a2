#pragma once
// A libwayland-client connection driven by an event loop of our own: the
// loop sleeps in poll() on fd() together with its other descriptors, and
// this class does the read / dispatch / flush around it, so that the
// connection never blocks the thread by itself. A compositor that stops
// answering cannot hang a caller either: every round trip is bounded.

#include <memory>
#include <string>

struct wl_display;

namespace duskwarden::provider::wlroots {

class WaylandConnection {
 public:
  // Takes `fd`, a socket connected to the compositor, in every case;
  // nullptr with *error set when libwayland refuses it. `where` names the
  // socket in messages.
  static std::unique_ptr<WaylandConnection> open(int fd, const std::string& where, std::string* error);
  ~WaylandConnection();  // disconnects; the compositor drops everything we made
  WaylandConnection(const WaylandConnection&) = delete;
  WaylandConnection& operator=(const WaylandConnection&) = delete;

  wl_display* display() const { return display_; }
  const std::string& where() const { return where_; }

  // wl_display_roundtrip, bounded to 2 s; false with *error set when no
  // answer came or the connection broke.
  bool roundtrip(std::string* error);

  // The event loop's half. beforePoll: the events to wait for on fd(), or
  // again when queued events were dispatched instead (look at the state
  // again before sleeping). afterPoll: with what poll() saw on fd() (0 for
  // nothing). lost / false once the connection is gone; lostReason() says why.
  enum class Ready { needsPoll, again, lost };
  Ready beforePoll(short* events);
  bool afterPoll(short revents);
  int fd() const;
  const std::string& lostReason() const { return lost_; }
  // The compositor ended the connection over a request of ours.
  bool protocolError() const;

 private:
  WaylandConnection(wl_display* display, std::string where);
  bool fail(const char* during);
  std::string error() const;

  wl_display* display_;
  std::string where_;
  std::string lost_;
};

}  // namespace duskwarden::provider::wlroots
