#pragma once
// The application's update controller: owns the updater, its feed source and
// its dialogs. The shell creates one at launch and wires "Check for Updates..."
// to updater().checkForUpdates(). Creating it contacts no one.

#include "platform/update/SPUUpdater.h"

#include <memory>

namespace duskwarden {

class SPUStandardUpdaterController {
 public:
  // `startingUpdater`: start the updater at once (the application passes true).
  // The rest default to the real dialogs, the network (through the update
  // library, opened on the first check) and the main bundle.
  explicit SPUStandardUpdaterController(bool startingUpdater,
                                        std::shared_ptr<UpdateUserDriver> userDriver = nullptr,
                                        std::shared_ptr<AppcastSource> source = nullptr,
                                        std::optional<UpdaterSettings> settings = std::nullopt);

  SPUUpdater& updater() { return *updater_; }
  const SPUUpdater& updater() const { return *updater_; }

  void startUpdater() { updater_->startUpdater(); }

 private:
  std::unique_ptr<SPUUpdater> updater_;
};

}  // namespace duskwarden
