// The simulator's state file: format, parsing and atomic replacement.

#include "TestEnvironment.h"
#include "sim/SimState.h"

#include <gtest/gtest.h>

#include <fstream>

namespace duskwarden::testing {
namespace {

using sim::SimState;

std::size_t entriesIn(const std::filesystem::path& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(SimState, RoundTripsThroughTheFileExactly) {
  const auto file = makeTempDir("sim") / "state";
  for (SimState state : {SimState{true, 0.7f}, SimState{false, 0.0f}, SimState{true, 1.0f},
                         SimState{false, 0.123456789f}}) {
    std::string error;
    ASSERT_TRUE(sim::writeState(file, state, &error)) << error;
    SimState back{!state.enabled, -1.0f};
    ASSERT_TRUE(sim::readState(file, &back, &error)) << error;
    EXPECT_EQ(back, state);
  }
  EXPECT_EQ(entriesIn(file.parent_path()), 1u);  // no temporary file left behind
}

TEST(SimState, MissingFileIsOffAtHalfStrength) {
  SimState state{true, 0.9f};
  EXPECT_TRUE(sim::readState(makeTempDir("sim") / "absent", &state, nullptr));
  EXPECT_EQ(state, (SimState{false, 0.5f}));
}

TEST(SimState, RejectsCorruptText) {
  const char* bad[] = {
      "",                                            // keys missing
      "enabled=true\n",                              // strength missing
      "enabled=yes\nstrength=0.5\n",                 // not a boolean
      "enabled=true\nstrength=1.5\n",                // out of range
      "enabled=true\nstrength=-0.1\n",               // out of range
      "enabled=true\nstrength=nan\n",                // not finite
      "enabled=true\nstrength=0.5x\n",               // trailing junk
      "enabled=true\nenabled=false\nstrength=0.5\n", // repeated key
      "enabled=true\nstrength=0.5\ncolour=red\n",    // unknown key
      "garbage\n",
  };
  for (const char* text : bad) EXPECT_FALSE(sim::parseState(text).has_value()) << '"' << text << '"';

  const auto file = makeTempDir("sim") / "state";
  std::ofstream(file) << "enabled=maybe\n";
  SimState state;
  std::string error;
  EXPECT_FALSE(sim::readState(file, &state, &error));
  EXPECT_NE(error.find("corrupt"), std::string::npos);
}

TEST(SimState, AcceptsCommentsBlankLinesAndSpaces) {
  auto state = sim::parseState("# note\n\n  enabled = true \r\nstrength=0.25\n");
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(*state, (SimState{true, 0.25f}));
  EXPECT_EQ(sim::parseState("enabled=true\nstrength=0,699999988\n"), (SimState{true, 0.7f}));  // an old decimal comma
}

TEST(SimState, UpdateReplacesACorruptFileAndKeepsTheOtherField) {
  const auto file = makeTempDir("sim") / sim::kStateFileName;
  std::ofstream(file) << "not a state\n";
  SimState result;
  ASSERT_TRUE(sim::updateState(file, [](SimState& s) { s.enabled = true; }, nullptr, &result));
  EXPECT_EQ(result, (SimState{true, 0.5f}));
  ASSERT_TRUE(sim::updateState(file, [](SimState& s) { s.strength = 0.2f; }, nullptr, &result));
  SimState back;
  ASSERT_TRUE(sim::readState(file, &back, nullptr));
  EXPECT_EQ(back, (SimState{true, 0.2f}));
}

TEST(SimState, StrengthArgumentMustBeAFiniteNumberWithinZeroToOne) {
  EXPECT_EQ(sim::parseStrength("0"), 0.0f);
  EXPECT_EQ(sim::parseStrength("1"), 1.0f);
  EXPECT_EQ(sim::parseStrength("0.7"), 0.7f);
  for (const char* bad : {"", "abc", "1.01", "-0.5", "inf", "nan", "0.5.5", "0x"})
    EXPECT_FALSE(sim::parseStrength(bad).has_value()) << bad;
}

TEST(SimState, LivesUnderTheRuntimeDirectory) {
  const std::string runtime = "/run/user/4242";
  ScopedEnv env("XDG_RUNTIME_DIR", runtime);
  EXPECT_EQ(sim::stateFilePath(), "/run/user/4242/duskwarden/nightlight-sim.state");
  ScopedEnv relative("XDG_RUNTIME_DIR", std::string("relative/dir"));
  EXPECT_TRUE(sim::stateFilePath().empty());
}

}  // namespace
}  // namespace duskwarden::testing
