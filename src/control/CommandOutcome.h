#pragma once
// Whether the desktop carried a command out, as the running copy answers it.
//
// Once the command has passed the manager's client queue, every status the
// manager applies after it is looked at: the state asked for answers "ok"; a
// different state with a reason from the provider (inhibited, locked, ...)
// answers "failed <why> <message>" at once; a different state without one is
// waited on, since desktops apply asynchronously (KWin, GNOME's ramp). The
// reads are the manager's own (it reads again after every on or off command),
// one asked here after a strength, and one more at the deadline, after which
// the answer is "failed unconfirmed". Plain C++: no Qt.

#include "control/CommandTable.h"
#include "platform/dispatch/DispatchQueue.h"

#include <functional>
#include <memory>
#include <string_view>

namespace duskwarden {

class NightShiftManager;

namespace commandoutcome {

// From the moment the command has passed the client queue; well inside the
// running copy's answer timeout, with room for the last read.
inline constexpr double kDeadlineSeconds = 3.0;
// How far a strength read back may be from the one asked for: backends store
// it as a whole colour temperature, or read it back from gamma ramps.
inline constexpr float kStrengthTolerance = 0.01f;

// Runs `then` on the main thread once the manager's client queue has run
// everything queued so far, with what the provider says.
using AfterClientQueue = std::function<void(std::function<void(const ProviderInfo&)> then)>;
using Reply = std::function<void(std::string_view answer)>;

// On the main thread, right after the handler asked the manager; `reply` is
// called once, on the main thread.
void watch(std::shared_ptr<NightShiftManager> manager, Expectation expected, DispatchQueue& mainQueue,
           AfterClientQueue afterClientQueue, Reply reply);

}  // namespace commandoutcome
}  // namespace duskwarden
