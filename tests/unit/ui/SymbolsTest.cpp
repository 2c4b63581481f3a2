// The drawn symbols: found by name, tinted, sharp at any pixel ratio, and
// weight changing strokes only.

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <QFile>

#include "ViewFixture.h"
#include "ui/BakedSymbols.h"
#include "ui/Symbols.h"

namespace duskwarden::ui::testing {
namespace {

QImage render(const char* name, SymbolConfiguration config, QColor color, QSize size, qreal dpr) {
  ensureApplication();
  return symbolIcon(QString::fromLatin1(name), config, color).pixmap(size, dpr).toImage();
}

int opaquePixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y).alpha() > 128;
  return n;
}

TEST(Symbols, KnownNamesOnly) {
  ensureApplication();
  for (const char* name :
       {"moonphase.first.quarter", "moonphase.full.moon.inverse", "shield.fill", "checkmark.shield.fill"}) {
    EXPECT_TRUE(hasSymbol(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(symbolIcon(QString::fromLatin1(name), {16}, Qt::black).isNull()) << name;
  }
  for (const char* name : {"", "moon", "../icons/shield.fill", "shield.fill.svg"}) {
    EXPECT_FALSE(hasSymbol(QString::fromLatin1(name))) << name;
    EXPECT_TRUE(symbolIcon(QString::fromLatin1(name), {16}, Qt::black).isNull()) << name;
  }
}

TEST(Symbols, RenderAtThePixelRatioAskedFor) {
  const QImage one = render("moonphase.full.moon.inverse", {16}, Qt::red, {16, 16}, 1.0);
  const QImage two = render("moonphase.full.moon.inverse", {16}, Qt::red, {16, 16}, 2.0);
  EXPECT_EQ(one.size(), QSize(16, 16));
  EXPECT_EQ(two.size(), QSize(32, 32));
  EXPECT_EQ(two.devicePixelRatio(), 2.0);
  // Rendered afresh, not scaled up: the edge stays one device pixel soft.
  EXPECT_NEAR(opaquePixels(two), 4 * opaquePixels(one), opaquePixels(one));
}

TEST(Symbols, TintKeepsTheShapeAndTakesTheColour) {
  const QColor orange(0xFF, 0x9F, 0x0A);
  const QImage moon = render("moonphase.first.quarter", {48}, orange, {48, 48}, 1.0);
  const QColor lit = moon.pixelColor(32, 24);     // inside the right half
  const QColor unlit = moon.pixelColor(14, 24);   // inside the outlined left half
  EXPECT_EQ(lit.rgb(), orange.rgb());
  EXPECT_EQ(lit.alpha(), 255);
  EXPECT_EQ(unlit.alpha(), 0);
  EXPECT_EQ(moon.pixelColor(1, 1).alpha(), 0);  // the corner is outside the disc

  const QColor halfWhite(255, 255, 255, 128);
  const QImage shield = render("shield.fill", {48}, halfWhite, {48, 48}, 1.0);
  EXPECT_NEAR(shield.pixelColor(24, 20).alpha(), 128, 2);
}

// The tint is computed by hand; it must be what QPainter paints, to the bit.
TEST(Symbols, TintIsWhatPaintingTheColourOverTheMaskGives) {
  QImage mask(256, 2, QImage::Format_Alpha8);  // every alpha level
  for (int x = 0; x < 256; ++x) mask.scanLine(0)[x] = mask.scanLine(1)[255 - x] = static_cast<uchar>(x);
  // The tray's two colours, two translucent ones where QPainter's rounding differs
  // from qPremultiply(rgba()), and none.
  for (const QColor colour : {QColor(0xf4, 0xf4, 0xf4), QColor(0x1c, 0x1c, 0x1c), QColor::fromRgba(0xd4343da9),
                              QColor::fromRgba(0xecd0b586), QColor(255, 255, 255, 128), QColor(Qt::transparent)}) {
    QImage painted(mask.size(), QImage::Format_ARGB32_Premultiplied);
    painted.fill(Qt::transparent);
    QPainter p(&painted);
    p.drawImage(0, 0, mask);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(painted.rect(), colour);
    p.end();
    EXPECT_EQ(tintedMask(mask, colour), painted) << colour.name(QColor::HexArgb).toStdString();
  }
}

TEST(Symbols, CheckmarkIsCutOutOfTheShield) {
  // (10.8, 15.4) of the 24-unit drawing lies on the check's corner.
  const QImage plain = render("shield.fill", {48}, Qt::white, {48, 48}, 1.0);
  const QImage checked = render("checkmark.shield.fill", {48}, Qt::white, {48, 48}, 1.0);
  EXPECT_EQ(plain.pixelColor(22, 30).alpha(), 255);
  EXPECT_EQ(checked.pixelColor(22, 30).alpha(), 0);
  EXPECT_EQ(checked.pixelColor(24, 8).alpha(), 255);  // the shield above the check
}

TEST(Symbols, HeavyWeightThickensStrokes) {
  const QImage regular = render("moonphase.first.quarter", {16}, Qt::black, {32, 32}, 1.0);
  const QImage heavy =
      render("moonphase.first.quarter", {16, SymbolConfiguration::Weight::heavy}, Qt::black, {32, 32}, 1.0);
  EXPECT_GT(opaquePixels(heavy), opaquePixels(regular) + 20);
  // Filled shapes look the same at every weight.
  EXPECT_EQ(opaquePixels(render("shield.fill", {16}, Qt::black, {32, 32}, 1.0)),
            opaquePixels(render("shield.fill", {16, SymbolConfiguration::Weight::heavy}, Qt::black, {32, 32}, 1.0)));
}

TEST(Symbols, BakedMasksCoverTheTrayAndPopoverSizesAndAreTheSvgRenderedAtThoseSizes) {
  ensureApplication();
  for (int side : kTrayIconSides)
    for (const char* name : kTraySymbols)
      EXPECT_TRUE(isBakedForTesting(QString::fromLatin1(name), kTrayWeight,
                                    QSize(trayGlyphSide(side), trayGlyphSide(side))))
          << name << " for a " << side << " px tray icon";
  for (double ratio : {1.0, 1.25, 1.5, 2.0}) {
    const int header = deviceSide(contentview::kHeaderPointSize, ratio);
    const int shield = deviceSide(kShieldPointSize, ratio);
    EXPECT_TRUE(isBakedForTesting("moonphase.full.moon.inverse", SymbolWeight::regular, QSize(header, header))) << ratio;
    EXPECT_TRUE(isBakedForTesting("checkmark.shield.fill", SymbolWeight::regular, QSize(shield, shield))) << ratio;
  }
  EXPECT_FALSE(isBakedForTesting("shield.fill", SymbolWeight::regular, QSize(20, 21))) << "squares only";

  ASSERT_GT(kBakedMaskCount, 0u);
  for (std::size_t i = 0; i < kBakedMaskCount; ++i) {
    const BakedMask& m = kBakedMasks[i];
    const QSize size(m.side, m.side);
    QFile svg(QStringLiteral(":/symbols/%1.svg").arg(QLatin1String(m.name)));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly)) << m.name;
    const QImage baked = symbolMask(QString::fromLatin1(m.name), m.weight, size);
    const QImage fresh = renderSymbolMask(svg.readAll(), m.weight, size);
    ASSERT_FALSE(fresh.isNull()) << m.name;
    EXPECT_TRUE(baked == fresh) << m.name << " at " << m.side << " px";
  }
}

}  // namespace
}  // namespace duskwarden::ui::testing
