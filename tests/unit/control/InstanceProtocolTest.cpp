// The socket's line protocol: versions, the bounds of a line (its reader is
// exercised over a real socket in SingleInstanceTest), the strength
// grammar shared by the command line and the running copy, and the status
// answer both ways.
#include "control/InstanceProtocol.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duskwarden::instanceprotocol {
namespace {

TEST(InstanceProtocol, RequestsCarryVersionOneAndNothingElseIsGuessed) {
  const auto status = parseRequest("v1 status");
  ASSERT_TRUE(status.request);
  EXPECT_EQ(status.request->command, "status");
  EXPECT_TRUE(status.request->arguments.empty());
  const auto strength = parseRequest(requestLine("strength", {"0.7"}, 12.345));
  ASSERT_TRUE(strength.request);
  EXPECT_EQ(strength.request->arguments, std::vector<std::string>{"0.7"});
  EXPECT_EQ(strength.request->deadline, 12.345);
  EXPECT_EQ(parseRequest("v1 status deadline=7").request->deadline, 0.007);
  EXPECT_EQ(parseRequest("v1 status deadline=-7").error, kErrorBadRequest);

  EXPECT_EQ(parseRequest("v2 status").error, kErrorUnsupportedVersion);
  EXPECT_EQ(parseRequest("v10 activate").error, kErrorUnsupportedVersion);
  EXPECT_EQ(parseRequest("v0 status").error, kErrorUnsupportedVersion);
  for (const char* line : {"activate", "status v1", "v1", "v", "V1 status", "v1x status", "v1  status", " v1 status",
                           "v1 status ", "v1 stat\tus", "v1 st\xc3\xa4tus", ""})
    EXPECT_EQ(parseRequest(line).error, kErrorBadRequest) << line;

  const std::string longest = "v1 x " + std::string(kMaxRequestLine - 5, 'a');
  EXPECT_TRUE(parseRequest(longest).request);
  EXPECT_EQ(parseRequest(longest + "a").error, kErrorBadRequest);
}

TEST(InstanceProtocol, StrengthIsAPlainDecimalFromZeroToOne) {
  const struct {
    const char* text;
    float value;
  } accepted[] = {{"0", 0.0f}, {"1", 1.0f}, {"0.5", 0.5f}, {".25", 0.25f}, {"1.000", 1.0f}, {"0.7", 0.7f},
                  {"00.1", 0.1f}, {"0.00001", 0.00001f}, {"0.123456789012345678901234567890", 0.123457f},
                  // Six decimals at most: a tiny one is 0, not a 46-digit echo.
                  {"0.00000000000000000000000000000000000000000001", 0.0f}, {"0.9999999", 1.0f}};
  for (const auto& [text, value] : accepted) {
    const auto parsed = parseStrength(text);
    ASSERT_TRUE(parsed) << text;
    EXPECT_EQ(*parsed, value) << text;
    EXPECT_EQ(parseStrength(formatStrength(*parsed)), *parsed) << "round trip of " << text;
  }
  for (const char* text : {"", ".", "1.", "-0", "-0.1", "+0.5", "0,5", "nan", "NaN", "inf", "-inf", "1e400", "1e-1",
                           "0x1p-1", "1.0000001", "2", " 0.5", "0.5 ", "0.5.1", "1_0", "١"})
    EXPECT_FALSE(parseStrength(text)) << text;

  EXPECT_EQ(formatStrength(0.7f), "0.7");
  EXPECT_EQ(formatStrength(1.0f), "1");
  EXPECT_EQ(formatStrength(0.00001f), "0.00001") << "never an exponent the grammar would refuse";
  EXPECT_EQ(parseSwitch("on"), true);
  EXPECT_EQ(parseSwitch("off"), false);
  EXPECT_EQ(parseSwitch("true"), std::nullopt);
}

TEST(InstanceProtocol, OutcomeAnswerFitsOneLineAndReadsBack) {
  using Kind = NightShiftManager::Outcome::Kind;
  const auto failed = [](int code, std::string message) {
    return formatOutcome({Kind::failed, {code, std::move(message)}});
  };
  EXPECT_EQ(failed(DW_NIGHTLIGHT_REASON_LOCKED, "kwinrc's [NightColor] Active is locked ([$i])"),
            "failed locked kwinrc's [NightColor] Active is locked ([$i])");
  EXPECT_EQ(formatOutcome({Kind::unconfirmed, {}}), "unconfirmed");
  EXPECT_EQ(failed(99, "x\ny"), "failed failed x<U+000A>y");
  // Cut to the line's limit, never inside a character.
  const std::string line = failed(DW_NIGHTLIGHT_REASON_FAILED, std::string(300, 'a') + "\u00e4");
  EXPECT_EQ(line.size(), kMaxRequestLine);
  const std::string cut = failed(DW_NIGHTLIGHT_REASON_FAILED, std::string(kMaxRequestLine - 15, 'a') + "\u00e4\u00e4");
  EXPECT_EQ(cut, "failed failed " + std::string(kMaxRequestLine - 15, 'a'));

  const auto back = parseOutcome("failed busy kwinrc.lock is held \u202e");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->reason.code, DW_NIGHTLIGHT_REASON_BUSY);
  EXPECT_EQ(back->reason.message, "kwinrc.lock is held <U+202E>");
  EXPECT_EQ(parseOutcome("failed timeout")->reason, (BlueLightReason{DW_NIGHTLIGHT_REASON_TIMEOUT, ""}));
  for (Kind kind : {Kind::done, Kind::noChangeNeeded, Kind::refused, Kind::unsupported, Kind::unconfirmed})
    EXPECT_EQ(parseOutcome(formatOutcome({kind, {}}))->kind, kind) << formatOutcome({kind, {}});
  for (const char* other : {"failed", "failedx busy", "failed  busy", "ok x", "status enabled=1", "error timeout"})
    EXPECT_FALSE(parseOutcome(other)) << other;
}

TEST(InstanceProtocol, StatusAnswerRoundTripsAndRejectsWhatItCannotRead) {
  Status status{true, 0.7f, false, true, "wlroots"};
  const std::string line = formatStatus(status);
  EXPECT_EQ(line, "status enabled=1 strength=0.7 keep-always-on=0 supported=1 backend=wlroots unconfirmed=- reason=-");
  const auto back = parseStatus(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->enabled, true);
  EXPECT_EQ(back->strength, 0.7f);
  EXPECT_EQ(back->keepAlwaysOn, false);
  EXPECT_EQ(back->supported, true);
  EXPECT_EQ(back->backend, "wlroots");
  EXPECT_EQ(back->unconfirmed, (NightShiftManager::Unconfirmed{false, false}));
  status.unconfirmed.strength = true;
  EXPECT_EQ(parseStatus(formatStatus(status))->unconfirmed, (NightShiftManager::Unconfirmed{false, true}));

  // No backend, or one whose name could break the line (or a JSON string).
  for (const std::optional<std::string>& backend : {std::optional<std::string>{}, std::optional<std::string>{"a b"},
                                                    std::optional<std::string>{"x\"y"}, std::optional<std::string>{""}}) {
    status.backend = backend;
    const auto parsed = parseStatus(formatStatus(status));
    ASSERT_TRUE(parsed) << formatStatus(status);
    EXPECT_EQ(parsed->backend, std::nullopt);
  }
  status.strength = NAN;
  const auto unknown = parseStatus(formatStatus(status));
  ASSERT_TRUE(unknown);
  EXPECT_TRUE(std::isnan(unknown->strength));

  for (const char* bad : {"ok", "status", "status enabled=1 strength=0.7 keep-always-on=0 supported=1",
                          "status enabled=yes strength=0.7 keep-always-on=0 supported=1 backend=sim",
                          "status enabled=1 strength=inf keep-always-on=0 supported=1 backend=sim",
                          "status enabled=1 strength=0.7x keep-always-on=0 supported=1 backend=sim",
                          "status enabled=1 strength=0.7 keep-always-on=0 supported=1 backend=a\"b",
                          "status enabled=1 strength=0.7 keep-always-on supported=1 backend=sim"})
    EXPECT_FALSE(parseStatus(bad)) << bad;
}

}  // namespace
}  // namespace duskwarden::instanceprotocol
