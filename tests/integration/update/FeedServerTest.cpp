// The update check against a real HTTP server on the loopback interface.
#include "update/LoadableAppcastSource.h"
#include "update/NetworkAppcastSource.h"
#include "update/SPUStandardUpdaterController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include "QtSpin.h"
#include "TestEnvironment.h"

#include <optional>

#include <zlib.h>

namespace duskwarden {
namespace {

using namespace std::chrono_literals;


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
  void SetUp() override { testing::ensureQtApp<QCoreApplication>(); }

  // Runs one check as the menu would and waits (with a safety limit) for its
  // outcome; `source` null: the network source itself, with `limits`.
  UpdateCheckResult check(const QString& url, FetchLimits limits = {}, const char* currentVersion = "1",
                          std::shared_ptr<AppcastSource> source = nullptr) {
    if (!source) source = std::make_shared<NetworkAppcastSource>(limits);
    UpdaterSettings s;
    s.applicationName = "Duskwarden";
    s.version = currentVersion;
    s.shortVersionString = "1.0.0";
    s.feedUrl = url.toStdString();
    s.systemVersion = "12";
    SPUStandardUpdaterController controller(true, driver, std::move(source), s);
    controller.updater().checkForUpdates();
    EXPECT_TRUE(testing::spinUntil("the check's outcome", [&] { return driver->result.has_value(); }, 10s));
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

bool mapped(const char* library) {
  QFile maps(QStringLiteral("/proc/self/maps"));
  return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

// The program's own source: the update library, opened by the first check.
TEST_F(FeedServerTest, TheFirstCheckOpensTheUpdateLibraryAndFetchesThroughIt) {
  ASSERT_FALSE(mapped("libduskwarden-update.so"));
  CannedServer server(CannedServer::ok(appcast("2", "1.1")));
  auto source = std::make_shared<LoadableAppcastSource>();
  EXPECT_FALSE(source->isLoaded());
  const auto r = check(server.url(), {}, "1", source);
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::updateAvailable) << r.errorMessage;
  EXPECT_TRUE(source->isLoaded());
  EXPECT_TRUE(mapped("libduskwarden-update.so"));
  EXPECT_EQ(server.connections, 1);
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

TEST_F(FeedServerTest, ARedirectLoopIsNamedAsOne) {
  CannedServer server("HTTP/1.1 301 Moved Permanently\r\nLocation: /appcast.xml\r\nContent-Length: 0\r\n\r\n");
  const auto r = check(server.url(), FetchLimits{kMaxAppcastBytes, 5000, 3});
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("redirects in a loop (back to http://127.0.0.1:"), std::string::npos) << r.errorMessage;
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
  ASSERT_TRUE(testing::spinUntil("the first check to connect", [&] { return server.connections > 0; }));
  controller.updater().checkForUpdates();
  EXPECT_EQ(driver->raised, 1);
  ASSERT_TRUE(testing::spinUntil("the first check's outcome", [&] { return driver->result.has_value(); }));
  EXPECT_EQ(server.connections, 1);
  EXPECT_EQ(driver->result->kind, UpdateCheckResult::Kind::error);
}

QByteArray gzip(const QByteArray& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
  QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(static_cast<qsizetype>(z.total_out));
  deflateEnd(&z);
  return out;
}

QByteArray gzipped(const QByteArray& body) {
  const QByteArray packed = gzip(body);
  return "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Encoding: gzip\r\nContent-Length: " +
         QByteArray::number(packed.size()) + "\r\nConnection: close\r\n\r\n" + packed;
}

TEST_F(FeedServerTest, GzipFeedIsReadAndAGzipBombStopsAtTheSizeCap) {
  CannedServer real(gzipped(appcast("2", "1.1")));
  const auto ok = check(real.url());
  EXPECT_EQ(ok.kind, UpdateCheckResult::Kind::updateAvailable) << ok.errorMessage;

  // 64 MiB of zeros in about 64 KiB: only the inflated size can stop it.
  const QByteArray response = gzipped(QByteArray(64 * 1024 * 1024, '\0'));
  ASSERT_LT(response.size(), 128 * 1024);
  CannedServer bomb(response);
  driver->result.reset();
  QElapsedTimer elapsed;
  elapsed.start();
  const auto r = check(bomb.url(), FetchLimits{kMaxAppcastBytes, 8000, 5});
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("larger than 1024 KiB"), std::string::npos) << r.errorMessage;
  EXPECT_LT(elapsed.elapsed(), 4000) << "stopped by the deadline, not the cap";
}

// HTTPS on the loopback interface with a certificate made for the test and
// trusted by this process only: "/old" redirects to `location`, anything
// else is the feed.
class TlsServer {
 public:
  TlsServer(QByteArray location, QByteArray feed) : location_(std::move(location)), feed_(std::move(feed)) {
    const auto dir = testing::makeTempDir("tls");
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout '" + (dir / "key.pem").string() + "' -out '" +
        (dir / "cert.pem").string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return;
    QFile certFile(QString::fromStdString((dir / "cert.pem").string()));
    QFile keyFile(QString::fromStdString((dir / "key.pem").string()));
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) return;
    const QSslCertificate cert(&certFile, QSsl::Pem);
    QSslConfiguration serverConfig = QSslConfiguration::defaultConfiguration();
    serverConfig.setLocalCertificate(cert);
    serverConfig.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
    server_.setSslConfiguration(serverConfig);
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificate(cert);
    QSslConfiguration::setDefaultConfiguration(trusting);
    QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
      while (auto* socket = qobject_cast<QSslSocket*>(server_.nextPendingConnection())) {
        QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
          request_ += socket->readAll();
          if (!request_.contains("\r\n\r\n")) return;
          const bool old = request_.startsWith("GET /old ");
          request_.clear();
          socket->write(old ? "HTTP/1.1 302 Found\r\nLocation: " + location_ +
                                  "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                            : CannedServer::ok(feed_));
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
    ready_ = server_.listen(QHostAddress::LocalHost);
  }
  bool ready() const { return ready_; }
  QString url(const char* path) const {
    return QStringLiteral("https://127.0.0.1:%1%2").arg(server_.serverPort()).arg(QLatin1String(path));
  }

 private:
  QSslServer server_;
  QByteArray location_;
  QByteArray feed_;
  QByteArray request_;
  bool ready_ = false;
};

TEST_F(FeedServerTest, AnHttpsFeedMayMoveOnlyToHttpsNotEvenToLoopbackHttp) {
  CannedServer plain(CannedServer::ok(appcast("2", "1.1")));
  TlsServer toPlain(plain.url().toUtf8(), appcast("2", "1.1"));
  ASSERT_TRUE(toPlain.ready()) << "no TLS test server (is openssl installed?)";

  // Control: the same server's redirect within HTTPS is followed.
  TlsServer toTls("/appcast.xml", appcast("2", "1.1"));
  ASSERT_TRUE(toTls.ready());
  const auto followed = check(toTls.url("/old"));
  EXPECT_EQ(followed.kind, UpdateCheckResult::Kind::updateAvailable) << followed.errorMessage;

  driver->result.reset();
  const auto r = check(toPlain.url("/old"));
  EXPECT_EQ(r.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(r.errorMessage.find("redirected to an address that is not allowed"), std::string::npos)
      << r.errorMessage;
  EXPECT_EQ(plain.connections, 0);

  // A plain-HTTP loopback feed (a local test server) may still move within loopback HTTP.
  EXPECT_EQ(redirectProblem(QUrl("http://127.0.0.1:8000/a.xml"), QUrl("http://localhost:8001/b.xml")), "");
  EXPECT_NE(redirectProblem(QUrl("https://example.org/a.xml"), QUrl("http://[::1]/b.xml")), "");
}

}  // namespace
}  // namespace duskwarden
