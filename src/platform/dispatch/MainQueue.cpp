#include "platform/dispatch/DispatchQueue.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace duskwarden {

namespace {
std::mutex gMainMutex;
std::shared_ptr<DispatchQueue> gMainQueue;
std::optional<std::thread::id> gMainThread;
}  // namespace

void installMainQueue(std::shared_ptr<DispatchQueue> queue) {
  std::lock_guard lock(gMainMutex);
  gMainThread = queue ? std::optional(std::this_thread::get_id()) : std::nullopt;
  gMainQueue = std::move(queue);
}

std::optional<std::thread::id> mainQueueThread() {
  std::lock_guard lock(gMainMutex);
  return gMainThread;
}

DispatchQueue& mainQueue() {
  std::lock_guard lock(gMainMutex);
  if (!gMainQueue) {
    std::fprintf(stderr, "duskwarden: main queue used before one was installed\n");
    std::abort();
  }
  return *gMainQueue;
}

}  // namespace duskwarden
