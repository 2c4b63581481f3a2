#include "entry/Modules.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <string>

#include "backendkit/BackendModule.h"
#include "backendkit/Log.h"
#include "base/loader/Library.h"

namespace duskwarden::provider {

namespace {

struct Module {
  loader::Library library;
  const BackendKind* kind = nullptr;
  bool kept = false;
};

std::map<std::string, Module>& modules() {
  static auto* opened = new std::map<std::string, Module>;  // kept modules are never unloaded
  return *opened;
}

// Beside this library, wherever it was loaded from: the build tree and an
// installed tree have the same layout.
std::string modulePath(const char* name) {
  Dl_info self{};
  std::string directory = ".";
  if (::dladdr(reinterpret_cast<const void*>(&modulePath), &self) != 0 && self.dli_fname != nullptr) {
    directory = self.dli_fname;
    const auto slash = directory.rfind('/');
    directory = slash == std::string::npos ? "." : directory.substr(0, slash);
  }
  return directory + "/backends/" + name + ".so";
}

// The module's lines go where this library's go, even after set_log changes it.
void passOn(void*, int level, const char* message) { logLine(level, message); }

// Empty when the table is one this library can use for backend `name`.
std::string tableProblem(const BackendModule* module, const char* name) {
  if (module == nullptr) return std::string(kBackendModuleEntryPoint) + " returned no table";
  if (module->version != kBackendModuleVersion)
    return "unknown module table version " + std::to_string(module->version) + " (this library knows " +
           std::to_string(kBackendModuleVersion) + ")";
  if (module->size < sizeof(BackendModule))
    return "module table of " + std::to_string(module->size) + " bytes, expected " +
           std::to_string(sizeof(BackendModule));
  if (module->interfaceId == nullptr || std::strcmp(module->interfaceId, DW_BACKEND_INTERFACE_ID) != 0)
    return "built against another version of the backend interface";
  const BackendKind* kind = module->kind;
  if (module->setLog == nullptr || kind == nullptr || kind->entry == nullptr || kind->entry->name == nullptr ||
      kind->isUsable == nullptr || kind->create == nullptr)
    return "incomplete module table";
  if (std::strcmp(kind->entry->name, name) != 0)
    return std::string("holds the backend \"") + kind->entry->name + "\"";
  return {};
}

}  // namespace

const BackendKind* openModule(const char* name) {
  auto& all = modules();
  if (auto it = all.find(name); it != all.end()) return it->second.kind;
  const std::string path = modulePath(name);
  std::string reason;
  auto library = loader::Library::open(path, kBackendModuleEntryPoint, &reason);
  if (!library.isOpen()) {
    logError("The %s backend's module: %s", name, reason.c_str());
    return nullptr;
  }
  const BackendModule* module = library.entry<BackendModuleFn>()();
  if (const auto problem = tableProblem(module, name); !problem.empty()) {
    logError("The %s backend's module: %s: %s", name, path.c_str(), problem.c_str());
    library.close();
    return nullptr;
  }
  module->setLog(&passOn, nullptr);
  all[name] = Module{library, module->kind, false};
  return module->kind;
}

void keepModule(const char* name) {
  if (auto it = modules().find(name); it != modules().end()) it->second.kept = true;
}

void closeModule(const char* name) {
  auto& all = modules();
  auto it = all.find(name);
  if (it == all.end() || it->second.kept) return;
  it->second.library.close();
  all.erase(it);
}

}  // namespace duskwarden::provider
