#pragma once
// A small Wayland compositor for tests, on libwayland-server: wl_output
// globals and zwlr_gamma_control_manager_v1, nothing else. Its controls
// behave as wlroots 0.15's (Debian 12's sway): a second client's request
// sends `failed` to the holder and restores the output, and the newcomer
// hears nothing. It keeps what each output would show, which no real
// headless compositor lets a test see.
//
// It runs on a thread of its own, listening on $XDG_RUNTIME_DIR/<socket>;
// every method may be called from the test's thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Wait.h"

namespace duskwarden::testing {

class GammaCompositor {
 public:
  explicit GammaCompositor(const std::string& socket);
  // Clients see the compositor go away, and the socket is removed.
  ~GammaCompositor();
  GammaCompositor(const GammaCompositor&) = delete;
  GammaCompositor& operator=(const GammaCompositor&) = delete;

  // A new output (a hotplug, to clients that are connected); gammaSize 0: no gamma.
  int addOutput(const std::string& name, std::uint32_t gammaSize);
  void removeOutput(int output);
  // set_gamma on this output fails, as when wlroots' output test refuses the ramps.
  void refuseRamps(int output, bool refuse);

  struct Seen {
    std::vector<std::uint16_t> ramps;  // R, G, B as shown now; empty: the output's own gamma
    int controlRequests = 0;
    int rampRequests = 0;
    std::vector<std::string> faults;  // tables that were unsealed or of the wrong size
  };
  Seen seen(int output);
  // Waits up to `bound` until `condition` holds for the output.
  [[nodiscard]] ::testing::AssertionResult waitFor(int output, const std::function<bool(const Seen&)>& condition,
                                                   std::chrono::milliseconds bound = std::chrono::seconds(5));

  struct Impl;

 private:
  void onThread(std::function<void()> task);
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
};

}  // namespace duskwarden::testing
