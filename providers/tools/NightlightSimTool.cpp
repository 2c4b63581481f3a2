// duskwarden-nightlight-sim on | off | strength <0..1> | status
//
// Exit status: 0 done, 1 the state could not be read or written, 2 bad usage.

#include "base/decimal/Decimal.h"
#include "sim/SimState.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void printUsage(std::FILE* out) {
  std::fputs(
      "Usage: duskwarden-nightlight-sim COMMAND\n"
      "Changes the simulated night light that Duskwarden sees with\n"
      "DUSKWARDEN_NIGHTLIGHT_BACKEND=sim.\n"
      "\n"
      "Commands:\n"
      "  on               turn night light on\n"
      "  off              turn night light off\n"
      "  strength VALUE   set the strength, a number from 0 (least warm) to 1 (warmest)\n"
      "  status           print the current state\n"
      "\n"
      "The state lives in $XDG_RUNTIME_DIR/duskwarden/nightlight-sim.state.\n",
      out);
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "duskwarden-nightlight-sim: %s\n", message.c_str());
  std::fputs("Try 'duskwarden-nightlight-sim --help'.\n", stderr);
  return kExitUsage;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "duskwarden-nightlight-sim: %s\n", message.c_str());
  return kExitFailure;
}

int update(const std::filesystem::path& file, const std::function<void(duskwarden::sim::SimState&)>& change) {
  std::string error;
  if (!duskwarden::sim::updateState(file, change, &error)) return failure(error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using duskwarden::sim::SimState;
  if (argc < 2) return usageError("missing command");
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    printUsage(stdout);
    return 0;
  }

  const int expectedArgs = command == "strength" ? 3 : 2;
  if (command != "on" && command != "off" && command != "strength" && command != "status")
    return usageError("unknown command '" + command + "'");
  if (argc < expectedArgs) return usageError("'strength' needs a value from 0 to 1");
  if (argc > expectedArgs) return usageError("too many arguments for '" + command + "'");

  const auto file = duskwarden::sim::stateFilePath();
  if (file.empty()) return failure("XDG_RUNTIME_DIR is not set (or not an absolute path)");

  if (command == "on") return update(file, [](SimState& s) { s.enabled = true; });
  if (command == "off") return update(file, [](SimState& s) { s.enabled = false; });
  if (command == "strength") {
    const auto value = duskwarden::sim::parseStrength(argv[2]);
    if (!value) return usageError(std::string("invalid strength '") + argv[2] + "': expected a number from 0 to 1");
    return update(file, [v = *value](SimState& s) { s.strength = v; });
  }

  SimState state;
  std::string error;
  if (!duskwarden::sim::readState(file, &state, &error)) return failure(error);
  std::printf("enabled: %s\nstrength: %s\n", state.enabled ? "on" : "off",
              duskwarden::decimal::shortest(state.strength).c_str());
  return 0;
}
