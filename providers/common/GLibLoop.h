#pragma once
// A GLib main context on a thread of the backend's own, for the backends that
// talk D-Bus. Every GLib object of such a backend lives on that thread: its
// own connection, proxies and settings are made there (connect()), used there
// (onLoop), and dropped there (disconnect()) before the thread ends.
//
// The backend's state derives from GLibLoop and is held by a shared_ptr that
// the thread shares, so a backend destroyed from inside its own callback (on
// this very thread) can leave the thread detached with its state alive.

#include <glib.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace duskwarden::provider {

class GLibLoop {
 public:
  GLibLoop();
  virtual ~GLibLoop();
  GLibLoop(const GLibLoop&) = delete;
  GLibLoop& operator=(const GLibLoop&) = delete;

  // Runs `loop`'s connect() and then its main loop on a new thread. False,
  // with the thread already ended, when connect() failed.
  static bool start(const std::shared_ptr<GLibLoop>& loop, std::thread* thread);
  // Quits the main loop (through the context, so the quit cannot be lost
  // before the loop runs) and ends `thread`: joined, or detached when called
  // from that thread itself.
  void stop(std::thread& thread);

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

 protected:
  virtual bool connect() = 0;     // on the thread, before the loop runs; false ends it
  virtual void disconnect() = 0;  // on the thread, after the loop (also after a failed connect)

 private:
  static void run(const std::shared_ptr<GLibLoop>& self, std::promise<bool> ready);

  GMainContext* context_;
  GMainLoop* loop_;
};

// A backend's started loop and its thread, as one member. `L` derives from
// GLibLoop and has a CallbackSlot `callback`. Destroying it first stops the
// callback (no call reaches a backend being destroyed), then the thread,
// which keeps the loop's state alive if it is the one destroying it.
template <class L>
class GLibLoopThread {
 public:
  GLibLoopThread() = default;
  GLibLoopThread(GLibLoopThread&&) noexcept = default;
  GLibLoopThread& operator=(GLibLoopThread&&) = delete;
  ~GLibLoopThread() {
    if (!loop_) return;  // never started, or moved from
    loop_->callback.stop();
    loop_->stop(thread_);
  }

  // False when the loop's connect() failed; the thread has ended then.
  bool start() {
    auto loop = std::make_shared<L>();
    if (!GLibLoop::start(loop, &thread_)) return false;
    loop_ = std::move(loop);
    return true;
  }

  L* get() const { return loop_.get(); }
  L* operator->() const { return loop_.get(); }

 private:
  std::shared_ptr<L> loop_;
  std::thread thread_;
};

}  // namespace duskwarden::provider
