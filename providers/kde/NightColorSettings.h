#pragma once
// Night Color held on, and let go again, through the three keys of kwinrc's
// [NightColor] that we change; the user's own values of those keys are kept
// in $XDG_STATE_HOME/duskwarden/kde-night-color.ini while ours are in place.
//
// On: Active=true, Mode=Constant, and NightTemperature set to the warmth
// chosen through us (kept in the same file across off and on), or, when none
// is, the user's own brought into our span (1700..4700 K; left alone when
// already inside). Before a key is replaced
// its current value is recorded, unless it still holds what we wrote and a
// value is on record already: the record always holds the user's latest
// choice, never one of ours and never an older one the user has since
// replaced. kwinrc is not touched unless the record was saved.
// Off: Active=false; Mode and NightTemperature go back to the recorded
// values where they still hold ours (a value the user chose since stays);
// then the record is dropped, all but the chosen warmth while kwinrc still
// held it. A recorded Active=true is not put back: under the user's own
// schedule that would leave night light on right after off.
// Strength is NightTemperature itself; setting it also keeps it as chosen.
// A change that finds the keys already as it would leave them writes nothing,
// so a repeated "on" (retries while another program inhibits Night Color)
// causes no write and no signal.
//
// Each change holds KConfig's lock on kwinrc from its read to its write.
// A key or group locked with [$i] is never edited: the change is refused as
// a whole, before anything is recorded or written. A user's [$d] line stays
// (see base/keyfile). Values from the record go back into kwinrc only when
// they are plain one-line values (and, for NightTemperature, a whole number):
// a hand-edited record must not add lines or groups to kwinrc.

#include <string>
#include <vector>

namespace duskwarden::provider::kde {

struct SettingsChange {
  enum class Refusal {
    none,
    locked,  // a key or group we would change is locked with [$i]
    busy,    // another program held kwinrc's lock all along
    failed,  // a file could not be read or written
  };
  std::vector<std::string> keys;  // the kwinrc keys that were written
  std::string error;              // what failed, named; empty on success
  Refusal refusal = Refusal::none;
  bool ok() const { return error.empty(); }
};

class NightColorSettings {
 public:
  NightColorSettings(std::string kwinrcPath, std::string recordPath);
  // $XDG_CONFIG_HOME/kwinrc and $XDG_STATE_HOME/duskwarden/kde-night-color.ini.
  static NightColorSettings forUser();

  SettingsChange switchOn();
  SettingsChange switchOff();
  SettingsChange setTemperature(int kelvin);
  // NightTemperature as KWin applies it; false with `error` when kwinrc cannot be read.
  bool nightTemperature(int* kelvin, std::string* error) const;

  const std::string& kwinrcPath() const { return kwinrc_; }

 private:
  std::string kwinrc_;
  std::string record_;
};

}  // namespace duskwarden::provider::kde
