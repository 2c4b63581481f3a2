#pragma once
// Fetches an appcast over HTTPS with Qt's network stack.
//
// Only https URLs are fetched, or http to the loopback interface (local test
// servers). Redirects are checked against the same rule, and an https feed
// may only be redirected to https, so a feed can never be moved to plain
// http. The body is capped while it arrives (after decompression), and the
// whole transfer has a deadline, so a hostile or stuck server cannot make the
// check hang or eat memory.

#include "update/Appcast.h"
#include "update/AppcastSource.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace duskwarden {

struct FetchLimits {
  std::size_t maxBytes = kMaxAppcastBytes;
  int timeoutMs = 20000;  // the whole transfer, redirects included
  int maxRedirects = 5;
};

// Empty when `url` may be fetched; otherwise a sentence saying why not.
std::string feedUrlProblem(const QUrl& url);

// The same for a redirect of the feed at `feed` to `to` (already resolved):
// an https feed may only lead to https addresses.
std::string redirectProblem(const QUrl& feed, const QUrl& to);

class NetworkAppcastSource final : public QObject, public AppcastSource {
  Q_OBJECT
 public:
  explicit NetworkAppcastSource(FetchLimits limits = {}, QObject* parent = nullptr);
  ~NetworkAppcastSource() override;

  void fetch(const QUrl& url, std::function<void(FetchResult)> done) override;
  void cancel() override;

 private:
  class Inflater;

  void onRedirected(const QUrl& target);
  void onMetaData();
  void onReadyRead();
  void onFinished();
  void fail(std::string message);
  void finish(FetchResult result);
  void dropReply();

  FetchLimits limits_;
  QNetworkAccessManager* manager_ = nullptr;  // made on first fetch
  QPointer<QNetworkReply> reply_;
  QTimer deadline_;
  QUrl feedUrl_;
  QByteArray body_;          // decoded
  std::size_t received_ = 0;  // as sent
  QList<QUrl> visited_;       // the feed's address and every redirect followed
  std::unique_ptr<Inflater> inflater_;  // while the body is gzip
  std::function<void(FetchResult)> done_;
  unsigned generation_ = 0;  // tells a stale queued refusal from the current fetch
};

}  // namespace duskwarden
