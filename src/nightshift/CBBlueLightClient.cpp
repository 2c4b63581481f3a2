#include "nightshift/CBBlueLightClient.h"

#include "base/loader/Executable.h"
#include "base/callback/CallbackSlot.h"
#include "duskwarden_build_info.h"
#include "base/loader/Library.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/log/Logger.h"

#include <algorithm>

namespace duskwarden {

namespace {

// Empty when the table is one we know with every operation there; else why not.
std::string tableProblem(const dw_nightlight_ops* ops) {
  if (ops == nullptr) return std::string(DW_NIGHTLIGHT_ENTRY_POINT) + " returned no table";
  std::size_t needed = 0;
  if (ops->abi_version == 1)
    needed = DW_NIGHTLIGHT_OPS_V1_SIZE;
  else if (ops->abi_version == 2)
    needed = DW_NIGHTLIGHT_OPS_V2_SIZE;
  else if (ops->abi_version == 3 || ops->abi_version == DW_NIGHTLIGHT_ABI_VERSION)
    needed = sizeof(dw_nightlight_ops);
  else
    return "unknown provider table version " + std::to_string(ops->abi_version) + " (this program knows 1 to " +
           std::to_string(DW_NIGHTLIGHT_ABI_VERSION) + ")";
  if (ops->struct_size < needed)
    return "provider table version " + std::to_string(ops->abi_version) + " is " + std::to_string(ops->struct_size) +
           " bytes, expected at least " + std::to_string(needed);
  const struct {
    const char* name;
    bool present;
  } operations[] = {
      {"supports_night_light", ops->supports_night_light != nullptr},
      {"create", ops->create != nullptr},
      {"destroy", ops->destroy != nullptr},
      {"set_status_callback", ops->set_status_callback != nullptr},
      {"get_status", ops->get_status != nullptr},
      {"get_strength", ops->get_strength != nullptr},
      {"set_enabled", ops->set_enabled != nullptr},
      {"set_strength", ops->set_strength != nullptr},
      // Not read from a version 1 table: it ends before these fields.
      {"set_log", ops->abi_version == 1 || ops->set_log != nullptr},
      {"backend_name", ops->abi_version == 1 || ops->backend_name != nullptr},
      {"get_reason", ops->abi_version < 3 || ops->get_reason != nullptr},
  };
  for (const auto& operation : operations)
    if (!operation.present) return std::string("provider table lacks the operation ") + operation.name;
  return {};
}

// The provider's messages, into the process's log under a category of their
// own and at the level the provider gave (syslog's numbers, as ours).
void logFromProvider(void* /*userData*/, int level, const char* message) {
  const auto ours = static_cast<LogLevel>(std::clamp(level, static_cast<int>(LogLevel::error),
                                                     static_cast<int>(LogLevel::debug)));
  logger(kProviderLogCategory).submit(ours, "%{public}s", {std::string(message != nullptr ? message : "(null)")});
}

}  // namespace

BlueLightFramework::BlueLightFramework(std::string libraryPath) : path_(std::move(libraryPath)) {}

BlueLightFramework& BlueLightFramework::system() {
  // Never destroyed: the library stays loaded until the process ends.
  static BlueLightFramework* framework = new BlueLightFramework(defaultLibraryPath());
  return *framework;
}

std::string BlueLightFramework::defaultLibraryPath() {
  const auto library = loader::besideExecutable(DW_PROVIDER_RELPATH);
  return library ? library->string() : DW_PROVIDER_BUILD_PATH;
}

bool BlueLightFramework::load() {
  std::call_once(once_, [this] {
    // Never closed: the table points into the library.
    const auto library = loader::Library::open(path_, DW_NIGHTLIGHT_ENTRY_POINT, &failureReason_);
    if (!library.isOpen()) return;
    const dw_nightlight_ops* ops = library.entry<dw_nightlight_get_ops_fn>()();
    if (const auto problem = tableProblem(ops); !problem.empty()) {
      failureReason_ = path_ + ": " + problem;
      return;
    }
    // Before any other call: detection already reports why it chose as it did.
    if (ops->abi_version >= 2) ops->set_log(&logFromProvider, nullptr);
    ops_ = ops;
    loaded_ = true;
  });
  return loaded_;
}

bool BlueLightFramework::isLoaded() const { return loaded_; }

const dw_nightlight_ops* BlueLightFramework::ops() const { return loaded_ ? ops_ : nullptr; }

// The callback the provider holds; the slot copies the block out under its
// lock and runs it unlocked, so the client may be destroyed from inside it.
struct CBBlueLightClient::CallbackBox {
  CallbackSlot block;
  static void trampoline(void* userData) { static_cast<CallbackBox*>(userData)->block.call(); }
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

bool CBBlueLightClient::waitsForDesktop(BlueLightFramework& framework) {
  const auto* ops = framework.ops();
  return ops != nullptr && ops->abi_version >= 4;
}

std::optional<std::string> CBBlueLightClient::backendName(BlueLightFramework& framework) {
  const auto* ops = framework.ops();
  if (ops == nullptr || ops->abi_version < 2) return std::nullopt;
  const char* name = ops->backend_name();
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

std::unique_ptr<CBBlueLightClient> CBBlueLightClient::create(BlueLightFramework& framework) {
  const auto* ops = framework.ops();
  if (ops == nullptr) return nullptr;
  dw_nightlight_client* client = ops->create();
  if (client == nullptr) return nullptr;
  return std::unique_ptr<CBBlueLightClient>(new CBBlueLightClient(ops, client));
}

void CBBlueLightClient::setStatusNotificationBlock(std::function<void()> block) {
  callback_->block.set(std::move(block));
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

std::optional<BlueLightReason> CBBlueLightClient::reason() {
  if (ops_->abi_version < 3) return std::nullopt;
  char message[512] = {};
  const int code = ops_->get_reason(client_, message, sizeof message);
  if (code == DW_NIGHTLIGHT_REASON_NONE) return std::nullopt;
  return BlueLightReason{code, message};
}

}  // namespace duskwarden
