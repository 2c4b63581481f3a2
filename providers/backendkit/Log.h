#pragma once
// The provider library's messages. Each failed request is named with what
// failed and why, the way redshift names them ("`RANDR Set CRTC Gamma'
// returned error %d"): "RANDR SetCrtcGamma on CRTC 63: BadValue",
// "GSettings write night-light-enabled: key not writable". Why a backend was
// or was not chosen goes out as information.
//
// Messages go to the function the host installed with the table's set_log.
// While none is installed (a host that knows only version 1 of the table, a
// test that links a backend on its own), errors go to standard error, so a
// failure is never silent, and information is dropped.

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "duskwarden/nightlight.h"

namespace duskwarden::provider {

// Thread-safe; a message being delivered while this runs goes to either function.
void setLogFunction(dw_nightlight_log_callback callback, void* userData);

// A finished line, as set_log's function receives it: how the entry library
// passes on the lines of a backend module (its own copy of this file).
void logLine(int level, const char* message);

void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));

// For a failure that repeats (a request retried on every read, a refusal seen
// on every reconnect): error() logs the first time a cause is seen and stays
// quiet for the same cause until clear(), which the caller runs once the
// request works again, so that the next failure is reported afresh.
class LogOnce {
 public:
  void error(const std::string& cause, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void clear();

 private:
  std::mutex mutex_;
  std::set<std::string> logged_;
  std::atomic<bool> any_{false};  // lets clear() skip the lock on every good look
};

}  // namespace duskwarden::provider
