#pragma once
// The running copy's side of the command-line commands: each request from
// another launch runs its command's handler from the command table, on the
// main thread, so every command is the very manager operation the popover
// uses and Keep Always On's rules hold however a request arrives. A word the
// table does not know is an unknown command; a value it does not accept is a
// bad argument.
//
// Plain C++: no Qt.

#include "control/CommandTable.h"
#include "control/InstanceProtocol.h"
#include "platform/dispatch/DispatchQueue.h"

#include <functional>
#include <memory>
#include <string_view>

namespace duskwarden {

class NightShiftManager;

class InstanceCommands {
 public:
  struct Environment {
    // The process's manager; it may be built on first use, so it is asked for each request.
    std::function<std::shared_ptr<NightShiftManager>()> manager;
    std::shared_ptr<DispatchQueue> mainQueue;
    std::function<ProviderInfo()> providerInfo;  // asked on the manager's client queue
  };

  using Reply = std::function<void(std::string_view answer)>;

  explicit InstanceCommands(Environment environment);

  // On the main thread; `reply` is called once, on the main thread.
  void handle(const instanceprotocol::Request& request, Reply reply);

 private:
  // Runs `answer` on the main thread once the manager's client queue has
  // done everything queued so far, with what the provider says.
  void afterClientQueue(NightShiftManager& manager, std::function<void(const ProviderInfo&)> answer);

  Environment env_;
};

}  // namespace duskwarden
