#pragma once
// Binding to the night-light provider library, loaded at run time.
//
// BlueLightFramework is the library: opened through the one safe loader
// (base/loader) at most once per instance, whether that succeeds or not;
// its handle is kept open for the life of the process. The process-wide
// instance, system(), opens the library at the path fixed by the build,
// relative to the executable. A library the loader refuses (see
// loader/LibraryFile.h), or whose table has an unknown ABI version,
// a too-small struct_size or a missing operation, counts as not loaded, and
// failureReason() says which. Tables of version 1 (without set_log and
// backend_name), 2 (without get_reason), 3 and 4 (a provider that waits for
// the desktop) are used. Right after a load,
// the provider's messages are routed into the Logger: subsystem
// kBundleIdentifier, category "NightlightProvider".
//
// CBBlueLightClient wraps one provider client. Class operations answer
// false/nullptr when the framework is not loaded. Every call on a client is
// made on the manager's clientQueue.

#include "duskwarden/nightlight.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace duskwarden {

struct BlueLightStatus {
  std::array<std::uint8_t, DW_NIGHTLIGHT_STATUS_SIZE> bytes{};  // zero-filled
};
static_assert(sizeof(BlueLightStatus) == 32);

// Why night light is not on, or why the last request could not be carried out.
struct BlueLightReason {
  int code = DW_NIGHTLIGHT_REASON_NONE;  // one of DW_NIGHTLIGHT_REASON_*
  std::string message;                   // one printable line, e.g. "... Active is locked with [$i]"
  friend bool operator==(const BlueLightReason&, const BlueLightReason&) = default;
};

class BlueLightFramework {
 public:
  explicit BlueLightFramework(std::string libraryPath);
  BlueLightFramework(const BlueLightFramework&) = delete;
  BlueLightFramework& operator=(const BlueLightFramework&) = delete;

  // The process-wide framework at defaultLibraryPath().
  static BlueLightFramework& system();
  // <directory of /proc/self/exe>/../lib/duskwarden/libduskwarden-nightlight.so
  static std::string defaultLibraryPath();

  // Tries the load once; every later call answers the same flag.
  bool load();
  bool isLoaded() const;
  // Why load() failed ("<path>: truncated (...)", dlerror's text, "unknown
  // provider table version 3", ...); empty when it did not fail.
  const std::string& failureReason() const { return failureReason_; }
  const dw_nightlight_ops* ops() const;  // nullptr unless loaded

 private:
  std::string path_;
  std::once_flag once_;
  bool loaded_ = false;
  std::string failureReason_;
  const dw_nightlight_ops* ops_ = nullptr;
};

// The category of the provider's own messages.
inline constexpr const char* kProviderLogCategory = "NightlightProvider";

class CBBlueLightClient {
 public:
  ~CBBlueLightClient();
  CBBlueLightClient(const CBBlueLightClient&) = delete;
  CBBlueLightClient& operator=(const CBBlueLightClient&) = delete;

  static bool supportsBlueLightReduction(BlueLightFramework& framework);
  // Whether the provider waits for the desktop (version 4): then create()
  // answers a client also while no backend is usable yet, and one that comes
  // later is announced through the status notification block.
  static bool waitsForDesktop(BlueLightFramework& framework);
  // The provider's chosen backend ("gnome", "x11", ...); nothing when none is
  // usable, the library is not loaded, or it is a version 1 library.
  static std::optional<std::string> backendName(BlueLightFramework& framework);
  // alloc + init: a client, or nullptr on failure (or when not loaded).
  static std::unique_ptr<CBBlueLightClient> create(BlueLightFramework& framework);

  // The provider calls `block` from its own thread after every state change.
  void setStatusNotificationBlock(std::function<void()> block);
  bool getBlueLightStatus(BlueLightStatus* status);
  bool getStrength(float* strength);
  void setEnabled(bool enabled);
  void setStrength(float strength, bool commit);
  // The provider's reason; nothing when it knows none, or its table (version
  // 1 or 2) gives none.
  std::optional<BlueLightReason> reason();

 private:
  struct CallbackBox;  // what the provider's callback reaches
  CBBlueLightClient(const dw_nightlight_ops* ops, dw_nightlight_client* client);
  const dw_nightlight_ops* ops_;
  dw_nightlight_client* client_;
  std::unique_ptr<CallbackBox> callback_;
};

}  // namespace duskwarden
