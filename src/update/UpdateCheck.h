#pragma once
// What a user-initiated update check ends in, and who shows it.

#include "update/Appcast.h"

#include <functional>
#include <string>

namespace duskwarden {

struct UpdateCheckResult {
  enum class Kind {
    upToDate,         // nothing newer that this system can run
    updateAvailable,  // `item` is newer
    error,            // `errorMessage` says what went wrong
    notConfigured,    // this build has no feed URL
  };
  Kind kind = Kind::error;
  std::string applicationName;  // "Duskwarden"
  std::string currentVersion;   // "1.0.0 (1)"
  AppcastItem item;             // UpdateAvailable only
  std::string errorMessage;     // Error only
};

// Shows the progress and the outcome of one check. One check at a time: after
// showResult the presenter calls `dismissed` once, when the user closes the
// result, and a new check may start.
class UpdateUserDriver {
 public:
  virtual ~UpdateUserDriver() = default;
  // The check has started; `cancel` aborts it (after which showResult is not called).
  virtual void showChecking(std::function<void()> cancel) = 0;
  virtual void showResult(const UpdateCheckResult& result, std::function<void()> dismissed) = 0;
  // Raises whatever this check shows now (progress or result).
  virtual void bringToFront() = 0;
};

}  // namespace duskwarden
