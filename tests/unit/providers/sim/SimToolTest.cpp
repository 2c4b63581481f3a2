// duskwarden-nightlight-sim run as a process: its commands, exit codes and errors.

#include "SimProcess.h"
#include "TestEnvironment.h"
#include "sim/SimState.h"

#include <gtest/gtest.h>

#include <fstream>

namespace duskwarden::testing {
namespace {

using sim::SimState;

SimState currentState() {
  SimState state{true, -1.0f};
  EXPECT_TRUE(sim::readState(sim::stateFilePath(), &state, nullptr));
  return state;
}

TEST(SimTool, CommandsChangeTheStateAndStatusPrintsIt) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", makeTempDir("runtime").string());
  EXPECT_EQ(runSimTool({"status"}).output, "enabled: off\nstrength: 0.5\n");
  EXPECT_EQ(runSimTool({"on"}).status, 0);
  EXPECT_EQ(runSimTool({"strength", "0.7"}).status, 0);
  EXPECT_EQ(currentState(), (SimState{true, 0.7f}));
  EXPECT_EQ(runSimTool({"status"}).output, "enabled: on\nstrength: 0.7\n");
  EXPECT_EQ(runSimTool({"off"}).status, 0);
  EXPECT_EQ(currentState(), (SimState{false, 0.7f}));
}

TEST(SimTool, BadInputIsAUsageErrorAndChangesNothing) {
  ScopedEnv runtime("XDG_RUNTIME_DIR", makeTempDir("runtime").string());
  ASSERT_EQ(runSimTool({"strength", "0.3"}).status, 0);
  const std::vector<std::vector<std::string>> bad = {
      {}, {"dim"}, {"strength"}, {"strength", "1.5"}, {"strength", "-1"}, {"strength", "abc"},
      {"strength", "nan"}, {"strength", "0.5", "0.6"}, {"on", "now"},
  };
  for (const auto& args : bad) {
    const auto result = runSimTool(args);
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_NE(result.errors.find("duskwarden-nightlight-sim:"), std::string::npos);
  }
  EXPECT_NE(runSimTool({"strength", "1.5"}).errors.find("from 0 to 1"), std::string::npos);
  EXPECT_EQ(currentState(), (SimState{false, 0.3f}));
  const auto help = runSimTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("Usage:"), std::string::npos);
}

TEST(SimTool, FailsWithoutARuntimeDirectoryOrWithACorruptFile) {
  {
    ScopedEnv unset("XDG_RUNTIME_DIR", nullptr);
    const auto result = runSimTool({"on"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find("XDG_RUNTIME_DIR"), std::string::npos);
  }
  ScopedEnv runtime("XDG_RUNTIME_DIR", makeTempDir("runtime").string());
  std::filesystem::create_directories(sim::stateDirectory());
  std::ofstream(sim::stateFilePath()) << "enabled=perhaps\n";
  const auto result = runSimTool({"status"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.errors.find("corrupt"), std::string::npos);
  EXPECT_EQ(runSimTool({"on"}).status, 0);  // a write replaces it
  EXPECT_EQ(currentState(), (SimState{true, 0.5f}));
}

}  // namespace
}  // namespace duskwarden::testing
