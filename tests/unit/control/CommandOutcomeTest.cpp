// What the running copy answers, as the manager decides it, against the
// scripted provider on virtual time: "ok" only once a read shows the state
// asked for, "failed <why> <message>" as soon as the provider says why not,
// "unconfirmed" when reads never show it by the deadline, "failed timeout"
// when the provider is stuck, and nothing of a request answered so happens
// later. A locked key on a real KWin is in the e2e tests (e2e_kde).
#include "control/InstanceCommands.h"

#include "ManagerHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace duskwarden::testing {
namespace {

// The desktop before the request.
struct Platform {
  bool on = false;
  bool takesEffect = true;
  int reason = DW_NIGHTLIGHT_REASON_NONE;
  const char* message = "";
  bool readFails = false, strengthUnread = false;  // the record, the strength cannot be read
  bool noNightLight = false;
};

struct Row {
  const char* name;
  instanceprotocol::Request request;
  Platform platform;
  bool onLate;   // the desktop turns it on by itself 1.5 s later, as KWin may
  double stall;  // seconds the provider's thread is stuck from the request on
  std::string answer;
  double answeredBy;  // seconds after the request
  float strengthShown = -1;  // the published strength once all has run, when checked
  int platformCalls = -1;    // setEnabled and setStrength calls that reached it, when checked
};

// "disable", done or refused, is answered end to end (commands_e2e).
const instanceprotocol::Request kEnable{"enable", {}, {}}, kStrength{"strength", {"0.9"}, {}};
const Platform kStuck{.takesEffect = false};

const Row kRows[] = {
    {"on", kEnable, {}, false, 0, "ok", 0.51},
    {"already on", kEnable, {.on = true}, false, 0, "unchanged", 0.51},
    {"inhibited without a message", kEnable, {.takesEffect = false, .reason = DW_NIGHTLIGHT_REASON_INHIBITED}, false,
     0, "failed inhibited", 0.51},
    {"on late, as KWin does", kEnable, kStuck, true, 0, "ok", 1.61},
    {"never on, no reason", kEnable, kStuck, false, 0, "unconfirmed", 3.0},
    {"a read that fails, with the reason", kEnable,
     {.takesEffect = false, .reason = DW_NIGHTLIGHT_REASON_FAILED, .message = "sim.state: Permission denied",
      .readFails = true},
     false, 0, "failed failed sim.state: Permission denied", 0.51},
    {"no night light here", kEnable, {.noNightLight = true}, false, 0, "unsupported", 0.01},
    {"strength", kStrength, {}, false, 0, "ok", 0.01, 0.9F},
    {"strength busy", kStrength,
     {.takesEffect = false, .reason = DW_NIGHTLIGHT_REASON_BUSY, .message = "kwinrc.lock is held by another program"},
     false, 0, "failed busy kwinrc.lock is held by another program", 0.01, 0.5F},
    {"strength not taken", kStrength, kStuck, false, 0, "unconfirmed", 3.0, 0.5F},
    // KDE with kwinrc unreadable while KWin answers: never "done", never shown as fact.
    {"strength that cannot be read back", kStrength,
     {.takesEffect = false, .reason = DW_NIGHTLIGHT_REASON_FAILED, .message = "kwinrc: Permission denied",
      .strengthUnread = true},
     false, 0, "failed failed kwinrc: Permission denied", 0.01, 0.5F},
    {"strength that cannot be read back, no reason given", kStrength, {.takesEffect = false, .strengthUnread = true},
     false, 0, "unconfirmed", 3.0, 0.5F},
    // Answered "failed" at the deadline, then dropped when the thread is free again.
    {"the provider stuck past the deadline", kEnable, {}, false, 10, "failed timeout", 3.0, -1, 0},
    {"strength, the provider stuck", kStrength, {}, false, 10, "failed timeout", 3.0, 0.5F, 0},
    {"the client waits less than the manager would", {"enable", {}, 1.0}, {}, false, 10, "failed timeout", 1.0, -1,
     0},
};

class CommandOutcome : public ::testing::TestWithParam<Row> {};

TEST_P(CommandOutcome, IsTheManagersAnswerWithinTheDeadline) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.name);
  const Platform& p = row.platform;
  Harness h;
  h.provider.supports = !p.noNightLight;
  h.provider.statusByte1 = p.on;
  h.provider.setEnabledTakesEffect = h.provider.setStrengthTakesEffect = p.takesEffect;
  h.provider.strengthWrites = !p.strengthUnread;
  h.startWith(false);
  h.settle();
  h.provider.setReason(p.reason, p.message);
  h.provider.statusOk = !p.readFails;
  InstanceCommands commands({[&] { return h.manager; }, h.main});
  std::optional<std::string> answer;
  double answeredAfter = -1;
  const double start = h.clock->now();
  instanceprotocol::Request request = row.request;
  if (request.deadline) *request.deadline += start;
  if (row.stall > 0) h.clock->stall(*h.client, row.stall);
  commands.handle(request, [&](std::string_view line) {
    EXPECT_FALSE(answer) << "answered twice";
    answer = std::string(line);
    answeredAfter = h.clock->now() - start;
  });
  for (double t = 0; t < 12.0; t += 0.01) {
    if (row.onLate && std::abs(t - 1.5) < 0.005) h.externalChange(true);
    h.clock->advanceBy(0.01);
  }
  EXPECT_EQ(answer, row.answer);
  EXPECT_LE(answeredAfter, row.answeredBy + 0.001);
  EXPECT_GE(answeredAfter, row.answeredBy - 0.1);
  if (row.strengthShown >= 0) {
    EXPECT_EQ(h.manager->colorTemperatureStrength.get(), row.strengthShown);
  }
  if (row.platformCalls >= 0) {
    EXPECT_EQ(h.provider.setEnabledCalls.load() + h.provider.setStrengthCalls.load(), row.platformCalls);
    const auto lines = h.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("Dropped the"); }), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandOutcome, ::testing::ValuesIn(kRows));

// A hotkey pressed three times while the provider is stuck: one command, three answers.
TEST(CommandOutcomeStall, IdenticalRequestsQueuedBehindAStallRunOnce) {
  Harness h;
  h.startWith(false);
  h.settle();
  InstanceCommands commands({[&] { return h.manager; }, h.main});
  std::vector<std::string> answers;
  h.clock->stall(*h.client, 2.0);
  for (int i = 0; i < 3; ++i) {
    commands.handle({"enable", {}, {}}, [&](std::string_view line) { answers.emplace_back(line); });
    h.clock->advanceBy(0.1);
  }
  h.clock->advanceBy(5.0);
  EXPECT_EQ(answers, (std::vector<std::string>{"ok", "ok", "ok"}));
  EXPECT_EQ(h.provider.setEnabledCalls.load(), 1);
  EXPECT_EQ(h.count("Enabling Night Shift..."), 3u);
}

// --status does not wait for the stuck provider, and does not show what it
// has not confirmed as fact.
TEST(CommandOutcomeStall, StatusAnswersAtOnceAndSaysWhatIsUnconfirmed) {
  Harness h;
  h.startWith(false);
  h.settle();
  InstanceCommands commands({[&] { return h.manager; }, h.main});
  const auto status = [&] {
    std::string line;
    commands.handle({"status", {}, {}}, [&](std::string_view answer) { line = answer; });
    return line;  // answered at once
  };
  EXPECT_EQ(status(), "status enabled=0 strength=0.5 keep-always-on=0 supported=1 backend=scripted unconfirmed=- reason=-");
  h.clock->stall(*h.client, 10.0);
  commands.handle({"strength", {"0.9"}, {}}, [](std::string_view) {});
  h.clock->advanceBy(0.01);
  EXPECT_EQ(status(), "status enabled=0 strength=0.9 keep-always-on=0 supported=1 backend=scripted unconfirmed=strength reason=-");
  h.clock->advanceBy(3.0);  // answered failed: the value shown is the last one read, still unconfirmed
  EXPECT_EQ(status(), "status enabled=0 strength=0.5 keep-always-on=0 supported=1 backend=scripted unconfirmed=strength reason=timeout");
}

}  // namespace
}  // namespace duskwarden::testing
