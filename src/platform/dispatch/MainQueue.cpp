#include "platform/dispatch/DispatchQueue.h"

#include <mutex>

namespace duskwarden {

namespace {
std::mutex gMainMutex;
std::optional<std::thread::id> gMainThread;
}  // namespace

void installMainQueue(std::shared_ptr<DispatchQueue> queue) {
  std::lock_guard lock(gMainMutex);
  gMainThread = queue ? std::optional(std::this_thread::get_id()) : std::nullopt;
}

std::optional<std::thread::id> mainQueueThread() {
  std::lock_guard lock(gMainMutex);
  return gMainThread;
}

}  // namespace duskwarden
