#pragma once
// Owning pointers for the GLib objects the platform rooms use.

#include <glib.h>

#include <memory>

namespace duskwarden {

struct GKeyFileDeleter {
  void operator()(GKeyFile* f) const { g_key_file_free(f); }
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
