// Detection through the real provider module: on the Xwayland of a real
// (headless) sway the X11 backend is refused, forced or not, with one log
// line saying why; on Xvfb it is chosen.
#include <gtest/gtest.h>
// Xlib after gtest: its None macro breaks gtest's headers.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <dlfcn.h>

#include <string>

#include "HeadlessSway.h"
#include "TestEnvironment.h"
#include "XvfbServer.h"
#include "duskwarden/nightlight.h"
#include "providers/ProviderLogCapture.h"

namespace duskwarden::testing {
namespace {

const dw_nightlight_ops* providerOps() {
  void* handle = ::dlopen(DW_PROVIDER_MODULE_PATH, RTLD_LAZY);
  if (handle == nullptr) return nullptr;
  auto get = reinterpret_cast<dw_nightlight_get_ops_fn>(::dlsym(handle, DW_NIGHTLIGHT_ENTRY_POINT));
  return get ? get() : nullptr;
}

// The gamma that fooled detection before: Xwayland offers it, and takes ramps.
int gammaSize(const std::string& name) {
  Display* d = XOpenDisplay(name.c_str());
  if (d == nullptr) return -1;
  XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
  const int size = res && res->ncrtc > 0 ? XRRGetCrtcGammaSize(d, res->crtcs[0]) : 0;
  if (res) XRRFreeScreenResources(res);
  XCloseDisplay(d);
  return size;
}

TEST(Xwayland, TheX11BackendIsRefusedOnXwaylandEvenWhenForcedAndUsedOnXvfb) {
  HeadlessSway sway;
  ASSERT_TRUE(sway.running()) << sway.log();
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.running());
  ASSERT_GT(gammaSize(sway.xDisplay()), 0) << "Xwayland offers RandR gamma, which is what misled detection";

  const dw_nightlight_ops* ops = providerOps();
  ASSERT_NE(ops, nullptr) << ::dlerror();
  ProviderLogCapture captured;
  ops->set_log(&ProviderLogCapture::log, &captured);
  // No GNOME here, and nothing but the display says what the session is.
  ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::string("unix:path=/nonexistent/bus"));
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  ScopedEnv type("XDG_SESSION_TYPE", nullptr);

  for (const char* forced : {"", "x11"}) {
    SCOPED_TRACE(*forced ? "forced" : "detected");
    ScopedEnv force("DUSKWARDEN_NIGHTLIGHT_BACKEND", std::string(forced));
    {
      ScopedEnv display("DISPLAY", sway.xDisplay());
      const std::size_t before = captured.count(" is Xwayland");
      EXPECT_EQ(ops->supports_night_light(), 0);
      EXPECT_EQ(ops->create(), nullptr);
      EXPECT_EQ(captured.count("X11: " + sway.xDisplay() + " is Xwayland; Xwayland's gamma ramps reach no screen"),
                before + 1)
          << "one line per choice";
    }
    {
      ScopedEnv display("DISPLAY", xvfb.name());
      EXPECT_EQ(ops->supports_night_light(), 1);
      dw_nightlight_client* client = ops->create();
      EXPECT_NE(client, nullptr);
      if (client) ops->destroy(client);
    }
  }
  EXPECT_EQ(captured.count("Using the x11 backend"), 2u);

  // A Wayland session's environment refuses even a plain X server.
  ScopedEnv display("DISPLAY", xvfb.name());
  ScopedEnv session("WAYLAND_DISPLAY", std::string("wayland-7"));
  EXPECT_EQ(ops->supports_night_light(), 0);
  EXPECT_EQ(captured.count("X11: the session is Wayland (WAYLAND_DISPLAY=wayland-7)"), 1u);
  ops->set_log(nullptr, nullptr);
}

}  // namespace
}  // namespace duskwarden::testing
