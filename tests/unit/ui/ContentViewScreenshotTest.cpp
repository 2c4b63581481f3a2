// Pictures of the popover in all four states, light and dark, saved as test
// artefacts for people to look at; the checks guard what a picture shows.

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>

#include "TestEnvironment.h"
#include "ViewFixture.h"

namespace duskwarden::ui::testing {
namespace {

// A rectangle of the view in the picture's pixels.
QRect device(const QImage& shot, const QRect& r) {
  const qreal dpr = shot.devicePixelRatio();
  return QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr).toRect();
}

// Share of pixels in `area` whose colour is close to `c`.
double coverage(const QImage& image, const QRect& area, const QColor& c) {
  int hits = 0;
  int total = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x, ++total) {
      const QColor p = image.pixelColor(x, y);
      hits += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) < 40;
    }
  return total ? static_cast<double>(hits) / total : 0;
}

// WCAG 2's contrast ratio of two opaque colours, from their relative luminance.
double contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A text's contrast in a picture: its ink (the pixel farthest from the
// background) against its background (the commonest colour in `area`).
double textContrast(const QImage& image, const QRect& area) {
  std::map<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) ++counts[image.pixel(x, y)];
  const QColor background(std::ranges::max_element(counts, {}, &std::pair<const QRgb, int>::second)->first);
  double best = 1;
  for (const auto& [rgb, n] : counts) best = std::max(best, contrast(QColor(rgb), background));
  return best;
}

// A focus ring's contrast: on each side of the control (the halves of its
// middle row and column), the largest change of a pixel between the
// unfocused and the focused picture; the weakest side counts.
double ringContrast(const QImage& before, const QImage& after, const QRect& area) {
  double weakest = 100;
  for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
    QPoint p(step.x() > 0 ? area.left() : step.x() < 0 ? area.right() : area.center().x(),
             step.y() > 0 ? area.top() : step.y() < 0 ? area.bottom() : area.center().y());
    double best = 1;
    for (; area.contains(p) && (p - area.center()).manhattanLength() > 2; p += step)
      best = std::max(best, contrast(before.pixelColor(p), after.pixelColor(p)));
    weakest = std::min(weakest, best);
  }
  return weakest;
}

class Screenshot : public ViewFixture {
 protected:
  // Every shown text reads at 4.5:1 or more; every focus ring (shown on
  // opening, as Tab shows it) changes each side of its control by 3:1 or more.
  // The ratios go to `report`, on lines led by `where`.
  void checkTextsAndRings(const QImage& shot, const std::string& where, std::ostream& report) {
    auto inView = [this](QWidget* w, int inset) {
      return QRect(w->mapTo(view.get(), QPoint(0, 0)), w->size()).adjusted(inset, inset, -inset, -inset);
    };
    for (const char* name : {"title", "statusBadge", "cardTitle", "cardCaption", "lessWarm", "moreWarm",
                             "versionLabel", "enableButton", "disableButton"}) {
      QWidget* w = child(name);
      if (!w->isVisible() || !w->isEnabled()) continue;  // a greyed-out button is no text to read
      // A button's text is read against its fill, inside its border.
      const double ratio = textContrast(shot, device(shot, inView(w, std::string(name).ends_with("Button") ? 3 : 0)));
      report << where << " | " << name << " | " << ratio << "\n";
      EXPECT_GE(ratio, 4.5) << name;
    }
    for (const char* name : {"wardenModeSwitch", "enableButton", "disableButton", "strengthRow"}) {
      QWidget* w = child(name);
      if (!w->isEnabled()) continue;
      w->setFocus(Qt::PopupFocusReason);
      QApplication::processEvents();
      const QImage focused = view->grab().toImage();
      w->clearFocus();
      const double ring = ringContrast(shot, focused, device(shot, inView(w, 0)));
      report << where << " | focus ring of " << name << " | " << ring << "\n";
      EXPECT_GE(ring, 3.0) << name;
    }
  }
};

TEST_F(Screenshot, AllStatesInLightAndDarkPalettes) {
  start();
  const auto dir = duskwarden::testing::artifactsDir();
  std::filesystem::create_directories(dir);
  const struct {
    const char* name;
    QPalette palette;
  } themes[] = {{"light", lightPalette()}, {"dark", darkPalette()}};
  const struct {
    bool e, k;
    const char* name;
  } states[] = {{false, false, "off"}, {true, false, "on"}, {true, true, "on-kept"}, {false, true, "off-kept"}};

  std::ofstream report(dir / "contrast.txt");  // the measured ratios, for people
  for (const auto& theme : themes) {
    view->setPalette(theme.palette);
    for (const auto& s : states) {
      SCOPED_TRACE(std::string(theme.name) + " " + s.name);
      setState(s.e, s.k);
      if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();  // rings are looked at below
      QApplication::processEvents();
      const QImage shot = view->grab().toImage();
      ASSERT_EQ(shot.width(), qRound(contentview::kWidth * shot.devicePixelRatio()));
      const auto file = dir / ("contentview-" + std::string(s.name) + "-" + theme.name + ".png");
      ASSERT_TRUE(shot.save(QString::fromStdString(file.string()))) << file;

      // The header symbol is drawn in its state colour.
      QWidget* header = child("headerSymbol");
      const QColor headerColor = header->property("symbolColor").value<QColor>();
      const QColor opaque(headerColor.red(), headerColor.green(), headerColor.blue());
      const QRect centre(header->geometry().center() - QPoint(4, 4), QSize(8, 8));
      if (s.e) {
        EXPECT_GT(coverage(shot, device(shot, centre.translated(8, 0)), opaque), 0.5) << "lit half of the moon";
      }
      // The version line is not drawn in the background colour.
      const QRect version = child("versionLabel")->geometry();
      EXPECT_LT(coverage(shot, device(shot, version), theme.palette.color(QPalette::Window)), 0.995);
      checkTextsAndRings(shot, std::string(theme.name) + " | " + s.name, report);

      // The card's blue is really painted when Keep Always On is set.
      const QRect card = child("keepAlwaysOnCard")->geometry().adjusted(20, 4, -20, -4);
      QImage painted(1, 1, QImage::Format_RGB32);  // the card's 90 % blue over the window
      painted.fill(theme.palette.color(QPalette::Window));
      QPainter(&painted).fillRect(painted.rect(), resolved({ColorRole::blue, 0.9}));
      const double blue = coverage(shot, device(shot, card), painted.pixelColor(0, 0));
      if (s.k) {
        EXPECT_GT(blue, 0.3);
      } else {
        EXPECT_LT(blue, 0.05);
      }
    }
  }
}

}  // namespace
}  // namespace duskwarden::ui::testing
