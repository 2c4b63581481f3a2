#include "backendkit/GLibLoop.h"

#include "backendkit/Log.h"

namespace duskwarden::provider {

GLibLoop::GLibLoop()
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)), cancellable_(g_cancellable_new()) {}

GLibLoop::~GLibLoop() {
  g_object_unref(cancellable_);
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

void GLibLoop::run() {
  g_main_context_push_thread_default(context_);
  const bool ok = connect();
  connected_.set_value(ok);
  serving_ = ok;
  if (ok) g_main_loop_run(loop_);
  serving_ = false;  // a request still queued finds nothing to work on
  disconnect();
  // Let pending unrefs and closes finish before the context goes.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  g_main_context_pop_thread_default(context_);
}

bool GLibLoop::admit(const char* what) {
  if (!overdue_.load()) return true;
  reason.set(DW_NIGHTLIGHT_REASON_TIMEOUT, std::string(what) + ": an earlier request has not finished yet");
  return false;
}

bool GLibLoop::giveUp(std::atomic<int>& state, const char* what, std::chrono::milliseconds deadline) {
  overdue_.store(true);  // before giving the job up, so that its end cannot be missed
  int expected = kPending;
  if (!state.compare_exchange_strong(expected, kAbandoned)) {
    overdue_.store(false);  // it finished just now
    return false;
  }
  const auto ms = deadline.count();
  const std::string span = ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  reason.set(DW_NIGHTLIGHT_REASON_TIMEOUT, std::string(what) + " did not finish within " + span);
  logError("%s did not finish within %s; the next requests are answered at once until it has", what, span.c_str());
  return true;
}

void GLibLoop::finished(std::atomic<int>& state) {
  if (state.exchange(kDone) == kAbandoned) overdue_.store(false);
}

void GLibLoop::wake() {
  g_cancellable_cancel(cancellable_);
  g_main_context_invoke(
      context_,
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_);
}

}  // namespace duskwarden::provider
