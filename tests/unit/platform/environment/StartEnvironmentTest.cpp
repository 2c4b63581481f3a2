// The session bus chosen at start. (Relative XDG paths and the no-bus case
// are covered with the real binary in e2e_lifecycle.)
#include "platform/environment/StartEnvironment.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace duskwarden {
namespace {
using testing::ScopedEnv;

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "<unset>";
}

TEST(StartEnvironment, SessionBusIsTheGivenOneTheRuntimeSocketOrNone) {
  const auto dir = testing::makeTempDir("run dir,=");
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.string());
  {
    ScopedEnv given("DBUS_SESSION_BUS_ADDRESS", "unix:path=/somewhere");
    EXPECT_EQ(settleSessionBusAddress(), SessionBusChoice::given);
    EXPECT_EQ(env("DBUS_SESSION_BUS_ADDRESS"), "unix:path=/somewhere");
  }
  ScopedEnv unset("DBUS_SESSION_BUS_ADDRESS", nullptr);
  EXPECT_EQ(settleSessionBusAddress(), SessionBusChoice::none);
  EXPECT_EQ(env("DBUS_SESSION_BUS_ADDRESS"), "disabled:");

  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, (dir / "bus").c_str(), sizeof a.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_EQ(settleSessionBusAddress(), SessionBusChoice::runtimeSocket);
  // Bytes outside the address syntax's plain set are %-escaped.
  std::string escaped = dir.string();
  escaped.replace(escaped.find("run dir,="), 9, "run%20dir%2c%3d");
  EXPECT_EQ(env("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + escaped + "/bus");
  ::close(fd);
}

}  // namespace
}  // namespace duskwarden
