#pragma once
// What a backend keeps between runs (the user's own settings it replaced, the
// warmth chosen where the compositor keeps none) lives in small key files in
// $XDG_STATE_HOME/duskwarden/.

#include <glib.h>

#include <memory>
#include <string>

namespace duskwarden::provider {

inline std::string stateFilePath(const char* name) {
  g_autofree char* path = g_build_filename(g_get_user_state_dir(), "duskwarden", name, nullptr);
  return path;
}

struct KeyFileFree {
  void operator()(GKeyFile* file) const { g_key_file_unref(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

}  // namespace duskwarden::provider
