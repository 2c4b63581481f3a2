#pragma once
// Night light on wlroots compositors (sway, Hyprland, labwc, river): warm
// gamma ramps on every output through wlr-gamma-control-unstable-v1, over a
// Wayland connection of our own (whatever platform the toolkit uses).
//
// The compositor keeps our ramps only while our control lives: destroying it,
// or our process ending, gives the outputs back their own gamma. So "on"
// lasts as long as the program runs, and the state is ours: "enabled" is
// every output that supports gamma showing our ramps (GammaSession). The
// temperature is kept in KelvinSetting's file, since the compositor keeps
// none. Used when WAYLAND_DISPLAY is set and the compositor offers
// zwlr_gamma_control_manager_v1.

#include <functional>
#include <memory>

#include "backendkit/Backend.h"
#include "backendkit/Log.h"

namespace duskwarden::provider::wlroots {

class GammaLoop;

class WlrootsBackend final : public Backend {
 public:
  // A brief connection that reads the registry and binds nothing. Logs why not.
  static bool isUsable();
  // nullptr (logged) when the compositor cannot be reached or offers no gamma control.
  static std::unique_ptr<WlrootsBackend> create();
  ~WlrootsBackend() override;

  void setStatusCallback(std::function<void()> callback) override;
  bool readEnabled(bool* enabled) override;
  bool readStrength(float* strength) override;
  void setEnabled(bool enabled) override;
  void setStrength(float strength, bool commit) override;
  // HELD while another program holds an output's gamma; FAILED when the
  // temperature could not be saved.
  Reason reason() override;

 private:
  explicit WlrootsBackend(std::unique_ptr<GammaLoop> loop);
  std::unique_ptr<GammaLoop> loop_;
  LogOnce saveFailures_;
};

}  // namespace duskwarden::provider::wlroots
