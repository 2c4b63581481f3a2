#include "common/GLibLoop.h"

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
  if (ok) g_main_loop_run(loop_);
  disconnect();
  // Let pending unrefs and closes finish before the context goes.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  g_main_context_pop_thread_default(context_);
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
