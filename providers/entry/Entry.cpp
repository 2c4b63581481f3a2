// The library's one exported symbol: the C table over the chosen backend.

#include <memory>
#include <new>

#include "base/callback/CallbackSlot.h"
#include "backendkit/Backend.h"
#include "backendkit/Log.h"
#include "entry/Detect.h"
#include "duskwarden/nightlight.h"

// A client holds a backend of the present choice, and takes a new choice up
// at its next call: calls on a client come from one thread at a time, so the
// backend is only ever made, used and replaced there.
struct dw_nightlight_client {
  // The caller's callback: called by the backend's thread, and by detection's
  // when a backend comes (or a better one replaces this one).
  std::shared_ptr<duskwarden::CallbackSlot> callback = std::make_shared<duskwarden::CallbackSlot>();
  std::unique_ptr<duskwarden::provider::Backend> backend;
  unsigned generation = 0;  // of the choice `backend` was made for
};

namespace {

using duskwarden::provider::Backend;
using duskwarden::provider::chooseBackend;
using duskwarden::provider::Choice;

// Makes the backend of `choice`, reporting through the client's callback.
void takeUp(dw_nightlight_client* client, const Choice& choice) {
  // Two must never drive the screen at once: the X11 ramps a backend set
  // would stay under the desktop's own night light that replaces it.
  if (client->backend) client->backend->setEnabled(false);
  client->backend.reset();  // its thread ends first: no callback of it follows
  client->generation = choice.generation;
  if (choice.kind == nullptr) return;
  client->backend = choice.kind->create();
  if (client->backend) client->backend->setStatusCallback([slot = client->callback] { slot->call(); });
}

// The client's backend for the present choice; nullptr while none is usable.
Backend* backendOf(dw_nightlight_client* client) {
  if (client == nullptr) return nullptr;
  if (const Choice choice = duskwarden::provider::currentChoice(); choice.generation != client->generation)
    takeUp(client, choice);
  return client->backend.get();
}

int supportsNightLight() { return chooseBackend().kind != nullptr ? 1 : 0; }

void destroy(dw_nightlight_client* client) {
  if (client == nullptr) return;
  duskwarden::provider::stopListening(client->callback);
  client->callback->stop();
  delete client;  // the backend's destructor stops its thread, so no callback follows
}

dw_nightlight_client* create() {
  auto* client = new (std::nothrow) dw_nightlight_client;
  if (client == nullptr) return nullptr;
  // Listening before the choice is read, so that no later one is missed.
  duskwarden::provider::listenForChoices(client->callback);
  const Choice choice = chooseBackend();
  takeUp(client, choice);
  // No backend: a client is still worth having while one may come.
  if (!client->backend && (choice.kind != nullptr || !choice.waiting)) {
    destroy(client);
    return nullptr;
  }
  return client;
}

void setStatusCallback(dw_nightlight_client* client, dw_nightlight_status_callback callback, void* userData) {
  if (client == nullptr) return;
  if (callback == nullptr)
    client->callback->set(nullptr);
  else
    client->callback->set([callback, userData] { callback(userData); });
}

int getStatus(dw_nightlight_client* client, uint8_t status[DW_NIGHTLIGHT_STATUS_SIZE]) {
  Backend* backend = backendOf(client);
  if (backend == nullptr || status == nullptr) return 0;
  bool enabled = false;
  if (!backend->readEnabled(&enabled)) return 0;
  status[1] = enabled ? 1 : 0;
  return 1;
}

int getStrength(dw_nightlight_client* client, float* strength) {
  Backend* backend = backendOf(client);
  if (backend == nullptr || strength == nullptr) return 0;
  float value = 0.0f;
  if (!backend->readStrength(&value)) return 0;
  *strength = value;
  return 1;
}

void setEnabled(dw_nightlight_client* client, int enabled) {
  if (Backend* backend = backendOf(client)) backend->setEnabled(enabled != 0);
}

void setStrength(dw_nightlight_client* client, float strength, int commit) {
  if (Backend* backend = backendOf(client)) backend->setStrength(strength, commit != 0);
}

void setLog(dw_nightlight_log_callback callback, void* userData) {
  duskwarden::provider::setLogFunction(callback, userData);
}

int getReason(dw_nightlight_client* client, char* message, size_t size) {
  using duskwarden::provider::Reason;
  Backend* backend = backendOf(client);
  const Reason reason = backend != nullptr ? backend->reason() : Reason{};
  duskwarden::provider::copyReasonMessage(reason.message, message, size);
  return reason.code;
}

const char* backendName() {
  const Choice choice = chooseBackend();
  return choice.kind != nullptr ? choice.kind->entry->name : nullptr;
}

const dw_nightlight_ops kOps = {
    DW_NIGHTLIGHT_ABI_VERSION,
    sizeof(dw_nightlight_ops),
    supportsNightLight,
    create,
    destroy,
    setStatusCallback,
    getStatus,
    getStrength,
    setEnabled,
    setStrength,
    setLog,
    backendName,
    getReason,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const dw_nightlight_ops* dw_nightlight_get_ops(void) {
  return &kOps;
}
