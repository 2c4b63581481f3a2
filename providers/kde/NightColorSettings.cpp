#include "kde/NightColorSettings.h"

#include <glib.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>

#include "backendkit/ColorTemperature.h"
#include "backendkit/Log.h"
#include "backendkit/StateFile.h"
#include "kde/KConfigFile.h"
#include "kde/NightColorValues.h"
#include "base/keyfile/KeyFileText.h"
#include "base/xdg/XdgPaths.h"

namespace duskwarden::provider::kde {

namespace {

using keyfile::EntryEdit;
using keyfile::readEntry;
using Refusal = SettingsChange::Refusal;
using Value = std::optional<std::string>;  // a key's raw text; nullopt: unset

constexpr const char* kReplacedGroup = "Replaced";
constexpr const char* kUnsetKey = "Unset";
constexpr const char* kWrittenGroup = "Written";
constexpr const char* kChosenGroup = "Chosen";
const char* const kKeys[] = {kActiveKey, kModeKey, kTemperatureKey};

struct Current {
  std::string text;
  std::map<std::string, Value> values;
};

// The user's values we replaced, the temperature we wrote last, and the
// warmth chosen through us, which outlives an off so that on brings it back.
struct Record {
  std::map<std::string, Value> replaced;
  std::optional<int> written;
  std::optional<int> chosen;
  bool operator==(const Record&) const = default;
  // Our values are in kwinrc (on): the record tells them from the user's.
  bool holding() const { return !replaced.empty() || written.has_value(); }
};

SettingsChange refused(Refusal refusal, std::string error) { return {{}, std::move(error), refusal}; }

// A value fit to go back into kwinrc: one plain line, and for the
// temperature a whole number KWin can use.
bool restorable(const std::string& key, const std::string& value) {
  if (!isPlainValue(value)) return false;
  if (key != kTemperatureKey || value.empty()) return true;
  int kelvin = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data() + (value.front() == '+' ? 1 : 0), end, kelvin);
  return error == std::errc() && stop == end && kelvin > 0 && kelvin <= 100000;
}

std::optional<int> integerIn(GKeyFile* file, const char* group) {
  GError* error = nullptr;
  const gint value = g_key_file_get_integer(file, group, kTemperatureKey, &error);
  if (!error) return value;
  g_error_free(error);
  return std::nullopt;
}

// A missing or damaged record is no record: nothing is restored from it.
// `problem` says why one that is there cannot be used at all (a FIFO).
Record loadRecord(const std::string& path, std::string* problem) {
  Record record;
  const StateFile found = loadStateFile(path);
  if (found.outcome == StateFile::Outcome::unusable) *problem = found.problem;
  if (found.outcome == StateFile::Outcome::damaged)
    logError("KDE Night Color: %s is damaged and is not used", found.problem.c_str());
  if (found.outcome != StateFile::Outcome::loaded) return record;
  GKeyFile* file = found.file.get();
  for (const char* key : kKeys) {
    g_autofree char* value = g_key_file_get_string(file, kReplacedGroup, key, nullptr);
    if (value && restorable(key, value))
      record.replaced[key] = std::string(value);
    else if (value)
      logError("KDE Night Color: %s: the kept value of %s is not a plain value; it is not put back", path.c_str(),
               key);
  }
  g_auto(GStrv) unset = g_key_file_get_string_list(file, kReplacedGroup, kUnsetKey, nullptr, nullptr);
  for (char** key = unset; key && *key; ++key)
    if (std::count(std::begin(kKeys), std::end(kKeys), std::string(*key))) record.replaced[*key] = std::nullopt;
  record.written = integerIn(file, kWrittenGroup);
  if (const auto chosen = integerIn(file, kChosenGroup); chosen && *chosen >= kWarmestKelvin && *chosen <= kLeastWarmKelvin)
    record.chosen = chosen;
  return record;
}

std::optional<std::string> saveRecord(const std::string& path, const Record& record) {
  KeyFilePtr file(g_key_file_new());
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
  if (record.chosen) g_key_file_set_integer(file.get(), kChosenGroup, kTemperatureKey, *record.chosen);
  return saveStateFile(path, file.get());
}

bool readCurrent(const std::string& kwinrc, Current* current, std::string* error) {
  if (!readConfigFile(kwinrc, &current->text, error)) return false;
  for (const char* key : kKeys) current->values[key] = readEntry(current->text, kGroup, key);
  return true;
}

// The edits that change something, applied to the text in memory: nothing
// is written yet. Refused as a whole when a key or the group is locked.
SettingsChange plan(const std::string& kwinrc, Current& current, const std::map<std::string, Value>& wanted) {
  std::vector<EntryEdit> edits;
  std::vector<std::string> keys;
  for (const auto& [key, value] : wanted) {
    if (current.values[key] == value) continue;
    edits.push_back({key, value});
    keys.push_back(key);
  }
  std::string why;
  if (!edits.empty() && !keyfile::editGroup(current.text, kGroup, edits, &why))
    return refused(Refusal::locked, kwinrc + ": " + why);
  return {keys, {}, Refusal::none};
}

SettingsChange write(const std::string& kwinrc, const Current& current, SettingsChange planned) {
  if (planned.keys.empty() || !planned.ok()) return planned;
  std::string why;
  if (!writeConfigFile(kwinrc, current.text, &why)) return refused(Refusal::failed, why);
  return planned;
}

int ourTemperature(const Value& current) {
  return std::clamp(effectiveTemperature(current), static_cast<int>(kWarmestKelvin),
                    static_cast<int>(kLeastWarmKelvin));
}

SettingsChange lockRefused(const std::string& kwinrc, const ConfigLock& lock) {
  const Refusal refusal = lock.state() == ConfigLock::State::busy ? Refusal::busy : Refusal::failed;
  return refused(refusal, "lock " + kwinrc + ": " + lock.error());
}

}  // namespace

NightColorSettings::NightColorSettings(std::string kwinrcPath, std::string recordPath)
    : kwinrc_(std::move(kwinrcPath)), record_(std::move(recordPath)) {}

NightColorSettings NightColorSettings::forUser() {
  return NightColorSettings((userConfigHome() / "kwinrc").string(), stateFilePath("kde-night-color.ini"));
}

SettingsChange NightColorSettings::switchOn() {
  ConfigLock lock(kwinrc_);
  if (!lock.locked()) return lockRefused(kwinrc_, lock);
  Current current;
  std::string error;
  if (!readCurrent(kwinrc_, &current, &error)) return refused(Refusal::failed, error);
  const Record before = loadRecord(record_, &error);
  Record record = before;
  // The warmth chosen through us, else the user's own brought into our span.
  const int temperature = record.chosen.value_or(ourTemperature(current.values[kTemperatureKey]));
  const bool ours[] = {readsAsTrue(current.values[kActiveKey]), isConstantMode(current.values[kModeKey]),
                       record.written && effectiveTemperature(current.values[kTemperatureKey]) == *record.written};
  for (std::size_t i = 0; i < std::size(kKeys); ++i)
    if (!ours[i] || !record.replaced.count(kKeys[i])) record.replaced[kKeys[i]] = current.values[kKeys[i]];
  record.written = temperature;

  std::map<std::string, Value> wanted{{kActiveKey, "true"}, {kModeKey, kConstantMode}};
  if (effectiveTemperature(current.values[kTemperatureKey]) != temperature)
    wanted[kTemperatureKey] = std::to_string(temperature);
  if (ours[0]) wanted.erase(kActiveKey);  // "True", "yes": already on as KWin reads it
  if (ours[1]) wanted.erase(kModeKey);
  SettingsChange planned = plan(kwinrc_, current, wanted);
  if (!planned.ok()) return planned;  // locked: nothing recorded, nothing written
  if (record != before) {
    if (auto failure = saveRecord(record_, record)) return refused(Refusal::failed, "save " + *failure);
  }
  return write(kwinrc_, current, std::move(planned));
}

SettingsChange NightColorSettings::switchOff() {
  ConfigLock lock(kwinrc_);
  if (!lock.locked()) return lockRefused(kwinrc_, lock);
  Current current;
  std::string error;
  if (!readCurrent(kwinrc_, &current, &error)) return refused(Refusal::failed, error);
  std::string unusable;
  const Record record = loadRecord(record_, &unusable);
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
  SettingsChange change = write(kwinrc_, current, plan(kwinrc_, current, wanted));
  if (!change.ok()) return change;
  // Only the chosen warmth stays, for the next on, unless the user has set
  // another since (theirs is then what on starts from). Not kept is not lost
  // either: on then starts from the user's own temperature.
  const bool stillOurs = !record.written || effectiveTemperature(current.values[kTemperatureKey]) == *record.written;
  if (Record kept{{}, {}, stillOurs ? record.chosen : std::nullopt}; !kept.chosen || saveRecord(record_, kept))
    forgetStateFile(record_);
  // Off is done; what could not be given back is said, with what was written.
  if (!unusable.empty()) {
    change.refusal = Refusal::failed;
    change.error = unusable + "; your own Night Color settings could not be put back";
  }
  return change;
}

SettingsChange NightColorSettings::setTemperature(int kelvin) {
  ConfigLock lock(kwinrc_);
  if (!lock.locked()) return lockRefused(kwinrc_, lock);
  Current current;
  std::string error;
  if (!readCurrent(kwinrc_, &current, &error)) return refused(Refusal::failed, error);
  SettingsChange planned = plan(kwinrc_, current, {{kTemperatureKey, std::to_string(kelvin)}});
  if (!planned.ok()) return planned;
  if (const Record before = loadRecord(record_, &error); error.empty()) {
    Record record = before;
    // While ours are in place, the record must go on telling our temperature from the user's.
    if (record.holding()) {
      const Value& now = current.values[kTemperatureKey];
      if (!record.replaced.count(kTemperatureKey) || !record.written || effectiveTemperature(now) != *record.written)
        record.replaced[kTemperatureKey] = now;
      record.written = kelvin;
    }
    record.chosen = kelvin;
    if (record != before) {
      if (auto failure = saveRecord(record_, record)) return refused(Refusal::failed, "save " + *failure);
    }
  }
  return write(kwinrc_, current, std::move(planned));
}

bool NightColorSettings::nightTemperature(int* kelvin, std::string* error) const {
  std::string text;
  if (!readConfigFile(kwinrc_, &text, error)) return false;
  *kelvin = effectiveTemperature(readEntry(text, kGroup, kTemperatureKey));
  return true;
}

}  // namespace duskwarden::provider::kde
