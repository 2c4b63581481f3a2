#include "ui/GradientSlider.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestEnvironment.h"

namespace duskwarden::ui {
namespace {

// Records presses that the slider passes on to its parent.
class Host : public QWidget {
 public:
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    ++presses;
    e->accept();
  }
};

class GradientSliderWidgetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_slider_widget";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
  }

  // Track width 300: the popover's layout would size it the same way.
  void build(float initial) {
    strength = initial;
    host = std::make_unique<Host>();
    slider = new GradientSlider(
        Binding<float>{[this] { return strength; },
                       [this](float v) {
                         strength = v;
                         trace.push_back("write");
                       }},
        ClosedRange<float>{0.0f, 1.0f},
        [this](bool editing) { trace.push_back(editing ? "editing:true" : "editing:false"); }, host.get());
    const QMargins m = CustomGradientSlider::contentMargins();
    // The host leaves room around the slider so pointer positions past its ends stay
    // inside the window, where the offscreen platform delivers them.
    slider->setGeometry(100, 10, 300 + m.left() + m.right(), 24 + m.top() + m.bottom());
    host->resize(slider->width() + 200, slider->height() + 20);
    host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    ASSERT_EQ(slider->control()->trackWidth(), 300);
  }

  // Pointer positions are given in row coordinates (x from the track's leading edge).
  QPoint at(double x, double y = 12) const {
    return slider->control()->mapTo(host.get(), slider->control()->toWidgetForTesting({x, y})).toPoint();
  }
  void press(double x) { QTest::mousePress(host->windowHandle(), Qt::LeftButton, {}, at(x)); }
  void move(double x, double y = 12) { QTest::mouseMove(host->windowHandle(), at(x, y)); }
  void release(double x) { QTest::mouseRelease(host->windowHandle(), Qt::LeftButton, {}, at(x)); }

  float strength = 0;
  std::vector<std::string> trace;
  std::unique_ptr<Host> host;
  GradientSlider* slider = nullptr;
};

TEST_F(GradientSliderWidgetTest, DragFromThumbFollowsThePointerAfterTenPixels) {
  build(0.5f);  // thumb centre at x = 154
  press(154);
  move(158);
  move(163);
  EXPECT_TRUE(trace.empty());
  EXPECT_EQ(strength, 0.5f);
  move(164);  // 10 from the press: the value jumps to the pointer
  EXPECT_EQ(strength, 164.0f / 300.0f);
  EXPECT_TRUE(slider->control()->isEditingForTesting());
  move(75);
  EXPECT_EQ(strength, 0.25f);
  move(-20);
  EXPECT_EQ(strength, 0.0f);
  move(400);
  EXPECT_EQ(strength, 1.0f);
  move(144);
  release(144);
  EXPECT_EQ(strength, 0.48f);
  EXPECT_FALSE(slider->control()->isEditingForTesting());
  ASSERT_EQ(trace.size(), 7u);
  EXPECT_EQ(trace.front(), "editing:true");
  EXPECT_EQ(trace.back(), "editing:false");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "write"), 5);
}

TEST_F(GradientSliderWidgetTest, ShortClickOnThumbChangesNothing) {
  build(0.5f);
  press(154);
  move(160);
  release(160);
  EXPECT_TRUE(trace.empty());
  EXPECT_EQ(strength, 0.5f);
  EXPECT_EQ(host->presses, 0) << "the thumb takes its own press";
}

TEST_F(GradientSliderWidgetTest, ClickOrDragOnTheBarChangesNothing) {
  build(0.5f);
  for (double x : {40.0, 250.0, 168.0}) {
    SCOPED_TRACE(x);
    press(x);
    move(x + 50);
    move(x - 50);
    release(x - 50);
  }
  EXPECT_TRUE(trace.empty());
  EXPECT_EQ(strength, 0.5f);
  EXPECT_EQ(host->presses, 3) << "presses off the thumb pass through to the container";
}

TEST_F(GradientSliderWidgetTest, ThumbFollowsValuesChangedElsewhere) {
  build(0.5f);
  strength = 0.1f;
  slider->refresh();
  slider->control()->grab();  // forces the paint that reads the value
  press(154);  // the old thumb position no longer takes the press
  move(200);
  release(200);
  EXPECT_EQ(strength, 0.1f);
  press(34);  // new centre: 0.1 * 300 + 4
  move(44);
  release(44);
  EXPECT_EQ(trace, (std::vector<std::string>{"editing:true", "write", "editing:false"}));
  EXPECT_FLOAT_EQ(strength, 44.0f / 300.0f);
}

TEST_F(GradientSliderWidgetTest, HidingMidDragEndsTheDrag) {
  build(0.5f);
  press(154);
  move(200);
  host->hide();
  EXPECT_EQ(trace, (std::vector<std::string>{"editing:true", "write", "editing:false"}));
  EXPECT_FALSE(slider->control()->isEditingForTesting());
}

TEST_F(GradientSliderWidgetTest, FloatConstructorWidensTheRange) {
  GradientSlider s(Binding<float>{[] { return 0.0f; }, [](float) {}}, ClosedRange<float>{0.25f, 0.75f},
                   [](bool) {});
  EXPECT_EQ(s.range().lower, 0.25);
  EXPECT_EQ(s.range().upper, 0.75);
#ifndef NDEBUG
  EXPECT_THROW(GradientSlider(Binding<float>{[] { return 0.0f; }, [](float) {}},
                              ClosedRange<float>{1.0f, 0.0f}, [](bool) {}),
               std::invalid_argument);
#endif
}

QImage renderOn(GradientSlider* s, QColor background) {
  QImage img(s->size(), QImage::Format_ARGB32_Premultiplied);
  img.fill(background);
  s->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  return img;
}

TEST_F(GradientSliderWidgetTest, RendersTrackFillAndThumb) {
  build(0.0f);
  const QColor dark(30, 30, 30);
  const QMargins m = CustomGradientSlider::contentMargins();
  auto px = [&](const QImage& img, double x, double y = 12) {
    return img.pixelColor(int(x) + m.left(), int(y) + m.top());
  };
  std::vector<QImage> rows;
  for (float v : {0.0f, 0.5f, 1.0f}) {
    SCOPED_TRACE(v);
    strength = v;
    slider->refresh();
    const QImage img = renderOn(slider, dark);
    const QImage light = renderOn(slider, QColor(236, 236, 236));
    rows.push_back(img);
    rows.push_back(light);
    const double p = v * 300;

    // The thumb's centre is white.
    const QColor centre = px(img, p + 4);
    EXPECT_GE(centre.red(), 240);
    EXPECT_GE(centre.green(), 240);
    EXPECT_GE(centre.blue(), 240);

    if (v < 1.0f) {  // bare track, far from the thumb: standard grey at 0.3 over the background
      const QColor track = px(img, 296);
      EXPECT_NEAR(track.red(), 0.3 * 0x8E + 0.7 * 30, 4);
      EXPECT_NEAR(track.blue(), 0.3 * 0x93 + 0.7 * 30, 4);
      EXPECT_EQ(px(img, 296, 2), dark) << "only the 8-high bar is drawn there";
    }
    if (v > 0.0f) {  // the fill reaches orange right before the thumb
      const QColor fill = px(img, p - 12);
      EXPECT_GE(fill.red(), 240);
      EXPECT_NEAR(fill.green(), 0x95, 12);
      EXPECT_LE(fill.blue(), 30);
      const QColor start = px(img, 1);
      EXPECT_NEAR(start.red(), 179, 8);
      EXPECT_NEAR(start.blue(), 170, 12);
    } else {
      for (int x = 20; x < 300; ++x) {
        const QColor c = px(img, x);
        ASSERT_FALSE(c.red() > 120 && c.blue() < 0.5 * c.red()) << "orange at x = " << x;
      }
    }
    // The thumb's ends are drawn, not clipped: 8 left of its fill end... 16 right of it.
    EXPECT_GT(px(img, p - 7).red(), 60);
    EXPECT_GT(px(img, p + 15).red(), 60);
    // Shadow below the thumb.
    EXPECT_LT(px(light, p + 4, 25).red(), 230);
  }

  QImage sheet(rows[0].width(), rows[0].height() * int(rows.size()), QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&sheet);
  for (size_t i = 0; i < rows.size(); ++i) painter.drawImage(0, int(i) * rows[0].height(), rows[i]);
  painter.end();
  const QString path = QString::fromStdString((testing::artifactsDir() / "gradient-slider.png").string());
  ASSERT_TRUE(sheet.scaled(sheet.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(path));
}

}  // namespace
}  // namespace duskwarden::ui
