#include "platform/update/NetworkAppcastSource.h"

#include "platform/bundle/Bundle.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace duskwarden {

namespace {

constexpr qint64 kReadBufferBytes = 64 * 1024;

bool isLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  QHostAddress address;
  return address.setAddress(host) && address.isLoopback();
}

std::string show(const QUrl& url) { return url.toDisplayString().toStdString(); }

}  // namespace

std::string feedUrlProblem(const QUrl& url) {
  if (!url.isValid() || url.isRelative() || url.host().isEmpty())
    return "The update feed address \"" + show(url) + "\" is not a valid web address.";
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("https")) return {};
  if (scheme == QLatin1String("http") && isLoopbackHost(url.host())) return {};
  if (scheme == QLatin1String("http"))
    return "The update feed address \"" + show(url) +
           "\" uses plain HTTP; updates are only checked over HTTPS.";
  return "The update feed address \"" + show(url) + "\" is not an HTTPS address.";
}

NetworkAppcastSource::NetworkAppcastSource(FetchLimits limits, QObject* parent)
    : QObject(parent), limits_(limits) {
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    fail("The update server did not answer within " +
         QString::number(limits_.timeoutMs / 1000.0).toStdString() + " seconds.");
  });
}

NetworkAppcastSource::~NetworkAppcastSource() { dropReply(); }

void NetworkAppcastSource::fetch(const QUrl& url, std::function<void(FetchResult)> done) {
  cancel();
  done_ = std::move(done);
  body_.clear();
  if (std::string problem = feedUrlProblem(url); !problem.empty()) {
    // Refused before any connection; still answered later, as promised.
    QTimer::singleShot(0, this, [this, problem, generation = generation_] {
      if (generation == generation_) finish({false, {}, problem});
    });
    return;
  }
  if (!manager_) manager_ = new QNetworkAccessManager(this);

  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
  request.setMaximumRedirectsAllowed(limits_.maxRedirects);
  const auto version = Bundle::main().stringForKey("CFBundleShortVersionString").value_or("0");
  request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromStdString("Duskwarden/" + version));
  request.setRawHeader("Accept", "application/rss+xml, application/xml;q=0.9, text/xml;q=0.8");

  reply_ = manager_->get(request);
  reply_->setReadBufferSize(kReadBufferBytes);
  connect(reply_, &QNetworkReply::redirected, this, &NetworkAppcastSource::onRedirected);
  connect(reply_, &QNetworkReply::metaDataChanged, this, &NetworkAppcastSource::onMetaData);
  connect(reply_, &QNetworkReply::readyRead, this, &NetworkAppcastSource::onReadyRead);
  connect(reply_, &QNetworkReply::finished, this, &NetworkAppcastSource::onFinished);
  deadline_.start(limits_.timeoutMs);
}

void NetworkAppcastSource::cancel() {
  ++generation_;
  done_ = nullptr;
  dropReply();
}

void NetworkAppcastSource::onRedirected(const QUrl& target) {
  if (!reply_) return;
  const QUrl resolved = reply_->url().resolved(target);
  if (std::string problem = feedUrlProblem(resolved); !problem.empty()) {
    fail("The update server redirected to an address that is not allowed. " + problem);
    return;
  }
  emit reply_->redirectAllowed();
}

void NetworkAppcastSource::onMetaData() {
  if (!reply_) return;
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  if (length.isValid() && length.toULongLong() > limits_.maxBytes) {
    fail("The update feed is larger than " + std::to_string(limits_.maxBytes / 1024) + " KiB.");
  }
}

void NetworkAppcastSource::onReadyRead() {
  if (!reply_) return;
  body_ += reply_->read(static_cast<qint64>(limits_.maxBytes) + 1 - body_.size());
  if (static_cast<std::size_t>(body_.size()) > limits_.maxBytes)
    fail("The update feed is larger than " + std::to_string(limits_.maxBytes / 1024) + " KiB.");
}

void NetworkAppcastSource::onFinished() {
  if (!reply_) return;
  onReadyRead();
  if (!reply_) return;  // went over the cap
  const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
    const QString reason = reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    fail("The update server answered " + std::to_string(status.toInt()) +
         (reason.isEmpty() ? std::string() : " " + reason.toStdString()) + ".");
    return;
  }
  if (reply_->error() != QNetworkReply::NoError) {
    fail("The update feed could not be fetched: " + reply_->errorString().toStdString());
    return;
  }
  FetchResult result{true, body_.toStdString(), {}};
  finish(std::move(result));
}

void NetworkAppcastSource::fail(std::string message) { finish({false, {}, std::move(message)}); }

void NetworkAppcastSource::finish(FetchResult result) {
  dropReply();
  auto done = std::move(done_);
  done_ = nullptr;
  if (done) done(std::move(result));
}

void NetworkAppcastSource::dropReply() {
  deadline_.stop();
  if (reply_) {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
  }
}

}  // namespace duskwarden
