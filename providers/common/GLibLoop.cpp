#include "common/GLibLoop.h"

#include "common/CallbackSlot.h"

namespace duskwarden::provider {

GLibLoop::GLibLoop() : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {}

GLibLoop::~GLibLoop() {
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

bool GLibLoop::start(const std::shared_ptr<GLibLoop>& loop, std::thread* thread) {
  std::promise<bool> ready;
  auto connected = ready.get_future();
  *thread = std::thread([loop, r = std::move(ready)]() mutable { run(loop, std::move(r)); });
  if (connected.get()) return true;
  thread->join();
  return false;
}

void GLibLoop::run(const std::shared_ptr<GLibLoop>& self, std::promise<bool> ready) {
  g_main_context_push_thread_default(self->context_);
  const bool ok = self->connect();
  ready.set_value(ok);
  if (ok) g_main_loop_run(self->loop_);
  self->disconnect();
  // Let pending unrefs and closes finish before the context goes.
  while (g_main_context_iteration(self->context_, FALSE)) {
  }
  g_main_context_pop_thread_default(self->context_);
}

void GLibLoop::stop(std::thread& thread) {
  g_main_context_invoke(
      context_,
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_);
  endThread(thread);
}

}  // namespace duskwarden::provider
