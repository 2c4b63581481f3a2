#pragma once
// The one way the program and the provider open a shared library: the
// night-light provider, its backend modules and the update library all come
// through here, checked the same way, so none of them can end the process
// with a signal while being opened.
//
// Plain C++ over dlopen, with no other dependency: the program and the
// provider library each compile their own copy.

#include <string>

namespace duskwarden::loader {

class Library {
 public:
  Library() = default;

  // Checks the file first (LibraryFile.h), then dlopen(RTLD_NOW | RTLD_LOCAL)
  // and finds `entry` in the library itself, not in one it depends on. On
  // failure the Library is not open and `*reason` is one line beginning with
  // the path, fit for the log as it stands.
  static Library open(const std::string& path, const char* entry, std::string* reason);

  bool isOpen() const { return handle_ != nullptr; }
  // The entry point, as the function type the caller's header declares.
  template <class Fn>
  Fn entry() const {
    return reinterpret_cast<Fn>(entry_);
  }
  // Unloads it. There is no destructor that does this: a library whose code
  // is in use (a table, an object it made) stays loaded for the life of the
  // process; close only what is no longer used.
  void close();

 private:
  void* handle_ = nullptr;
  void* entry_ = nullptr;
};

}  // namespace duskwarden::loader
