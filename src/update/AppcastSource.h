#pragma once
// Where the appcast's bytes come from: the network in the application, a
// canned answer in tests.

#include <functional>
#include <string>

class QUrl;

namespace duskwarden {

struct FetchResult {
  bool ok = false;
  std::string body;   // when ok
  std::string error;  // when not ok, for people to read
};

class AppcastSource {
 public:
  virtual ~AppcastSource() = default;
  // Starts fetching; `done` is called once on the caller's thread, later,
  // unless cancel() comes first. One fetch at a time.
  virtual void fetch(const QUrl& url, std::function<void(FetchResult)> done) = 0;
  virtual void cancel() = 0;
};

}  // namespace duskwarden
