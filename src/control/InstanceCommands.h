#pragma once
// The running copy's side of the command-line commands: each request from
// another launch becomes the very manager operation the popover uses, on the
// main thread, so Keep Always On's rules hold however a request arrives.
//
//   enable / disable   enableNightShift() / disableNightShift(); a disable
//                      while Keep Always On is set is still passed on (the
//                      manager logs its refusal) and answered "refused"
//   strength S         setColorTemperatureStrength(S), once, as a drag's end
//   keep-always-on X   writes autoEnable, as the switch does
//   status             updateStatus(), as opening the popover does, then the
//                      published values once that read has been applied
//
// A command is answered once its work has passed the manager's client queue,
// so by then it has reached the provider; "unsupported" when no night-light
// backend is usable here. Plain C++: no Qt.

#include "control/InstanceProtocol.h"
#include "platform/dispatch/DispatchQueue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace duskwarden {

class NightShiftManager;

class InstanceCommands {
 public:
  struct ProviderInfo {
    bool supported = false;
    std::optional<std::string> backend;
  };

  struct Environment {
    std::function<std::shared_ptr<NightShiftManager>()> manager;  // nullptr: the shared one
    std::shared_ptr<DispatchQueue> mainQueue;                     // nullptr: the installed one
    // Asked on the manager's client queue; nullptr: the loaded provider library.
    std::function<ProviderInfo()> providerInfo;
  };

  using Reply = std::function<void(std::string_view answer)>;

  explicit InstanceCommands(Environment environment);

  // On the main thread; `reply` is called once, on the main thread.
  void handle(const instanceprotocol::Request& request, Reply reply);

 private:
  // Runs `answer` on the main thread once the manager's client queue has
  // done everything queued so far, with what the provider says.
  void afterClientQueue(std::function<void(const ProviderInfo&)> answer);
  std::shared_ptr<NightShiftManager> manager() const;

  Environment env_;
};

}  // namespace duskwarden
