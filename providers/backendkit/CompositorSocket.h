#pragma once
// Where the session's Wayland compositor listens, a connection to it of our
// own, and a watch for its socket coming back after the compositor went away.
//
// The socket is opened here rather than by wl_display_connect(): that would
// take WAYLAND_SOCKET, a one-time descriptor meant for the toolkit, and it
// cannot name the path that failed.

#include <string>
#include <vector>

namespace duskwarden::provider {

// $WAYLAND_DISPLAY when it is absolute, else $XDG_RUNTIME_DIR/$WAYLAND_DISPLAY;
// empty with *why set when the environment names no socket.
std::string compositorSocketPath(std::string* why);

// A connected, close-on-exec socket, or -1 with *error set.
int connectToCompositor(const std::string& path, std::string* error);

// inotify on the socket's directory (and, when the path is a symbolic link,
// on its target's directory too): a compositor that starts again creates
// the socket, or someone points the link at a new one. Nothing is polled.
class SocketWatch {
 public:
  explicit SocketWatch(std::string path);
  ~SocketWatch();
  SocketWatch(const SocketWatch&) = delete;
  SocketWatch& operator=(const SocketWatch&) = delete;

  // (Re)reads the link and sets the watches; false, with *error set, when
  // no directory can be watched.
  bool arm(std::string* error);
  int fd() const { return fd_; }
  // Drains the pending events; true when one named the socket or its link.
  bool socketChanged();

 private:
  struct Watch {
    int wd;
    std::string name;
  };
  std::string path_;
  int fd_ = -1;
  std::vector<Watch> watches_;
};

}  // namespace duskwarden::provider
