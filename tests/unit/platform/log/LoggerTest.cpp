#include "platform/log/Logger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using duskwarden::LogArgument;
using duskwarden::Logger;
using duskwarden::LogLevel;
using duskwarden::MemoryLogSink;
using duskwarden::renderLogFormat;

namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { duskwarden::setLogSinks({sink_}); }
  void TearDown() override { duskwarden::setLogSinks({}); }
  std::shared_ptr<MemoryLogSink> sink_ = std::make_shared<MemoryLogSink>();
};

// The application's own messages, rendered with the argument types its callers pass.
TEST_F(LoggerTest, RendersTheApplicationsMessages) {
  Logger manager("com.quillmoor.Duskwarden", "NightShiftManager");
  Logger login("com.velloran.LaunchAtLogin", "main");

  manager.log("Status update - enabled: %{bool}d, strength: %f", true, 0.25f);
  manager.log("Auto-enable toggled: %{bool,public}d. Launch at Login set to: %{bool,public}d", false, true);
  login.error("Failed to %s launch at login: %s", "enable", std::string("Operation not permitted"));
  manager.log("Setting color temperature strength to: %f", static_cast<double>(0.7f));
  manager.log("NightShiftManager initialized with autoEnable: %{bool}d", 0);

  const auto e = sink_->entries();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].message, "Status update - enabled: true, strength: 0.250000");
  EXPECT_EQ(e[1].message, "Auto-enable toggled: false. Launch at Login set to: true");
  EXPECT_EQ(e[2].message, "Failed to enable launch at login: Operation not permitted");
  EXPECT_EQ(e[3].message, "Setting color temperature strength to: 0.700000");
  EXPECT_EQ(e[4].message, "NightShiftManager initialized with autoEnable: false");

  EXPECT_EQ(e[0].level, LogLevel::defaultLevel);
  EXPECT_EQ(e[2].level, LogLevel::error);
  EXPECT_EQ(e[0].subsystem, "com.quillmoor.Duskwarden");
  EXPECT_EQ(e[0].category, "NightShiftManager");
  EXPECT_EQ(e[2].subsystem, "com.velloran.LaunchAtLogin");
  EXPECT_EQ(e[2].category, "main");
  // The format is kept as written, next to the rendered text.
  EXPECT_EQ(e[1].format, "Auto-enable toggled: %{bool,public}d. Launch at Login set to: %{bool,public}d");

  EXPECT_EQ(sink_->messages("main"), std::vector<std::string>{e[2].message});
}

TEST_F(LoggerTest, PrivacyMarksAreKeptOnePerPlaceholder) {
  Logger l("s", "c");
  l.log("%{bool,public}d %{private}s %d %{ public , bool }d %f %%", 1, "x", 3, 0, 1.0);
  const auto e = sink_->entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].privacy, (std::vector<std::string>{"public", "private", "", "public", ""}));
  EXPECT_EQ(e[0].message, "true x 3 false 1.000000 %");
}

TEST(RenderLogFormat, BoolPlaceholderShowsAnyNonZeroAsTrue) {
  using V = std::vector<LogArgument>;
  EXPECT_EQ(renderLogFormat("%{bool}d", V{std::int64_t{2}}), "true");
  EXPECT_EQ(renderLogFormat("%{bool}d", V{std::int64_t{-1}}), "true");
  EXPECT_EQ(renderLogFormat("%{bool}d", V{std::int64_t{0}}), "false");
  // Without the bool mark the same value is a number.
  EXPECT_EQ(renderLogFormat("%d", V{std::int64_t{2}}), "2");
}

TEST(RenderLogFormat, MissingAndMismatchedArgumentsAreMarkedNotRead) {
  using V = std::vector<LogArgument>;
  EXPECT_EQ(renderLogFormat("a %d b %s c %f", V{}), "a <missing> b <missing> c <missing>");
  EXPECT_EQ(renderLogFormat("%d %d", V{std::int64_t{1}}), "1 <missing>");
  EXPECT_EQ(renderLogFormat("%s", V{std::int64_t{5}}), "<mismatch>");
  EXPECT_EQ(renderLogFormat("%d", V{std::string("text")}), "<mismatch>");
  EXPECT_EQ(renderLogFormat("%{bool}d", V{0.5}), "<mismatch>");
  // A mismatch still consumes its argument, so the next placeholder lines up.
  EXPECT_EQ(renderLogFormat("%s then %d", V{std::int64_t{5}, std::int64_t{6}}), "<mismatch> then 6");
  // Integers widen for %f; extra arguments are ignored.
  EXPECT_EQ(renderLogFormat("%f", V{std::int64_t{2}, std::string("extra")}), "2.000000");
}

TEST(RenderLogFormat, PercentEdgeCasesStayText) {
  using V = std::vector<LogArgument>;
  EXPECT_EQ(renderLogFormat("100%%", V{}), "100%");
  EXPECT_EQ(renderLogFormat("%%d", V{std::int64_t{1}}), "%d");
  EXPECT_EQ(renderLogFormat("dangling %", V{std::int64_t{1}}), "dangling %");
  EXPECT_EQ(renderLogFormat("dangling %{bool}", V{std::int64_t{1}}), "dangling %{bool}");
  EXPECT_EQ(renderLogFormat("open %{bool d", V{std::int64_t{1}}), "open %{bool d");
  EXPECT_EQ(renderLogFormat("%q", V{std::int64_t{1}}), "%q");
  // An unknown conversion takes no argument.
  EXPECT_EQ(renderLogFormat("%x %d", V{std::int64_t{7}}), "%x 7");
  EXPECT_EQ(renderLogFormat("%ld %lld %zu", V{std::int64_t{1}, std::int64_t{2}, std::int64_t{3}}), "1 2 3");
  EXPECT_EQ(renderLogFormat("", V{std::int64_t{1}}), "");
}

// Text from outside (a feed's version, a provider's message) cannot reverse,
// split or corrupt the line it lands in; other scripts pass untouched.
TEST(RenderLogFormat, TextArgumentsAreShownNeverObeyed) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"1.2\u202Egpj.exe", "1.2<U+202E>gpj.exe"},
      {"a\u2066b\u2069c\u200Fd\u061C", "a<U+2066>b<U+2069>c<U+200F>d<U+061C>"},
      {"two\nlines\r\t\x1b[31m\x7f", "two<U+000A>lines<U+000D><U+0009><U+001B>[31m<U+007F>"},
      {"c1 \u0085 end", "c1 <U+0085> end"},
      {"bad \xff\xc0\x80 \xe2\x80 \xed\xa0\x80", "bad <0xFF><0xC0><0x80> <0xE2><0x80> <0xED><0xA0><0x80>"},
      {"Dämmerung \u65e5\u672c \U0001F319", "Dämmerung \u65e5\u672c \U0001F319"},
  };
  for (const auto& c : cases) EXPECT_EQ(renderLogFormat("v%s.", {c.in}), "v" + c.out + ".") << c.out;
}

TEST_F(LoggerTest, NullCStringArgumentDoesNotCrash) {
  Logger l("s", "c");
  const char* none = nullptr;
  l.error("Failed to %s launch at login: %s", "disable", none);
  ASSERT_EQ(sink_->messages().size(), 1u);
  EXPECT_EQ(sink_->messages()[0], "Failed to disable launch at login: (null)");
}

TEST_F(LoggerTest, TextWithPercentSignsIsNotReinterpreted) {
  Logger l("s", "c");
  l.log("%s", "100% %d %s");
  EXPECT_EQ(sink_->messages(), std::vector<std::string>{"100% %d %s"});
}

TEST_F(LoggerTest, SinksCanBeAddedAndRemoved) {
  auto second = std::make_shared<MemoryLogSink>();
  duskwarden::addLogSink(second);
  Logger l("s", "c");
  l.log("one");
  duskwarden::removeLogSink(second);
  l.log("two");
  EXPECT_EQ(sink_->messages(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(second->messages(), std::vector<std::string>{"one"});
  sink_->clear();
  EXPECT_TRUE(sink_->entries().empty());
}

TEST_F(LoggerTest, ConcurrentLoggingFromSeveralThreadsKeepsEveryEntryWhole) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      Logger l("s", "thread" + std::to_string(t));
      for (int i = 0; i < kPerThread; ++i) l.log("thread %d item %d flag %{bool}d", t, i, i % 2);
    });
  }
  // Swapping sinks while others log must be safe too.
  auto extra = std::make_shared<MemoryLogSink>();
  for (int i = 0; i < 50; ++i) {
    duskwarden::addLogSink(extra);
    duskwarden::removeLogSink(extra);
  }
  for (auto& th : threads) th.join();

  ASSERT_EQ(sink_->entries().size(), static_cast<std::size_t>(kThreads * kPerThread));
  for (int t = 0; t < kThreads; ++t) {
    const auto msgs = sink_->messages("thread" + std::to_string(t));
    ASSERT_EQ(msgs.size(), static_cast<std::size_t>(kPerThread));
    // Each thread's entries arrive in its own order, each rendered intact.
    for (int i = 0; i < kPerThread; ++i)
      EXPECT_EQ(msgs[i], "thread " + std::to_string(t) + " item " + std::to_string(i) + " flag " +
                             (i % 2 ? "true" : "false"));
  }
}

TEST(LoggerDefaultSink, WritesToStderrWithoutAJournal) {
  duskwarden::setLogSinks({});
  ::testing::internal::CaptureStderr();
  Logger("com.quillmoor.Duskwarden", "UserDefaults").error("Could not read %{public}s", "x");
  const std::string err = ::testing::internal::GetCapturedStderr();
  if (std::filesystem::exists("/run/systemd/journal/socket"))
    GTEST_SKIP() << "a journal is reachable here; entries go there instead";
  EXPECT_EQ(err, "[com.quillmoor.Duskwarden:UserDefaults] error: Could not read x\n");
}

}  // namespace
