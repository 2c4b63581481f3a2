// A colour schema without one of the keys we use (an older or patched
// settings daemon): GLib aborts the process on the first use of a missing
// key, so detection must find it first. A process of its own, because GLib
// reads GSETTINGS_SCHEMA_DIR once.
#include <gtest/gtest.h>

#include <gio/gio.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "GnomeSession.h"
#include "TestEnvironment.h"
#include "backendkit/Log.h"
#include "gnome/SettingsDaemonBackend.h"
#include "providers/ProviderLogCapture.h"

namespace duskwarden::provider::gnome {
namespace {

using duskwarden::testing::GnomeSession;
using duskwarden::testing::ScopedEnv;

TEST(GnomeSchema, ASchemaWithoutOneOfOurKeysIsNotSupportedAndNothingAborts) {
  const auto dir = duskwarden::testing::makeTempDir("schemas");
  std::ifstream in(std::string("/usr/share/glib-2.0/schemas/") + kGnomeDesktop.schema + ".gschema.xml");
  std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string patched =
      std::regex_replace(xml, std::regex(R"(<key name="night-light-schedule-automatic"[\s\S]*?</key>)"), "");
  ASSERT_NE(patched, xml) << "the installed schema has no such key to remove";
  std::ofstream(dir / (std::string(kGnomeDesktop.schema) + ".gschema.xml")) << patched;
  ASSERT_EQ(std::system(("glib-compile-schemas " + dir.string()).c_str()), 0);
  ScopedEnv schemas("GSETTINGS_SCHEMA_DIR", dir.string());

  // Everything else in place: a session bus on which the colour service's name is owned.
  GnomeSession session;
  ASSERT_TRUE(session.ok());
  GDBusConnection* owner = g_dbus_connection_new_for_address_sync(
      g_getenv("DBUS_SESSION_BUS_ADDRESS"),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  GVariant* reply = g_dbus_connection_call_sync(owner, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", kGnomeDesktop.busName, 0u),
                                                G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  ASSERT_NE(reply, nullptr);
  g_variant_unref(reply);

  duskwarden::testing::ProviderLogCapture captured;
  setLogFunction(&duskwarden::testing::ProviderLogCapture::log, &captured);
  EXPECT_FALSE(SettingsDaemonBackend::isUsable(kGnomeDesktop));
  EXPECT_EQ(SettingsDaemonBackend::create(kGnomeDesktop), nullptr);
  setLogFunction(nullptr, nullptr);
  const std::string why = std::string("GNOME: the schema ") + kGnomeDesktop.schema + " has no key night-light-schedule-automatic";
  // Detection, then the refused create.
  EXPECT_EQ(captured.take(), (std::vector<std::string>{why, why}));

  g_dbus_connection_close_sync(owner, nullptr, nullptr);
  g_object_unref(owner);
}

}  // namespace
}  // namespace duskwarden::provider::gnome
