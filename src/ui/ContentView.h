#pragma once
// The popover's content as Qt widgets: a 360-wide column whose height follows
// its content. It holds no Night Shift state: it re-applies describeContentView()
// after the manager announces a change, and every user action is a write of a
// published property or a call of a manager operation.
//
// Every control works from the keyboard, in Tab order down the column (the
// switch, an enabled command button, the strength row), and names itself to
// assistive technology; the text follows a larger desktop font.
//
// The manager's objectWillChange fires before the write, so the view re-applies
// on the next turn of the main queue; a burst of writes in one turn (a slider
// drag, an applied status) costs one re-application.

#include <QPalette>
#include <QWidget>
#include <memory>

#include "nightshift/NightShiftManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "ui/ContentViewModel.h"
#include "ui/PaletteColors.h"
#include "ui/StrengthEditing.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace duskwarden::ui {

class GradientSlider;
class ReasonLine;
class StrengthRow;
class ToggleSwitch;

class ContentView : public QWidget {
  Q_OBJECT
 public:
  // `version` (the build number) gives the version line; the view re-applies on `mainQueue`.
  ContentView(std::shared_ptr<NightShiftManager> manager, std::string version, DispatchQueue& mainQueue,
              QWidget* parent = nullptr);
  ~ContentView() override;

  // How many times the description has been applied (once at construction).
  int applyCountForTesting() const { return applyCount_; }
  // The description applied last.
  const ContentViewDescription& description() const { return description_; }

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void build();
  // One builder per element of the column, top to bottom.
  void addHeaderSymbol(QVBoxLayout* column);
  void addTitle(QVBoxLayout* column);
  void addStatusBadge(QVBoxLayout* column);
  void addKeepAlwaysOnCard(QVBoxLayout* column);
  void addDivider(QVBoxLayout* column, const QString& name);
  void addCommandButtons(QVBoxLayout* column);
  void addStrengthSection(QVBoxLayout* column);
  void addVersionLine(QVBoxLayout* column);
  void connectActions();  // the switch, the buttons and the slider, to the manager
  void applyFonts();      // the text styles, at the desktop's text scale
  void scheduleApply();
  void apply();
  void applyButtonStates(bool enableOn, bool disableOn);
  void applySpokenState();
  ContentViewInputs currentInputs() const;
  void fitHeight();

  std::shared_ptr<NightShiftManager> manager_;
  std::string version_;
  DispatchQueue& mainQueue_;
  StrengthEditing strengthEditing_;  // the slider's and the row's one way to the platform
  AnyCancellable willChange_;
  bool applyScheduled_ = false;
  // Queued re-applications check this, since the view may be gone by then.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int applyCount_ = 0;
  ContentViewDescription description_;

  QWidget* headerSymbol_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* statusBadge_ = nullptr;
  ReasonLine* reasonLine_ = nullptr;
  QWidget* card_ = nullptr;
  QWidget* shieldSymbol_ = nullptr;
  QLabel* cardTitle_ = nullptr;
  QLabel* cardCaption_ = nullptr;
  ToggleSwitch* switch_ = nullptr;
  QPushButton* enableButton_ = nullptr;
  QPushButton* disableButton_ = nullptr;
  QLabel* lessWarm_ = nullptr;
  QLabel* moreWarm_ = nullptr;
  StrengthRow* strength_ = nullptr;
  GradientSlider* slider_ = nullptr;
  QLabel* versionLine_ = nullptr;
};

}  // namespace duskwarden::ui
