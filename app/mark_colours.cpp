#include "mark_colours.h"

#include <algorithm>
#include <cmath>

#include "dependency_check.h"

namespace corvane {

double ContrastRatio(const QColor& a, const QColor& b) {
  // Relative luminance as the web's accessibility guidelines define it.
  const auto luminance = [](const QColor& colour) {
    const auto linear = [](float channel) {
      return channel <= 0.03928f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor MarkColour(int mark, const QColor& base) {
  // A dark and a light shade of each; whichever stands out more against
  // the view's base is drawn, so the mark reads in light and dark palettes.
  const bool problem = mark >= static_cast<int>(Severity::kProblem);
  const QColor dark = problem ? QColor(0xB0, 0x00, 0x20) : QColor(0x80, 0x50, 0x00);
  const QColor light = problem ? QColor(0xFF, 0x8A, 0x80) : QColor(0xFF, 0xD5, 0x4F);
  return ContrastRatio(dark, base) >= ContrastRatio(light, base) ? dark : light;
}

}  // namespace corvane
