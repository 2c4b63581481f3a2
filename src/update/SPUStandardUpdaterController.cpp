#include "update/SPUStandardUpdaterController.h"

namespace duskwarden {

SPUStandardUpdaterController::SPUStandardUpdaterController(bool startingUpdater,
                                                           std::shared_ptr<UpdateUserDriver> userDriver,
                                                           std::shared_ptr<AppcastSource> source,
                                                           UpdaterSettings settings) {
  updater_ = std::make_unique<SPUUpdater>(std::move(settings), std::move(source), std::move(userDriver));
  if (startingUpdater) updater_->startUpdater();
}

}  // namespace duskwarden
