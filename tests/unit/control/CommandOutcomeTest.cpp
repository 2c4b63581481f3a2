// What the running copy answers to enable, disable and strength, against the
// scripted provider on virtual time: "ok" only once a read shows the state
// asked for, "failed <why> <message>" as soon as the provider says why not,
// "failed unconfirmed" when nothing shows it by the deadline. A locked key on
// a real KWin and gsd-color is in the e2e tests (e2e_kde, e2e_backends).
#include "control/InstanceCommands.h"

#include "ManagerHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace duskwarden::testing {
namespace {

struct Row {
  const char* name;
  instanceprotocol::Request request;
  std::function<void(DwTestProviderControl&)> platform;  // before the request
  std::function<void(Harness&)> at1_5s;                   // the desktop, later
  std::string answer;
  double answeredBy;  // seconds after the request
};

const Row kRows[] = {
    {"on", {"enable", {}}, nullptr, nullptr, "ok", 0.51},
    {"already on", {"enable", {}}, [](auto& p) { p.statusByte1 = 1; }, nullptr, "ok", 0.51},
    {"inhibited without a message",
     {"enable", {}},
     [](auto& p) {
       p.setEnabledTakesEffect = 0;
       p.setReason(DW_NIGHTLIGHT_REASON_INHIBITED, "");
     },
     nullptr, "failed inhibited", 0.51},
    {"on late, as KWin does",
     {"enable", {}},
     [](auto& p) { p.setEnabledTakesEffect = 0; },
     [](Harness& h) { h.externalChange(true); },
     "ok", 1.61},
    {"never on, no reason", {"enable", {}}, [](auto& p) { p.setEnabledTakesEffect = 0; }, nullptr,
     "failed unconfirmed", 3.01},
    {"off", {"disable", {}}, [](auto& p) { p.statusByte1 = 1; }, nullptr, "ok", 0.51},
    {"strength", {"strength", {"0.3"}}, nullptr, nullptr, "ok", 0.01},
    {"strength busy",
     {"strength", {"0.3"}},
     [](auto& p) {
       p.setStrengthTakesEffect = 0;
       p.setReason(DW_NIGHTLIGHT_REASON_BUSY, "kwinrc.lock is held by another program");
     },
     nullptr, "failed busy kwinrc.lock is held by another program", 0.01},
    {"strength not taken", {"strength", {"0.3"}}, [](auto& p) { p.setStrengthTakesEffect = 0; }, nullptr,
     "failed unconfirmed", 3.01},
};

class CommandOutcome : public ::testing::TestWithParam<Row> {};

TEST_P(CommandOutcome, IsAnsweredOnlyWhenTheDesktopShowsIt) {
  const Row& row = GetParam();
  Harness h;
  h.startWith(false);
  if (row.platform) row.platform(h.provider);
  h.settle();
  InstanceCommands commands({[&] { return h.manager; }, h.main, [] { return ProviderInfo{true, "scripted"}; }});
  std::optional<std::string> answer;
  double answeredAfter = -1;
  const double start = h.clock->now();
  commands.handle(row.request, [&](std::string_view line) {
    EXPECT_FALSE(answer) << "answered twice";
    answer = std::string(line);
    answeredAfter = h.clock->now() - start;
  });
  for (double t = 0; t < 5.0 && !answer; t += 0.01) {
    if (row.at1_5s && std::abs(t - 1.5) < 0.005) row.at1_5s(h);
    h.clock->advanceBy(0.01);
  }
  EXPECT_EQ(answer, row.answer);
  EXPECT_LE(answeredAfter, row.answeredBy);
  EXPECT_GE(answeredAfter, row.answeredBy - 0.1);
}

INSTANTIATE_TEST_SUITE_P(Rows, CommandOutcome, ::testing::ValuesIn(kRows), [](const auto& row) {
  std::string name = row.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

TEST(CommandOutcomeProvider, WithoutNightLightTheAnswerIsUnsupported) {
  Harness h;
  h.startWith(false);
  h.settle();
  InstanceCommands commands({[&] { return h.manager; }, h.main, [] { return ProviderInfo{false, {}}; }});
  std::string answer;
  commands.handle({"enable", {}}, [&](std::string_view line) { answer = line; });
  h.clock->advanceBy(0.01);
  EXPECT_EQ(answer, "unsupported");
}

}  // namespace
}  // namespace duskwarden::testing
