#include "update/LoadableAppcastSource.h"
#include "update/SPUStandardUpdaterController.h"
#include "update/StandardUpdateUserDriver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <map>

#include "QtSpin.h"
#include "TestEnvironment.h"

namespace duskwarden {
namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "test_update_dialog";
  static char* argv[] = {name, nullptr};
  // Kept for the whole process, as Qt expects one application object.
  static auto* application = new QApplication(argc, argv);
  return *application;
}

QPushButton* button(QMessageBox* box, const QString& label) {
  for (auto* b : box->buttons())
    if (b->text() == label) return qobject_cast<QPushButton*>(b);
  return nullptr;
}

QString allLabelText(QMessageBox* box) {
  QString all;
  for (auto* label : box->findChildren<QLabel*>()) all += label->text() + "\n";
  return all;
}

UpdateCheckResult available() {
  UpdateCheckResult r;
  r.kind = UpdateCheckResult::Kind::updateAvailable;
  r.applicationName = "Duskwarden";
  r.currentVersion = "1.0.0 (1)";
  r.item.version = "5";
  r.item.shortVersionString = "1.5";
  r.item.downloadLink = "https://example.org/duskwarden/download";
  r.item.releaseNotesLink = "https://example.org/duskwarden/notes-1.5.html";
  return r;
}

struct DialogTest : ::testing::Test {
  void SetUp() override { app(); }
  void TearDown() override {
    if (driver.currentDialogForTesting()) driver.currentDialogForTesting()->close();
    // Closed boxes delete themselves later; let that happen inside the test.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::vector<QUrl> opened;
  StandardUpdateUserDriver driver{[this](const QUrl& url) {
    opened.push_back(url);
    return true;
  }};
};

TEST_F(DialogTest, UpdateAvailableOpensOnlyTheDownloadPage) {
  int dismissed = 0;
  driver.showResult(available(), [&] { ++dismissed; });
  QMessageBox* box = driver.currentDialogForTesting();
  ASSERT_TRUE(box);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->text(), "A new version of Duskwarden is available.");
  EXPECT_TRUE(box->informativeText().contains("Duskwarden 1.5 (5) is available; you have 1.0.0 (1)."));
  EXPECT_TRUE(box->informativeText().contains("https://example.org/duskwarden/notes-1.5.html"));
  app().processEvents();
  const auto png = testing::artifactsDir() / "update-available.png";
  ASSERT_TRUE(box->grab().save(QString::fromStdString(png.string())));

  QPushButton* download = button(box, "Open Download Page");
  ASSERT_TRUE(download);
  download->click();
  app().processEvents();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl("https://example.org/duskwarden/download"));
  EXPECT_EQ(dismissed, 1);
  EXPECT_FALSE(driver.currentDialogForTesting());

  driver.showResult(available(), [&] { ++dismissed; });
  QPushButton* notes = button(driver.currentDialogForTesting(), "Release Notes");
  ASSERT_TRUE(notes);
  notes->click();
  app().processEvents();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1], QUrl("https://example.org/duskwarden/notes-1.5.html"));
  EXPECT_EQ(dismissed, 2);
}

TEST_F(DialogTest, LaterClosesWithoutOpeningAnything) {
  int dismissed = 0;
  auto r = available();
  r.item.releaseNotesLink.clear();
  driver.showResult(r, [&] { ++dismissed; });
  QMessageBox* box = driver.currentDialogForTesting();
  ASSERT_TRUE(box);
  EXPECT_FALSE(button(box, "Release Notes"));
  button(box, "Later")->click();
  app().processEvents();
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(dismissed, 1);
}

TEST_F(DialogTest, OtherOutcomesSaySoInPlainText) {
  UpdateCheckResult r;
  r.applicationName = "Duskwarden";
  r.currentVersion = "1.0.0 (1)";

  r.kind = UpdateCheckResult::Kind::upToDate;
  driver.showResult(r, [] {});
  EXPECT_EQ(driver.currentDialogForTesting()->informativeText(),
            "Duskwarden 1.0.0 (1) is the newest version available.");
  driver.currentDialogForTesting()->grab().save(
      QString::fromStdString((testing::artifactsDir() / "update-uptodate.png").string()));

  r.kind = UpdateCheckResult::Kind::notConfigured;
  driver.showResult(r, [] {});
  EXPECT_EQ(driver.currentDialogForTesting()->text(), "Updates are not configured.");

  // Text from the network is shown as written, never as markup or live links.
  r.kind = UpdateCheckResult::Kind::error;
  r.errorMessage = "The update server answered 500 <a href=\"file:///etc\">Internal</a>.";
  driver.showResult(r, [] {});
  QMessageBox* box = driver.currentDialogForTesting();
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  app().processEvents();
  box->grab().save(QString::fromStdString((testing::artifactsDir() / "update-error.png").string()));
  for (auto* label : box->findChildren<QLabel*>()) {
    if (!label->text().contains("Internal")) continue;
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
  }
  EXPECT_TRUE(allLabelText(box).contains("<a href="));
  box->close();
}

// A hostile feed's version: a line break to start a fake paragraph, a
// right-to-left override to disguise it, and enough text to fill the screen.
TEST_F(DialogTest, FeedTextIsShownOnOneLineWithoutBidiControlsAndCapped) {
  auto r = available();
  r.item.shortVersionString = "1.5\n\nURGENT: run \u202Ehs | moc.live//:ptth lruc\u202C\u2066x\u2069\u200F\u061C\t"
                              "\u2028" + std::string(500, 'A');
  r.item.version = "5\r\x1b[31m";
  driver.showResult(r, [] {});
  QMessageBox* box = driver.currentDialogForTesting();
  ASSERT_TRUE(box);
  app().processEvents();
  box->grab().save(QString::fromStdString((testing::artifactsDir() / "update-hostile-version.png").string()));

  const QString info = box->informativeText();
  const QString shown = info.section(QStringLiteral(" is available;"), 0, 0);
  EXPECT_TRUE(shown.startsWith("Duskwarden 1.5  URGENT: run ")) << shown.toStdString();
  for (char16_t bad : {u'\n', u'\r', u'\t', u'\x1b', u'\u202E', u'\u202C', u'\u2066', u'\u2069', u'\u200F',
                       u'\u061C', u'\u2028'})
    EXPECT_FALSE(shown.contains(QChar(bad))) << "U+" << std::hex << static_cast<int>(bad);
  EXPECT_TRUE(shown.contains(QChar(QChar::ReplacementCharacter)));
  EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
  EXPECT_LE(shown.size(), QStringLiteral("Duskwarden ").size() + 64 + 1);
  // Our own layout keeps its paragraph break before the release notes.
  EXPECT_TRUE(info.contains("\n\nRelease notes: https://example.org/duskwarden/notes-1.5.html"));

  EXPECT_EQ(displayText("2.0 (7)", 64), "2.0 (7)");
  EXPECT_EQ(displayText("\xF0\x9F\x8C\x99\xF0\x9F\x8C\x99", 3), QString::fromUtf8("\xF0\x9F\x8C\x99\xE2\x80\xA6"))
      << "a cut never splits a character";
}

TEST_F(DialogTest, ClosingTheCheckingBoxCancelsButTheResultReplacesItQuietly) {
  int cancels = 0;
  driver.showChecking([&] { ++cancels; });
  ASSERT_TRUE(driver.currentDialogForTesting());
  driver.showResult(available(), [] {});  // the result arrives: not a cancel
  EXPECT_EQ(cancels, 0);
  driver.currentDialogForTesting()->close();

  driver.showChecking([&] { ++cancels; });
  QMessageBox* checking = driver.currentDialogForTesting();
  checking->button(QMessageBox::Cancel)->click();
  app().processEvents();
  EXPECT_EQ(cancels, 1);
}

// A library that Qt Core already is, so it is a real one, but not ours.
std::string someOtherLibrary() {
  QFile maps(QStringLiteral("/proc/self/maps"));
  if (!maps.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray& line : maps.readAll().split('\n'))
    if (line.contains("libQt6Core.so")) return line.mid(line.indexOf('/')).toStdString();
  return {};
}

// The update library cut short, as an interrupted upgrade leaves it.
std::string truncatedUpdateLibrary(std::size_t size) {
  QFile whole(QString::fromStdString(LoadableAppcastSource::defaultLibraryPath()));
  if (!whole.open(QIODevice::ReadOnly)) return {};
  const std::string path = (testing::makeTempDir("update-cut") / "libduskwarden-update.so").string();
  QFile cut(QString::fromStdString(path));
  if (!cut.open(QIODevice::WriteOnly) || cut.write(whole.read(static_cast<qint64>(size))) != qint64(size)) return {};
  return path;
}

TEST(UpdateLibrary, AMissingForeignOrTruncatedLibraryEndsTheCheckInTheErrorDialogAndALaterCheckMayRun) {
  app();
  const std::string foreign = someOtherLibrary();
  const std::string cut = truncatedUpdateLibrary(4000);
  ASSERT_FALSE(foreign.empty());
  ASSERT_FALSE(cut.empty());
  const std::map<std::string, std::string> reasons = {{"/nonexistent/libduskwarden-update.so", "nonexistent"},
                                                      {foreign, "no entry point dw_update_create_appcast_source"},
                                                      {cut, "truncated (4000 bytes)"}};
  for (const auto& [path, reason] : reasons) {
    auto driver = std::make_shared<StandardUpdateUserDriver>([](const QUrl&) { return true; });
    UpdaterSettings settings;
    settings.applicationName = "Duskwarden";
    settings.version = "1";
    settings.feedUrl = "https://example.org/appcast.xml";
    SPUStandardUpdaterController controller(true, driver, std::make_shared<LoadableAppcastSource>(path), settings);
    controller.updater().checkForUpdates();
    ASSERT_TRUE(testing::spinUntil("the error dialog for " + path, [&] {
      const QMessageBox* box = driver->currentDialogForTesting();
      return box && box->text() == "The update check failed.";
    }));
    const QString info = driver->currentDialogForTesting()->informativeText();
    EXPECT_TRUE(info.startsWith("The update check could not start: ")) << info.toStdString();
    EXPECT_TRUE(info.contains(QString::fromStdString(reason))) << info.toStdString();
    EXPECT_FALSE(controller.updater().canCheckForUpdates()) << "until the dialog is closed";
    driver->currentDialogForTesting()->close();
    EXPECT_TRUE(controller.updater().canCheckForUpdates());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

TEST(OpenWebUrlTest, OpensOnlyHttpAndHttpsLinks) {
  std::vector<QUrl> opened;
  UrlOpener opener = [&](const QUrl& u) {
    opened.push_back(u);
    return true;
  };
  EXPECT_TRUE(openWebUrl("https://example.org/a", opener));
  EXPECT_TRUE(openWebUrl("http://example.org/b", opener));
  for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share", "https://", "",
                          "/relative/path", "ftp://example.org/x"})
    EXPECT_FALSE(openWebUrl(bad, opener)) << bad;
  EXPECT_EQ(opened.size(), 2u);
}

}  // namespace
}  // namespace duskwarden
