#pragma once
// What a backend keeps between runs (the user's own settings it replaced, the
// warmth chosen where the compositor keeps none) lives in small key files in
// $XDG_STATE_HOME/duskwarden/, read and written only through the one safe
// file path (base/ownfile): a FIFO, a device or a huge file there is
// refused with its reason, never waited on.

#include <glib.h>

#include <optional>
#include <string>

#include "base/glib/GLibPtr.h"

namespace duskwarden::provider {

// $XDG_STATE_HOME/duskwarden/<name>
std::string stateFilePath(const char* name);

struct StateFile {
  enum class Outcome {
    missing,   // nothing kept
    loaded,    // `file` holds it
    damaged,   // a regular file that is not a key file: holds nothing worth keeping
    unusable,  // something that is not ours to replace or remove (a FIFO, a directory, a loop of links ...)
  };
  Outcome outcome = Outcome::missing;
  KeyFilePtr file;      // loaded: the key file
  std::string problem;  // damaged or unusable: "<path>: it is a FIFO"
};

StateFile loadStateFile(const std::string& path);
// Replaces the file at `path` atomically; nothing, or why not ("<path>: ...").
std::optional<std::string> saveStateFile(const std::string& path, GKeyFile* file);
// Removes the file (or the link) at `path`; anything else there (a FIFO, a
// directory) is no file of ours and stays, for the next save to name it.
void forgetStateFile(const std::string& path);

// A string kept in a state file that is to be written somewhere else again:
// one short line, without '[' (which could pass for a group header) or
// control characters. A hand-edited "\n" must never become a new line there.
bool isPlainValue(const std::string& value);

}  // namespace duskwarden::provider
