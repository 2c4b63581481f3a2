#include "platform/dispatch/DispatchQueue.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace duskwarden {

namespace {
std::mutex gMainMutex;
std::shared_ptr<DispatchQueue> gMainQueue;
}  // namespace

void installMainQueue(std::shared_ptr<DispatchQueue> queue) {
  std::lock_guard lock(gMainMutex);
  gMainQueue = std::move(queue);
}

std::shared_ptr<DispatchQueue> mainQueueHandle() {
  std::lock_guard lock(gMainMutex);
  return gMainQueue;
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
