#include "backendkit/Log.h"

#include <cstdarg>
#include <cstdio>
#include <type_traits>
#include <utility>

namespace duskwarden::provider {

namespace {

struct Sink {
  std::mutex mutex;
  dw_nightlight_log_callback callback = nullptr;
  void* userData = nullptr;
};

// Constant-initialised and never destroyed, so threads may log during exit;
// nor allocated, so a backend module unloaded after its probe leaves nothing behind.
constinit Sink theSink;
static_assert(std::is_trivially_destructible_v<Sink>);

Sink& sink() { return theSink; }

}  // namespace

void logLine(int level, const char* message) {
  dw_nightlight_log_callback callback;
  void* userData;
  {
    std::lock_guard lock(sink().mutex);
    callback = sink().callback;
    userData = sink().userData;
  }
  if (callback != nullptr)
    callback(userData, level, message);
  else if (level <= DW_NIGHTLIGHT_LOG_ERROR)
    std::fprintf(stderr, "duskwarden-nightlight: %s\n", message);
}

namespace {

void deliver(int level, const char* format, va_list args) {
  char message[1024];
  std::vsnprintf(message, sizeof message, format, args);
  logLine(level, message);
}

}  // namespace

void setLogFunction(dw_nightlight_log_callback callback, void* userData) {
  std::lock_guard lock(sink().mutex);
  sink().callback = callback;
  sink().userData = userData;
}

void logError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  deliver(DW_NIGHTLIGHT_LOG_ERROR, format, args);
  va_end(args);
}

void logInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  deliver(DW_NIGHTLIGHT_LOG_INFO, format, args);
  va_end(args);
}

void LogOnce::error(const std::string& cause, const char* format, ...) {
  {
    std::lock_guard lock(mutex_);
    if (!logged_.insert(cause).second) return;
    any_ = true;
  }
  va_list args;
  va_start(args, format);
  deliver(DW_NIGHTLIGHT_LOG_ERROR, format, args);
  va_end(args);
}

void LogOnce::clear() {
  if (!any_) return;
  std::lock_guard lock(mutex_);
  logged_.clear();
  any_ = false;
}

}  // namespace duskwarden::provider
