#include "kde/NightColorSettings.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "common/ColorTemperature.h"
#include "common/StateFile.h"
#include "kde/KConfigFile.h"
#include "kde/KConfigText.h"
#include "kde/NightColorValues.h"

namespace duskwarden::provider::kde {

namespace {

using Value = std::optional<std::string>;  // a key's raw text; nullopt: unset

constexpr const char* kReplacedGroup = "Replaced";
constexpr const char* kUnsetKey = "Unset";
constexpr const char* kWrittenGroup = "Written";
const char* const kKeys[] = {kActiveKey, kModeKey, kTemperatureKey};

struct Current {
  std::string text;
  std::map<std::string, Value> values;
};

// The user's values we replaced, and the temperature we wrote last.
struct Record {
  std::map<std::string, Value> replaced;
  std::optional<int> written;
  bool operator==(const Record&) const = default;
};

struct KeyFileUnref {
  void operator()(GKeyFile* f) const { g_key_file_unref(f); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileUnref>;

// A missing or damaged record is no record: nothing is restored from it.
Record loadRecord(const std::string& path) {
  Record record;
  KeyFile file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr)) return record;
  for (const char* key : kKeys)
    if (g_autofree char* value = g_key_file_get_string(file.get(), kReplacedGroup, key, nullptr))
      record.replaced[key] = std::string(value);
  g_auto(GStrv) unset = g_key_file_get_string_list(file.get(), kReplacedGroup, kUnsetKey, nullptr, nullptr);
  for (char** key = unset; key && *key; ++key)
    if (std::count(std::begin(kKeys), std::end(kKeys), std::string(*key))) record.replaced[*key] = std::nullopt;
  GError* error = nullptr;
  const gint written = g_key_file_get_integer(file.get(), kWrittenGroup, kTemperatureKey, &error);
  if (error)
    g_error_free(error);
  else
    record.written = written;
  return record;
}

bool saveRecord(const std::string& path, const Record& record, std::string* error) {
  KeyFile file(g_key_file_new());
  g_key_file_set_comment(file.get(), nullptr, nullptr,
                         " Your Night Color settings from kwinrc, put back when Duskwarden turns night light off",
                         nullptr);
  std::vector<const char*> unset;
  for (const auto& [key, value] : record.replaced) {
    if (value)
      g_key_file_set_string(file.get(), kReplacedGroup, key.c_str(), value->c_str());
    else
      unset.push_back(key.c_str());
  }
  if (!unset.empty()) g_key_file_set_string_list(file.get(), kReplacedGroup, kUnsetKey, unset.data(), unset.size());
  if (record.written) g_key_file_set_integer(file.get(), kWrittenGroup, kTemperatureKey, *record.written);
  g_autofree char* dir = g_path_get_dirname(path.c_str());
  GError* failure = nullptr;
  if (g_mkdir_with_parents(dir, 0700) != 0) {
    *error = std::string("mkdir ") + dir + ": " + std::strerror(errno);
    return false;
  }
  if (!g_key_file_save_to_file(file.get(), path.c_str(), &failure)) {  // atomic: a rename
    *error = std::string("save ") + path + ": " + failure->message;
    g_error_free(failure);
    return false;
  }
  return true;
}

bool readCurrent(const std::string& kwinrc, Current* current, std::string* error) {
  if (!readConfigFile(kwinrc, &current->text, error)) return false;
  for (const char* key : kKeys) current->values[key] = readEntry(current->text, kGroup, key);
  return true;
}

// Applies the edits that change something; names the written keys.
SettingsChange writeEdits(const std::string& kwinrc, Current& current, const std::map<std::string, Value>& wanted) {
  SettingsChange change;
  std::vector<EntryEdit> edits;
  for (const auto& [key, value] : wanted) {
    if (current.values[key] == value) continue;
    edits.push_back({key, value});
    change.keys.push_back(key);
  }
  if (edits.empty()) return change;
  std::string why;
  if (!editGroup(current.text, kGroup, edits, &why)) {
    change.error = "edit " + kwinrc + ": " + why;
  } else if (!writeConfigFile(kwinrc, current.text, &why)) {
    change.error = why;
  }
  if (!change.ok()) change.keys.clear();
  return change;
}

int ourTemperature(const Value& current) {
  return std::clamp(effectiveTemperature(current), static_cast<int>(kWarmestKelvin),
                    static_cast<int>(kLeastWarmKelvin));
}

}  // namespace

NightColorSettings::NightColorSettings(std::string kwinrcPath, std::string recordPath)
    : kwinrc_(std::move(kwinrcPath)), record_(std::move(recordPath)) {}

NightColorSettings NightColorSettings::forUser() {
  g_autofree char* kwinrc = g_build_filename(g_get_user_config_dir(), "kwinrc", nullptr);
  return NightColorSettings(kwinrc, stateFilePath("kde-night-color.ini"));
}

SettingsChange NightColorSettings::switchOn() {
  SettingsChange change;
  ConfigLock lock(kwinrc_);
  if (!lock.locked()) return {{}, "lock " + kwinrc_ + ": " + lock.error()};
  Current current;
  if (!readCurrent(kwinrc_, &current, &change.error)) return change;
  const Record before = loadRecord(record_);
  Record record = before;
  const int temperature = ourTemperature(current.values[kTemperatureKey]);
  const bool ours[] = {readsAsTrue(current.values[kActiveKey]), isConstantMode(current.values[kModeKey]),
                       record.written && effectiveTemperature(current.values[kTemperatureKey]) == *record.written};
  for (std::size_t i = 0; i < std::size(kKeys); ++i)
    if (!ours[i] || !record.replaced.count(kKeys[i])) record.replaced[kKeys[i]] = current.values[kKeys[i]];
  record.written = temperature;
  if (record != before && !saveRecord(record_, record, &change.error)) return change;

  std::map<std::string, Value> wanted{{kActiveKey, "true"}, {kModeKey, kConstantMode}};
  if (effectiveTemperature(current.values[kTemperatureKey]) != temperature)
    wanted[kTemperatureKey] = std::to_string(temperature);
  if (ours[0]) wanted.erase(kActiveKey);  // "True", "yes": already on as KWin reads it
  if (ours[1]) wanted.erase(kModeKey);
  return writeEdits(kwinrc_, current, wanted);
}

SettingsChange NightColorSettings::switchOff() {
  SettingsChange change;
  ConfigLock lock(kwinrc_);
  if (!lock.locked()) return {{}, "lock " + kwinrc_ + ": " + lock.error()};
  Current current;
  if (!readCurrent(kwinrc_, &current, &change.error)) return change;
  const Record record = loadRecord(record_);
  const auto recorded = [&record](const char* key) -> const Value* {
    const auto it = record.replaced.find(key);
    return it == record.replaced.end() ? nullptr : &it->second;
  };

  std::map<std::string, Value> wanted;
  if (readsAsTrue(current.values[kActiveKey])) {
    const Value* active = recorded(kActiveKey);
    wanted[kActiveKey] = active && !readsAsTrue(*active) ? *active : Value("false");
  }
  if (const Value* mode = recorded(kModeKey); mode && isConstantMode(current.values[kModeKey]))
    wanted[kModeKey] = *mode;
  if (const Value* temperature = recorded(kTemperatureKey);
      temperature && record.written && effectiveTemperature(current.values[kTemperatureKey]) == *record.written)
    wanted[kTemperatureKey] = *temperature;
  change = writeEdits(kwinrc_, current, wanted);
  if (change.ok()) g_unlink(record_.c_str());
  return change;
}

SettingsChange NightColorSettings::setTemperature(int kelvin) {
  SettingsChange change;
  ConfigLock lock(kwinrc_);
  if (!lock.locked()) return {{}, "lock " + kwinrc_ + ": " + lock.error()};
  Current current;
  if (!readCurrent(kwinrc_, &current, &change.error)) return change;
  // While a record is kept, it must go on telling our temperature from the user's.
  if (g_file_test(record_.c_str(), G_FILE_TEST_EXISTS)) {
    const Record before = loadRecord(record_);
    Record record = before;
    const Value& now = current.values[kTemperatureKey];
    if (!record.replaced.count(kTemperatureKey) || !record.written || effectiveTemperature(now) != *record.written)
      record.replaced[kTemperatureKey] = now;
    record.written = kelvin;
    if (record != before && !saveRecord(record_, record, &change.error)) return change;
  }
  return writeEdits(kwinrc_, current, {{kTemperatureKey, std::to_string(kelvin)}});
}

bool NightColorSettings::nightTemperature(int* kelvin, std::string* error) const {
  std::string text;
  if (!readConfigFile(kwinrc_, &text, error)) return false;
  *kelvin = effectiveTemperature(readEntry(text, kGroup, kTemperatureKey));
  return true;
}

}  // namespace duskwarden::provider::kde
