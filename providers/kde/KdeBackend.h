#pragma once
// Night light on KDE Plasma (Wayland or X11): KWin's Night Color, switched
// through kwinrc (NightColorSettings, then KConfig's ConfigChanged signal, on
// which KWin re-reads the file) and watched through its D-Bus object:
//   Plasma 5.27  org.kde.NightColor      /ColorCorrect             org.kde.kwin.ColorCorrect
//   Plasma 6     org.kde.KWin.NightLight /org/kde/KWin/NightLight  org.kde.KWin.NightLight
// Both names are watched, so KWin restarting (or being replaced by the other
// version) is followed; Plasma 6's object answers when both are there.
//
// Enabled means warm now: enabled, running and a target below 6500 K. While
// another client inhibits Night Color it is reported off, said once in the
// log, and left alone: only the inhibitor can lift it, and KWin resumes by
// itself when it does. The callback follows changes of enabled, running,
// inhibited, available, the target temperature and the object's presence;
// the ~60 steps of currentTemperature in a transition are not reported.

#include <functional>
#include <memory>

#include "backendkit/GLibLoop.h"
#include "backendkit/Backend.h"

namespace duskwarden::provider::kde {

class KdeBackend final : public Backend {
 public:
  // KWin's Night Color object is on the session bus and available.
  static bool isUsable();
  static std::unique_ptr<KdeBackend> create();
  // No callback runs once this returns, unless called from within the callback.
  ~KdeBackend() override;

  void setStatusCallback(std::function<void()> callback) override;
  bool readEnabled(bool* enabled) override;
  bool readStrength(float* strength) override;
  void setEnabled(bool enabled) override;
  // KWin applies NightTemperature with a transition of its own, so a preview
  // and a commit are the same write.
  void setStrength(float strength, bool commit) override;
  // INHIBITED while another program inhibits Night Color; LOCKED, BUSY or
  // FAILED when the last change of kwinrc could not be made; TIMEOUT.
  Reason reason() override;

  struct Loop;

 private:
  explicit KdeBackend(GLibLoopThread<Loop> loop);
  GLibLoopThread<Loop> loop_;
};

}  // namespace duskwarden::provider::kde
