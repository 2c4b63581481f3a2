// Build-time tool: renders the masks that BakedSymbols.h plans, from the
// symbols' SVGs, into a C++ source that the program compiles in; and the
// application icon as a PNG of one size, for icon themes.
//
//   dw-symbol-baker ICON_DIR OUTPUT.cpp
//   dw-symbol-baker --png ICON.svg SIDE OUTPUT.png

#include "ui/BakedSymbols.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace duskwarden::ui;

namespace {

struct Job {
  std::string name;
  SymbolWeight weight;
  int side;
  bool operator<(const Job& o) const { return std::tie(name, weight, side) < std::tie(o.name, o.weight, o.side); }
};

// Tray masks first: the start-up touches only those, and they stay together.
std::vector<Job> plan() {
  std::vector<Job> jobs;
  std::set<Job> seen;
  auto add = [&](const char* name, SymbolWeight weight, int side) {
    Job job{name, weight, side};
    if (seen.insert(job).second) jobs.push_back(job);
  };
  for (const char* name : kTraySymbols)
    for (int side : kTrayIconSides) add(name, kTrayWeight, trayGlyphSide(side));
  for (double ratio : kBakedPixelRatios) {
    for (const char* name : kHeaderSymbols)
      add(name, SymbolWeight::regular, deviceSide(contentview::kHeaderPointSize, ratio));
    for (const char* name : kShieldSymbols) add(name, SymbolWeight::regular, deviceSide(kShieldPointSize, ratio));
  }
  return jobs;
}

const char* weightName(SymbolWeight weight) {
  switch (weight) {
    case SymbolWeight::regular:
      return "regular";
    case SymbolWeight::semibold:
      return "semibold";
    case SymbolWeight::bold:
      return "bold";
    case SymbolWeight::heavy:
      return "heavy";
  }
  return "regular";
}

int renderPng(const char* program, const char* svg, const char* side, const char* output) {
  const int pixels = std::atoi(side);
  QImageReader reader(QString::fromLocal8Bit(svg));
  reader.setScaledSize(QSize(pixels, pixels));
  const QImage image = reader.read();
  if (pixels <= 0 || image.isNull()) {
    std::fprintf(stderr, "%s: cannot render %s at %s px: %s\n", program, svg, side, qPrintable(reader.errorString()));
    return 1;
  }
  QSaveFile out(QString::fromLocal8Bit(output));
  if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG") || !out.commit()) {
    std::fprintf(stderr, "%s: cannot write %s\n", program, output);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool png = argc == 5 && std::string(argv[1]) == "--png";
  if (argc != 3 && !png) {
    std::fprintf(stderr, "usage: %s ICON_DIR OUTPUT.cpp\n       %s --png ICON.svg SIDE OUTPUT.png\n", argv[0], argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  if (png) return renderPng(argv[0], argv[2], argv[3], argv[4]);
  const QString iconDir = QString::fromLocal8Bit(argv[1]);

  QByteArray bytes;  // the compressed masks as C text
  QByteArray table;
  qsizetype offset = 0;  // of the next mask in the array
  for (const Job& job : plan()) {
    QFile file(iconDir + QLatin1Char('/') + QString::fromStdString(job.name) + QStringLiteral(".svg"));
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], qPrintable(file.fileName()));
      return 1;
    }
    const QImage mask = renderSymbolMask(file.readAll(), job.weight, QSize(job.side, job.side));
    if (mask.isNull()) {
      std::fprintf(stderr, "%s: cannot render %s at %d px (is Qt's SVG image plugin installed?)\n", argv[0],
                   job.name.c_str(), job.side);
      return 1;
    }
    // Rows of exactly `side` bytes, then zlib: the shapes are mostly runs of
    // 0 and 255, so the program carries a few kilobytes, not a few hundred.
    QByteArray plain;
    for (int y = 0; y < mask.height(); ++y)
      plain.append(reinterpret_cast<const char*>(mask.constScanLine(y)), mask.width());
    const QByteArray packed = qCompress(plain, 9);
    table += QStringLiteral("    {\"%1\", SymbolWeight::%2, %3, kPacked + %4, %5},\n")
                 .arg(QString::fromStdString(job.name), QLatin1String(weightName(job.weight)))
                 .arg(job.side)
                 .arg(offset)
                 .arg(packed.size())
                 .toUtf8();
    for (qsizetype i = 0; i < packed.size(); ++i) {
      bytes += QByteArray::number(static_cast<uchar>(packed[i])) + ',';
      if (i % 32 == 31) bytes += '\n';
    }
    bytes += '\n';
    offset += packed.size();
  }

  QSaveFile out(QString::fromLocal8Bit(argv[2]));
  if (!out.open(QIODevice::WriteOnly)) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
    return 1;
  }
  out.write("// Generated at build time by dw-symbol-baker from resources/icons; do not edit.\n"
            "#include \"ui/BakedSymbols.h\"\n\nnamespace duskwarden::ui {\n\nnamespace {\n"
            "const unsigned char kPacked[] = {\n");
  out.write(bytes);
  out.write("};\n}  // namespace\n\nconst BakedMask kBakedMasks[] = {\n");
  out.write(table);
  out.write("};\nconst std::size_t kBakedMaskCount = sizeof kBakedMasks / sizeof kBakedMasks[0];\n\n"
            "}  // namespace duskwarden::ui\n");
  return out.commit() ? 0 : 1;
}
