#include "update/NetworkAppcastSource.h"

#include "duskwarden_build_info.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <zlib.h>

namespace duskwarden {

namespace {

constexpr qint64 kReadBufferBytes = 64 * 1024;

std::string tooLarge(std::size_t maxBytes) {
  return "The update feed is larger than " + std::to_string(maxBytes / 1024) + " KiB.";
}

bool isLoopbackHost(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  QHostAddress address;
  return address.setAddress(host) && address.isLoopback();
}

std::string show(const QUrl& url) { return url.toDisplayString().toStdString(); }

}  // namespace

// Inflates a gzip (or zlib) body as it arrives. Qt would inflate it too, but
// only when it picks the encodings itself, and then a small body that
// inflates to gigabytes is stopped by Qt's own ratio check with a bare
// "Decompression failed"; inflating here counts every byte against our cap.
class NetworkAppcastSource::Inflater {
 public:
  Inflater() { ready_ = inflateInit2(&stream_, 15 + 32) == Z_OK; }  // +32: gzip or zlib header
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Appends what `input` inflates to onto `out`, stopping as soon as `out`
  // holds more than `cap` bytes. False for data that is not gzip.
  bool feed(const QByteArray& input, QByteArray& out, std::size_t cap) {
    if (!ready_) return false;
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream_.avail_in = static_cast<uInt>(input.size());
    char buffer[16 * 1024];
    while (!ended_ && static_cast<std::size_t>(out.size()) <= cap) {
      stream_.next_out = reinterpret_cast<Bytef*>(buffer);
      stream_.avail_out = sizeof buffer;
      const int rc = inflate(&stream_, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return false;
      out.append(buffer, static_cast<qsizetype>(sizeof buffer - stream_.avail_out));
      if (rc == Z_STREAM_END) ended_ = true;
      // Z_BUF_ERROR, or all input taken with room to spare: it needs more input.
      if (rc == Z_BUF_ERROR || (stream_.avail_in == 0 && stream_.avail_out != 0)) break;
    }
    return true;
  }
  bool ended() const { return ended_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
  bool ended_ = false;
};

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

std::string redirectProblem(const QUrl& feed, const QUrl& to) {
  if (feed.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
      to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
    return "An HTTPS feed may not move to \"" + show(to) + "\".";
  return feedUrlProblem(to);
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
  received_ = 0;
  visited_ = {url};
  inflater_.reset();
  feedUrl_ = url;
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
  // Loops are caught in onRedirected: at its own limit, or sent back to the
  // same address, Qt may end the reply with no error and no status at all.
  request.setMaximumRedirectsAllowed(limits_.maxRedirects + 1);
  request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Duskwarden/" DW_SHORT_VERSION));
  request.setRawHeader("Accept", "application/rss+xml, application/xml;q=0.9, text/xml;q=0.8");
  // Named here, so Qt leaves the decoding (and its size check) to us.
  request.setRawHeader("Accept-Encoding", "gzip");

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
  if (visited_.contains(resolved)) {
    fail("The update server redirects in a loop (back to " + resolved.toDisplayString().toStdString() + ").");
    return;
  }
  if (visited_.size() > limits_.maxRedirects) {
    fail("The update server redirected more than " + std::to_string(limits_.maxRedirects) + " times in a row.");
    return;
  }
  visited_.append(resolved);
  if (std::string problem = redirectProblem(feedUrl_, resolved); !problem.empty()) {
    fail("The update server redirected to an address that is not allowed. " + problem);
    return;
  }
  emit reply_->redirectAllowed();
}

void NetworkAppcastSource::onMetaData() {
  if (!reply_) return;
  const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
  if (length.isValid() && length.toULongLong() > limits_.maxBytes) {
    fail(tooLarge(limits_.maxBytes));
    return;
  }
  if (received_ > 0) return;  // the body has started: its encoding is settled
  const QByteArray encoding = reply_->rawHeader("Content-Encoding").trimmed().toLower();
  inflater_.reset();
  if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
    inflater_ = std::make_unique<Inflater>();
  } else if (!encoding.isEmpty() && encoding != "identity") {
    fail("The update server sent the feed in an encoding that was not asked for (" +
         encoding.left(40).toStdString() + ").");
  }
}

void NetworkAppcastSource::onReadyRead() {
  while (reply_ && reply_->bytesAvailable() > 0) {
    const QByteArray chunk = reply_->read(kReadBufferBytes);
    if (chunk.isEmpty()) return;
    received_ += static_cast<std::size_t>(chunk.size());
    if (!inflater_) {
      body_ += chunk;
    } else if (!inflater_->feed(chunk, body_, limits_.maxBytes)) {
      fail("The update feed's compressed data is damaged.");
      return;
    }
    // Both counts: a compressed stream can also grow without producing output.
    if (static_cast<std::size_t>(body_.size()) > limits_.maxBytes || received_ > limits_.maxBytes) {
      fail(tooLarge(limits_.maxBytes));
      return;
    }
  }
}

void NetworkAppcastSource::onFinished() {
  if (!reply_) return;
  onReadyRead();
  if (!reply_) return;  // went over the cap, or damaged
  const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (status.isValid() && status.toInt() > 299) {
    const QString reason = reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    // Appended piece by piece: GCC 12 at -O3 takes `" " + string` for an
    // overlapping copy and warns (-Wrestrict, a known false positive).
    std::string answer = "The update server answered ";
    answer += std::to_string(status.toInt());
    if (!reason.isEmpty()) {
      answer += ' ';
      answer += reason.toStdString();
    }
    answer += '.';
    fail(answer);
    return;
  }
  if (reply_->error() != QNetworkReply::NoError) {
    fail("The update feed could not be fetched: " + reply_->errorString().toStdString());
    return;
  }
  // Qt leaves 100 (or nothing) there when the connection closed before any
  // status line came: that is no answer, not an HTTP status to report.
  if (!status.isValid() || status.toInt() < 200) {
    fail("The update server closed the connection without answering.");
    return;
  }
  if (inflater_ && !inflater_->ended()) {
    fail("The update feed's compressed data ends early.");
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
