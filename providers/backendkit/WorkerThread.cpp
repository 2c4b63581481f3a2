#include "backendkit/WorkerThread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace duskwarden::provider {

void endThread(std::thread& thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id())
    thread.detach();
  else
    thread.join();
}

WakeFd::~WakeFd() {
  if (fd_ >= 0) ::close(fd_);
}

bool WakeFd::open(std::string* error) {
  fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd_ >= 0) return true;
  if (error) *error = std::string("eventfd: ") + std::strerror(errno);
  return false;
}

void WakeFd::wake() const {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeFd::drain() const {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

}  // namespace duskwarden::provider
