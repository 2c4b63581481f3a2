#include "update/SPUStandardUpdaterController.h"

#include <gtest/gtest.h>

#include <QUrl>

namespace duskwarden {
namespace {

// Records fetches and answers only when the test says so.
class HeldSource : public AppcastSource {
 public:
  void fetch(const QUrl& url, std::function<void(FetchResult)> done) override {
    urls.push_back(url.toString().toStdString());
    pending = std::move(done);
  }
  void cancel() override {
    ++cancels;
    pending = nullptr;
  }
  void answer(FetchResult result) {
    auto done = std::move(pending);
    pending = nullptr;
    ASSERT_TRUE(done) << "no fetch in progress";
    done(std::move(result));
  }
  std::vector<std::string> urls;
  std::function<void(FetchResult)> pending;
  int cancels = 0;
};

class RecordingDriver : public UpdateUserDriver {
 public:
  void showChecking(std::function<void()> c) override {
    ++checkingShown;
    cancel = std::move(c);
  }
  void showResult(const UpdateCheckResult& r, std::function<void()> d) override {
    results.push_back(r);
    dismiss = std::move(d);
  }
  void bringToFront() override { ++raised; }
  int checkingShown = 0;
  int raised = 0;
  std::vector<UpdateCheckResult> results;
  std::function<void()> cancel;
  std::function<void()> dismiss;
};

const char* kFeed =
    "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
    "<item><sparkle:version>5</sparkle:version><sparkle:shortVersionString>1.5</sparkle:shortVersionString>"
    "<link>https://example.org/get</link></item></channel></rss>";

UpdaterSettings settings(std::string feedUrl) {
  UpdaterSettings s;
  s.applicationName = "Duskwarden";
  s.version = "1";
  s.shortVersionString = "1.0.0";
  s.feedUrl = std::move(feedUrl);
  s.systemVersion = "12";
  return s;
}

struct Fixture : ::testing::Test {
  std::shared_ptr<HeldSource> source = std::make_shared<HeldSource>();
  std::shared_ptr<RecordingDriver> driver = std::make_shared<RecordingDriver>();
  SPUStandardUpdaterController make(bool start, std::string url = "https://example.org/appcast.xml") {
    return SPUStandardUpdaterController(start, driver, source, settings(std::move(url)));
  }
};

TEST_F(Fixture, StartingContactsNoOneAndChecksOnlyWhenAsked) {
  auto controller = make(true);
  EXPECT_TRUE(controller.updater().canCheckForUpdates());
  EXPECT_TRUE(source->urls.empty());
  EXPECT_EQ(driver->checkingShown, 0);

  controller.updater().checkForUpdates();
  ASSERT_EQ(source->urls.size(), 1u);
  EXPECT_EQ(source->urls[0], "https://example.org/appcast.xml");
  EXPECT_EQ(driver->checkingShown, 1);
  EXPECT_FALSE(controller.updater().canCheckForUpdates());

  source->answer({true, kFeed, {}});
  ASSERT_EQ(driver->results.size(), 1u);
  EXPECT_EQ(driver->results[0].kind, UpdateCheckResult::Kind::updateAvailable);
  EXPECT_EQ(driver->results[0].item.displayVersion(), "1.5 (5)");
  EXPECT_EQ(driver->results[0].currentVersion, "1.0.0 (1)");
}

TEST_F(Fixture, UnstartedUpdaterDoesNotCheck) {
  auto controller = make(false);
  EXPECT_FALSE(controller.updater().canCheckForUpdates());
  controller.updater().checkForUpdates();
  EXPECT_TRUE(source->urls.empty());
  EXPECT_TRUE(driver->results.empty());
  controller.startUpdater();
  controller.updater().checkForUpdates();
  EXPECT_EQ(source->urls.size(), 1u);
}

TEST_F(Fixture, SecondCheckRaisesTheRunningOneUntilItsResultIsDismissed) {
  auto controller = make(true);
  auto& updater = controller.updater();
  updater.checkForUpdates();
  updater.checkForUpdates();  // while fetching
  EXPECT_EQ(source->urls.size(), 1u);
  EXPECT_EQ(driver->raised, 1);

  source->answer({false, {}, "The update server answered 500."});
  ASSERT_EQ(driver->results.size(), 1u);
  EXPECT_EQ(driver->results[0].kind, UpdateCheckResult::Kind::error);
  updater.checkForUpdates();  // while the result is on screen
  EXPECT_EQ(source->urls.size(), 1u);
  EXPECT_EQ(driver->raised, 2);

  driver->dismiss();
  EXPECT_TRUE(updater.canCheckForUpdates());
  updater.checkForUpdates();
  EXPECT_EQ(source->urls.size(), 2u);
}

TEST_F(Fixture, CancellingStopsTheFetchAndShowsNoResult) {
  auto controller = make(true);
  controller.updater().checkForUpdates();
  driver->cancel();
  EXPECT_EQ(source->cancels, 1);
  EXPECT_TRUE(driver->results.empty());
  EXPECT_TRUE(controller.updater().canCheckForUpdates());
}

TEST_F(Fixture, BuildWithoutFeedSaysUpdatesAreNotConfigured) {
  auto controller = make(true, "");
  controller.updater().checkForUpdates();
  EXPECT_TRUE(source->urls.empty());
  EXPECT_EQ(driver->checkingShown, 0);
  ASSERT_EQ(driver->results.size(), 1u);
  EXPECT_EQ(driver->results[0].kind, UpdateCheckResult::Kind::notConfigured);
  driver->dismiss();
  EXPECT_TRUE(controller.updater().canCheckForUpdates());
}

TEST_F(Fixture, DestroyingTheUpdaterMidCheckCancelsAndIgnoresLateAnswers) {
  std::function<void(FetchResult)> lateAnswer;
  {
    auto controller = make(true);
    controller.updater().checkForUpdates();
    lateAnswer = source->pending;
  }
  EXPECT_EQ(source->cancels, 1);
  lateAnswer({true, kFeed, {}});
  EXPECT_TRUE(driver->results.empty());
}

TEST(UpdaterSettingsTest, ComeFromTheBuild) {
  const auto s = UpdaterSettings::fromBuild({"Duskwarden", "7", "1.2", "https://example.org/a.xml"}, "12");
  EXPECT_EQ(s.version, "7");
  EXPECT_EQ(s.displayVersion(), "1.2 (7)");
  EXPECT_EQ(s.feedUrl, "https://example.org/a.xml");
  // A build without a feed has none.
  EXPECT_EQ(UpdaterSettings::fromBuild({"Duskwarden", "7", "1.2", ""}, std::nullopt).feedUrl, "");
}

}  // namespace
}  // namespace duskwarden
