#include "platform/update/SPUStandardUpdaterController.h"

#include "platform/update/LoadableAppcastSource.h"
#include "platform/update/StandardUpdateUserDriver.h"

namespace duskwarden {

SPUStandardUpdaterController::SPUStandardUpdaterController(bool startingUpdater,
                                                           std::shared_ptr<UpdateUserDriver> userDriver,
                                                           std::shared_ptr<AppcastSource> source,
                                                           std::optional<UpdaterSettings> settings) {
  if (!userDriver) userDriver = std::make_shared<StandardUpdateUserDriver>();
  if (!source) source = std::make_shared<LoadableAppcastSource>();
  updater_ = std::make_unique<SPUUpdater>(settings ? std::move(*settings) : UpdaterSettings::fromMainBundle(),
                                          std::move(source), std::move(userDriver));
  if (startingUpdater) updater_->startUpdater();
}

}  // namespace duskwarden
