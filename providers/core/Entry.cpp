// The library's one exported symbol: the C table over the chosen backend.

#include <memory>
#include <new>

#include "common/Backend.h"
#include "common/Log.h"
#include "core/Detect.h"
#include "duskwarden/nightlight.h"

struct dw_nightlight_client {
  std::unique_ptr<duskwarden::provider::Backend> backend;
};

namespace {

using duskwarden::provider::BackendKind;
using duskwarden::provider::chooseBackend;

int supportsNightLight() { return chooseBackend() != nullptr ? 1 : 0; }

dw_nightlight_client* create() {
  const BackendKind* kind = chooseBackend();
  if (kind == nullptr) return nullptr;
  auto backend = kind->create();
  if (!backend) return nullptr;
  auto* client = new (std::nothrow) dw_nightlight_client;
  if (client == nullptr) return nullptr;
  client->backend = std::move(backend);
  return client;
}

// The backend's destructor stops its thread, so no callback follows.
void destroy(dw_nightlight_client* client) { delete client; }

void setStatusCallback(dw_nightlight_client* client, dw_nightlight_status_callback callback,
                       void* userData) {
  if (client == nullptr) return;
  if (callback == nullptr) {
    client->backend->setStatusCallback(nullptr);
    return;
  }
  client->backend->setStatusCallback([callback, userData] { callback(userData); });
}

int getStatus(dw_nightlight_client* client, uint8_t status[DW_NIGHTLIGHT_STATUS_SIZE]) {
  if (client == nullptr || status == nullptr) return 0;
  bool enabled = false;
  if (!client->backend->readEnabled(&enabled)) return 0;
  status[1] = enabled ? 1 : 0;
  return 1;
}

int getStrength(dw_nightlight_client* client, float* strength) {
  if (client == nullptr || strength == nullptr) return 0;
  float value = 0.0f;
  if (!client->backend->readStrength(&value)) return 0;
  *strength = value;
  return 1;
}

void setEnabled(dw_nightlight_client* client, int enabled) {
  if (client != nullptr) client->backend->setEnabled(enabled != 0);
}

void setStrength(dw_nightlight_client* client, float strength, int commit) {
  if (client != nullptr) client->backend->setStrength(strength, commit != 0);
}

void setLog(dw_nightlight_log_callback callback, void* userData) {
  duskwarden::provider::setLogFunction(callback, userData);
}

int getReason(dw_nightlight_client* client, char* message, size_t size) {
  using duskwarden::provider::Reason;
  const Reason reason = client != nullptr ? client->backend->reason() : Reason{};
  duskwarden::provider::copyReasonMessage(reason.message, message, size);
  return reason.code;
}

const char* backendName() {
  const BackendKind* kind = chooseBackend();
  return kind != nullptr ? kind->name : nullptr;
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
