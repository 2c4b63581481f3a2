#include "wlroots/GammaSession.h"

#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "wlr-gamma-control-unstable-v1-client-protocol.h"
#include "wlroots/GammaTable.h"

namespace duskwarden::provider::wlroots {

namespace {

constexpr const char* kManagerInterface = "zwlr_gamma_control_manager_v1";
constexpr const char* kNotOffered = " (not a wlroots compositor, or it keeps gamma control from this client)";
constexpr std::uint32_t kOutputVersion = 4;  // for wl_output.name, the name users know ("DP-1")
}  // namespace

enum class GammaSession::State {
  idle,       // no control, none wanted yet
  requested,  // get_gamma_control sent, no gamma_size yet
  setSent,    // set_gamma sent, not yet confirmed by a sync
  shown,      // our ramps, confirmed
  noGamma,    // refused at the first request: no gamma here (does not count against "on")
  refused,    // refused later, or no answer: asked again on the next command
  lost,       // `failed` after we held it: taken by another client, or the ramps were refused
};

struct GammaSession::Output {
  GammaSession* session;
  std::uint32_t global;
  std::uint32_t version;
  wl_output* output = nullptr;
  std::string name;
  zwlr_gamma_control_v1* control = nullptr;
  State state = State::idle;
  std::uint32_t size = 0;
  bool everSized = false;         // gamma_size came once on this connection
  std::uint64_t settleRound = 0;  // the sync whose answer settles a pending request; 0: none sent yet
  bool retryOwed = false;         // a command came while a request was in flight: ask again if it fails
  double sentKelvin = 0.0;
  double shownKelvin = 0.0;

  bool pending() const { return state == State::requested || state == State::setSent; }
};

namespace {

const wl_output_listener kOutputListener = {
    [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*,
       const char*, std::int32_t) {},
    [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    [](void*, wl_output*) {},
    [](void*, wl_output*, std::int32_t) {},
    [](void* data, wl_output*, const char* name) { static_cast<GammaSession::Output*>(data)->name = name; },
    [](void*, wl_output*, const char*) {},
};

}  // namespace

GammaSession::GammaSession(std::unique_ptr<WaylandConnection> connection) : connection_(std::move(connection)) {}

std::unique_ptr<GammaSession> GammaSession::open(int fd, const std::string& where, std::string* error) {
  auto connection = WaylandConnection::open(fd, where, error);
  if (!connection) return nullptr;
  std::unique_ptr<GammaSession> session(new GammaSession(std::move(connection)));
  static const wl_registry_listener listener = {onGlobal, onGlobalRemove};
  session->registry_ = wl_display_get_registry(session->display());
  wl_registry_add_listener(session->registry_, &listener, session.get());
  // The first answer lists the globals; the second brings the outputs' names.
  if (!session->connection_->roundtrip(error) || !session->connection_->roundtrip(error)) return nullptr;
  if (session->manager_ == nullptr) {
    *error = where + " offers no " + kManagerInterface + kNotOffered;
    return nullptr;
  }
  return session;
}

bool GammaSession::offersGammaControl(int fd, const std::string& where, std::string* why) {
  auto connection = WaylandConnection::open(fd, where, why);
  if (!connection) return false;
  bool offered = false;
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, kManagerInterface) == 0) *static_cast<bool*>(data) = true;
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(connection->display());
  wl_registry_add_listener(registry, &listener, &offered);
  const bool answered = connection->roundtrip(why);
  wl_registry_destroy(registry);
  if (answered && !offered) *why = where + " offers no " + kManagerInterface + kNotOffered;
  return answered && offered;
}

GammaSession::~GammaSession() {
  for (auto& output : outputs_) release(*output);
  for (auto& round : rounds_) wl_callback_destroy(round.callback);
  if (manager_ != nullptr) zwlr_gamma_control_manager_v1_destroy(manager_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
}

void GammaSession::onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                            std::uint32_t version) {
  auto* self = static_cast<GammaSession*>(data);
  if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<Output>();
    output->session = self;
    output->global = name;
    output->version = std::min(version, kOutputVersion);
    output->name = "wl_output " + std::to_string(name);  // until wl_output.name tells
    output->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, output->version));
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    self->outputs_.push_back(std::move(output));  // apply() asks for its control
  } else if (std::strcmp(interface, kManagerInterface) == 0 && self->manager_ == nullptr) {
    self->managerName_ = name;
    self->manager_ = static_cast<zwlr_gamma_control_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_gamma_control_manager_v1_interface, 1));
  }
}

void GammaSession::onGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto* self = static_cast<GammaSession*>(data);
  if (self->manager_ != nullptr && name == self->managerName_) {
    for (auto& output : self->outputs_) {
      self->drop(*output);
      output->state = State::idle;
    }
    zwlr_gamma_control_manager_v1_destroy(self->manager_);
    self->manager_ = nullptr;
    logError("wlroots: %s withdrew %s; night light is off", self->connection_->where().c_str(), kManagerInterface);
    return;
  }
  auto& outputs = self->outputs_;
  const auto found =
      std::find_if(outputs.begin(), outputs.end(), [name](const auto& output) { return output->global == name; });
  if (found == outputs.end()) return;
  self->release(**found);
  outputs.erase(found);
}

void GammaSession::onGammaSize(void* data, zwlr_gamma_control_v1*, std::uint32_t size) {
  auto& output = *static_cast<Output*>(data);
  GammaSession& self = *output.session;
  if (output.state != State::requested) return;
  if (size == 0) {
    self.drop(output);
    output.state = State::noGamma;
    output.retryOwed = false;  // asking again gets the same size
    self.failures_.error("no gamma " + output.name,
                         "wlroots: output %s has a gamma ramp of size 0; it is left as it is", output.name.c_str());
    self.noteNoGamma();
    return;
  }
  output.size = size;
  output.everSized = true;
  self.sendRamps(output);
}

void GammaSession::onFailed(void* data, zwlr_gamma_control_v1*) {
  auto& output = *static_cast<Output*>(data);
  GammaSession& self = *output.session;
  const State was = output.state;
  self.drop(output);
  const char* name = output.name.c_str();
  if (was == State::requested && !output.everSized) {
    output.state = State::noGamma;
    self.failures_.error("no gamma " + output.name,
                         "wlroots: zwlr_gamma_control_manager_v1.get_gamma_control on output %s failed at once: "
                         "it has no gamma ramps (or another program already holds them); it does not count "
                         "against night light being on",
                         name);
    self.noteNoGamma();
  } else if (was == State::requested) {
    output.state = State::refused;
    self.failures_.error("refused " + output.name,
                         "wlroots: zwlr_gamma_control_manager_v1.get_gamma_control on output %s failed: another "
                         "program holds its gamma ramps",
                         name);
  } else if (was == State::setSent) {
    output.state = State::lost;
    self.failures_.error("set failed " + output.name,
                         "wlroots: zwlr_gamma_control_v1.set_gamma on output %s failed: the compositor could not "
                         "apply the ramps, or another program took the output",
                         name);
  } else if (was == State::shown) {
    output.state = State::lost;
    self.failures_.error("taken " + output.name,
                         "wlroots: zwlr_gamma_control_v1 on output %s failed: another program took its gamma ramps",
                         name);
  }
  self.payRetry(output);
}

void GammaSession::noteNoGamma() {
  const bool none = std::all_of(outputs_.begin(), outputs_.end(),
                                [](const auto& output) { return output->state == State::noGamma; });
  if (none)
    failures_.error("no gamma anywhere", "wlroots: no output of %s has gamma ramps, so night light cannot be shown",
                    connection_->where().c_str());
}

void GammaSession::payRetry(Output& output) {
  if (!output.retryOwed) return;
  output.retryOwed = false;
  if (target_.on && manager_ != nullptr) request(output);
}

void GammaSession::onRoundDone(void* data, wl_callback*, std::uint32_t) {
  auto* round = static_cast<Round*>(data);
  GammaSession& self = *round->session;
  const std::uint64_t number = round->number;
  wl_callback_destroy(round->callback);
  self.rounds_.remove_if([round](const Round& r) { return &r == round; });
  self.settle(number);
}

void GammaSession::settle(std::uint64_t round) {
  for (auto& output : outputs_) {
    if (output->settleRound == 0 || output->settleRound > round) continue;
    output->settleRound = 0;
    if (output->state == State::setSent) {
      output->state = State::shown;
      output->shownKelvin = output->sentKelvin;
      output->retryOwed = false;
    } else if (output->state == State::requested) {
      // Neither gamma_size nor failed: wlroots 0.15 answers so when it has
      // just ended another client's control of this output. The next
      // command asks again; asking at once would take turns with that
      // client as fast as both can ask.
      drop(*output);
      output->state = State::refused;
      failures_.error("no answer " + output->name,
                      "wlroots: zwlr_gamma_control_manager_v1.get_gamma_control on output %s: no answer (another "
                      "program held its gamma ramps); asking again on the next command",
                      output->name.c_str());
      payRetry(*output);
    }
  }
}

void GammaSession::apply(const Target& target, bool retry) {
  target_ = target;
  for (auto& output : outputs_) {
    if (!target.on) {
      drop(*output);
      output->state = State::idle;
      continue;
    }
    if (manager_ == nullptr) continue;
    // The answer to what is already in flight may be a refusal that this
    // command should not leave standing.
    if (retry && output->pending()) output->retryOwed = true;
    switch (output->state) {
      case State::idle:
        request(*output);
        break;
      case State::noGamma:
      case State::refused:
      case State::lost:
        if (retry) request(*output);
        break;
      case State::shown:
        if (output->shownKelvin != target.kelvin) sendRamps(*output);
        break;
      case State::setSent:
        if (output->sentKelvin != target.kelvin) sendRamps(*output);
        break;
      case State::requested:
        break;
    }
  }
}

std::optional<bool> GammaSession::enabled() const {
  if (std::any_of(outputs_.begin(), outputs_.end(), [](const auto& output) { return output->pending(); }))
    return std::nullopt;
  if (!target_.on || manager_ == nullptr) return false;
  bool anyShown = false;
  for (const auto& output : outputs_) {
    if (output->state == State::shown)
      anyShown = true;
    else if (output->state != State::noGamma)
      return false;
  }
  return anyShown || outputs_.empty();
}

std::string GammaSession::heldElsewhere() const {
  if (!target_.on) return {};
  for (const auto& output : outputs_)
    if (output->state == State::refused || output->state == State::lost)
      return "another program holds the gamma ramps of output " + output->name;
  return {};
}

void GammaSession::request(Output& output) {
  static const zwlr_gamma_control_v1_listener listener = {onGammaSize, onFailed};
  drop(output);
  output.control = zwlr_gamma_control_manager_v1_get_gamma_control(manager_, output.output);
  zwlr_gamma_control_v1_add_listener(output.control, &listener, &output);
  output.state = State::requested;
}

void GammaSession::sendRamps(Output& output) {
  std::string error;
  const int fd = makeGammaTable(target_.kelvin, output.size, &error);
  if (fd < 0) {
    drop(output);
    output.state = State::refused;
    failures_.error("table " + output.name, "wlroots: the gamma table for output %s: %s", output.name.c_str(),
                    error.c_str());
    return;
  }
  zwlr_gamma_control_v1_set_gamma(output.control, fd);  // sends a duplicate
  ::close(fd);
  output.sentKelvin = target_.kelvin;
  output.state = State::setSent;
  output.settleRound = 0;
}

void GammaSession::drop(Output& output) {
  if (output.control != nullptr) zwlr_gamma_control_v1_destroy(output.control);
  output.control = nullptr;
  output.settleRound = 0;
}

void GammaSession::release(Output& output) {
  drop(output);
  if (output.version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
    wl_output_release(output.output);
  else
    wl_output_destroy(output.output);
}

void GammaSession::startRound() {
  bool unsent = false;
  for (const auto& output : outputs_) unsent = unsent || (output->pending() && output->settleRound == 0);
  if (!unsent) return;
  static const wl_callback_listener listener = {onRoundDone};
  const std::uint64_t number = ++lastRound_;
  Round& round = rounds_.emplace_back(Round{this, number, wl_display_sync(display())});
  wl_callback_add_listener(round.callback, &listener, &round);
  for (auto& output : outputs_)
    if (output->pending() && output->settleRound == 0) output->settleRound = number;
}

GammaSession::Ready GammaSession::beforePoll(short* events) {
  startRound();
  return connection_->beforePoll(events);
}

bool GammaSession::afterPoll(short revents) { return connection_->afterPoll(revents); }

}  // namespace duskwarden::provider::wlroots
