#pragma once
// The lock that makes one copy the running one.
//
// The lock file carries an open-file-description lock (fcntl F_OFD_SETLK) for
// as long as the copy runs. The kernel drops it when the process ends,
// however it ends, so what the file says never decides whether a copy runs:
// a file left empty or half-written by a crash or a full disk, one holding
// anything else, or one naming a process that has ended or that is some other
// program, is simply taken over (and said so once in the log). Unlike flock(2),
// such a lock can be looked at without taking it, which is what a client
// does. The holder also takes a flock, the lock QLockFile holds, so a copy of
// an earlier version, which used QLockFile, still counts as running for a
// starting copy. The file names its holder in QLockFile's layout
// ("pid\nprogram\nhost\n"), for people and for such a copy.

#include <memory>
#include <string>

namespace duskwarden {

class InstanceLock {
 public:
  enum class Result { taken, heldElsewhere, failed };

  // Takes the lock at `path`; on `failed`, `error` says why.
  static Result take(const std::string& path, std::unique_ptr<InstanceLock>* lock, std::string* error);
  // Whether a live process holds the lock at `path`. Looks without taking
  // it, so it never gets in the way of a copy that is starting.
  static bool isHeld(const std::string& path);

  // Removes the file and lets go.
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  InstanceLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
};

}  // namespace duskwarden
