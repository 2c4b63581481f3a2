// The strength's inputs interleaved in the popover: a drag on the slider,
// keys on the strength row and values set by assistive technology, however
// they overlap, reach the platform once, with the value written last.

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QTest>

#include <functional>
#include <vector>

#include "ViewFixture.h"
#include "ui/StrengthRow.h"

namespace duskwarden::ui::testing {
namespace {

class StrengthInputs;
// One step of a row: the fixture, and the track's width.
using Step = std::function<void(StrengthInputs&, double w)>;

struct Row {
  const char* name;
  std::vector<Step> steps;
  std::vector<float> committed;
};

class StrengthInputs : public ViewFixture, public ::testing::WithParamInterface<Row> {
 public:
  using ViewFixture::child;
  using ViewFixture::sliderControl;
  using ViewFixture::sliderPoint;
  using ViewFixture::clock;
  using ViewFixture::view;
};

Step key(Qt::Key k) {
  return [k](StrengthInputs& t, double) { QTest::keyClick(t.child<StrengthRow>("strengthRow"), k); };
}
Step press(float at) {  // on the thumb's centre, for a value of `at`
  return [at](StrengthInputs& t, double w) {
    QTest::mousePress(t.view->windowHandle(), Qt::LeftButton, {}, t.sliderPoint(at * w + 4));
  };
}
Step move(float to) {
  return [to](StrengthInputs& t, double w) { QTest::mouseMove(t.view->windowHandle(), t.sliderPoint(to * w)); };
}
Step release(float at) {
  return [at](StrengthInputs& t, double w) {
    QTest::mouseRelease(t.view->windowHandle(), Qt::LeftButton, {}, t.sliderPoint(at * w));
  };
}
Step assistiveSet(double value) {
  return [value](StrengthInputs& t, double) {
    QAccessible::queryAccessibleInterface(t.child<StrengthRow>("strengthRow"))->valueInterface()->setCurrentValue(value);
  };
}
Step wait(double seconds) {
  return [seconds](StrengthInputs& t, double) {
    t.clock->advanceBy(seconds);
    QApplication::processEvents();
  };
}
// The popover closes under the hand; the release, if any, reaches a hidden slider.
Step hideThenRelease() {
  return [](StrengthInputs& t, double) {
    t.view->hide();
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(20, 12), QPointF(20, 12), Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(t.sliderControl(), &up);
  };
}

const Row kRows[] = {
    {"key then drag", {key(Qt::Key_Right), wait(0.1), press(0.55F), move(0.9F), release(0.9F), wait(1.0)}, {0.9F}},
    {"drag then key", {press(0.5F), move(0.3F), key(Qt::Key_Right), release(0.3F), wait(1.0)}, {0.35F}},
    {"key, drag, key", {key(Qt::Key_Right), press(0.55F), move(0.2F), release(0.2F), key(Qt::Key_Left), wait(1.0)},
     {0.15F}},
    {"assistive technology sets during a drag", {press(0.5F), move(0.8F), assistiveSet(0.2), release(0.8F), wait(1.0)},
     {0.2F}},
    {"release after hide", {press(0.5F), move(0.7F), hideThenRelease(), wait(1.0)}, {0.7F}},
    {"two drags apart", {press(0.5F), move(0.3F), release(0.3F), press(0.3F), move(0.6F), release(0.6F), wait(1.0)},
     {0.3F, 0.6F}},
};

TEST_P(StrengthInputs, CommitTheValueWrittenLastOnce) {
  const Row& row = GetParam();
  start();
  manager->colorTemperatureStrength = 0.5F;
  child<StrengthRow>("strengthRow")->setFocus();  // keys go to the row; the slider takes no focus
  turn();
  sink->clear();
  const double w = sliderControl()->trackWidth();
  for (const Step& step : row.steps) {
    step(*this, w);
    turn();
  }
  std::vector<float> committed;
  const std::string prefix = "Setting color temperature strength to: ";
  for (const auto& line : lines())
    if (line.rfind(prefix, 0) == 0) committed.push_back(std::stof(line.substr(prefix.size())));
  ASSERT_EQ(committed.size(), row.committed.size());
  for (std::size_t i = 0; i < committed.size(); ++i) EXPECT_NEAR(committed[i], row.committed[i], 0.01F);
  EXPECT_EQ(provider->setStrengthCalls.load(), static_cast<int>(row.committed.size()));
  EXPECT_NEAR(manager->colorTemperatureStrength.get(), row.committed.back(), 0.01F);
}

INSTANTIATE_TEST_SUITE_P(Rows, StrengthInputs, ::testing::ValuesIn(kRows), [](const auto& row) {
  std::string name = row.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

}  // namespace
}  // namespace duskwarden::ui::testing
