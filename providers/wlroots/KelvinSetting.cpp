#include "wlroots/KelvinSetting.h"

#include <glib.h>

#include <cerrno>
#include <cmath>
#include <memory>

#include "common/ColorTemperature.h"
#include "common/StateFile.h"

namespace duskwarden::provider::wlroots {

namespace {
constexpr const char* kGroup = "night-light";
constexpr const char* kKey = "temperature";
}  // namespace

std::string kelvinSettingPath() {
  return stateFilePath("wlroots-night-light.ini");
}

std::optional<double> loadKelvinSetting() {
  KeyFilePtr file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), kelvinSettingPath().c_str(), G_KEY_FILE_NONE, nullptr))
    return std::nullopt;
  GError* error = nullptr;
  const double kelvin = g_key_file_get_double(file.get(), kGroup, kKey, &error);
  if (error != nullptr) {
    g_error_free(error);
    return std::nullopt;
  }
  if (!std::isfinite(kelvin) || kelvin < kWarmestKelvin || kelvin > kLeastWarmKelvin) return std::nullopt;
  return kelvin;
}

bool saveKelvinSetting(double kelvin, std::string* error) {
  const std::string path = kelvinSettingPath();
  g_autofree char* dir = g_path_get_dirname(path.c_str());
  if (g_mkdir_with_parents(dir, 0700) != 0) {
    *error = std::string("mkdir ") + dir + ": " + g_strerror(errno);
    return false;
  }
  KeyFilePtr file(g_key_file_new());
  g_key_file_set_comment(file.get(), nullptr, nullptr, " Night-light colour temperature in kelvin (1700-4700)",
                         nullptr);
  g_key_file_set_double(file.get(), kGroup, kKey, kelvin);
  GError* failure = nullptr;
  if (g_key_file_save_to_file(file.get(), path.c_str(), &failure)) return true;  // g_file_set_contents: atomic
  *error = failure->message;
  g_error_free(failure);
  return false;
}

}  // namespace duskwarden::provider::wlroots
