#pragma once
// A backend's worker thread: the state it shares with its owner, the thread
// running on that state, and the one way to end it, written once so that
// every backend stops in the same safe order:
//  1. the state's callback slot is stopped: no status call begins any more,
//     so none reaches an owner that is being destroyed;
//  2. the thread is woken, and its run() returns;
//  3. the thread is joined, or detached when the owner is being destroyed
//     from inside the callback on that very thread, where joining would wait
//     for itself forever. The thread holds the state too (a shared_ptr), so
//     a detached thread keeps everything it still touches.
//
// `State` provides:
//   CallbackSlot callback;  // the status callback, called from the thread only
//   void run();             // the thread's body
//   void wake();            // makes run() return soon once `callback` is stopped

#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace duskwarden::provider {

// Joins `thread`, or detaches it when called from that thread itself.
void endThread(std::thread& thread);

template <class State>
class WorkerThread {
 public:
  WorkerThread() = default;
  // Runs state->run() on a new thread.
  explicit WorkerThread(std::shared_ptr<State> state)
      : state_(std::move(state)), thread_([state = state_] { state->run(); }) {}
  WorkerThread(WorkerThread&&) noexcept = default;
  WorkerThread& operator=(WorkerThread&& other) noexcept {
    stop();
    state_ = std::move(other.state_);
    thread_ = std::move(other.thread_);
    return *this;
  }
  ~WorkerThread() { stop(); }

  // Ends the thread in the order above; does nothing when there is none.
  void stop() {
    if (!state_) return;
    state_->callback.stop();
    state_->wake();
    endThread(thread_);
    state_.reset();
  }

  State* operator->() const { return state_.get(); }
  // For what may outlive the owner (a function handed out that reaches the thread).
  const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// The eventfd a worker waiting in poll() watches besides its work: wake()
// makes the poll return, drain() empties it for the next one.
class WakeFd {
 public:
  WakeFd() = default;
  ~WakeFd();
  WakeFd(const WakeFd&) = delete;
  WakeFd& operator=(const WakeFd&) = delete;

  // False, with `*error` naming the call, when no eventfd could be made.
  bool open(std::string* error);
  int fd() const { return fd_; }
  void wake() const;
  void drain() const;

 private:
  int fd_ = -1;
};

}  // namespace duskwarden::provider
