#pragma once
// Owning pointers for GLib objects, for the program and the provider alike.

#include <glib.h>

#include <memory>

namespace duskwarden {

// A key file is reference-counted: dropping our reference must not empty a
// file someone else still holds, as g_key_file_free() would.
struct GKeyFileDeleter {
  void operator()(GKeyFile* f) const { g_key_file_unref(f); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, GKeyFileDeleter>;

struct GErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

struct GFreeDeleter {
  void operator()(gchar* p) const { g_free(p); }
};
using GStringPtr = std::unique_ptr<gchar, GFreeDeleter>;

}  // namespace duskwarden
