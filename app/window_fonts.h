#pragma once

// The fonts the windows are designed with, on a desktop that may lack them.

#include <QFont>
#include <QString>

namespace corvane {

// A font that falls back to the desktop's sans-serif where the named family
// is not installed, rather than to whatever the font matcher picks first.
inline QFont SansFont(const QString& family, int pixelSize, bool bold = false) {
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

}  // namespace corvane
