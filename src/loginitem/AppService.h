#pragma once
// Registration of the application itself to start at login.
//
// Statuses: 0 not registered, 1 enabled, 2 requires approval (an entry under
// our name that only the user may change: switched off in the desktop's
// startup settings, one of their own that starts something else, or one that
// cannot be read), 3 not found (the running executable cannot be resolved).
// register/unregister return an error with a localised description, or
// nothing on success.

#include <optional>
#include <string>

namespace duskwarden {

enum class AppServiceStatus : int { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

struct AppServiceError {
  std::string localizedDescription;
};

class AppService {
 public:
  virtual ~AppService() = default;
  virtual AppServiceStatus status() = 0;
  virtual std::optional<AppServiceError> registerService() = 0;
  virtual std::optional<AppServiceError> unregisterService() = 0;
};

}  // namespace duskwarden
