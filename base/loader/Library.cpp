#include "base/loader/Library.h"

#include <dlfcn.h>
#include <link.h>

#include "base/loader/LibraryFile.h"

namespace duskwarden::loader {

Library Library::open(const std::string& path, const char* entry, std::string* reason) {
  auto refuse = [&](const std::string& why) {
    if (reason) *reason = why;
    return Library();
  };
  if (auto problem = libraryFileProblem(path, entry); !problem.empty()) return refuse(problem);
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = ::dlerror();
    return refuse(error ? error : path + ": dlopen failed");
  }
  // dlsym also searches what the library depends on; its entry must be its own.
  void* symbol = ::dlsym(handle, entry);
  Dl_info info{};
  link_map* owner = nullptr;
  link_map* self = nullptr;
  if (symbol == nullptr || ::dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      ::dlinfo(handle, RTLD_DI_LINKMAP, &self) != 0 || owner != self) {
    ::dlclose(handle);
    return refuse(path + ": no entry point " + entry + " of its own");
  }
  Library library;
  library.handle_ = handle;
  library.entry_ = symbol;
  return library;
}

void Library::close() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
  entry_ = nullptr;
}

}  // namespace duskwarden::loader
