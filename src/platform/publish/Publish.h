#pragma once
// Change publishing: published properties, will-change notifications and
// subscription handles.
//
// Every write of a Published<T> first fires its owner's objectWillChange and
// then sends the new value to every subscriber, even when the value did not
// change. A new subscriber gets the current value at once, then every later
// value. Subscriptions end when their AnyCancellable is released or cancelled.
// Writes belong on the main thread (debug builds abort on any other; see
// MainThreadChecker); delivery "on a queue" is always asynchronous, even when
// the write happens on that queue.

#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace duskwarden {

// A subscription handle: cancels its subscription when cancelled or destroyed.
class AnyCancellable {
 public:
  AnyCancellable() = default;
  explicit AnyCancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  AnyCancellable(AnyCancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  AnyCancellable& operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
      cancel();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  AnyCancellable(const AnyCancellable&) = delete;
  AnyCancellable& operator=(const AnyCancellable&) = delete;
  ~AnyCancellable() { cancel(); }

  void cancel() {
    if (auto c = std::exchange(cancel_, nullptr)) c();
  }
  explicit operator bool() const { return static_cast<bool>(cancel_); }

 private:
  std::function<void()> cancel_;
};

// A list of subscribers of one value type. Subscribers may cancel (their own
// or another's subscription) or subscribe while a value is being sent.
template <class... Args>
class Subject {
 public:
  using Handler = std::function<void(const Args&...)>;

  Subject() : state_(std::make_shared<State>()) {}
  Subject(const Subject&) = delete;
  Subject& operator=(const Subject&) = delete;

  AnyCancellable sink(Handler handler) {
    std::uint64_t id;
    {
      std::lock_guard lock(state_->mutex);
      id = state_->nextId++;
      state_->handlers.emplace(id, std::make_shared<Handler>(std::move(handler)));
    }
    std::weak_ptr<State> weak = state_;
    return AnyCancellable([weak, id] {
      if (auto s = weak.lock()) {
        std::lock_guard lock(s->mutex);
        s->handlers.erase(id);
      }
    });
  }

  // Delivers each value asynchronously on `queue`. A value already queued when
  // the subscription is cancelled is not delivered.
  AnyCancellable sink(DispatchQueue& queue, Handler handler) {
    auto alive = std::make_shared<std::atomic<bool>>(true);
    auto shared = std::make_shared<Handler>(std::move(handler));
    auto inner = sink([&queue, alive, shared](const Args&... args) {
      queue.async([alive, shared, args...] {
        if (*alive) (*shared)(args...);
      });
    });
    auto innerHolder = std::make_shared<AnyCancellable>(std::move(inner));
    return AnyCancellable([alive, innerHolder] {
      *alive = false;
      innerHolder->cancel();
    });
  }

  void send(const Args&... args) const {
    // Snapshot so handlers may subscribe or cancel during delivery; a handler
    // cancelled by an earlier one in this round is skipped.
    std::map<std::uint64_t, std::shared_ptr<Handler>> snapshot;
    {
      std::lock_guard lock(state_->mutex);
      snapshot = state_->handlers;
    }
    for (auto& [id, handler] : snapshot) {
      bool stillSubscribed;
      {
        std::lock_guard lock(state_->mutex);
        stillSubscribed = state_->handlers.count(id) != 0;
      }
      if (stillSubscribed) (*handler)(args...);
    }
  }

  std::size_t subscriberCountForTesting() const {
    std::lock_guard lock(state_->mutex);
    return state_->handlers.size();
  }

 private:
  struct State {
    std::mutex mutex;
    std::uint64_t nextId = 0;
    std::map<std::uint64_t, std::shared_ptr<Handler>> handlers;
  };
  std::shared_ptr<State> state_;
};

// Debug builds (NDEBUG not defined) check that a write comes from the main
// thread: the one that installed the main queue, or, while none is installed
// (tests that inject their queues), the one that made the checker. Views and
// will-change subscribers assume they run there; a write from another thread
// would race them silently. Release builds check nothing.
class MainThreadChecker {
 public:
  void checkWrite() const {
#ifndef NDEBUG
    const std::thread::id main = mainQueueThread().value_or(creator_);
    if (std::this_thread::get_id() != main) {
      std::fprintf(stderr, "duskwarden: published property written off the main thread\n");
      std::abort();
    }
#endif
  }

 private:
  [[maybe_unused]] std::thread::id creator_ = std::this_thread::get_id();
};

// A will-change publisher without payload.
using ObjectWillChangePublisher = Subject<>;

// Base of observable objects: owners of Published properties.
class ObservableObject {
 public:
  ObservableObject() = default;
  ObservableObject(const ObservableObject&) = delete;
  ObservableObject& operator=(const ObservableObject&) = delete;
  virtual ~ObservableObject() = default;

  ObjectWillChangePublisher objectWillChange;
};

template <class T>
class Published {
 public:
  // `didSet` runs after subscribers have been sent the new value.
  Published(ObservableObject& owner, T initial, std::function<void(const T&)> didSet = nullptr)
      : owner_(owner), value_(std::move(initial)), didSet_(std::move(didSet)) {}
  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;

  const T& get() const { return value_; }
  operator const T&() const { return value_; }  // NOLINT(google-explicit-constructor)

  void set(T newValue) {
    thread_.checkWrite();
    owner_.objectWillChange.send();
    value_ = std::move(newValue);
    const T sent = value_;
    subject_.send(sent);
    if (didSet_) didSet_(sent);
  }
  Published& operator=(T newValue) {
    set(std::move(newValue));
    return *this;
  }

  // Current value at once, then every later value.
  AnyCancellable sink(std::function<void(const T&)> handler) {
    // A copy, so a handler that writes the property does not see its argument change under it.
    const T current = value_;
    handler(current);
    return subject_.sink(std::move(handler));
  }

  // The same, delivered asynchronously on `queue` (the current value too).
  AnyCancellable sink(DispatchQueue& queue, std::function<void(const T&)> handler) {
    auto alive = std::make_shared<std::atomic<bool>>(true);
    auto shared = std::make_shared<std::function<void(const T&)>>(std::move(handler));
    const T current = value_;
    queue.async([alive, shared, current] {
      if (*alive) (*shared)(current);
    });
    auto inner = std::make_shared<AnyCancellable>(subject_.sink(queue, [alive, shared](const T& v) {
      if (*alive) (*shared)(v);
    }));
    return AnyCancellable([alive, inner] {
      *alive = false;
      inner->cancel();
    });
  }

 private:
  ObservableObject& owner_;
  T value_;
  std::function<void(const T&)> didSet_;
  Subject<T> subject_;
  MainThreadChecker thread_;
};

}  // namespace duskwarden
