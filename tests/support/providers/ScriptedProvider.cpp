#include "ScriptedProvider.h"

#include <algorithm>

#ifndef DW_TEST_PROVIDER_ABI
#define DW_TEST_PROVIDER_ABI DW_NIGHTLIGHT_ABI_VERSION
#endif
// A version 1 library's table ends before set_log, a version 2 one before get_reason.
#if DW_TEST_PROVIDER_ABI == 1
#define DW_TEST_PROVIDER_SIZE DW_NIGHTLIGHT_OPS_V1_SIZE
#elif DW_TEST_PROVIDER_ABI == 2
#define DW_TEST_PROVIDER_SIZE DW_NIGHTLIGHT_OPS_V2_SIZE
#else
#define DW_TEST_PROVIDER_SIZE sizeof(dw_nightlight_ops)
#endif

namespace {

DwTestProviderControl gControl;
int gClientToken = 0;  // the one client's identity

int supports() {
  ++gControl.supportsCalls;
  return gControl.supports.load();
}

dw_nightlight_client* create() {
  ++gControl.createCalls;
  // Version 4 asks for a client also while unsupported; this provider never waits for a backend.
  if (gControl.createFails || gControl.supports == 0) return nullptr;
  return reinterpret_cast<dw_nightlight_client*>(&gClientToken);
}

void destroy(dw_nightlight_client*) {
  ++gControl.destroyCalls;
  std::lock_guard lock(gControl.mutex);
  gControl.callback = nullptr;
  gControl.userData = nullptr;
}

void setCallback(dw_nightlight_client*, dw_nightlight_status_callback callback, void* userData) {
  ++gControl.setCallbackCalls;
  std::lock_guard lock(gControl.mutex);
  gControl.callback = callback;
  gControl.userData = userData;
}

int getStatus(dw_nightlight_client*, uint8_t status[DW_NIGHTLIGHT_STATUS_SIZE]) {
  ++gControl.getStatusCalls;
  if (!gControl.statusOk) {
    status[1] = 0x7f;  // a failed read may leave anything behind
    return 0;
  }
  status[1] = static_cast<uint8_t>(gControl.statusByte1.load());
  return 1;
}

int getStrength(dw_nightlight_client*, float* strength) {
  if (!gControl.strengthWrites) return 0;
  *strength = gControl.strength.load();
  return 1;
}

void setEnabled(dw_nightlight_client*, int enabled) {
  ++gControl.setEnabledCalls;
  gControl.lastEnabled = enabled;
  if (gControl.setEnabledTakesEffect) gControl.statusByte1 = enabled ? 1 : 0;
}

void setStrength(dw_nightlight_client*, float strength, int commit) {
  ++gControl.setStrengthCalls;
  gControl.lastStrength = strength;
  gControl.lastCommit = commit;
  if (gControl.setStrengthTakesEffect) gControl.strength = strength;
}

void setLog(dw_nightlight_log_callback callback, void* userData) {
  ++gControl.setLogCalls;
  std::lock_guard lock(gControl.mutex);
  gControl.logCallback = callback;
  gControl.logUserData = userData;
}

const char* backendName() {
  ++gControl.backendNameCalls;
  return gControl.backendNamed ? "scripted" : nullptr;
}

int getReason(dw_nightlight_client*, char* message, size_t size) {
  ++gControl.getReasonCalls;
  std::lock_guard lock(gControl.mutex);
  if (message != nullptr && size > 0) {
    const std::size_t n = std::min(size - 1, gControl.reasonMessage.size());
    std::memcpy(message, gControl.reasonMessage.data(), n);
    message[n] = '\0';
  }
  return gControl.reasonCode.load();
}

const dw_nightlight_ops kOps = {DW_TEST_PROVIDER_ABI, static_cast<uint32_t>(DW_TEST_PROVIDER_SIZE),
                                supports,             create,
                                destroy,              setCallback,
                                getStatus,            getStrength,
                                setEnabled,           setStrength,
                                setLog,               backendName,
                                getReason};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) DwTestProviderControl* dw_test_provider_control() { return &gControl; }

#if defined(DW_TEST_PROVIDER_DATA_ENTRY)
// The entry point's name on the table itself: calling it would jump into data.
__attribute__((visibility("default"))) extern const dw_nightlight_ops kEntryAsData __asm__("dw_nightlight_get_ops");
const dw_nightlight_ops kEntryAsData = kOps;
#elif !defined(DW_TEST_PROVIDER_NO_ENTRY)
__attribute__((visibility("default"))) const dw_nightlight_ops* dw_nightlight_get_ops(void) { return &kOps; }
#endif
}
