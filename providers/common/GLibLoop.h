#pragma once
// A GLib main context on a thread of the backend's own, for the backends that
// talk D-Bus. Every GLib object of such a backend lives on that thread: its
// own connection, proxies and settings are made there (connect()), used there
// (onLoop), and dropped there (disconnect()) before the thread ends.
//
// The backend's state derives from GLibLoop and runs as a WorkerThread
// (common/WorkerThread.h), which says how it ends.

#include <gio/gio.h>

#include <atomic>
#include <future>
#include <memory>
#include <utility>

#include "common/WorkerThread.h"

namespace duskwarden::provider {

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

  // Runs `work` on the loop's thread and waits for its result; inline when
  // already there (from a callback).
  template <typename T, typename F>
  T onLoop(F work) {
    if (g_main_context_is_owner(context_)) return work();
    struct Job {
      F work;
      std::promise<T> result;
      // GLib hands the job over with futexes that race checkers cannot see;
      // this says the same in terms they can.
      std::atomic<bool> posted{false};
    };
    auto* job = new Job{std::move(work), {}};
    auto future = job->result.get_future();
    job->posted.store(true, std::memory_order_release);
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* j = static_cast<Job*>(data);
          (void)j->posted.load(std::memory_order_acquire);
          j->result.set_value(j->work());
          return G_SOURCE_REMOVE;
        },
        job, [](gpointer data) { delete static_cast<Job*>(data); });
    return future.get();
  }

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
};

// A backend's started loop and its thread, as one member. `L` derives from
// GLibLoop and has a CallbackSlot `callback`; destroying this ends the thread
// as every worker thread ends (common/WorkerThread.h).
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
