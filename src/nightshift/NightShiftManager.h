#pragma once
// The one model of the Night Shift state: publishes isNightShiftEnabled,
// colorTemperatureStrength and autoEnable (Keep Always On), and beside them
// which backend runs, why night light is off or a request failed, and which
// values no status read has confirmed yet; runs the on, off and strength
// commands through the provider client on clientQueue, reads the state again
// after each command and each change notification, enforces Keep Always On,
// and decides what became of every request (Outcome).
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
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace duskwarden {

inline constexpr const char* kClientQueueLabel = "com.yourcompany.nightshift.client-queue";
// How long a request waits for its outcome, unless its client waits less.
inline constexpr double kRequestSeconds = 3.0;
// How far a strength read back may be from the one asked for: backends store
// it as a whole colour temperature, or read it back from gamma ramps.
inline constexpr float kStrengthTolerance = 0.01f;

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

  // What became of a request, decided by the manager from the first status
  // read applied after the request reached the platform.
  struct Outcome {
    enum class Kind {
      done,            // a read shows what was asked
      noChangeNeeded,  // ... and the read before the request showed it already
      refused,         // turned down: turning off while Keep Always On is set
      unsupported,     // no night light here: nothing reached a platform
      failed,          // `reason` says why: the provider's, or TIMEOUT when no read came back in time
      unconfirmed,     // reads came back, but none showed it by the deadline, and none said why
    };
    Kind kind = Kind::done;
    BlueLightReason reason;  // for failed
  };

  // A request from a person or a program, as against Keep Always On's own
  // commands: it carries its deadline, and once that has passed it has been
  // answered (failed or unconfirmed) and what it queued is dropped, never run late.
  struct Request {
    double timeout = kRequestSeconds;  // seconds from now; at most the client's own deadline
    std::function<void(const Outcome&)> completion;  // on main, once; may be empty
  };

  // The backend the provider runs, as the last set-up or read found it.
  struct Backend {
    bool supported = false;           // night light is usable here
    std::optional<std::string> name;  // "kde", "gnome", ... when the provider names it
    friend bool operator==(const Backend&, const Backend&) = default;
  };

  // The published values no status read has confirmed: none has been read
  // yet, or the platform has been asked to change it since the last read.
  struct Unconfirmed {
    bool enabled = true;
    bool strength = true;
    friend bool operator==(const Unconfirmed&, const Unconfirmed&) = default;
  };

  // Builds a manager and runs its initialisation (reads and re-writes
  // "autoEnable", sets the login item, queues the client setup). The process
  // builds its one manager with the real dependencies (the process entry);
  // tests build theirs with their own.
  static std::shared_ptr<NightShiftManager> create(Dependencies deps);

  ~NightShiftManager() override;

  Published<bool> isNightShiftEnabled;
  Published<float> colorTemperatureStrength;
  Published<bool> autoEnable;  // a write runs the Keep Always On change handling
  // Written only when they change, so an unchanged read still notifies twice.
  Published<std::optional<Backend>> backend;          // nothing until the client's set-up has run
  Published<std::optional<BlueLightReason>> reason;   // why off, or why the last request failed
  Published<Unconfirmed> unconfirmed;

  // The strength the desktop last reported (the value at creation until a
  // read says one): colorTemperatureStrength follows a drag step by step,
  // this only what the desktop took. Main only.
  float lastReadStrength() const { return lastReadStrength_; }

  void updateStatus();  // safe from any thread
  void enableNightShift();  // Keep Always On's own: no deadline
  void enableNightShift(Request request);
  // Refused (and logged) while Keep Always On is set.
  void disableNightShift() { disableNightShift(Request{}); }
  void disableNightShift(Request request);
  void setColorTemperatureStrength(float strength) { setColorTemperatureStrength(strength, Request{}); }
  void setColorTemperatureStrength(float strength, Request request);
  // Writes autoEnable, as the switch does, and says what became of it.
  void setAutoEnable(bool value, Request request);

  // Run by the provider's callback; public for the binding.
  void handleStatusChange();
  void checkAutoReEnable(bool wasEnabled, bool isEnabled);

  bool isInternalUpdateForTesting() const { return isInternalUpdate_.load(); }
  bool hasPerformedInitialCheckForTesting() const { return hasPerformedInitialCheck_; }

 private:
  // One status read as the main queue receives it.
  struct Read {
    bool ok = false;                       // the status record was read
    bool enabled = false;
    std::optional<float> strength;         // nothing when it could not be read
    std::optional<BlueLightReason> reason;
    Backend backend;
  };
  enum class Asked { on, off, strength };
  // A command queued on clientQueue that main has not heard run yet.
  struct PendingCommand {
    Asked asked = Asked::on;
    float strength = 0;
    // The latest deadline of the requests waiting on it (infinite for Keep
    // Always On's own): past it the command is dropped, not run.
    std::shared_ptr<std::atomic<double>> dropAfter;
  };
  // A request waiting for its outcome.
  struct Watch {
    Asked asked = Asked::on;
    float strength = 0;
    unsigned command = 0;
    bool already = false;  // the last read showed it before the request
    bool ran = false;      // its command has reached the platform
    bool sawRead = false;  // a read has been applied since
    std::function<void(const Outcome&)> completion;
  };

  explicit NightShiftManager(Dependencies deps);
  void initialise();
  void setupBlueLightClient();  // on clientQueue
  void readStatus();            // the clientQueue half of updateStatus()
  void applyStatus(const Read& read);  // main
  void applyState(bool enabled, std::optional<float> strength);  // main: the published state and Keep Always On
  void publishReadState(const Read& read);  // main
  Backend backendNow() const;  // on clientQueue
  void autoEnableDidChange(bool value);
  void queueCommand(bool enable, std::optional<Request> request);  // main
  using DropTime = std::shared_ptr<std::atomic<double>>;
  void runCommand(bool enable, unsigned number, unsigned id, const DropTime& dropAfter);  // on clientQueue
  void runStrength(float strength, unsigned id, const DropTime& dropAfter);              // on clientQueue
  void closeCommandWindow(unsigned number, bool reachedClient);  // main

  // Requests and their outcomes (NightShiftRequests.cpp), all on main but
  // where said. Returns the id of the command the request waits on: a queued
  // one asking the same that has not run yet, or a new one (`queue` queues it).
  unsigned openRequest(Asked asked, float strength, std::optional<Request> request,
                       const std::function<void(unsigned id, const DropTime&)>& queue);
  // On clientQueue: whether command `id` is past its deadline, and so dropped (and said).
  bool dropIfLate(unsigned id, const DropTime& dropAfter, const std::string& what);
  void reportRan(unsigned id, bool reachedClient, bool dropped = false);  // on clientQueue
  void commandRan(unsigned id, bool reachedClient, bool dropped);
  void judge(const Read& read);
  void expire(unsigned watch);
  void complete(unsigned watch, Outcome outcome);
  void markUnconfirmed(Asked asked);
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
  // Why the last write of autoEnable could not be saved (with the login item,
  // as one), which then published the value that stands again. Main only.
  std::optional<std::string> autoEnableSaveFailure_;
  bool restoringAutoEnable_ = false;                  // main only: the write that undoes a refused one

  Dependencies deps_;
  const Logger& logger_;
  std::unique_ptr<CBBlueLightClient> blueLightClient_;  // clientQueue only
  std::shared_ptr<DispatchQueue> clientQueue_;
  std::atomic<bool> isInternalUpdate_{false};
  bool hasPerformedInitialCheck_ = false;  // main only
  std::map<unsigned, PendingCommand> commands_;  // main only, by id
  std::map<unsigned, Watch> watches_;            // main only, by id
  unsigned lastId_ = 0;                          // main only
  // The strength last read, the value at creation until one is: what the
  // popover falls back to when an asked one did not take. Main only.
  static constexpr float kStrengthAtCreation = 0.5f;
  float lastReadStrength_ = kStrengthAtCreation;
};

}  // namespace duskwarden
