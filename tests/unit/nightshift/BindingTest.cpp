// The provider binding through the real loader, with the scripted test libraries.

#include "ManagerHarness.h"
#include "TestEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace duskwarden::testing {
namespace {

using ::testing::ElementsAre;

constexpr const char* kLoadFailed = "Failed to load CoreBrightness framework or Blue Light Reduction not supported";

TEST(BindingLoad, RefusesMissingLibraryWrongVersionAndMissingEntryPoint) {
  for (const char* path : {"/nonexistent/libduskwarden-nightlight.so", DW_TEST_PROVIDER_BADVERSION_PATH,
                           DW_TEST_PROVIDER_NOENTRY_PATH}) {
    SCOPED_TRACE(path);
    BlueLightFramework framework(path);
    EXPECT_FALSE(framework.load());
    EXPECT_FALSE(framework.isLoaded());
    EXPECT_EQ(framework.ops(), nullptr);
    EXPECT_FALSE(CBBlueLightClient::supportsBlueLightReduction(framework));
    EXPECT_EQ(CBBlueLightClient::create(framework), nullptr);
  }
  BlueLightFramework good(DW_TEST_PROVIDER_PATH);
  EXPECT_TRUE(good.load());
  EXPECT_TRUE(good.load());
  ASSERT_NE(good.ops(), nullptr);
  EXPECT_EQ(good.ops()->abi_version, DW_NIGHTLIGHT_ABI_VERSION);
}

// A half-written library must read as "not loaded", not kill the process with
// SIGBUS when dlopen maps past the end of the file.
TEST(BindingLoad, RefusesTruncatedOrNonElfLibraries) {
  const auto dir = duskwarden::testing::makeTempDir("truncated");
  const auto size = std::filesystem::file_size(DW_TEST_PROVIDER_PATH);
  std::ifstream in(DW_TEST_PROVIDER_PATH, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), size);
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"half.so", bytes.substr(0, size / 2)},
      {"headers-only.so", bytes.substr(0, 64)},
      {"short-by-one.so", bytes.substr(0, size - 1)},
      {"empty.so", ""},
      {"text.so", "not a library\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = (dir / c.name).string();
    std::ofstream(path, std::ios::binary) << c.content;
    BlueLightFramework framework(path);
    EXPECT_FALSE(framework.load());
    EXPECT_EQ(CBBlueLightClient::create(framework), nullptr);
  }
  const auto whole = (dir / "whole.so").string();
  std::ofstream(whole, std::ios::binary) << bytes;
  BlueLightFramework complete(whole);
  EXPECT_TRUE(complete.load()) << "an intact copy still loads";
}

TEST(BindingLoad, SaysWhyALibraryDidNotLoad) {
  const auto dir = makeTempDir("reasons");
  const auto text = (dir / "text.so").string();
  std::ofstream(text) << "not a library\n";
  const auto half = (dir / "half.so").string();
  {
    std::ifstream in(DW_TEST_PROVIDER_PATH, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(half, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {"/nonexistent/lib.so", ": No such file or directory"},
      {dir.string(), ": not a regular file"},
      {text, ": not an ELF file"},
      {half, ": truncated ("},
      {DW_TEST_PROVIDER_NOENTRY_PATH, ": no entry point dw_nightlight_get_ops"},
      {DW_TEST_PROVIDER_DATAENTRY_PATH, ": dw_nightlight_get_ops is not a function (a data object)"},
      {DW_TEST_PROVIDER_BADVERSION_PATH, ": unknown provider table version 99"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    BlueLightFramework framework(c.path);
    EXPECT_FALSE(framework.load());
    EXPECT_THAT(framework.failureReason(), ::testing::StartsWith(c.path + c.reason));
  }
  BlueLightFramework good(DW_TEST_PROVIDER_PATH);
  EXPECT_TRUE(good.load());
  EXPECT_EQ(good.failureReason(), "");
}

// A version 2 library's messages land in the process's log under their own
// category and level, taken as text (never as a format), and it names its backend; a
// version 1 library still loads, nameless.
TEST(BindingLoad, ProviderMessagesReachTheLoggerAndVersionOneStillLoads) {
  auto sink = std::make_shared<MemoryLogSink>();
  setLogSinks({sink});
  auto& v2 = scriptedProvider();
  v2.reset();
  BlueLightFramework framework(DW_TEST_PROVIDER_PATH);
  ASSERT_TRUE(framework.load());
  EXPECT_EQ(v2.setLogCalls.load(), 1);
  ASSERT_TRUE(v2.log(DW_NIGHTLIGHT_LOG_ERROR, "RANDR SetCrtcGamma on CRTC 63: BadValue"));
  ASSERT_TRUE(v2.log(DW_NIGHTLIGHT_LOG_INFO, "Using the x11 backend at 100% %s %d"));
  const auto entries = sink->entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].level, LogLevel::error);
  EXPECT_EQ(entries[0].subsystem, "com.quillmoor.Duskwarden");
  EXPECT_EQ(entries[0].category, "NightlightProvider");
  EXPECT_EQ(entries[0].message, "RANDR SetCrtcGamma on CRTC 63: BadValue");
  EXPECT_EQ(entries[1].level, LogLevel::info);
  EXPECT_EQ(entries[1].message, "Using the x11 backend at 100% %s %d");
  EXPECT_EQ(CBBlueLightClient::backendName(framework), "scripted");
  v2.backendNamed = 0;
  EXPECT_EQ(CBBlueLightClient::backendName(framework), std::nullopt) << "no usable backend: no name";

  void* handle = ::dlopen(DW_TEST_PROVIDER_V1_PATH, RTLD_LAZY);
  ASSERT_NE(handle, nullptr) << ::dlerror();
  auto* v1 = reinterpret_cast<DwTestProviderControlFn>(::dlsym(handle, "dw_test_provider_control"))();
  v1->reset();
  v1->statusByte1 = 1;
  BlueLightFramework old(DW_TEST_PROVIDER_V1_PATH);
  ASSERT_TRUE(old.load()) << old.failureReason();
  EXPECT_EQ(old.ops()->abi_version, 1u);
  EXPECT_EQ(v1->setLogCalls.load(), 0) << "a version 1 table has no set_log to call";
  EXPECT_EQ(CBBlueLightClient::backendName(old), std::nullopt);
  EXPECT_EQ(v1->backendNameCalls.load(), 0) << "nor a backend_name";
  auto client = CBBlueLightClient::create(old);
  ASSERT_NE(client, nullptr);
  BlueLightStatus status;
  ASSERT_TRUE(client->getBlueLightStatus(&status));
  EXPECT_EQ(status.bytes[1], 1);
  v1->setReason(DW_NIGHTLIGHT_REASON_LOCKED, "locked");
  EXPECT_EQ(client->reason(), std::nullopt);
  EXPECT_EQ(v1->getReasonCalls.load(), 0) << "nor a get_reason";
  client.reset();
  setLogSinks({});
}

TEST(BindingLoad, DefaultPathIsBesideTheExecutableInLibDuskwarden) {
  const std::string path = BlueLightFramework::defaultLibraryPath();
  const auto exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  EXPECT_EQ(path, (exeDir.parent_path() / "lib/duskwarden/libduskwarden-nightlight.so").string());
}

// Each way of having no client: one error line (and, when the library did not
// load, one more saying why), nothing published ever.
TEST(BindingSetup, WithoutAClientThereIsOneErrorAndNothingIsPublished) {
  struct Case {
    const char* name;
    std::string path;
    int supports;
    int createFails;
    const char* error;
    int createCalls;
    std::string reason;  // empty: no second line
  };
  const Case cases[] = {
      {"missing library", "/nonexistent/lib.so", 1, 0, kLoadFailed, 0,
       "Night-light provider: /nonexistent/lib.so: No such file or directory"},
      {"unknown version", DW_TEST_PROVIDER_BADVERSION_PATH, 1, 0, kLoadFailed, 0,
       std::string("Night-light provider: ") + DW_TEST_PROVIDER_BADVERSION_PATH +
           ": unknown provider table version 99 (this program knows 1 to 4)"},
      {"not supported", DW_TEST_PROVIDER_PATH, 0, 0, kLoadFailed, 1, ""},
      {"create gives nothing", DW_TEST_PROVIDER_PATH, 1, 1, "Failed to create CBBlueLightClient", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(c.path);
    h.provider.supports = c.supports;
    h.provider.createFails = c.createFails;
    h.provider.statusByte1 = 1;
    h.startWith(false);
    h.settle();
    const auto errors = h.errors();
    ASSERT_EQ(errors.size(), c.reason.empty() ? 1u : 2u);
    EXPECT_EQ(errors[0].message, c.error);
    if (!c.reason.empty()) {
      EXPECT_EQ(errors[1].message, c.reason);
      EXPECT_EQ(errors[1].category, "NightShiftManager");
    }
    EXPECT_EQ(errors[0].subsystem, "com.quillmoor.Duskwarden");
    EXPECT_EQ(errors[0].category, "NightShiftManager");
    EXPECT_EQ(h.provider.createCalls.load(), c.createCalls);
    EXPECT_EQ(h.provider.setCallbackCalls.load(), 0);
    EXPECT_EQ(h.count("CBBlueLightClient initialized successfully"), 0u);

    h.manager->updateStatus();
    h.clock->advanceBy(2.0);
    EXPECT_TRUE(h.published.empty());
    EXPECT_FALSE(h.manager->isNightShiftEnabled.get());
    EXPECT_EQ(h.manager->colorTemperatureStrength.get(), 0.5f);
    EXPECT_FALSE(h.manager->hasPerformedInitialCheckForTesting());
  }
}

TEST(BindingStatusRead, FailedReadPublishesAndLogsNothingAndALaterReadWorks) {
  Harness h;
  h.provider.statusOk = 0;
  h.startWith(false);
  h.settle();
  EXPECT_EQ(h.provider.getStatusCalls.load(), 1);
  EXPECT_THAT(h.lines(), ElementsAre("Auto-enable toggled: false",
                                     "Auto-enable toggled: false. Launch at Login set to: false",
                                     "NightShiftManager initialized with autoEnable: false",
                                     "CBBlueLightClient initialized successfully"));
  EXPECT_TRUE(h.published.empty());
  EXPECT_FALSE(h.manager->hasPerformedInitialCheckForTesting());

  h.provider.statusOk = 1;
  h.provider.statusByte1 = 1;
  h.provider.strength = 0.25f;
  h.manager->updateStatus();
  h.clock->runUntilIdle();
  EXPECT_THAT(h.published, ElementsAre("strength=0.250000", "enabled=true"));
  EXPECT_EQ(h.count("Status update - enabled: true, strength: 0.250000"), 1u);
}

// A strength that could not be read is unknown, not 0.0 (least warm): the
// last one stays, and is published again with the enabled flag.
TEST(BindingStatusRead, AnyNonZeroByteOneIsEnabledAndAnUnreadStrengthKeepsTheLastOne) {
  Harness h;
  h.provider.statusByte1 = 2;
  h.provider.strength = 0.75f;
  h.startWith(false);
  h.settle();
  h.provider.strengthWrites = 0;
  h.published.clear();
  h.manager->updateStatus();
  h.clock->runUntilIdle();
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
  EXPECT_THAT(h.published, ElementsAre("strength=0.750000", "enabled=true"));
  EXPECT_EQ(h.count("Status update - enabled: true; the strength could not be read, the last one stays"), 1u);
}

TEST(BindingCallback, ChangeNotificationFromAnotherThreadSchedulesARead) {
  Harness h;
  h.startWith(false);
  h.settle();
  ASSERT_EQ(h.provider.setCallbackCalls.load(), 1);
  h.provider.statusByte1 = 1;
  std::thread platform([&] { h.provider.fire(); });
  platform.join();
  EXPECT_EQ(h.count("Night Shift status change detected"), 1u);
  h.clock->advanceBy(0.1);
  EXPECT_TRUE(h.manager->isNightShiftEnabled.get());
}

TEST(BindingCallback, ACallbackAfterTheManagerIsGoneDoesNothing) {
  Harness h;
  h.startWith(false);
  h.settle();
  h.provider.statusByte1 = 1;
  ASSERT_TRUE(h.provider.fire());
  // The scheduled read holds the manager weakly; dropping it ends the chain.
  std::weak_ptr<NightShiftManager> weak = h.manager;
  h.manager.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(h.provider.destroyCalls.load(), 1);
  EXPECT_FALSE(h.provider.fire());  // destroy took the callback away
  h.clearLog();
  h.clock->advanceBy(2.0);
  EXPECT_TRUE(h.lines().empty());
  EXPECT_EQ(h.provider.getStatusCalls.load(), 1);
}

}  // namespace
}  // namespace duskwarden::testing
