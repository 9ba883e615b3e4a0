// Writes the program's icon as PNG files for the desktop's icon theme:
//   corvane_render_icons DIR SIZE...
// puts DIR/hicolor/SIZExSIZE/apps/corvane.png for each size. The icon is
// drawn in code; rendering it at build time keeps the installed files in
// step with the icon the window shows.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <cstdio>

#include "tree_icons.h"

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  const QStringList arguments = QGuiApplication::arguments();
  if (arguments.size() < 3) {
    std::fprintf(stderr, "usage: corvane_render_icons DIR SIZE...\n");
    return 2;
  }
  const QDir root(arguments[1]);
  for (qsizetype i = 2; i < arguments.size(); ++i) {
    bool isNumber = false;
    const int size = arguments[i].toInt(&isNumber);
    if (!isNumber || size <= 0) {
      std::fprintf(stderr, "corvane_render_icons: not a size: %s\n", qPrintable(arguments[i]));
      return 2;
    }
    const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
    const QString file = root.filePath(folder + QStringLiteral("/corvane.png"));
    QImage image = corvane::ProgramIconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1.0);
    if (!root.mkpath(folder) || image.size() != QSize(size, size) || !image.save(file, "PNG")) {
      std::fprintf(stderr, "corvane_render_icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
