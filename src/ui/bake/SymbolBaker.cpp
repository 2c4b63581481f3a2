// Build-time tool: renders the masks that BakedSymbols.h plans, from the
// symbols' SVGs, into a C++ source that the program compiles in.
//
//   dw-symbol-baker ICON_DIR OUTPUT.cpp

#include "ui/BakedSymbols.h"

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ICON_DIR OUTPUT.cpp\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
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
