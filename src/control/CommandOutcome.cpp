#include "control/CommandOutcome.h"

#include "control/InstanceProtocol.h"
#include "nightshift/NightShiftManager.h"

#include <cmath>

namespace duskwarden::commandoutcome {

namespace {

namespace protocol = instanceprotocol;

class Watch : public std::enable_shared_from_this<Watch> {
 public:
  Watch(std::shared_ptr<NightShiftManager> manager, Expectation expected, DispatchQueue& mainQueue,
        AfterClientQueue afterClientQueue, Reply reply)
      : manager_(std::move(manager)),
        expected_(expected),
        mainQueue_(mainQueue),
        afterClientQueue_(std::move(afterClientQueue)),
        reply_(std::move(reply)) {}

  void start() {
    afterClientQueue_([self = shared_from_this()](const ProviderInfo& provider) {
      if (!provider.supported) return self->answer(std::string(protocol::kAnswerUnsupported));
      self->watchStatuses();
    });
  }

 private:
  // Every status applied from now on came from a read made after the command.
  void watchStatuses() {
    std::weak_ptr<Watch> weak = weak_from_this();
    bool current = true;  // a new subscriber is first sent the value it already has
    applied_ = manager_->isNightShiftEnabled.sink([weak, current](const bool&) mutable {
      if (std::exchange(current, false)) return;
      if (auto self = weak.lock()) self->judge(false);
    });
    if (!expected_.enabled) manager_->updateStatus();  // on and off are read again by the manager itself
    mainQueue_.asyncAfter(kDeadlineSeconds, [self = shared_from_this()] {
      if (self->answered_) return;
      self->manager_->updateStatus();
      self->afterClientQueue_([self](const ProviderInfo&) { self->judge(true); });
    });
  }

  bool shows() const {
    if (expected_.enabled && manager_->isNightShiftEnabled.get() != *expected_.enabled) return false;
    return !expected_.strength ||
           std::fabs(manager_->colorTemperatureStrength.get() - *expected_.strength) <= kStrengthTolerance;
  }

  void judge(bool last) {
    if (answered_) return;
    if (shows()) return answer(std::string(protocol::kAnswerOk));
    if (const auto& reason = manager_->reason())
      return answer(protocol::formatFailure({std::string(protocol::reasonWord(reason->code)), reason->message}));
    if (last) return answer(protocol::formatFailure({std::string(protocol::kUnconfirmed), {}}));
  }

  void answer(const std::string& line) {
    answered_ = true;
    applied_.cancel();
    reply_(line);
  }

  std::shared_ptr<NightShiftManager> manager_;
  Expectation expected_;
  DispatchQueue& mainQueue_;
  AfterClientQueue afterClientQueue_;
  Reply reply_;
  AnyCancellable applied_;
  bool answered_ = false;
};

}  // namespace

void watch(std::shared_ptr<NightShiftManager> manager, Expectation expected, DispatchQueue& mainQueue,
           AfterClientQueue afterClientQueue, Reply reply) {
  std::make_shared<Watch>(std::move(manager), expected, mainQueue, std::move(afterClientQueue), std::move(reply))
      ->start();
}

}  // namespace duskwarden::commandoutcome
