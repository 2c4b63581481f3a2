// The provider library with the simulator backend, through its C table:
// reads and writes of the state file, changes from another process reported
// through the callback, and the end of callbacks at destroy.

#include "CallbackCounter.h"
#include "ProviderLogCapture.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "duskwarden/nightlight.h"
#include "sim/SimState.h"

#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace duskwarden::testing {
namespace {

using namespace std::chrono_literals;

const dw_nightlight_ops* providerOps() {
  static const dw_nightlight_ops* ops = [] {
    void* handle = ::dlopen(DW_PROVIDER_MODULE_PATH, RTLD_LAZY);
    if (handle == nullptr) return static_cast<const dw_nightlight_ops*>(nullptr);
    auto get = reinterpret_cast<dw_nightlight_get_ops_fn>(::dlsym(handle, DW_NIGHTLIGHT_ENTRY_POINT));
    return get ? get() : nullptr;
  }();
  return ops;
}

class SimProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    ops = providerOps();
    ASSERT_NE(ops, nullptr) << DW_PROVIDER_MODULE_PATH;
    ASSERT_EQ(ops->abi_version, DW_NIGHTLIGHT_ABI_VERSION);
  }
  const dw_nightlight_ops* ops = nullptr;
  ScopedEnv backend{"DUSKWARDEN_NIGHTLIGHT_BACKEND", std::string("sim")};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", makeTempDir("runtime").string()};
};

TEST_F(SimProvider, ReadsAndWritesTheStateFile) {
  ASSERT_TRUE(ops->supports_night_light());
  dw_nightlight_client* client = ops->create();
  ASSERT_NE(client, nullptr);

  uint8_t status[DW_NIGHTLIGHT_STATUS_SIZE] = {};
  float strength = -1.0f;
  ASSERT_TRUE(ops->get_status(client, status));
  EXPECT_EQ(status[1], 0);  // no file yet: off
  ASSERT_TRUE(ops->get_strength(client, &strength));
  EXPECT_EQ(strength, 0.5f);

  ops->set_enabled(client, 1);
  ops->set_strength(client, 0.8f, 1);
  sim::SimState state;
  ASSERT_TRUE(sim::readState(sim::stateFilePath(), &state, nullptr));
  EXPECT_EQ(state, (sim::SimState{true, 0.8f}));
  ASSERT_TRUE(ops->get_status(client, status));
  EXPECT_EQ(status[1], 1);

  // Out of range is clamped; NaN is ignored.
  ops->set_strength(client, 1.7f, 1);
  ASSERT_TRUE(ops->get_strength(client, &strength));
  EXPECT_EQ(strength, 1.0f);
  ops->set_strength(client, std::numeric_limits<float>::quiet_NaN(), 1);
  ASSERT_TRUE(ops->get_strength(client, &strength));
  EXPECT_EQ(strength, 1.0f);

  std::ofstream(sim::stateFilePath()) << "corrupt\n";
  EXPECT_FALSE(ops->get_status(client, status));
  EXPECT_FALSE(ops->get_strength(client, &strength));
  ops->destroy(client);
}

TEST_F(SimProvider, NeedsARuntimeDirectory) {
  ScopedEnv unset("XDG_RUNTIME_DIR", nullptr);
  EXPECT_FALSE(ops->supports_night_light());
  EXPECT_EQ(ops->create(), nullptr);
}

TEST_F(SimProvider, AChangeByTheToolReachesTheCallbackAndDestroyEndsThem) {
  dw_nightlight_client* client = ops->create();
  ASSERT_NE(client, nullptr);
  CallbackCounter counter;
  ops->set_status_callback(client, &CallbackCounter::call, &counter);

  ASSERT_EQ(runSimTool({"on"}).status, 0);
  ASSERT_TRUE(counter.waitBeyond(0)) << "no callback after the tool's change";
  uint8_t status[DW_NIGHTLIGHT_STATUS_SIZE] = {};
  ASSERT_TRUE(ops->get_status(client, status));
  EXPECT_EQ(status[1], 1);

  // Files beside the state file are not changes of the state.
  const int before = counter.count();
  std::ofstream(sim::stateDirectory() / "unrelated") << "x";
  ASSERT_EQ(runSimTool({"off"}).status, 0);
  ASSERT_TRUE(counter.waitBeyond(before));

  ops->destroy(client);
  const int atDestroy = counter.count();
  ASSERT_EQ(runSimTool({"on"}).status, 0);
  // A negative check needs a bound: inotify delivered the earlier changes in
  // well under this on every run.
  EXPECT_FALSE(counter.waitBeyond(atDestroy, 300ms));
}

TEST_F(SimProvider, DestroyFromInsideTheCallbackDoesNotDeadlock) {
  struct Context {
    const dw_nightlight_ops* ops;
    dw_nightlight_client* client;
    CallbackCounter done;
  } context{ops, ops->create(), {}};
  ASSERT_NE(context.client, nullptr);
  ops->set_status_callback(
      context.client,
      [](void* data) {
        auto* c = static_cast<Context*>(data);
        c->ops->destroy(c->client);
        CallbackCounter::call(&c->done);
      },
      &context);
  ASSERT_EQ(runSimTool({"on"}).status, 0);
  EXPECT_TRUE(context.done.waitBeyond(0));
}

// The entry library opens a backend's module (backends/<name>.so beside it)
// only when detection reaches that backend; a module that is missing or
// holds another backend is a logged reason, never a crash (cut short: LoaderTest).
TEST(ProviderModules, AMissingOrForeignModuleIsALoggedReason) {
  namespace fs = std::filesystem;
  const auto dir = makeTempDir("entry");
  fs::create_directories(dir / "backends");
  const auto entry = dir / "libduskwarden-nightlight.so";
  fs::copy_file(DW_PROVIDER_MODULE_PATH, entry);
  void* handle = ::dlopen(entry.c_str(), RTLD_NOW | RTLD_LOCAL);  // a copy: detection of its own
  ASSERT_NE(handle, nullptr) << ::dlerror();
  const auto* ops = reinterpret_cast<dw_nightlight_get_ops_fn>(::dlsym(handle, DW_NIGHTLIGHT_ENTRY_POINT))();
  ProviderLogCapture log;
  ops->set_log(&ProviderLogCapture::log, &log);
  ScopedEnv backend{"DUSKWARDEN_NIGHTLIGHT_BACKEND", std::string("sim")};

  const std::string module = (dir / "backends" / "sim.so").string();
  const struct {
    const char* source;  // copied as sim.so; nullptr: none
    std::string reason;
  } cases[] = {
      {nullptr, module + ": No such file or directory"},
      {DW_PROVIDER_MODULE_DIR "/x11.so", module + ": holds the backend \"x11\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    if (c.source != nullptr) fs::copy_file(c.source, module, fs::copy_options::overwrite_existing);
    ScopedEnv runtime{"XDG_RUNTIME_DIR", makeTempDir("runtime").string()};  // a new environment: detected afresh
    EXPECT_FALSE(ops->supports_night_light());
    EXPECT_THAT(log.take(true), ::testing::ElementsAre(::testing::HasSubstr("The sim backend's module: " + c.reason),
                                                       ::testing::HasSubstr("asks for is not usable here")));
  }
}

}  // namespace
}  // namespace duskwarden::testing
