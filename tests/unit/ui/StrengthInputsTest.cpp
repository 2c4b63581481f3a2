// The strength's inputs interleaved in the popover: a drag on the slider,
// keys on the strength row and values set by assistive technology, however
// they overlap, reach the platform once, with the value written last.

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QTest>

#include "ViewFixture.h"
#include "ui/StrengthRow.h"

namespace duskwarden::ui::testing {
namespace {

enum class Do { key, press, move, release, assistiveSet, wait, hide };
struct Step { Do what; double value; };  // a key's code, a slider value, or seconds
struct Row { const char* name; std::vector<Step> steps; float committed; };

const Row kRows[] = {
    {"key then drag",
     {{Do::key, Qt::Key_Right}, {Do::wait, 0.1}, {Do::press, 0.55}, {Do::move, 0.9}, {Do::release, 0.9}, {Do::wait, 1}},
     0.9F},
    {"drag then key", {{Do::press, 0.5}, {Do::move, 0.3}, {Do::key, Qt::Key_Right}, {Do::release, 0.3}, {Do::wait, 1}},
     0.35F},
    {"assistive technology sets during a drag",
     {{Do::press, 0.5}, {Do::move, 0.8}, {Do::assistiveSet, 0.2}, {Do::release, 0.8}, {Do::wait, 1}},
     0.2F},
    {"release after hide", {{Do::press, 0.5}, {Do::move, 0.7}, {Do::hide, 0}, {Do::wait, 1}}, 0.7F},
};

class StrengthInputs : public ViewFixture, public ::testing::WithParamInterface<Row> {
 protected:
  void run(const Step& step, double w) {
    QWindow* window = view->windowHandle();
    auto* row = child<StrengthRow>("strengthRow");
    switch (step.what) {
      case Do::key: QTest::keyClick(row, static_cast<Qt::Key>(step.value)); break;
      case Do::press: QTest::mousePress(window, Qt::LeftButton, {}, sliderPoint(step.value * w + 4)); break;  // thumb
      case Do::move: QTest::mouseMove(window, sliderPoint(step.value * w)); break;
      case Do::release: QTest::mouseRelease(window, Qt::LeftButton, {}, sliderPoint(step.value * w)); break;
      case Do::assistiveSet:
        // Assistive technology speaks and sets the warmth in percent.
        QAccessible::queryAccessibleInterface(row)->valueInterface()->setCurrentValue(step.value * 100);
        break;
      case Do::wait: clock->advanceBy(step.value); break;
      case Do::hide: {
        // The popover closes under the hand; the release then reaches a hidden slider.
        view->hide();
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(20, 12), QPointF(20, 12), Qt::LeftButton, Qt::NoButton, {});
        QApplication::sendEvent(sliderControl(), &up);
      }
    }
    turn();
  }
};

TEST_P(StrengthInputs, CommitTheValueWrittenLastOnce) {
  SCOPED_TRACE(GetParam().name);
  start();
  manager->colorTemperatureStrength = 0.5F;
  child<StrengthRow>("strengthRow")->setFocus();  // keys go to the row; the slider takes no focus
  turn();
  sink->clear();
  for (const Step& step : GetParam().steps) run(step, sliderControl()->trackWidth());
  EXPECT_EQ(provider->setStrengthCalls.load(), 1);
  EXPECT_NEAR(provider->lastStrength.load(), GetParam().committed, 0.01F);
  EXPECT_NEAR(manager->colorTemperatureStrength.get(), GetParam().committed, 0.01F);
}

INSTANTIATE_TEST_SUITE_P(Rows, StrengthInputs, ::testing::ValuesIn(kRows));

}  // namespace
}  // namespace duskwarden::ui::testing
