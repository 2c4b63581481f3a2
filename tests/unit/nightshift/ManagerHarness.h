#pragma once
// A NightShiftManager on virtual time: main queue and clientQueue are manual
// queues of one TestClock, the provider is the scripted test library loaded
// through the real binding, defaults live in a temporary key file, and the
// login item is a recording fake.

#include "ScriptedProviderControl.h"
#include "dispatch/TestClock.h"
#include "nightshift/NightShiftManager.h"
#include "platform/log/Logger.h"

#include <memory>
#include <string>
#include <vector>

namespace duskwarden::testing {

class FakeLoginItem final : public LoginItem {
 public:
  bool isEnabled() override { return enabled; }
  void setEnabled(bool value) override {
    writes.push_back(value);
    if (!failWrites) enabled = value;
  }
  bool enabled = false;
  bool failWrites = false;
  std::vector<bool> writes;
};


class Harness {
 public:
  explicit Harness(std::string libraryPath = DW_TEST_PROVIDER_PATH);
  ~Harness();

  // Builds the manager; `storedAutoEnable` is stored in the defaults first
  // (nullptr leaves the key absent).
  void start(const bool* storedAutoEnable = nullptr);
  void startWith(bool storedAutoEnable) { start(&storedAutoEnable); }
  // Launch with Keep Always On and Night Shift on, past the creation
  // command's read and window, with the log and the published list cleared.
  void startOnWithKeepAlwaysOn();
  // Runs setup and the first read, up to the first applied status.
  void settle() { clock->runUntilIdle(); }

  std::vector<std::string> lines() const { return sink->messages("NightShiftManager"); }
  std::vector<LogEntry> errors() const;
  std::size_t count(const std::string& line) const;
  void clearLog() { sink->clear(); }

  // The scripted platform changes by itself and tells the manager.
  void externalChange(bool enabled);

  std::shared_ptr<TestClock> clock = TestClock::create();
  std::shared_ptr<ManualQueue> main = clock->makeQueue("main");
  std::shared_ptr<ManualQueue> client = clock->makeQueue(kClientQueueLabel);
  std::shared_ptr<MemoryLogSink> sink = std::make_shared<MemoryLogSink>();
  BlueLightFramework framework;
  std::unique_ptr<UserDefaults> defaults;
  FakeLoginItem loginItem;
  DwTestProviderControl& provider;
  std::shared_ptr<NightShiftManager> manager;

  // Every value published, in order, as "strength=<v>" / "enabled=<b>" / "auto=<b>".
  std::vector<std::string> published;
  int willChangeCount = 0;

 private:
  bool recording_ = false;
  std::vector<AnyCancellable> subscriptions_;
};

}  // namespace duskwarden::testing
