// Draws the tree images, the program icon, the about box and the window with
// the bundled sample as PNG files, so that a person can judge them:
//   corvane_app_pictures [--icons FILE] [--about FILE] [--window FILE] [--modules FILE]
// The icon sheet shows every image 8 times enlarged (pixel for pixel) above
// its drawing for a 2x screen at 4 times.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

#include "Aboutboxform.h"
#include "Mainform.h"
#include "modules_pane.h"
#include "tree_icons.h"

namespace {

// `pixmap`'s device pixels enlarged `factor` times, over a checker board of
// the same squares so that transparency shows.
void PutEnlarged(QPainter& p, const QPixmap& pixmap, QPoint at, int factor) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRect square(at.x() + x * factor, at.y() + y * factor, factor, factor);
      p.fillRect(square, (x + y) % 2 != 0 ? QColor(0xe6, 0xe6, 0xe6) : QColor(0xf7, 0xf7, 0xf7));
      p.fillRect(square, QColor::fromRgba(image.pixel(x, y)));
    }
  }
}

QImage IconSheet() {
  constexpr int kCell = 16 * 8 + 16;
  QImage sheet((corvane::kTreeIconCount + 2) * kCell + 16, 2 * kCell + 16, QImage::Format_ARGB32);
  sheet.fill(QColor(0xc8, 0xcc, 0xd2));
  QPainter p(&sheet);
  for (int index = 0; index < corvane::kTreeIconCount; ++index) {
    PutEnlarged(p, corvane::TreeIconPixmap(index), QPoint(16 + index * kCell, 16), 8);
    PutEnlarged(p, corvane::TreeIconPixmap(index, 2.0), QPoint(16 + index * kCell, 16 + kCell), 4);
  }
  const int x = 16 + corvane::kTreeIconCount * kCell;
  PutEnlarged(p, corvane::ProgramIconPixmap(32), QPoint(x, 16), 8);
  PutEnlarged(p, corvane::ProgramIconPixmap(16), QPoint(x, 16 + 32 * 8 + 16), 8);
  return sheet;
}

// The main window with the bundled sample open, opened by plain names from
// its folder as a user in a shell would, its program's "Stats" and the DLL
// it imports from unfolded.
QImage WindowWithSample() {
  QDir::setCurrent(QFileInfo(QStringLiteral(CORVANE_SAMPLE_EXE)).absolutePath());
  corvane::TMain window;
  window.OpenList({QFileInfo(QStringLiteral(CORVANE_SAMPLE_DLL)).fileName(),
                   QFileInfo(QStringLiteral(CORVANE_SAMPLE_EXE)).fileName()});
  window.show();
  const QAbstractItemModel* model = window.InfoTree->model();
  const QModelIndex program = model->index(0, 0);
  window.InfoTree->expand(model->index(0, 0, program));
  window.InfoTree->expand(model->index(1, 0, program));
  window.InfoTree->setCurrentIndex(model->index(1, 0, program));
  QApplication::processEvents();
  return window.grab().toImage();
}

// The window with its Modules pane open on the x86-64 sample linked
// against the Universal CRT, copied alone into a folder of its own, without
// the DLL it needs.
QImage WindowWithModulesPane() {
  const QTemporaryDir folder;
  const QString program = folder.filePath(QFileInfo(QStringLiteral(CORVANE_SAMPLE_UCRT_EXE)).fileName());
  QFile::copy(QStringLiteral(CORVANE_SAMPLE_UCRT_EXE), program);
  corvane::TMain window;
  window.resize(1400, 980);
  window.ShowModules->setChecked(true);
  window.OpenList({program});
  window.show();
  QApplication::processEvents();
  return window.grab().toImage();
}

QImage AboutBox() {
  corvane::TAboutBox box(nullptr);
  box.show();
  QApplication::processEvents();
  return box.grab().toImage();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // The window's kept options are the user's: the pictures keep theirs apart.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  const QMap<QString, QImage (*)()> pictures = {
      {"--icons", IconSheet}, {"--about", AboutBox}, {"--window", WindowWithSample},
      {"--modules", WindowWithModulesPane}};
  const QStringList args = QApplication::arguments().mid(1);
  bool ok = !args.isEmpty() && args.size() % 2 == 0;
  for (qsizetype i = 0; ok && i < args.size(); i += 2) {
    QImage (*draw)() = pictures.value(args[i]);
    ok = draw != nullptr && draw().save(args[i + 1], "PNG");
  }
  if (!ok) {
    std::fprintf(stderr, "usage: corvane_app_pictures [--icons FILE] [--about FILE] [--window FILE] [--modules FILE]\n");
  }
  return ok ? 0 : 1;
}
