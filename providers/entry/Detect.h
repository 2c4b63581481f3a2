#pragma once
// Backend detection, shared by supports_night_light, create and
// backend_name. The first use chooses; when no backend is usable, or one
// ranked below another that may still come (a desktop service late at
// login), detection goes on waiting for the better one (entry/BackendWatch.h)
// and switches to it when it comes. Clients take a new choice up at their
// next call; they hear of it through their status callback.

#include <memory>

#include "base/callback/CallbackSlot.h"
#include "backendkit/Backend.h"

namespace duskwarden::provider {

struct Choice {
  const BackendKind* kind = nullptr;  // nullptr: none usable (yet)
  unsigned generation = 0;            // changes with every new choice
  bool waiting = false;               // a better backend may still come
};

// The backend to use now: the one DUSKWARDEN_NIGHTLIGHT_BACKEND names (only
// that one), else the first usable auto-detected one. Chosen on first use,
// and again only when the environment it was chosen in has changed (see
// nightlight.h).
Choice chooseBackend();
// The choice as it stands, without detecting: for a client's every call.
Choice currentChoice();

// `slot` is called, on detection's own thread, after each new choice, until removed.
void listenForChoices(const std::shared_ptr<CallbackSlot>& slot);
void stopListening(const std::shared_ptr<CallbackSlot>& slot);

}  // namespace duskwarden::provider
