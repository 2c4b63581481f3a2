#pragma once

#include "platform/publish/Publish.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace duskwarden {

// One client of the listening socket, on its raw descriptor: a request line
// is a few dozen bytes and an answer a few hundred, which the socket buffer
// always takes at once, so nothing here needs a buffered socket class. A
// follower's lines, too, go to the socket buffer or not at all.
class InstanceConnection final : public QObject {
 public:
  InstanceConnection(int fd, QObject* parent) : QObject(parent), fd_(fd), notifier_(fd, QSocketNotifier::Read) {
    timer_.setSingleShot(true);
  }
  ~InstanceConnection() override { closeNow(); }

  QSocketNotifier& notifier() { return notifier_; }
  QTimer& timer() { return timer_; }

  struct Read {
    std::string bytes;
    bool ended = false;  // the peer sends no more (it may still read: nc -N shuts only its writing side)
  };

  // Everything readable now.
  Read readAvailable() {
    Read read;
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        read.bytes.append(buffer, static_cast<std::size_t>(n));
        if (read.bytes.size() > 2 * sizeof buffer) return read;  // the caller drops it
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      read.ended = !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));  // end of stream, or an error
      return read;
    }
  }

  // Sends `line` and a newline, then goes.
  void finish(std::string_view line) {
    (void)send(line);
    drop();
  }

  enum class Sent { whole, full, gone };
  // Sends `line` and a newline without waiting: all of it, or the buffer
  // was full (the peer may have part of it), or the peer is gone.
  Sent send(std::string_view line) {
    std::string out(line);
    out += '\n';
    ssize_t n;
    do n = ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(out.size())) return Sent::whole;
    return n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK ? Sent::full : Sent::gone;
  }

  // From now on pushed lines, which wait at most `bufferBytes` in the kernel;
  // reading only to see the peer go. `subscription` ends with the connection.
  void follow(int bufferBytes, AnyCancellable subscription) {
    (void)::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    subscription_ = std::move(subscription);
    notifier_.setEnabled(true);
  }

  // Closed at once: the peer sees the end now, not when the object goes.
  void drop() {
    subscription_.cancel();
    closeNow();
    timer_.stop();
    deleteLater();
  }

 private:
  void closeNow() {
    if (fd_ < 0) return;
    notifier_.setEnabled(false);
    ::close(fd_);
    fd_ = -1;
  }

  int fd_;
  QSocketNotifier notifier_;
  QTimer timer_;
  AnyCancellable subscription_;
};

}  // namespace duskwarden
