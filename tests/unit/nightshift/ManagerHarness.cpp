#include "ManagerHarness.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace duskwarden::testing {

Harness::Harness(std::string libraryPath) : framework(std::move(libraryPath)), provider(scriptedProvider()) {
  provider.reset();
  setLogSinks({sink});
  defaults = std::make_unique<UserDefaults>(makeTempDir("defaults") / "defaults.conf");
}

Harness::~Harness() {
  subscriptions_.clear();
  manager.reset();
  clock.reset();  // drops pending work, which may hold the last reference
  setLogSinks({});
}

void Harness::start(const bool* storedAutoEnable) {
  if (storedAutoEnable != nullptr) defaults->setBool(*storedAutoEnable, Setting::autoEnable);
  NightShiftManager::Dependencies deps;
  deps.mainQueue = main;
  deps.clientQueue = client;
  deps.framework = &framework;
  deps.defaults = defaults.get();
  deps.loginItem = &loginItem;
  manager = NightShiftManager::create(std::move(deps));
  subscriptions_.push_back(manager->objectWillChange.sink([this] { ++willChangeCount; }));
  // Subscribers get the current value at once; record only later writes.
  recording_ = false;
  subscriptions_.push_back(manager->colorTemperatureStrength.sink([this](const float& v) {
    if (recording_) published.push_back("strength=" + std::to_string(v));
  }));
  subscriptions_.push_back(manager->isNightShiftEnabled.sink([this](const bool& v) {
    if (recording_) published.push_back(std::string("enabled=") + (v ? "true" : "false"));
  }));
  subscriptions_.push_back(manager->autoEnable.sink([this](const bool& v) {
    if (recording_) published.push_back(std::string("auto=") + (v ? "true" : "false"));
  }));
  recording_ = true;
}

void Harness::startOnWithKeepAlwaysOn() {
  provider.statusByte1 = 1;
  startWith(true);
  clock->advanceBy(2.0);
  ASSERT_TRUE(manager->isNightShiftEnabled.get());
  ASSERT_FALSE(manager->isInternalUpdateForTesting());
  clearLog();
  published.clear();
}

std::vector<LogEntry> Harness::errors() const {
  std::vector<LogEntry> out;
  for (auto& e : sink->entries())
    if (e.level == LogLevel::error) out.push_back(e);
  return out;
}

std::size_t Harness::count(const std::string& line) const {
  auto all = lines();
  return static_cast<std::size_t>(std::count(all.begin(), all.end(), line));
}

void Harness::externalChange(bool enabled) {
  provider.statusByte1 = enabled ? 1 : 0;
  ASSERT_TRUE(provider.fire()) << "no status callback installed";
}

}  // namespace duskwarden::testing
