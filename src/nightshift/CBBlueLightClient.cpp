#include "nightshift/CBBlueLightClient.h"

#include "duskwarden_build_info.h"
#include "nightshift/LibraryFile.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace duskwarden {

namespace {

// A table is usable only if it is a version we know and every operation is there.
bool isUsableTable(const dw_nightlight_ops* ops) {
  return ops != nullptr && ops->abi_version == DW_NIGHTLIGHT_ABI_VERSION &&
         ops->struct_size >= sizeof(dw_nightlight_ops) && ops->supports_night_light && ops->create &&
         ops->destroy && ops->set_status_callback && ops->get_status && ops->get_strength &&
         ops->set_enabled && ops->set_strength;
}

}  // namespace

BlueLightFramework::BlueLightFramework(std::string libraryPath) : path_(std::move(libraryPath)) {}

BlueLightFramework& BlueLightFramework::system() {
  // Never destroyed: the library stays loaded until the process ends.
  static BlueLightFramework* framework = new BlueLightFramework(defaultLibraryPath());
  return *framework;
}

std::string BlueLightFramework::defaultLibraryPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return DW_PROVIDER_BUILD_PATH;
  return (exe.parent_path() / DW_PROVIDER_RELPATH).lexically_normal().string();
}

bool BlueLightFramework::load() {
  std::call_once(once_, [this] {
    if (!isCompleteSharedObject(path_)) return;
    // The handle is never closed: the table points into the library.
    void* handle = ::dlopen(path_.c_str(), RTLD_LAZY);
    if (handle == nullptr) return;
    auto getOps = reinterpret_cast<dw_nightlight_get_ops_fn>(::dlsym(handle, DW_NIGHTLIGHT_ENTRY_POINT));
    if (getOps == nullptr) return;
    const dw_nightlight_ops* ops = getOps();
    if (!isUsableTable(ops)) return;
    ops_ = ops;
    loaded_ = true;
  });
  return loaded_;
}

bool BlueLightFramework::isLoaded() const { return loaded_; }

const dw_nightlight_ops* BlueLightFramework::ops() const { return loaded_ ? ops_ : nullptr; }

bool loadCoreBrightness() { return BlueLightFramework::system().load(); }

// The callback the provider holds. The block is copied out under the lock and
// run outside it, so the client may be destroyed from inside the block.
struct CBBlueLightClient::CallbackBox {
  std::mutex mutex;
  std::shared_ptr<std::function<void()>> block;

  static void trampoline(void* userData) {
    auto* box = static_cast<CallbackBox*>(userData);
    std::shared_ptr<std::function<void()>> block;
    {
      std::lock_guard lock(box->mutex);
      block = box->block;
    }
    if (block && *block) (*block)();
  }
};

CBBlueLightClient::CBBlueLightClient(const dw_nightlight_ops* ops, dw_nightlight_client* client)
    : ops_(ops), client_(client), callback_(std::make_unique<CallbackBox>()) {}

CBBlueLightClient::~CBBlueLightClient() {
  // No callback runs after destroy returns, so the box can go afterwards.
  ops_->destroy(client_);
}

bool CBBlueLightClient::supportsBlueLightReduction(BlueLightFramework& framework) {
  const auto* ops = framework.ops();
  return ops != nullptr && ops->supports_night_light() != 0;
}

std::unique_ptr<CBBlueLightClient> CBBlueLightClient::create(BlueLightFramework& framework) {
  const auto* ops = framework.ops();
  if (ops == nullptr) return nullptr;
  dw_nightlight_client* client = ops->create();
  if (client == nullptr) return nullptr;
  return std::unique_ptr<CBBlueLightClient>(new CBBlueLightClient(ops, client));
}

void CBBlueLightClient::setStatusNotificationBlock(std::function<void()> block) {
  {
    std::lock_guard lock(callback_->mutex);
    callback_->block = std::make_shared<std::function<void()>>(std::move(block));
  }
  ops_->set_status_callback(client_, &CallbackBox::trampoline, callback_.get());
}

bool CBBlueLightClient::getBlueLightStatus(BlueLightStatus* status) {
  return ops_->get_status(client_, status->bytes.data()) != 0;
}

bool CBBlueLightClient::getStrength(float* strength) { return ops_->get_strength(client_, strength) != 0; }

void CBBlueLightClient::setEnabled(bool enabled) { ops_->set_enabled(client_, enabled ? 1 : 0); }

void CBBlueLightClient::setStrength(float strength, bool commit) {
  ops_->set_strength(client_, strength, commit ? 1 : 0);
}

}  // namespace duskwarden
