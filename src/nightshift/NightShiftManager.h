#pragma once
// The one model of the Night Shift state: publishes isNightShiftEnabled,
// colorTemperatureStrength and autoEnable (Keep Always On), runs the on, off
// and strength commands through the provider client on clientQueue, reads the
// state again after each command and each change notification, and enforces
// Keep Always On.
//
// Threads: published properties are written on the main queue only; every
// call on the client runs on clientQueue; the provider's callback thread only
// logs and schedules a read. Work that touches the platform holds the manager
// weakly; short main-queue follow-ups hold it strongly.

#include "loginitem/LaunchAtLogin.h"
#include "nightshift/CBBlueLightClient.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/log/Logger.h"
#include "platform/publish/Publish.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace duskwarden {

inline constexpr const char* kClientQueueLabel = "com.yourcompany.nightshift.client-queue";
inline constexpr const char* kAutoEnableKey = "autoEnable";

// A reason in words: the provider's own sentence, or one for its code.
std::string describe(const BlueLightReason& reason);

class NightShiftManager final : public ObservableObject,
                                public std::enable_shared_from_this<NightShiftManager> {
 public:
  struct Dependencies {
    std::shared_ptr<DispatchQueue> mainQueue;    // the main thread's queue
    std::shared_ptr<DispatchQueue> clientQueue;  // serial; owned by the manager from now on
    BlueLightFramework* framework = nullptr;     // the provider library
    UserDefaults* defaults = nullptr;
    LoginItem* loginItem = nullptr;
  };

  // Builds a manager and runs its initialisation (reads and re-writes
  // "autoEnable", sets the login item, queues the client setup). The process
  // builds its one manager with the real dependencies (the process entry);
  // tests build theirs with their own.
  static std::shared_ptr<NightShiftManager> create(Dependencies deps);

  ~NightShiftManager() override;

  // What became of a request the manager may turn down.
  enum class Outcome { accepted, refused };

  Published<bool> isNightShiftEnabled;
  Published<float> colorTemperatureStrength;
  Published<bool> autoEnable;  // a write runs the Keep Always On change handling
  // Why the last write of autoEnable could not be saved (with the login item,
  // as one), which then published the value that stands again; nothing when
  // it was saved. Main only.
  const std::optional<std::string>& autoEnableSaveFailure() const { return autoEnableSaveFailure_; }

  void updateStatus();  // safe from any thread
  void enableNightShift();
  // Refused (and logged) while Keep Always On is set.
  Outcome disableNightShift();
  void setColorTemperatureStrength(float strength);

  // Run by the provider's callback; public for the binding.
  void handleStatusChange();
  void checkAutoReEnable(bool wasEnabled, bool isEnabled);

  // What the last applied read said of why night light is not on, or why the
  // last request could not be carried out; nothing when the provider knew none.
  // Main only.
  const std::optional<BlueLightReason>& reason() const { return reason_; }

  bool isInternalUpdateForTesting() const { return isInternalUpdate_.load(); }
  bool hasPerformedInitialCheckForTesting() const { return hasPerformedInitialCheck_; }
  DispatchQueue& clientQueue() const { return *clientQueue_; }

 private:
  explicit NightShiftManager(Dependencies deps);
  void initialise();
  void setupBlueLightClient();  // on clientQueue
  void readStatus();            // the clientQueue half of updateStatus()
  // `strength` is nothing when it could not be read: the last one stays.
  void applyStatus(bool enabled, std::optional<float> strength, std::optional<BlueLightReason> reason);
  void autoEnableDidChange(bool value);
  void queueCommand(bool enable);  // main
  void runCommand(bool enable, unsigned number);  // on clientQueue
  void closeCommandWindow(unsigned number, bool reachedClient);  // main
  void scheduleReEnable(double delay);
  void startWaiting();                // main
  void stopWaiting(const char* why);  // main

  // Keep Always On must not silently give up. An off seen inside a command
  // window is not fought while the window is open, so the window's close looks
  // again; a re-enable that did not take effect is retried with a back-off
  // (keepOnFailures_ counts the closes in a row that still found it off, and
  // offSeenInWindow_ tells an outside turn-off from a refused turn-on).
  int keepOnFailures_ = 0;         // main only
  bool offSeenInWindow_ = false;   // main only
  bool reEnablePending_ = false;   // main only
  unsigned reEnableNumber_ = 0;    // main only: a later schedule replaces an earlier one
  unsigned commandsQueued_ = 0;    // main only: numbers the on and off commands
  // While the provider says night light is held off by something we cannot
  // override (another program's inhibition or gamma, a locked setting), Keep
  // Always On tries only at the slow pace and whenever the desktop reports a
  // change, and says so once instead of an error per attempt.
  bool waitingWhileHeldOff_ = false;  // main only
  std::optional<BlueLightReason> reason_;  // main only
  std::optional<std::string> autoEnableSaveFailure_;  // main only
  bool restoringAutoEnable_ = false;                  // main only: the write that undoes a refused one

  Dependencies deps_;
  Logger logger_;
  std::unique_ptr<CBBlueLightClient> blueLightClient_;  // clientQueue only
  std::shared_ptr<DispatchQueue> clientQueue_;
  std::atomic<bool> isInternalUpdate_{false};
  bool hasPerformedInitialCheck_ = false;  // main only
};

}  // namespace duskwarden
