#include "kde/KConfigFile.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace duskwarden::provider::kde {

namespace {

constexpr int kStaleSeconds = 30;     // QLockFile's default stale time

std::string hostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// QLockFile checks that the holder's pid still runs the program named here.
std::string programName() {
  g_autofree char* exe = g_file_read_link("/proc/self/exe", nullptr);
  if (!exe) return "duskwarden";
  g_autofree char* base = g_path_get_basename(exe);
  return base;
}

// A lock left by a process that is gone, or simply too old.
bool isStale(const std::string& lockPath) {
  struct stat st {};
  if (::stat(lockPath.c_str(), &st) != 0) return false;  // gone already: just try again
  if (::time(nullptr) - st.st_mtime > kStaleSeconds) return true;
  g_autofree char* contents = nullptr;
  if (!g_file_get_contents(lockPath.c_str(), &contents, nullptr, nullptr)) return false;
  g_auto(GStrv) lines = g_strsplit(contents, "\n", 4);
  if (!lines[0] || !lines[1] || !lines[2]) return false;  // still being written
  const long long pid = std::atoll(lines[0]);
  const bool sameHost = lines[2][0] == '\0' || hostName() == lines[2];
  return sameHost && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

bool readConfigFile(const std::string& path, std::string* text, std::string* error) {
  g_autofree char* contents = nullptr;
  gsize length = 0;
  GError* failure = nullptr;
  if (!g_file_get_contents(path.c_str(), &contents, &length, &failure)) {
    const bool absent = g_error_matches(failure, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    if (!absent && error) *error = std::string("read ") + path + ": " + failure->message;
    g_error_free(failure);
    if (absent) text->clear();
    return absent;
  }
  text->assign(contents, length);
  return true;
}

bool writeConfigFile(const std::string& path, const std::string& text, std::string* error) {
  // Dotfile managers link kwinrc elsewhere: replace the target, keep the link.
  std::string target = path;
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  int mode = 0600;
  if (struct stat st {}; ::stat(target.c_str(), &st) == 0) mode = static_cast<int>(st.st_mode & 07777);
  g_autofree char* dir = g_path_get_dirname(target.c_str());
  if (g_mkdir_with_parents(dir, 0700) != 0) {
    if (error) *error = std::string("mkdir ") + dir + ": " + std::strerror(errno);
    return false;
  }
  GError* failure = nullptr;
  if (!g_file_set_contents_full(target.c_str(), text.data(), static_cast<gssize>(text.size()),
                                G_FILE_SET_CONTENTS_CONSISTENT, mode, &failure)) {
    if (error) *error = std::string("write ") + target + ": " + failure->message;
    g_error_free(failure);
    return false;
  }
  return true;
}

ConfigLock::ConfigLock(const std::string& configPath, int waitMs) : path_(configPath + ".lock") {
  g_autofree char* dir = g_path_get_dirname(path_.c_str());
  g_mkdir_with_parents(dir, 0700);
  const std::string contents = std::to_string(::getpid()) + "\n" + programName() + "\n" + hostName() + "\n";
  int waited = 0;
  for (int pause = 10;; pause = std::min(pause * 2, 200)) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      const bool written = ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
      ::close(fd);
      if (written) {
        locked_ = true;
        return;
      }
      error_ = "write " + path_ + ": " + std::strerror(errno);
      ::unlink(path_.c_str());
      return;
    }
    if (errno != EEXIST) {
      error_ = "create " + path_ + ": " + std::strerror(errno);
      return;
    }
    if (isStale(path_)) {
      ::unlink(path_.c_str());
      continue;
    }
    if (waited >= waitMs) {
      error_ = path_ + " is held by another program";
      return;
    }
    // No event tells when another process lets go of a lock file.
    g_usleep(static_cast<gulong>(pause) * 1000);
    waited += pause;
  }
}

ConfigLock::~ConfigLock() {
  if (locked_) ::unlink(path_.c_str());
}

}  // namespace duskwarden::provider::kde
