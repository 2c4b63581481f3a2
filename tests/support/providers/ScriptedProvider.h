#pragma once
// A provider library for tests whose answers the test scripts through a
// control block, reached with dlsym(handle, "dw_test_provider_control").
// Built four times: as is, as a version 1 table (no set_log, no
// backend_name, no get_reason), with an unknown
// table version, and without the entry point.

#include "duskwarden/nightlight.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

struct DwTestProviderControl {
  // Answers.
  std::atomic<int> supports{1};
  std::atomic<int> createFails{0};
  std::atomic<int> statusOk{1};
  std::atomic<int> statusByte1{0};  // copied into byte 1 of the record
  std::atomic<int> strengthWrites{1};
  std::atomic<float> strength{0.5f};
  std::atomic<int> setEnabledTakesEffect{1};  // setEnabled changes statusByte1
  std::atomic<int> setStrengthTakesEffect{1};  // setStrength changes strength
  std::atomic<int> backendNamed{1};           // backend_name answers "scripted", else NULL
  std::atomic<int> reasonCode{DW_NIGHTLIGHT_REASON_NONE};  // get_reason's answer, with reasonMessage

  // What the library was asked.
  std::atomic<int> supportsCalls{0};
  std::atomic<int> createCalls{0};
  std::atomic<int> destroyCalls{0};
  std::atomic<int> setCallbackCalls{0};
  std::atomic<int> getStatusCalls{0};
  std::atomic<int> setEnabledCalls{0};
  std::atomic<int> lastEnabled{-1};
  std::atomic<int> setStrengthCalls{0};
  std::atomic<float> lastStrength{-1.0f};
  std::atomic<int> lastCommit{-1};
  std::atomic<int> setLogCalls{0};
  std::atomic<int> backendNameCalls{0};
  std::atomic<int> getReasonCalls{0};

  std::mutex mutex;
  dw_nightlight_status_callback callback = nullptr;
  void* userData = nullptr;
  dw_nightlight_log_callback logCallback = nullptr;
  void* logUserData = nullptr;
  std::string reasonMessage;  // under the mutex

  // Scripts get_reason's answer.
  void setReason(int code, const std::string& message) {
    std::lock_guard lock(mutex);
    reasonMessage = message;
    reasonCode = code;
  }

  // Calls the installed callback the way the provider's thread would.
  // Answers whether a callback was installed.
  bool fire() { return callUnlocked(callback, userData); }

  // Reports a message the way a backend would; answers whether a log was installed.
  bool log(int level, const char* message) { return callUnlocked(logCallback, logUserData, level, message); }

  void reset() {
    supports = 1;
    createFails = 0;
    statusOk = 1;
    statusByte1 = 0;
    strengthWrites = 1;
    strength = 0.5f;
    setEnabledTakesEffect = 1;
    setStrengthTakesEffect = 1;
    backendNamed = 1;
    reasonCode = DW_NIGHTLIGHT_REASON_NONE;
    getReasonCalls = 0;
    supportsCalls = createCalls = destroyCalls = setCallbackCalls = getStatusCalls = 0;
    setEnabledCalls = setStrengthCalls = 0;
    lastEnabled = -1;
    lastStrength = -1.0f;
    lastCommit = -1;
    setLogCalls = backendNameCalls = 0;
    std::lock_guard lock(mutex);
    callback = nullptr;
    userData = nullptr;
    logCallback = nullptr;
    logUserData = nullptr;
    reasonMessage.clear();
  }

 private:
  // Copied under the lock, called outside it, as a provider must.
  template <class Fn, class... Args>
  bool callUnlocked(const Fn& installed, void* const& installedData, Args... args) {
    Fn fn;
    void* data;
    {
      std::lock_guard lock(mutex);
      fn = installed;
      data = installedData;
    }
    if (fn == nullptr) return false;
    fn(data, args...);
    return true;
  }
};

using DwTestProviderControlFn = DwTestProviderControl* (*)();
