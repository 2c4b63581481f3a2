#include "base/xdg/SessionBusAddress.h"

#include "base/xdg/XdgPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace duskwarden {

namespace {

bool isOptionallyEscaped(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' ||
         c == '/' || c == '.' || c == '*';
}

bool isOwnSocket(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid();
}

}  // namespace

std::optional<std::string> sessionBusAddress() {
  if (const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS"); given && *given) return given;
  if (const auto runtime = userRuntimeDirectory()) {
    const auto socket = *runtime / "bus";
    if (isOwnSocket(socket)) return "unix:path=" + dbusAddressValue(socket);
  }
  return std::nullopt;
}

std::string dbusAddressValue(const std::filesystem::path& path) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : path.string()) {
    if (isOptionallyEscaped(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    }
  }
  return out;
}

}  // namespace duskwarden
