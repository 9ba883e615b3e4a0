#pragma once

// The colours of the dependency marks, chosen against the view's palette.

#include <QColor>

namespace corvane {

// The colour a node's dependency mark (a Severity) is drawn in on a view
// whose base colour is `base`.
QColor MarkColour(int mark, const QColor& base);
// How far apart two colours are for the eye, from 1 (the same) to 21.
double ContrastRatio(const QColor& a, const QColor& b);

}  // namespace corvane
