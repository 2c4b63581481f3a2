#pragma once
// The looks' own X connection (plain xcb): GetCrtcGamma requests whose
// replies are read when the event thread's poll() finds them, so that a
// look costs that thread one wakeup.
//
// With the SYNC extension a look is sent ahead of time: an Await on the
// server's SERVERTIME counter holds the requests in the server until the
// look is due, so the reply itself is the look's timer. The Await also ends
// when the release counter (made by the caller on another connection, where
// requests are not held) reaches the value given, which is how a look sent
// ahead is called off. Without SYNC the caller sends each look when due.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "x11/X11Gamma.h"

struct xcb_connection_t;

namespace duskwarden::provider::x11 {

struct LookHold {
  unsigned long serverTime;  // SERVERTIME's counter
  unsigned long release;     // the release counter
  long releaseAt;            // the value of it that calls this look off
  std::chrono::milliseconds delay;
};

class GammaReader {
 public:
  // Connects to `display`; nullptr with `*error` naming the request that failed.
  static std::unique_ptr<GammaReader> open(const std::string& display, std::string* error);
  ~GammaReader();
  GammaReader(const GammaReader&) = delete;
  GammaReader& operator=(const GammaReader&) = delete;

  int fd() const;
  bool lost() const;
  // The server has SYNC: a look can be held there until due.
  bool canHold() const { return canHold_; }
  // Sends one look at `crtcs`, held in the server until `hold` says so when
  // given. Replaces the look sent before (whose replies are then dropped).
  void send(const std::vector<GammaCrtc>& crtcs, const std::optional<LookHold>& hold);
  bool pending() const { return next_ < sequences_.size(); }
  // The look sent last waits in the server for a time yet to come: until its
  // replies wake poll(), there is nothing to collect.
  bool heldAhead() const { return heldAhead_; }

  struct Look {
    std::optional<RampState> state;  // nullopt: the read failed
    std::string error;               // then, the request that failed and how
  };
  // Reads what has arrived, without blocking: the look sent last once all
  // its replies are in, else nothing.
  std::optional<Look> collect();

 private:
  explicit GammaReader(xcb_connection_t* connection) : c_(connection) {}

  xcb_connection_t* c_;
  std::vector<GammaCrtc> crtcs_;
  std::vector<unsigned> sequences_;  // GetCrtcGamma of each CRTC, in order
  std::size_t next_ = 0;             // the first reply not read yet
  bool heldAhead_ = false;
  bool canHold_ = false;
  std::vector<std::optional<double>> seen_;
  // The ramps each CRTC showed last, and what they meant.
  struct Known {
    std::vector<std::uint8_t> ramps;
    std::optional<double> kelvin;
  };
  std::vector<Known> known_;
  std::optional<double> kelvinOf(std::size_t index, const std::uint8_t* ramps, std::size_t size);
  std::string failure_;
};

}  // namespace duskwarden::provider::x11
