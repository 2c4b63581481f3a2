#pragma once
// A provider library for tests whose answers the test scripts through a
// control block, reached with dlsym(handle, "dw_test_provider_control").
// Built four times: as is, as a version 1 table (no set_log), with an unknown
// table version, and without the entry point.

#include "duskwarden/nightlight.h"

#include <atomic>
#include <mutex>

struct DwTestProviderControl {
  // Answers.
  std::atomic<int> supports{1};
  std::atomic<int> createFails{0};
  std::atomic<int> statusOk{1};
  std::atomic<int> statusByte1{0};  // copied into byte 1 of the record
  std::atomic<int> strengthWrites{1};
  std::atomic<float> strength{0.5f};
  std::atomic<int> setEnabledTakesEffect{1};  // setEnabled changes statusByte1

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

  std::mutex mutex;
  dw_nightlight_status_callback callback = nullptr;
  void* userData = nullptr;
  dw_nightlight_log_callback logCallback = nullptr;
  void* logUserData = nullptr;

  // Reports a message the way a backend would; answers whether a log was installed.
  bool log(int level, const char* message) {
    dw_nightlight_log_callback cb;
    void* ud;
    {
      std::lock_guard lock(mutex);
      cb = logCallback;
      ud = logUserData;
    }
    if (cb == nullptr) return false;
    cb(ud, level, message);
    return true;
  }

  // Calls the installed callback the way the provider's thread would.
  // Answers whether a callback was installed.
  bool fire() {
    dw_nightlight_status_callback cb;
    void* ud;
    {
      std::lock_guard lock(mutex);
      cb = callback;
      ud = userData;
    }
    if (cb == nullptr) return false;
    cb(ud);
    return true;
  }

  void reset() {
    supports = 1;
    createFails = 0;
    statusOk = 1;
    statusByte1 = 0;
    strengthWrites = 1;
    strength = 0.5f;
    setEnabledTakesEffect = 1;
    supportsCalls = createCalls = destroyCalls = setCallbackCalls = getStatusCalls = 0;
    setEnabledCalls = setStrengthCalls = 0;
    lastEnabled = -1;
    lastStrength = -1.0f;
    lastCommit = -1;
    setLogCalls = 0;
    std::lock_guard lock(mutex);
    callback = nullptr;
    userData = nullptr;
    logCallback = nullptr;
    logUserData = nullptr;
  }
};

using DwTestProviderControlFn = DwTestProviderControl* (*)();
