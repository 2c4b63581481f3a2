#pragma once
// The running copy's side of the command-line commands: each request from
// another launch runs its command's handler from the command table, on the
// main thread, so every command is the very manager operation the popover
// uses and Keep Always On's rules hold however a request arrives; the
// manager's outcome is the answer. A word the table does not know is an
// unknown command; a value it does not accept is a bad argument.
//
// Plain C++: no Qt.

#include "control/CommandTable.h"
#include "control/InstanceProtocol.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/publish/Publish.h"

#include <functional>
#include <memory>
#include <string_view>

namespace duskwarden {

class InstanceCommands {
 public:
  struct Environment {
    // The process's manager; it may be built on first use, so it is asked for each request.
    std::function<std::shared_ptr<NightShiftManager>()> manager;
    std::shared_ptr<DispatchQueue> mainQueue;  // whose clock the request's deadline is read on
  };

  using Reply = std::function<void(std::string_view answer)>;

  explicit InstanceCommands(Environment environment);

  // On the main thread; `reply` is called once, on the main thread, within
  // the request's deadline (and kRequestSeconds).
  void handle(const instanceprotocol::Request& request, Reply reply);

  // "follow <word>": the command's answer at once and again, through `push`,
  // after each change the manager publishes, only when it differs from the
  // last one pushed, until the returned subscription ends. A request that
  // cannot be followed is answered through `push` and nothing is returned.
  AnyCancellable follow(const instanceprotocol::Request& request, Reply push);

 private:
  Environment env_;
};

}  // namespace duskwarden
