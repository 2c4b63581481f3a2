#include "update/LoadableAppcastSource.h"

#include "base/loader/Executable.h"
#include "base/loader/Library.h"
#include "update/UpdateLibrary.h"

#include <QTimer>

namespace duskwarden {

LoadableAppcastSource::LoadableAppcastSource(std::string libraryPath)
    : path_(libraryPath.empty() ? defaultLibraryPath() : std::move(libraryPath)) {}

LoadableAppcastSource::~LoadableAppcastSource() = default;

std::string LoadableAppcastSource::defaultLibraryPath() {
  const auto library = loader::besideExecutable(DW_UPDATE_LIBRARY_RELPATH);
  return library ? library->string() : DW_UPDATE_LIBRARY_BUILD_PATH;
}

std::string LoadableAppcastSource::load() {
  std::string reason;
  // Kept open for the life of the process: the source's code lives there.
  const auto library = loader::Library::open(path_, kUpdateLibraryEntryPoint, &reason);
  if (!library.isOpen()) return reason;
  AppcastSource* source = library.entry<CreateAppcastSourceFn>()(kUpdateLibraryVersion);
  if (!source) return path_ + ": built for another version of the program";
  source_.reset(source);
  return {};
}

void LoadableAppcastSource::fetch(const QUrl& url, std::function<void(FetchResult)> done) {
  cancel();
  if (!source_) {
    if (std::string problem = load(); !problem.empty()) {
      FetchResult failed{false, {}, "The update check could not start: " + problem};
      // Answered later, as the contract promises, and not after a cancel.
      QTimer::singleShot(0, this, [this, failed, done = std::move(done), generation = generation_] {
        if (generation == generation_ && done) done(failed);
      });
      return;
    }
  }
  source_->fetch(url, std::move(done));
}

void LoadableAppcastSource::cancel() {
  ++generation_;
  if (source_) source_->cancel();
}

}  // namespace duskwarden
