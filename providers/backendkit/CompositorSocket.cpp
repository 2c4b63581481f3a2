#include "backendkit/CompositorSocket.h"

#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/xdg/XdgPaths.h"

namespace duskwarden::provider {

namespace {

constexpr std::uint32_t kSocketEvents = IN_CREATE | IN_MOVED_TO | IN_ATTRIB;

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The link's target made absolute, or empty when `path` is no symbolic link.
std::string linkTarget(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string target(buffer, static_cast<std::size_t>(n));
  if (target[0] != '/') target = directoryOf(path) + "/" + target;
  return std::filesystem::path(target).lexically_normal().string();
}

}  // namespace

std::string compositorSocketPath(std::string* why) {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (display == nullptr || *display == '\0') {
    *why = "WAYLAND_DISPLAY is unset; this is no Wayland session";
    return {};
  }
  if (display[0] == '/') return display;
  const auto runtime = userRuntimeDirectory();
  if (!runtime) {
    *why = std::string("XDG_RUNTIME_DIR is unset or relative, so WAYLAND_DISPLAY=") + display + " leads nowhere";
    return {};
  }
  return runtime->string() + "/" + display;
}

int connectToCompositor(const std::string& path, std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "connect to " + path + ": the path is too long for a socket";
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = "connect to " + path + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

SocketWatch::SocketWatch(std::string path) : path_(std::move(path)) {}

SocketWatch::~SocketWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool SocketWatch::arm(std::string* error) {
  if (fd_ >= 0) ::close(fd_);
  watches_.clear();
  fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (fd_ < 0) {
    *error = std::string("inotify_init1: ") + std::strerror(errno);
    return false;
  }
  std::vector<std::string> paths{path_};
  if (const auto target = linkTarget(path_); !target.empty()) paths.push_back(target);
  for (const auto& path : paths) {
    const std::string dir = directoryOf(path);
    const int wd = ::inotify_add_watch(fd_, dir.c_str(), kSocketEvents);
    if (wd >= 0)
      watches_.push_back({wd, nameOf(path)});
    else
      *error = "inotify_add_watch " + dir + ": " + std::strerror(errno);
  }
  return !watches_.empty();
}

bool SocketWatch::socketChanged() {
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;  // EAGAIN: drained
    for (const char* p = buffer; p < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(p);
      for (const auto& watch : watches_)
        if (event->wd == watch.wd && event->len > 0 && watch.name == event->name) changed = true;
      p += sizeof(inotify_event) + event->len;
    }
  }
  return changed;
}

}  // namespace duskwarden::provider
