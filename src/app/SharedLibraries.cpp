#include "app/SharedLibraries.h"

#include <X11/Xlib.h>
#include <gio/gio.h>

namespace duskwarden {

void prepareSharedLibraries() {
  XInitThreads();
  g_type_ensure(G_TYPE_OBJECT);
  g_type_ensure(G_TYPE_FILE);  // also runs GIO's own initialisation
}

}  // namespace duskwarden
