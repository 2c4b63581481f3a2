#pragma once
// The appcast source of the application: the network source from the update
// library (UpdateLibrary.h), opened on the first fetch and kept open.
//
// A library that is missing or cannot be used fails that fetch, answered
// later like any other failure, with a sentence saying why; the update check
// then shows it as its error. The next fetch tries to open it again (an
// upgrade may have been half-way through).

#include "update/AppcastSource.h"

#include <QObject>

#include <memory>
#include <string>

namespace duskwarden {

class LoadableAppcastSource final : public QObject, public AppcastSource {
 public:
  // `libraryPath` empty: defaultLibraryPath().
  explicit LoadableAppcastSource(std::string libraryPath = {});
  ~LoadableAppcastSource() override;

  // <directory of the executable>/../lib/duskwarden/libduskwarden-update.so
  static std::string defaultLibraryPath();

  void fetch(const QUrl& url, std::function<void(FetchResult)> done) override;
  void cancel() override;

  bool isLoaded() const { return source_ != nullptr; }

 private:
  std::string load();  // empty on success, else why not

  std::string path_;
  std::unique_ptr<AppcastSource> source_;
  unsigned generation_ = 0;  // tells a stale queued failure from the current fetch
};

}  // namespace duskwarden
