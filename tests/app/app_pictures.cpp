// Draws the tree images, the program icon and the about box as PNG files so
// that a person can judge them:
//   corvane_app_pictures [--icons FILE] [--about FILE]
// The icon sheet shows every image 8 times enlarged (pixel for pixel), the
// tree images also as drawn for a 2x screen, and a strip at real size on a
// light and a dark background.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTreeView>
#include <QPainter>
#include <QPixmap>
#include <QStringList>

#include <cstdio>
#include <vector>

#include "Aboutboxform.h"
#include "Mainform.h"
#include "tree_icons.h"

namespace {

constexpr int kMargin = 16;
constexpr int kGap = 16;

// `image` enlarged `factor` times with one pixel per square, over a checker
// board of the same squares so that transparency shows.
void PutEnlarged(QPainter& p, const QImage& image, QPoint at, int factor) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRect square(at.x() + x * factor, at.y() + y * factor, factor, factor);
      p.fillRect(square, (x + y) % 2 != 0 ? QColor(0xe6, 0xe6, 0xe6) : QColor(0xf7, 0xf7, 0xf7));
      p.fillRect(square, QColor::fromRgba(image.pixel(x, y)));
    }
  }
}

QImage Physical(const QPixmap& pixmap) {
  QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  image.setDevicePixelRatio(1.0);
  return image;
}

QImage IconSheet() {
  std::vector<QImage> normal;
  std::vector<QImage> doubled;
  for (int index = 0; index < corvane::kTreeIconCount; ++index) {
    normal.push_back(Physical(corvane::TreeIconPixmap(index)));
    doubled.push_back(Physical(corvane::TreeIconPixmap(index, 2.0)));
  }
  const QImage program32 = Physical(corvane::ProgramIconPixmap(32));
  const QImage program16 = Physical(corvane::ProgramIconPixmap(16));

  const int cell = 16 * 8;
  const int width = 2 * kMargin + corvane::kTreeIconCount * (cell + kGap) + 32 * 8;
  const int stripTop = kMargin + 32 * 8 + kGap + cell + kGap;
  const int height = stripTop + 2 * 40 + kMargin;
  QImage sheet(width, height, QImage::Format_ARGB32);
  sheet.fill(QColor(0xc8, 0xcc, 0xd2));
  QPainter p(&sheet);

  // Row 1: the images at 8x; row 2: the tree images as drawn for a 2x
  // screen at 4x, and the program icon's 16 pixel design at 8x.
  int x = kMargin;
  for (int index = 0; index < corvane::kTreeIconCount; ++index) {
    PutEnlarged(p, normal[index], QPoint(x, kMargin + 32 * 8 - cell), 8);
    PutEnlarged(p, doubled[index], QPoint(x, kMargin + 32 * 8 + kGap), 4);
    x += cell + kGap;
  }
  PutEnlarged(p, program32, QPoint(x, kMargin), 8);
  PutEnlarged(p, program16, QPoint(x, kMargin + 32 * 8 + kGap), 8);

  // Real size, as in a tree: on white and on a dark panel, at 1x and 2x.
  const QColor backgrounds[] = {QColor(Qt::white), QColor(0x2b, 0x2f, 0x36)};
  for (int row = 0; row < 2; ++row) {
    const QRect band(kMargin, stripTop + row * 40, width - 2 * kMargin, 40);
    p.fillRect(band, backgrounds[row]);
    int left = band.left() + 8;
    for (int index = 0; index < corvane::kTreeIconCount; ++index) {
      p.drawImage(QPoint(left, band.top() + 12), normal[index]);
      left += 24;
    }
    p.drawImage(QPoint(left, band.top() + 12), program16);
    p.drawImage(QPoint(left + 24, band.top() + 4), program32);
    left += 72;
    for (int index = 0; index < corvane::kTreeIconCount; ++index) {
      p.drawImage(QPoint(left, band.top() + 4), doubled[index]);
      left += 40;
    }
  }
  return sheet;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "corvane_app_pictures: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

// The main window with the bundled sample open, its program's "Stats" and
// the DLL it imports from unfolded.
QImage WindowWithSample() {
  // Opened by plain names from their folder, as a user in a shell would.
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

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  const QStringList args = QApplication::arguments().mid(1);
  if (args.isEmpty() || args.size() % 2 != 0) {
    std::fprintf(stderr, "usage: corvane_app_pictures [--icons FILE] [--about FILE] [--window FILE]\n");
    return 2;
  }
  bool ok = true;
  for (qsizetype i = 0; i < args.size(); i += 2) {
    if (args[i] == QLatin1String("--icons")) {
      ok = Save(IconSheet(), args[i + 1]) && ok;
    } else if (args[i] == QLatin1String("--window")) {
      ok = Save(WindowWithSample(), args[i + 1]) && ok;
    } else if (args[i] == QLatin1String("--about")) {
      corvane::TAboutBox box(nullptr);
      box.show();
      QApplication::processEvents();
      ok = Save(box.grab().toImage(), args[i + 1]) && ok;
    } else {
      std::fprintf(stderr, "corvane_app_pictures: unknown option %s\n", qPrintable(args[i]));
      return 2;
    }
  }
  return ok ? 0 : 1;
}
