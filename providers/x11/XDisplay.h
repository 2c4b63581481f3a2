#pragma once
// An Xlib connection whose failures never end the process.
//
// Xlib's default handlers call exit() on a lost connection and on any
// protocol error; a library loaded into someone else's process must not. The
// handlers installed here record the failure on our own connections and pass
// everything else on to whatever handler the process had before.

#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace duskwarden::provider::x11 {

class XDisplay {
 public:
  // Connects to $DISPLAY; nullptr when there is none or it refuses us.
  static std::unique_ptr<XDisplay> open();
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  Display* get() const { return display_; }
  // The display's name, for messages (":0").
  std::string name() const;
  // The connection broke; every later request on it fails at once.
  bool lost() const { return lost_.load(); }
  // Waits for the server to process everything sent so far; false when the
  // connection is lost or any request since the last sync() failed, and then
  // `*error` says how ("BadValue (integer parameter out of range for
  // operation)", "connection lost").
  bool sync(std::string* error = nullptr);

 private:
  explicit XDisplay(Display* display) : display_(display) {}
  friend struct Handlers;

  Display* display_;
  std::atomic<bool> lost_{false};
  std::atomic<bool> failed_{false};
  std::mutex errorMutex_;
  std::string firstError_;  // since the last sync()
};

}  // namespace duskwarden::provider::x11
