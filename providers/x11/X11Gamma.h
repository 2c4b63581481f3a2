#pragma once
// The night-light state as the X server holds it: the gamma ramps of every
// RandR CRTC, and the chosen temperature as a property on the root window
// (so it outlives our process for the length of the X session).
//
// On failure each call describes the request that failed in `*error`, named
// as the protocol names it: "RANDR SetCrtcGamma on CRTC 63: BadValue (...)".

#include <X11/extensions/Xrandr.h>

#include <optional>
#include <string>
#include <vector>

#include "x11/XDisplay.h"

namespace duskwarden::provider::x11 {

// RandR 1.2 or later, with at least one CRTC whose gamma ramp has entries.
bool hasGammaCrtcs(Display* display);

// Xwayland: the XWAYLAND extension (newer servers), or RandR outputs named
// XWAYLAND<n> (every version so far).
bool isXwayland(Display* display);

// Sets every CRTC to the warm ramps of `kelvin`, or to identity for nullopt.
bool applyRamps(XDisplay& display, std::optional<double> kelvin, std::string* error);

struct RampState {
  // Set when every CRTC carries our warm ramps; the temperature they show.
  std::optional<double> warmKelvin;
  // The temperature of the first CRTC that carries our ramps, even when
  // another CRTC was reset (a hotplugged screen).
  std::optional<double> anyWarmKelvin;
};
// nullopt when the ramps could not be read.
std::optional<RampState> readRamps(XDisplay& display, std::string* error);

// The same read for CRTCs listed earlier: one GetCrtcGamma round trip each
// and nothing more, for a look that repeats (the list changes only with a
// RandR event). Fails on a CRTC that has gone or changed its ramp size.
struct GammaCrtc {
  RRCrtc crtc;
  int size;
};
std::optional<std::vector<GammaCrtc>> listGammaCrtcs(Display* display, std::string* error);
std::optional<RampState> readRampsOf(XDisplay& display, const std::vector<GammaCrtc>& crtcs, std::string* error);
// The state of CRTCs whose ramps showed these temperatures (nullopt: not ours).
RampState rampStateOf(const std::vector<std::optional<double>>& kelvins);

// The temperature the user last committed, kept on the root window. Anyone
// can write that property, so what is read is clamped to the strength
// mapping's span (a stray 9000 K must not turn "on" blue). nullopt when none
// is stored, or when the read failed (then `*error` is set).
inline constexpr const char* kStoredKelvinAtom = "_DUSKWARDEN_NIGHT_LIGHT_KELVIN";
std::optional<double> readStoredKelvin(XDisplay& display, std::string* error);
bool storeKelvin(XDisplay& display, double kelvin, std::string* error);

}  // namespace duskwarden::provider::x11
