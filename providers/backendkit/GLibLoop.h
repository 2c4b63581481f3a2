#pragma once
// A GLib main context on a thread of the backend's own, for the backends that
// talk D-Bus. Every GLib object of such a backend lives on that thread: its
// own connection, proxies and settings are made there (connect()), used there
// (onLoop), and dropped there (disconnect()) before the thread ends.
//
// The backend's state derives from GLibLoop and runs as a WorkerThread
// (backendkit/WorkerThread.h), which says how it ends.
//
// The caller's queue never waits on the loop for longer than a request's
// deadline: a request still running then (a daemon that does not answer, a
// file system that hangs) is reported as TIMEOUT through `reason`, and until
// it has finished, later requests answer at once instead of queueing behind it.

#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "backendkit/Reason.h"
#include "backendkit/WorkerThread.h"

namespace duskwarden::provider {

// Longer than any wait a request makes on purpose (a D-Bus call's 2 s, the
// 2 s for kwinrc's lock), shorter than the program's own 5 s for a command.
inline constexpr std::chrono::milliseconds kRequestDeadline{3000};

class GLibLoop {
 public:
  GLibLoop();
  virtual ~GLibLoop();
  GLibLoop(const GLibLoop&) = delete;
  GLibLoop& operator=(const GLibLoop&) = delete;

  // The thread's body: connect(), then the main loop until wake(), then disconnect().
  void run();
  // Cancels cancellable(), so that a connect() or call still waiting on a bus
  // gives up, and quits the main loop (through the context, so the quit cannot
  // be lost before the loop runs).
  void wake();
  // Whether connect() succeeded, once it has returned; taken once, before run().
  std::future<bool> connected() { return connected_.get_future(); }

  // Runs `work` on the loop's thread and waits for its result, for at most
  // `deadline`; inline when already there (from a callback). Nothing, and
  // `reason` TIMEOUT naming `what`, when the deadline passed or an earlier
  // request is still overdue; nothing too once the loop has ended. `work`
  // may thus run after the call has returned: it must own what it touches.
  template <typename T, typename F>
  std::optional<T> onLoop(const char* what, F work, std::chrono::milliseconds deadline = kRequestDeadline) {
    if (g_main_context_is_owner(context_)) return serving_ ? std::optional<T>(work()) : std::nullopt;
    if (!admit(what)) return std::nullopt;
    struct Job {
      GLibLoop* loop;
      F work;
      std::promise<std::optional<T>> result;
      std::shared_ptr<std::atomic<int>> state = std::make_shared<std::atomic<int>>(kPending);
      // GLib hands the job over with futexes that race checkers cannot see;
      // this says the same in terms they can.
      std::atomic<bool> posted{false};
    };
    auto* job = new Job{this, std::move(work), {}};
    auto future = job->result.get_future();
    const auto state = job->state;
    job->posted.store(true, std::memory_order_release);
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* j = static_cast<Job*>(data);
          (void)j->posted.load(std::memory_order_acquire);
          j->result.set_value(j->loop->serving_ ? std::optional<T>(j->work()) : std::nullopt);
          j->loop->finished(*j->state);
          return G_SOURCE_REMOVE;
        },
        job, [](gpointer data) { delete static_cast<Job*>(data); });
    if (future.wait_for(deadline) != std::future_status::ready && giveUp(*state, what, deadline)) return std::nullopt;
    try {
      return future.get();
    } catch (const std::future_error&) {  // the loop ended before it ran
      return std::nullopt;
    }
  }

  // Why night light is not on, as the backend's requests and events tell.
  ReasonBox reason;

  GMainContext* context() const { return context_; }
  GCancellable* cancellable() const { return cancellable_; }

 protected:
  virtual bool connect() = 0;     // on the thread, before the loop runs; false ends it
  virtual void disconnect() = 0;  // on the thread, after the loop (also after a failed connect)

 private:
  GMainContext* context_;
  GMainLoop* loop_;
  GCancellable* cancellable_;
  std::promise<bool> connected_;
  // A request's state, shared by the caller and the job.
  static constexpr int kPending = 0, kDone = 1, kAbandoned = 2;
  // False, with `reason` TIMEOUT, while an abandoned request still runs.
  bool admit(const char* what);
  // The deadline passed: abandons the request (true, `reason` TIMEOUT), or
  // answers false when it finished meanwhile.
  bool giveUp(std::atomic<int>& state, const char* what, std::chrono::milliseconds deadline);
  // On the loop's thread, after a request's work.
  void finished(std::atomic<int>& state);

  bool serving_ = false;  // between connect() and disconnect(); the loop's thread only
  std::atomic<bool> overdue_{false};
};

// A backend's started loop and its thread, as one member. `L` derives from
// GLibLoop and has a CallbackSlot `callback`; destroying this ends the thread
// as every worker thread ends (backendkit/WorkerThread.h).
template <class L>
class GLibLoopThread {
 public:
  // Makes the loop (from `args`), starts its thread and waits for connect():
  // false when it failed, and then the thread has ended.
  template <class... Args>
  bool start(Args&&... args) {
    auto loop = std::make_shared<L>(std::forward<Args>(args)...);
    auto connected = loop->connected();
    worker_ = WorkerThread<L>(std::move(loop));
    if (connected.get()) return true;
    worker_.stop();
    return false;
  }

  // The same without waiting, for a connect() that may block (a bus that
  // does not answer): it should use cancellable(), which stopping cancels.
  template <class... Args>
  void startInBackground(Args&&... args) {
    worker_ = WorkerThread<L>(std::make_shared<L>(std::forward<Args>(args)...));
  }

  L* get() const { return worker_.operator->(); }
  L* operator->() const { return get(); }

 private:
  WorkerThread<L> worker_;
};

}  // namespace duskwarden::provider
