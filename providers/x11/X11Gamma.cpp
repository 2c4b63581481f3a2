#include "x11/X11Gamma.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "backendkit/ColorTemperature.h"
#include "backendkit/GammaRamp.h"

namespace duskwarden::provider::x11 {

namespace {

struct ResourcesFree {
  void operator()(XRRScreenResources* r) const { XRRFreeScreenResources(r); }
};
struct GammaFree {
  void operator()(XRRCrtcGamma* g) const { XRRFreeGamma(g); }
};
using Resources = std::unique_ptr<XRRScreenResources, ResourcesFree>;
using Gamma = std::unique_ptr<XRRCrtcGamma, GammaFree>;

bool hasRandr12(Display* display) {
  int eventBase = 0, errorBase = 0, major = 0, minor = 0, opcode = 0;
  // Ask the core protocol first: libXrandr leaks its per-display record on a
  // server that lacks the extension.
  if (!XQueryExtension(display, "RANDR", &opcode, &eventBase, &errorBase)) return false;
  return XRRQueryExtension(display, &eventBase, &errorBase) && XRRQueryVersion(display, &major, &minor) &&
         (major > 1 || (major == 1 && minor >= 2));
}

void describe(std::string* error, const std::string& request, const std::string& what) {
  if (error) *error = request + ": " + what;
}

// Calls visit(crtc, gammaSize) for every CRTC with a gamma ramp, on every
// screen. False when RandR is missing or a screen's resources cannot be read.
bool forEachGammaCrtc(Display* display, const std::function<bool(RRCrtc, int)>& visit, std::string* error) {
  if (!hasRandr12(display)) {
    describe(error, "RANDR QueryVersion", "RandR 1.2 or later missing");
    return false;
  }
  for (int screen = 0; screen < ScreenCount(display); ++screen) {
    Resources resources(XRRGetScreenResourcesCurrent(display, RootWindow(display, screen)));
    if (!resources) {
      describe(error, "RANDR GetScreenResourcesCurrent on screen " + std::to_string(screen), "no reply");
      return false;
    }
    for (int i = 0; i < resources->ncrtc; ++i) {
      const int size = XRRGetCrtcGammaSize(display, resources->crtcs[i]);
      if (size > 0 && !visit(resources->crtcs[i], size)) return false;
    }
  }
  return true;
}

std::string onCrtc(const char* request, RRCrtc crtc) {
  return std::string("RANDR ") + request + " on CRTC " + std::to_string(crtc);
}

}  // namespace

bool hasGammaCrtcs(Display* display) {
  bool found = false;
  forEachGammaCrtc(
      display,
      [&](RRCrtc, int) {
        found = true;
        return false;  // one is enough
      },
      nullptr);
  return found;
}

bool isXwayland(Display* display) {
  int opcode = 0, eventBase = 0, errorBase = 0;
  if (XQueryExtension(display, "XWAYLAND", &opcode, &eventBase, &errorBase)) return true;
  // Servers before the extension (Xwayland 22 and older) are known by the
  // names they give their outputs: XWAYLAND0, XWAYLAND1, ...
  if (!hasRandr12(display)) return false;
  bool named = false;
  for (int screen = 0; screen < ScreenCount(display) && !named; ++screen) {
    Resources resources(XRRGetScreenResourcesCurrent(display, RootWindow(display, screen)));
    for (int i = 0; resources && i < resources->noutput && !named; ++i) {
      XRROutputInfo* output = XRRGetOutputInfo(display, resources.get(), resources->outputs[i]);
      named = output && std::strncmp(output->name, "XWAYLAND", 8) == 0;
      if (output) XRRFreeOutputInfo(output);
    }
  }
  return named;
}

bool applyRamps(XDisplay& display, std::optional<double> kelvin, std::string* error) {
  if (display.lost()) {
    describe(error, "X11 " + display.name(), "connection lost");
    return false;
  }
  bool any = false;
  const bool walked = forEachGammaCrtc(
      display.get(),
      [&](RRCrtc crtc, int size) {
        Gamma gamma(XRRAllocGamma(size));
        if (!gamma) {
          describe(error, onCrtc("AllocGamma", crtc), "out of memory");
          return false;
        }
        const auto n = static_cast<std::size_t>(size);
        fillRamps(kelvin, {{gamma->red, n}, {gamma->green, n}, {gamma->blue, n}});
        XRRSetCrtcGamma(display.get(), crtc, gamma.get());
        // One round trip per CRTC, so a failure names its CRTC.
        std::string why;
        if (!display.sync(&why)) {
          describe(error, onCrtc("SetCrtcGamma", crtc), why);
          return false;
        }
        any = true;
        return true;
      },
      error);
  if (walked && !any) describe(error, "RANDR SetCrtcGamma", "no CRTC with a gamma ramp");
  return walked && any;
}

std::optional<std::vector<GammaCrtc>> listGammaCrtcs(Display* display, std::string* error) {
  std::vector<GammaCrtc> crtcs;
  const bool walked = forEachGammaCrtc(
      display,
      [&](RRCrtc crtc, int size) {
        crtcs.push_back({crtc, size});
        return true;
      },
      error);
  if (!walked) return std::nullopt;
  return crtcs;
}

std::optional<RampState> readRampsOf(XDisplay& display, const std::vector<GammaCrtc>& crtcs, std::string* error) {
  if (display.lost()) {
    describe(error, "X11 " + display.name(), "connection lost");
    return std::nullopt;
  }
  if (crtcs.empty()) {
    describe(error, "RANDR GetCrtcGamma", "no CRTC with a gamma ramp");
    return std::nullopt;
  }
  std::vector<std::optional<double>> kelvins;
  for (const auto& [crtc, size] : crtcs) {
    Gamma gamma(XRRGetCrtcGamma(display.get(), crtc));
    if (!gamma) {
      std::string why = "no reply";
      display.sync(&why);  // names the X error, when there was one
      describe(error, onCrtc("GetCrtcGamma", crtc), why);
      return std::nullopt;
    }
    if (gamma->size != size) {
      describe(error, onCrtc("GetCrtcGamma", crtc), "the CRTC changed while being read");
      return std::nullopt;
    }
    const auto n = static_cast<std::size_t>(size);
    kelvins.push_back(kelvinOfRamps({{gamma->red, n}, {gamma->green, n}, {gamma->blue, n}}));
  }
  return rampStateOf(kelvins);
}

RampState rampStateOf(const std::vector<std::optional<double>>& kelvins) {
  RampState state;
  bool allWarm = true;
  for (const auto& kelvin : kelvins) {
    if (kelvin && !state.anyWarmKelvin) state.anyWarmKelvin = kelvin;
    allWarm = allWarm && kelvin.has_value();
  }
  if (allWarm) state.warmKelvin = state.anyWarmKelvin;
  return state;
}

std::optional<RampState> readRamps(XDisplay& display, std::string* error) {
  if (display.lost()) {
    describe(error, "X11 " + display.name(), "connection lost");
    return std::nullopt;
  }
  const auto crtcs = listGammaCrtcs(display.get(), error);
  std::string why;
  if (!display.sync(&why)) {  // an error the size requests answered with
    if (crtcs) describe(error, "RANDR GetCrtcGammaSize", why);
    return std::nullopt;
  }
  if (!crtcs) return std::nullopt;
  return readRampsOf(display, *crtcs, error);
}

std::optional<double> readStoredKelvin(XDisplay& display, std::string* error) {
  const std::string request = std::string("X11 GetProperty ") + kStoredKelvinAtom;
  if (display.lost()) {
    describe(error, request, "connection lost");
    return std::nullopt;
  }
  Display* d = display.get();
  const Atom atom = XInternAtom(d, kStoredKelvinAtom, True);
  if (atom == None) return std::nullopt;
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<double> kelvin;
  if (XGetWindowProperty(d, DefaultRootWindow(d), atom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                         &data) == Success &&
      type == XA_CARDINAL && format == 32 && items == 1 && data != nullptr) {
    // Format-32 data comes back as longs, whatever the platform's width.
    const auto raw = static_cast<double>(*reinterpret_cast<unsigned long*>(data));
    kelvin = std::clamp(raw, kWarmestKelvin, kLeastWarmKelvin);
  }
  if (data) XFree(data);
  std::string why;
  if (!display.sync(&why)) {
    describe(error, request, why);
    return std::nullopt;
  }
  return kelvin;
}

bool storeKelvin(XDisplay& display, double kelvin, std::string* error) {
  const std::string request = std::string("X11 ChangeProperty ") + kStoredKelvinAtom;
  if (display.lost()) {
    describe(error, request, "connection lost");
    return false;
  }
  if (!std::isfinite(kelvin) || kelvin < 0) {
    describe(error, request, "not a temperature");
    return false;
  }
  Display* d = display.get();
  const Atom atom = XInternAtom(d, kStoredKelvinAtom, False);
  const long value = std::lround(kelvin);
  XChangeProperty(d, DefaultRootWindow(d), atom, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&value), 1);
  std::string why;
  if (display.sync(&why)) return true;
  describe(error, request, why);
  return false;
}

}  // namespace duskwarden::provider::x11
