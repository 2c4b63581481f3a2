// The update check against a real HTTP server on the loopback interface.
#include "platform/update/NetworkAppcastSource.h"
#include "platform/update/SPUStandardUpdaterController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <optional>

namespace duskwarden {
namespace {

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "test_update_feed_server";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
  return application;
}

// Answers every request with one canned response (or with nothing at all).
class CannedServer {
 public:
  explicit CannedServer(QByteArray response) : response_(std::move(response)) {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          request_ += socket->readAll();
          if (!request_.contains("\r\n\r\n") || response_.isEmpty()) return;  // silent: a stuck server
          socket->write(response_);
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QString url(const char* path = "/appcast.xml") const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(QLatin1String(path));
  }
  static QByteArray ok(const QByteArray& body, const char* type = "application/rss+xml") {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + QByteArray(type) +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }
  int connections = 0;

 private:
  QTcpServer server_;
  QByteArray response_;
  QByteArray request_;
};

class ResultDriver : public UpdateUserDriver {
 public:
  void showChecking(std::function<void()>) override {}
  void showResult(const UpdateCheckResult& r, std::function<void()> d) override {
    result = r;
    dismiss = std::move(d);
  }
  void bringToFront() override { ++raised; }
  std::optional<UpdateCheckResult> result;
  std::function<void()> dismiss;
  int raised = 0;
};

QByteArray appcast(const char* version, const char* shortVersion) {
  return QByteArray(
             "<?xml version=\"1.0\"?><rss version=\"2.0\" "
             "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
             "<item><sparkle:version>") +
         version + "</sparkle:version><sparkle:shortVersionString>" + shortVersion +
         "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://example.org/notes</sparkle:releaseNotesLink>"
         "<link>https://example.org/download/" + shortVersion + "</link></item></channel></rss>";
}

struct FeedServerTest : ::testing::Test {
  void SetUp() override { app(); }

  // Runs one check as the menu would and waits (with a safety limit) for its outcome.
  UpdateCheckResult check(const QString& url, FetchLimits limits = {}, const char* currentVersion = "1") {
    UpdaterSettings s;
    s.applicationName = "Duskwarden";
    s.version = currentVersion;
    s.shortVersionString = "1.0.0";
    s.feedUrl = url.toStdString();
    s.systemVersion = "12";
    SPUStandardUpdaterController controller(true, driver, std::make_shared<NetworkAppcastSource>(limits), s);
    controller.updater().checkForUpdates();
    QElapsedTimer waited;
    waited.start();
    while (!driver->result && waited.elapsed() < 10000) app().processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(driver->result) << "no outcome within 10 s";
    return driver->result.value_or(UpdateCheckResult{});
  }
  std::shared_ptr<ResultDriver> driver = std::make_shared<ResultDriver>();
};

TEST_F(FeedServerTest, NewerVersionIsOffered) {
  CannedServer server(CannedServer::ok(appcast("2", "1.1")));
  const auto r = check(server.url());
  ASSERT_EQ(r.kind, UpdateCheckResult::Kind::updateAvailable) << r.errorMessage;
  EXPECT_EQ(r.item.version, "2");
  EXPECT_EQ(r.item.shortVersionString, "1.1");
  EXPECT_EQ(r.item.downloadLink, "https://example.org/download/1.1");
  EXPECT_EQ(r.item.releaseNotesLink, "https://example.org/notes");
}

TEST_F(FeedServerTest, SameVersionIsUpToDate) {
  CannedServer server(CannedServer::ok(appcast("1", "1.0.0")));
  const auto r = check(server.url());
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::upToDate) << r.errorMessage;
  EXPECT_EQ(r.currentVersion, "1.0.0 (1)");
}

TEST_F(FeedServerTest, ServerErrorIsReported) {
  CannedServer server("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\nConnection: close\r\n\r\noops!");
  const auto r = check(server.url());
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("500"), std::string::npos) << r.errorMessage;
}

TEST_F(FeedServerTest, GarbageIsReported) {
  CannedServer server(CannedServer::ok("<html><body>Parked domain</body></html>", "text/html"));
  const auto r = check(server.url());
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("not an RSS feed"), std::string::npos) << r.errorMessage;
}

TEST_F(FeedServerTest, SilentServerTimesOut) {
  CannedServer server("");  // accepts, reads, never answers
  QElapsedTimer elapsed;
  elapsed.start();
  const auto r = check(server.url(), FetchLimits{kMaxAppcastBytes, 300, 5});
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("did not answer within 0.3 seconds"), std::string::npos) << r.errorMessage;
  EXPECT_EQ(server.connections, 1);
  EXPECT_LT(elapsed.elapsed(), 2000);
}

TEST_F(FeedServerTest, OversizeBodyIsCutOffWhileArriving) {
  // No Content-Length, so only the count of arriving bytes can stop it.
  QByteArray body(64 * 1024, 'x');
  CannedServer server("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body);
  const auto r = check(server.url(), FetchLimits{16 * 1024, 5000, 5});
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("larger than 16 KiB"), std::string::npos) << r.errorMessage;
}

TEST_F(FeedServerTest, RedirectToPlainHttpElsewhereIsRefused) {
  CannedServer server(
      "HTTP/1.1 302 Found\r\nLocation: http://example.org/appcast.xml\r\nContent-Length: 0\r\n"
      "Connection: close\r\n\r\n");
  const auto r = check(server.url());
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("redirected to an address that is not allowed"), std::string::npos)
      << r.errorMessage;
}

TEST_F(FeedServerTest, PlainHttpToAnotherHostIsRefusedWithoutConnecting) {
  // A listening loopback server reached by a non-loopback name would be the
  // only way to see a connection; the refusal happens before name lookup.
  CannedServer server(CannedServer::ok(appcast("2", "1.1")));
  const auto r = check(QStringLiteral("http://example.org:%1/appcast.xml").arg(QUrl(server.url()).port()));
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("plain HTTP"), std::string::npos) << r.errorMessage;
  EXPECT_EQ(server.connections, 0);

  EXPECT_EQ(feedUrlProblem(QUrl("https://example.org/a.xml")), "");
  EXPECT_EQ(feedUrlProblem(QUrl("http://localhost:8000/a.xml")), "");
  EXPECT_EQ(feedUrlProblem(QUrl("http://[::1]/a.xml")), "");
  EXPECT_NE(feedUrlProblem(QUrl("http://10.0.0.1/a.xml")), "");
  EXPECT_NE(feedUrlProblem(QUrl("ftp://example.org/a.xml")), "");
  EXPECT_NE(feedUrlProblem(QUrl("file:///etc/passwd")), "");
  EXPECT_NE(feedUrlProblem(QUrl("not a url")), "");
}

TEST_F(FeedServerTest, SecondCheckWhileFetchingRaisesInsteadOfConnectingAgain) {
  CannedServer server("");  // holds the first check open
  UpdaterSettings s;
  s.version = "1";
  s.feedUrl = server.url().toStdString();
  SPUStandardUpdaterController controller(true, driver, std::make_shared<NetworkAppcastSource>(FetchLimits{kMaxAppcastBytes, 500, 5}), s);
  controller.updater().checkForUpdates();
  QElapsedTimer waited;
  waited.start();
  while (server.connections == 0 && waited.elapsed() < 5000) app().processEvents(QEventLoop::WaitForMoreEvents, 50);
  controller.updater().checkForUpdates();
  EXPECT_EQ(driver->raised, 1);
  while (!driver->result && waited.elapsed() < 5000) app().processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(server.connections, 1);
  ASSERT_TRUE(driver->result);
  EXPECT_EQ(driver->result->kind, UpdateCheckResult::Kind::error);
}

}  // namespace
}  // namespace duskwarden
