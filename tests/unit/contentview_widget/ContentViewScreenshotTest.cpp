// Pictures of the popover in all four states, light and dark, saved as test
// artefacts for people to look at; the checks guard what a picture shows.

#include <QImage>

#include "TestEnvironment.h"
#include "ViewFixture.h"

namespace duskwarden::ui::testing {
namespace {

using Screenshot = ViewFixture;

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

  for (const auto& theme : themes) {
    view->setPalette(theme.palette);
    for (const auto& s : states) {
      SCOPED_TRACE(std::string(theme.name) + " " + s.name);
      setState(s.e, s.k);
      QApplication::processEvents();
      const QImage shot = view->grab().toImage();
      const qreal dpr = shot.devicePixelRatio();
      ASSERT_EQ(shot.width(), qRound(contentview::kWidth * dpr));
      auto device = [dpr](const QRect& r) {
        return QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr).toRect();
      };
      const auto file = dir / ("contentview-" + std::string(s.name) + "-" + theme.name + ".png");
      ASSERT_TRUE(shot.save(QString::fromStdString(file.string()))) << file;

      // The header symbol is drawn in its state colour.
      QWidget* header = child("headerSymbol");
      const QColor headerColor = header->property("symbolColor").value<QColor>();
      const QColor opaque(headerColor.red(), headerColor.green(), headerColor.blue());
      const QRect centre(header->geometry().center() - QPoint(4, 4), QSize(8, 8));
      if (s.e) {
        EXPECT_GT(coverage(shot, device(centre.translated(8, 0)), opaque), 0.5) << "lit half of the moon";
      }
      // The version line is not drawn in the background colour.
      const QRect version = child("versionLabel")->geometry();
      EXPECT_LT(coverage(shot, device(version), theme.palette.color(QPalette::Window)), 0.995);
      // The card's blue is really painted when Keep Always On is set.
      const QRect card = child("keepAlwaysOnCard")->geometry().adjusted(20, 4, -20, -4);
      const double blue = coverage(shot, device(card), resolved({ColorRole::blue}));
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
