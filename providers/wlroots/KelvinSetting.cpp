#include "wlroots/KelvinSetting.h"

#include <glib.h>

#include <cmath>

#include "backendkit/ColorTemperature.h"
#include "backendkit/Log.h"
#include "backendkit/StateFile.h"

namespace duskwarden::provider::wlroots {

namespace {
constexpr const char* kGroup = "night-light";
constexpr const char* kKey = "temperature";
}  // namespace

std::string kelvinSettingPath() { return stateFilePath("wlroots-night-light.ini"); }

std::optional<double> loadKelvinSetting() {
  const StateFile found = loadStateFile(kelvinSettingPath());
  if (found.outcome != StateFile::Outcome::loaded) {
    if (!found.problem.empty()) logError("wlroots: the kept temperature is not used: %s", found.problem.c_str());
    return std::nullopt;
  }
  GError* error = nullptr;
  const double kelvin = g_key_file_get_double(found.file.get(), kGroup, kKey, &error);
  if (error != nullptr) {
    g_error_free(error);
    return std::nullopt;
  }
  if (!std::isfinite(kelvin) || kelvin < kWarmestKelvin || kelvin > kLeastWarmKelvin) return std::nullopt;
  return kelvin;
}

bool saveKelvinSetting(double kelvin, std::string* error) {
  KeyFilePtr file(g_key_file_new());
  g_key_file_set_comment(file.get(), nullptr, nullptr, " Night-light colour temperature in kelvin (1700-4700)",
                         nullptr);
  g_key_file_set_double(file.get(), kGroup, kKey, kelvin);
  const auto failure = saveStateFile(kelvinSettingPath(), file.get());
  if (failure) *error = *failure;
  return !failure;
}

}  // namespace duskwarden::provider::wlroots
