#pragma once
// One connection to a wlroots compositor and our gamma controls on it. All
// of it runs on the backend's event thread: no libwayland object is shared
// with another thread.
//
// Per output: get_gamma_control, then, on gamma_size, our ramps through
// set_gamma. No request reads gamma back, so "shown" means the compositor
// had its chance to refuse: a wl_display.sync sent after the request came
// back with no `failed` before it. Until every request is answered that way
// the session has no settled state (enabled() is nullopt), so a refused
// request never reads as a moment of "on" (Keep Always On counts refused
// re-enables to space its retries; a flicker of "on" would reset that count).

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backendkit/Log.h"
#include "wlroots/WaylandConnection.h"

struct wl_callback;
struct wl_registry;
struct zwlr_gamma_control_manager_v1;
struct zwlr_gamma_control_v1;

namespace duskwarden::provider::wlroots {

// GNOME's default and the X11 backend's: the warmth before the user picks one.
inline constexpr double kDefaultKelvin = 2700.0;

struct Target {
  bool on = false;
  double kelvin = kDefaultKelvin;
};

class GammaSession {
 public:
  // Takes `fd`, a socket connected to the compositor, in every case. nullptr,
  // with *error set, when the compositor does not answer or offers no gamma
  // control. `where` names the socket in messages.
  static std::unique_ptr<GammaSession> open(int fd, const std::string& where, std::string* error);
  // Detection: only reads the registry (binds nothing) and disconnects.
  static bool offersGammaControl(int fd, const std::string& where, std::string* why);
  // Destroys our controls (the compositor restores the outputs' gamma) and disconnects.
  ~GammaSession();
  GammaSession(const GammaSession&) = delete;
  GammaSession& operator=(const GammaSession&) = delete;

  // Moves the controls toward `target`: requests a control for every output
  // that has none (new outputs included), sends new ramps when the
  // temperature changed, destroys the controls when off. An output whose
  // control failed or was refused is asked again only with `retry` (an
  // explicit command), so a refusing compositor is never asked in a loop.
  void apply(const Target& target, bool retry);

  // "On": the target is on, every output that supports gamma shows our
  // ramps, and at least one does (unless there are no outputs at all: then
  // there is nothing left to warm). nullopt while a request is unanswered.
  std::optional<bool> enabled() const;
  // While the target is on: why an output does not show our ramps, when it is
  // another client's doing (it holds the output's gamma, or took it from us);
  // empty otherwise.
  std::string heldElsewhere() const;

  // The event loop's half (see WaylandConnection); beforePoll first asks
  // the compositor to confirm what was sent since the last time.
  using Ready = WaylandConnection::Ready;
  Ready beforePoll(short* events);
  bool afterPoll(short revents);
  const WaylandConnection& connection() const { return *connection_; }

  struct Output;

 private:
  struct Round {
    GammaSession* session;
    std::uint64_t number;
    wl_callback* callback;
  };
  enum class State;

  explicit GammaSession(std::unique_ptr<WaylandConnection> connection);
  wl_display* display() const { return connection_->display(); }
  static void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
  static void onGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
  static void onGammaSize(void* data, zwlr_gamma_control_v1* control, std::uint32_t size);
  static void onFailed(void* data, zwlr_gamma_control_v1* control);
  static void onRoundDone(void* data, wl_callback* callback, std::uint32_t serial);

  void request(Output& output);
  void payRetry(Output& output);
  void noteNoGamma();
  void sendRamps(Output& output);
  void drop(Output& output);
  void release(Output& output);
  void startRound();
  void settle(std::uint64_t round);

  std::unique_ptr<WaylandConnection> connection_;
  wl_registry* registry_ = nullptr;
  zwlr_gamma_control_manager_v1* manager_ = nullptr;
  std::uint32_t managerName_ = 0;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::list<Round> rounds_;
  std::uint64_t lastRound_ = 0;
  Target target_;
  LogOnce failures_;  // per connection: a compositor that comes back is reported afresh
};

}  // namespace duskwarden::provider::wlroots
