#pragma once
// Named symbols drawn by us as SVG resources (":/symbols/<name>.svg"), tinted
// with one colour and rendered on demand, so they stay sharp at any device
// pixel ratio.
//
// The SVGs are single-colour shapes on transparency; tinting keeps their alpha
// and replaces the colour. Weight thickens outlined strokes (filled shapes
// look the same at every weight).

#include <QColor>
#include <QIcon>
#include <QSize>
#include <QString>

namespace duskwarden::ui {

struct SymbolConfiguration {
  double pointSize = 17;  // the symbol's square side in logical pixels
  enum class Weight { regular, semibold, bold, heavy } weight = Weight::regular;
};

bool hasSymbol(const QString& symbolName);

// The icon for `symbolName` in `color`, or a null QIcon for an unknown name.
// Its natural size is pointSize x pointSize; any requested size renders afresh.
QIcon symbolIcon(const QString& symbolName, const SymbolConfiguration& config, const QColor& color);

// The natural logical size of a symbol at `config`.
QSize symbolSize(const SymbolConfiguration& config);

}  // namespace duskwarden::ui
