#pragma once
// The provider library's log lines as a host receives them: install
// ProviderLogCapture::log with the table's set_log (or setLogFunction when a
// test links a backend itself), with the capture as user data.

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "duskwarden/nightlight.h"

namespace duskwarden::testing {

class ProviderLogCapture {
 public:
  static void log(void* self, int level, const char* message) {
    auto* capture = static_cast<ProviderLogCapture*>(self);
    std::lock_guard lock(capture->mutex_);
    capture->lines_.emplace_back(level, message);
  }

  // The lines so far (only the errors, if asked), and forgets them.
  std::vector<std::string> take(bool errorsOnly = false) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& [level, message] : std::exchange(lines_, {}))
      if (!errorsOnly || level == DW_NIGHTLIGHT_LOG_ERROR) out.push_back(message);
    return out;
  }

  // How many lines so far contain `part`.
  std::size_t count(const std::string& part) {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const auto& line) {
      return line.second.find(part) != std::string::npos;
    }));
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<int, std::string>> lines_;
};

}  // namespace duskwarden::testing
