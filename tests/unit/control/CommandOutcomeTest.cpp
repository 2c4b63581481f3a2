// What the running copy answers, as the manager decides it, against the
// scripted provider on virtual time: "ok" only once a read shows the state
// asked for, "failed <why> <message>" as soon as the provider says why not,
// "unconfirmed" when reads never show it by the deadline, "failed timeout"
// when the provider is stuck, and nothing of a request answered so happens
// later. A locked key on a real KWin is in the e2e tests (e2e_kde).
#include "control/InstanceCommands.h"

#include "ManagerHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace duskwarden::testing {
namespace {

using Setup = std::function<void(Harness&)>;

struct Row {
  const char* name;
  instanceprotocol::Request request;
  Setup platform;  // before the request
  Setup at1_5s;    // the desktop, later
  double stall;    // seconds the provider's thread is stuck from the request on
  std::string answer;
  double answeredBy;  // seconds after the request
  Setup after;        // checked once everything has run
};

void stuck(Harness& h) {
  h.provider.setEnabledTakesEffect = 0;
  h.provider.setStrengthTakesEffect = 0;
}

const Row kRows[] = {
    {"on", {"enable", {}, {}}, nullptr, nullptr, 0, "ok", 0.51, nullptr},
    {"already on", {"enable", {}, {}}, [](Harness& h) { h.provider.statusByte1 = 1; }, nullptr, 0, "unchanged", 0.51,
     nullptr},
    {"inhibited without a message",
     {"enable", {}, {}},
     [](Harness& h) {
       stuck(h);
       h.provider.setReason(DW_NIGHTLIGHT_REASON_INHIBITED, "");
     },
     nullptr, 0, "failed inhibited", 0.51, nullptr},
    {"on late, as KWin does", {"enable", {}, {}}, stuck, [](Harness& h) { h.externalChange(true); }, 0, "ok", 1.61,
     nullptr},
    {"never on, no reason", {"enable", {}, {}}, stuck, nullptr, 0, "unconfirmed", 3.0, nullptr},
    {"a read that fails, with the reason",
     {"enable", {}, {}},
     [](Harness& h) {
       stuck(h);
       h.provider.statusOk = 0;
       h.provider.setReason(DW_NIGHTLIGHT_REASON_FAILED, "nightlight-sim.state: Permission denied");
     },
     nullptr, 0, "failed failed nightlight-sim.state: Permission denied", 0.51, nullptr},
    {"off", {"disable", {}, {}}, [](Harness& h) { h.provider.statusByte1 = 1; }, nullptr, 0, "ok", 0.51, nullptr},
    {"off while Keep Always On is set", {"disable", {}, {}}, [](Harness& h) { h.manager->autoEnable = true; },
     nullptr, 0, "refused", 0, nullptr},
    {"no night light here", {"enable", {}, {}}, nullptr, nullptr, 0, "unsupported", 0.01, nullptr},
    {"strength", {"strength", {"0.3"}, {}}, nullptr, nullptr, 0, "ok", 0.01, nullptr},
    {"strength busy",
     {"strength", {"0.3"}, {}},
     [](Harness& h) {
       stuck(h);
       h.provider.setReason(DW_NIGHTLIGHT_REASON_BUSY, "kwinrc.lock is held by another program");
     },
     nullptr, 0, "failed busy kwinrc.lock is held by another program", 0.01, nullptr},
    {"strength not taken", {"strength", {"0.3"}, {}}, stuck, nullptr, 0, "unconfirmed", 3.0, nullptr},
    // KDE with kwinrc unreadable while KWin answers: never "done", never shown as fact.
    {"strength that cannot be read back",
     {"strength", {"0.9"}, {}},
     [](Harness& h) {
       stuck(h);
       h.provider.strengthWrites = 0;
       h.provider.setReason(DW_NIGHTLIGHT_REASON_FAILED, "kwinrc: Permission denied");
     },
     nullptr, 0, "failed failed kwinrc: Permission denied", 0.01,
     [](Harness& h) {
       EXPECT_EQ(h.manager->colorTemperatureStrength.get(), 0.5f);
       EXPECT_TRUE(h.manager->unconfirmed.get().strength);
     }},
    {"strength that cannot be read back, no reason given",
     {"strength", {"0.9"}, {}},
     [](Harness& h) {
       stuck(h);
       h.provider.strengthWrites = 0;
     },
     nullptr, 0, "unconfirmed", 3.0, [](Harness& h) { EXPECT_EQ(h.manager->colorTemperatureStrength.get(), 0.5f); }},
    // Answered "failed" at the deadline, then dropped when the thread is free again.
    {"the provider stuck past the deadline", {"enable", {}, {}}, nullptr, nullptr, 10, "failed timeout", 3.0,
     [](Harness& h) {
       EXPECT_EQ(h.provider.setEnabledCalls.load(), 0);
       EXPECT_EQ(h.count("Dropped the request to turn Night Shift on: its deadline passed while it waited, and it "
                         "was answered as failed"),
                 1u);
     }},
    {"strength with the provider stuck", {"strength", {"0.9"}, {}}, nullptr, nullptr, 10, "failed timeout", 3.0,
     [](Harness& h) {
       EXPECT_EQ(h.provider.setStrengthCalls.load(), 0);
       EXPECT_EQ(h.manager->colorTemperatureStrength.get(), 0.5f);
     }},
    {"the client waits less than the manager would", {"enable", {}, 1.0}, nullptr, nullptr, 10, "failed timeout",
     1.0, [](Harness& h) { EXPECT_EQ(h.provider.setEnabledCalls.load(), 0); }},
    {"a short stall", {"enable", {}, {}}, nullptr, nullptr, 2, "ok", 2.51,
     [](Harness& h) { EXPECT_EQ(h.provider.setEnabledCalls.load(), 1); }},
};

class CommandOutcome : public ::testing::TestWithParam<Row> {};

TEST_P(CommandOutcome, IsTheManagersAnswerWithinTheDeadline) {
  const Row& row = GetParam();
  Harness h;
  h.provider.supports = std::string(row.name) != "no night light here";
  h.startWith(false);
  if (row.platform) row.platform(h);
  h.settle();
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
    if (row.at1_5s && std::abs(t - 1.5) < 0.005) row.at1_5s(h);
    h.clock->advanceBy(0.01);
  }
  EXPECT_EQ(answer, row.answer);
  EXPECT_LE(answeredAfter, row.answeredBy + 0.001);
  EXPECT_GE(answeredAfter, row.answeredBy - 0.1);
  if (row.after) row.after(h);
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandOutcome, ::testing::ValuesIn(kRows), [](const auto& row) {
  std::string name = row.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

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
  std::string status;
  const auto askStatus = [&] { commands.handle({"status", {}, {}}, [&](std::string_view line) { status = line; }); };
  askStatus();
  EXPECT_EQ(status, "status enabled=0 strength=0.5 keep-always-on=0 supported=1 backend=scripted unconfirmed=-");
  h.clock->stall(*h.client, 10.0);
  commands.handle({"strength", {"0.9"}, {}}, [](std::string_view) {});
  h.clock->advanceBy(0.01);
  askStatus();
  EXPECT_EQ(status, "status enabled=0 strength=0.9 keep-always-on=0 supported=1 backend=scripted unconfirmed=strength");
  h.clock->advanceBy(3.0);  // answered failed: the value shown is the last one read, still unconfirmed
  askStatus();
  EXPECT_EQ(status, "status enabled=0 strength=0.5 keep-always-on=0 supported=1 backend=scripted unconfirmed=strength");
}

}  // namespace
}  // namespace duskwarden::testing
