#pragma once

namespace duskwarden {

// The night-light provider library is loaded later, on the client queue's
// thread, and pulls in GObject/GIO and Xlib. Their one-time initialisation is
// not safe against the main thread using GLib through Qt's event loop at the
// same moment (seen as heap corruption at start-up), so the process entry
// calls this on the main thread before any other thread exists.
void prepareSharedLibraries();

}  // namespace duskwarden
