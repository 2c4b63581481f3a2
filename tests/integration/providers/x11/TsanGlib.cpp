// ThreadSanitizer, for tests that run GLib threads (the logind watcher):
// GLib, GIO and GObject are not built with it, and their locks (futexes) and
// atomic reference counts are invisible to it, so it reports races inside
// them that are not there. Reports whose stacks pass through those libraries
// are dropped; the X11 event thread and the command paths have no such frames.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "race:libglib-2.0.so\n"
         "race:libgio-2.0.so\n"
         "race:libgobject-2.0.so\n";
}
#endif
