#pragma once
// The application's update controller: owns the updater, its feed source and
// its dialogs. The shell creates one at launch and wires "Check for Updates..."
// to updater().checkForUpdates(). Creating it contacts no one.

#include "update/SPUUpdater.h"

#include <memory>

namespace duskwarden {

class SPUStandardUpdaterController {
 public:
  // `startingUpdater`: start the updater at once (the application passes
  // true); `userDriver` shows the dialogs, `source` fetches the appcast.
  SPUStandardUpdaterController(bool startingUpdater, std::shared_ptr<UpdateUserDriver> userDriver,
                               std::shared_ptr<AppcastSource> source, UpdaterSettings settings);

  SPUUpdater& updater() { return *updater_; }
  const SPUUpdater& updater() const { return *updater_; }

  void startUpdater() { updater_->startUpdater(); }

 private:
  std::unique_ptr<SPUUpdater> updater_;
};

}  // namespace duskwarden
