#pragma once
// A file descriptor that is closed when it goes out of scope, on every path.

#include <unistd.h>

#include <utility>

namespace duskwarden {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  // Closes it now, for callers that must see close's result or have it closed
  // before the next step; 0 when there was nothing to close.
  int close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 ? 0 : ::close(fd);
  }

 private:
  int fd_;
};

}  // namespace duskwarden
