#include "tree_icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPolygonF>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace corvane {
namespace {

// Every image is drawn in a square of "design units" (16 for the tree
// images, 16 or 32 for the program icon) that the painter scales to the
// device pixels asked for. Edges that must be crisp sit on half units, so at
// 1x and 2x each 1-unit line covers whole device pixels.

// One palette for all images, so the tree reads as one family.
namespace palette {
const QColor kInk(0x3b, 0x42, 0x4e);  // outlines of neutral objects
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kPaperShade(0xe9, 0xed, 0xf2);
const QColor kTextLine(0xa3, 0xab, 0xb7);
const QColor kFolderBack(0xe3, 0xa8, 0x2b);
const QColor kFolderFront(0xfd, 0xd8, 0x62);
const QColor kFolderFrontLight(0xff, 0xec, 0xa6);
const QColor kFolderEdge(0x9c, 0x6a, 0x12);
const QColor kPink(0xec, 0x6f, 0x9d);
const QColor kBlue(0x3a, 0x7b, 0xd8);
const QColor kDarkTitle(0x39, 0x40, 0x4c);
const QColor kRed(0xd9, 0x34, 0x34);
const QColor kRedDark(0x93, 0x1c, 0x1c);
const QColor kGreen(0x3f, 0xa3, 0x4d);
const QColor kGreenDark(0x2a, 0x73, 0x34);
const QColor kYellow(0xf6, 0xb8, 0x26);
const QColor kPurple(0x8a, 0x4f, 0xc8);
const QColor kSky(0xb5, 0xdc, 0xfa);
const QColor kSun(0xff, 0xd0, 0x3a);
const QColor kExportFill(0xfc, 0xec, 0x8a);
const QColor kExportLight(0xff, 0xfc, 0xe6);
const QColor kExportEdge(0x9a, 0x78, 0x10);
const QColor kImportFill(0xe2, 0xe5, 0xea);
const QColor kImportLight(0xf7, 0xf8, 0xfa);
const QColor kImportEdge(0x5f, 0x67, 0x73);
const QColor kHornLight(0xff, 0xe8, 0x7c);
const QColor kHornDark(0xf2, 0xb1, 0x1e);
const QColor kHornEdge(0xa8, 0x6c, 0x0a);
const QColor kHornInside(0x8a, 0x4e, 0x08);
const QColor kGlass(0xcf, 0xe7, 0xff, 0xc8);
const QColor kHandle(0x8a, 0x58, 0x2a);
const QColor kPlateTop(0x2f, 0x4f, 0x7a);
const QColor kPlateBottom(0x1c, 0x30, 0x4d);
const QColor kLink(0xa9, 0xc8, 0xf0);
}  // namespace palette

QPen Line(const QColor& color, qreal width = 1.0) {
  return QPen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

QPen RoundLine(const QColor& color, qreal width = 1.0) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient Vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
  QLinearGradient gradient(0, top, 0, bottom);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  return gradient;
}

// A window: white body, a title bar of `title` colour `titleHeight` units
// high, framed in ink. `frame` has its edges on half units.
void PaintWindow(QPainter& p, const QRectF& frame, const QColor& title, qreal titleHeight) {
  p.setPen(Qt::NoPen);
  p.setBrush(Vertical(frame.top(), frame.bottom(), palette::kPaper, palette::kPaperShade));
  p.drawRect(frame);
  const QRectF bar(frame.left(), frame.top(), frame.width(), titleHeight + 0.5);
  p.setBrush(Vertical(bar.top(), bar.bottom(), title.lighter(118), title));
  p.drawRect(bar);
  p.setBrush(Qt::NoBrush);
  p.setPen(Line(palette::kInk));
  p.drawRect(frame);
}

// ---- the tree images, 16 units ------------------------------------------

void PaintFile(QPainter& p) {
  // The back of the folder with its tab.
  QPainterPath back;
  back.moveTo(1.5, 2.5);
  back.lineTo(5.5, 2.5);
  back.lineTo(6.5, 3.5);
  back.lineTo(12.5, 3.5);
  back.lineTo(12.5, 13.5);
  back.lineTo(1.5, 13.5);
  back.closeSubpath();
  p.setPen(Line(palette::kFolderEdge));
  p.setBrush(palette::kFolderBack);
  p.drawPath(back);
  // A sheet showing between back and flap says "open".
  p.setPen(Line(palette::kTextLine));
  p.setBrush(palette::kPaper);
  p.drawRect(QRectF(3.5, 4.5, 7, 5));
  // The front flap, tilted open.
  const QPolygonF flap({{4.5, 7.5}, {15.5, 7.5}, {12.5, 13.5}, {1.5, 13.5}});
  p.setPen(Line(palette::kFolderEdge));
  p.setBrush(Vertical(7.5, 13.5, palette::kFolderFrontLight, palette::kFolderFront));
  p.drawPolygon(flap);
}

void PaintLibrary(QPainter& p, const QColor& title) {
  PaintWindow(p, QRectF(1.5, 2.5, 13, 11), title, 3);
  // A close box on the title bar.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 220));
  p.drawRect(QRectF(11, 4, 2, 1.5));
  // Two lines of content so the body is not mistaken for a blank card.
  p.setPen(Line(palette::kTextLine));
  p.drawLine(QPointF(3.5, 8.5), QPointF(10.5, 8.5));
  p.drawLine(QPointF(3.5, 10.5), QPointF(8.5, 10.5));
}

void PaintExports(QPainter& p) {
  // The horn: a curved cone from a tip at the upper left to a wide mouth at
  // the right.
  QPainterPath horn;
  horn.moveTo(0.8, 1.8);
  horn.cubicTo(1.4, 6.4, 4.6, 6.0, 8.6, 3.4);
  horn.lineTo(10.6, 10.2);
  horn.cubicTo(4.8, 12.0, 1.0, 8.6, 0.8, 1.8);
  p.setPen(RoundLine(palette::kHornEdge));
  p.setBrush(Vertical(3, 11.5, palette::kHornLight, palette::kHornDark));
  p.drawPath(horn);
  // Ridges around the horn.
  p.setPen(RoundLine(palette::kHornDark.darker(115), 0.8));
  p.drawLine(QPointF(3.6, 5.8), QPointF(4.4, 9.4));
  p.drawLine(QPointF(6.2, 5.0), QPointF(7.2, 10.2));
  // The open mouth.
  p.save();
  p.translate(9.6, 6.8);
  p.rotate(-17);
  p.setPen(RoundLine(palette::kHornEdge));
  p.setBrush(palette::kHornInside);
  p.drawEllipse(QPointF(0, 0), 1.5, 3.5);
  p.restore();
  // What spills out of it, tumbling down to the right.
  const struct {
    QPointF centre;
    qreal radius;
    QColor colour;
  } items[] = {
      {{12.6, 6.0}, 1.8, palette::kGreen},
      {{12.8, 10.6}, 2.0, palette::kRed},
      {{8.9, 13.3}, 1.7, palette::kBlue},
      {{14.2, 14.0}, 1.5, palette::kPurple},
  };
  for (const auto& item : items) {
    p.setPen(RoundLine(item.colour.darker(150), 0.8));
    QRadialGradient ball(item.centre - QPointF(0.6, 0.6), item.radius * 1.4);
    ball.setColorAt(0, item.colour.lighter(150));
    ball.setColorAt(1, item.colour);
    p.setBrush(ball);
    p.drawEllipse(item.centre, item.radius, item.radius);
  }
}

void PaintDiamond(QPainter& p, const QColor& light, const QColor& fill, const QColor& edge) {
  // Corners on pixel centres keep the slanted edges to a clean staircase at
  // 1x instead of a two-pixel blur.
  const QPolygonF diamond({{7.5, 1.5}, {13.5, 7.5}, {7.5, 13.5}, {1.5, 7.5}});
  p.setPen(RoundLine(edge));
  p.setBrush(Vertical(1.5, 14.5, light, fill));
  p.drawPolygon(diamond);
  // A facet catching the light on the upper left.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 170));
  p.drawPolygon(QPolygonF({{7.5, 3.4}, {7.5, 6.8}, {4.1, 7.2}}));
}

void PaintExport(QPainter& p) { PaintDiamond(p, palette::kExportLight, palette::kExportFill, palette::kExportEdge); }

void PaintImport(QPainter& p) {
  PaintDiamond(p, palette::kImportLight, palette::kImportFill, palette::kImportEdge);
  p.setPen(RoundLine(palette::kRedDark, 0.8));
  p.setBrush(palette::kRed);
  p.drawEllipse(QPointF(7.5, 8), 2.3, 2.3);
}

void PaintStats(QPainter& p) {
  const QRectF disc(1.5, 1.5, 13, 13);
  // Angles in sixteenths of a degree, counter-clockwise from three o'clock.
  const struct {
    int start;
    int span;
    QColor colour;
  } sectors[] = {
      {90, -140, palette::kRed},
      {-50, -100, palette::kBlue},
      {-150, -80, palette::kGreen},
      {-230, -40, palette::kYellow},
  };
  p.setPen(RoundLine(palette::kPaper, 0.7));
  for (const auto& sector : sectors) {
    QRadialGradient shade(QPointF(6, 6), 9);
    shade.setColorAt(0, sector.colour.lighter(135));
    shade.setColorAt(1, sector.colour);
    p.setBrush(shade);
    p.drawPie(disc, sector.start * 16, sector.span * 16);
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(RoundLine(palette::kInk));
  p.drawEllipse(disc);
}

void PaintStatsValue(QPainter& p) {
  // A page with a folded corner and lines of text.
  const QPolygonF page({{1.5, 0.5}, {7.5, 0.5}, {10.5, 3.5}, {10.5, 14.5}, {1.5, 14.5}});
  p.setPen(Line(palette::kInk));
  p.setBrush(Vertical(0.5, 14.5, palette::kPaper, palette::kPaperShade));
  p.drawPolygon(page);
  p.setBrush(palette::kPaperShade);
  p.drawPolygon(QPolygonF({{7.5, 0.5}, {7.5, 3.5}, {10.5, 3.5}}));
  p.setPen(Line(palette::kTextLine));
  for (int row = 0; row < 5; ++row) {
    const qreal y = 3.5 + 2 * row;
    p.drawLine(QPointF(3.5, y), QPointF(row == 0 ? 5.5 : 8.5, y));
  }
  // The magnifying glass over it.
  p.setPen(QPen(palette::kHandle, 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(12.6, 12.6), QPointF(14.6, 14.6));
  p.setPen(RoundLine(palette::kInk, 1.4));
  p.setBrush(palette::kGlass);
  p.drawEllipse(QPointF(10, 10), 3.3, 3.3);
  // A glint on the lens.
  p.setPen(RoundLine(QColor(255, 255, 255, 230), 0.9));
  p.drawArc(QRectF(8.1, 8.1, 3.8, 3.8), 100 * 16, 70 * 16);
}

void PaintVersionValue(QPainter& p) {
  PaintWindow(p, QRectF(1.5, 1.5, 13, 13), palette::kDarkTitle, 3);
  // A small picture: sky, sun and hills.
  const QRectF picture(3.5, 6.5, 9, 6);
  p.setPen(Qt::NoPen);
  p.setBrush(palette::kSky);
  p.drawRect(picture);
  p.save();
  p.setClipRect(picture);
  p.setBrush(palette::kSun);
  p.drawEllipse(QPointF(5.6, 8.4), 1.3, 1.3);
  QPainterPath hills;
  hills.moveTo(3.5, 12.5);
  hills.lineTo(3.5, 11.5);
  hills.lineTo(7.0, 8.6);
  hills.lineTo(9.0, 10.4);
  hills.lineTo(10.6, 9.0);
  hills.lineTo(12.5, 10.8);
  hills.lineTo(12.5, 12.5);
  hills.closeSubpath();
  p.setBrush(Vertical(8.6, 12.5, palette::kGreen.lighter(115), palette::kGreenDark));
  p.drawPath(hills);
  p.restore();
  p.setPen(Line(palette::kTextLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(picture);
}

// The tree images by index.
using Painter = void (*)(QPainter&);
constexpr Painter kTreePainters[kTreeIconCount] = {
    PaintFile,
    [](QPainter& p) { PaintLibrary(p, palette::kPink); },
    [](QPainter& p) { PaintLibrary(p, palette::kBlue); },
    PaintExports,
    PaintExport,
    PaintImport,
    PaintStats,
    PaintStatsValue,
    PaintVersionValue,
};

// ---- the program icon ------------------------------------------------------

// The program icon's rounded plate, `units` wide.
void PaintPlate(QPainter& p, qreal units) {
  p.setPen(Qt::NoPen);
  p.setBrush(Vertical(0, units, palette::kPlateTop, palette::kPlateBottom));
  p.drawRoundedRect(QRectF(0, 0, units, units), units / 5, units / 5);
}

// The link tree's connectors: a trunk down from `from`, then one branch to
// the right at each of `branches` (heights), ending at `end` (x).
void PaintLinks(QPainter& p, QPointF from, std::initializer_list<qreal> branches, qreal end, qreal width) {
  p.setPen(QPen(palette::kLink, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  const qreal last = std::max(branches);
  p.drawPolyline(QPolygonF({from, QPointF(from.x(), last), QPointF(end, last)}));
  for (const qreal y : branches) {
    if (y != last) p.drawLine(QPointF(from.x(), y), QPointF(end, y));
  }
}

// 32 units: the program (blue title) with two libraries linked below it, one
// not yet inspected (pink) and one inspected (blue), on a plate that makes
// it stand out on any desktop.
void PaintProgramLarge(QPainter& p) {
  PaintPlate(p, 32);
  PaintLinks(p, QPointF(8, 13.5), {17, 26}, 14, 2);
  PaintWindow(p, QRectF(3.5, 3.5, 17, 10), palette::kBlue, 3);
  PaintWindow(p, QRectF(13.5, 14.5, 15, 6), palette::kPink, 2);
  PaintWindow(p, QRectF(13.5, 23.5, 15, 6), palette::kBlue, 2);
  // Content lines in the program's window.
  p.setPen(Line(palette::kTextLine));
  p.drawLine(QPointF(6.5, 9.5), QPointF(17.5, 9.5));
  p.drawLine(QPointF(6.5, 11.5), QPointF(13.5, 11.5));
}

// 16 units: the same idea with one library, which is all 16 pixels can show
// clearly.
void PaintProgramSmall(QPainter& p) {
  PaintPlate(p, 16);
  PaintLinks(p, QPointF(4.5, 7), {11.5}, 8, 1);
  PaintWindow(p, QRectF(1.5, 1.5, 10, 6), palette::kBlue, 2);
  PaintWindow(p, QRectF(7.5, 9.5, 7, 5), palette::kPink, 1.5);
}

// ---- rendering -------------------------------------------------------------

constexpr int kProgramIconId = kTreeIconCount;

// Below this many device pixels the program icon uses its 16-unit design.
constexpr int kLargeProgramDesignFrom = 24;

QImage RenderImage(int id, int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  if (id == kProgramIconId) {
    const bool large = side >= kLargeProgramDesignFrom;
    const qreal units = large ? 32.0 : 16.0;
    p.scale(side / units, side / units);
    if (large) {
      PaintProgramLarge(p);
    } else {
      PaintProgramSmall(p);
    }
  } else {
    p.scale(side / 16.0, side / 16.0);
    kTreePainters[id](p);
  }
  return image;
}

// Views ask for the same few sizes on every repaint, so rendered images are
// kept in the application's pixmap cache.
QPixmap RenderPixmap(int id, int side, QIcon::Mode mode) {
  if (side <= 0) return {};
  const bool disabled = mode == QIcon::Disabled;
  const QString key = QStringLiteral("corvane-icon-%1-%2-%3").arg(id).arg(side).arg(disabled ? 1 : 0);
  QPixmap pixmap;
  if (QPixmapCache::find(key, &pixmap)) return pixmap;
  pixmap = QPixmap::fromImage(RenderImage(id, side));
  if (disabled && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    QStyleOption option;
    option.palette = QApplication::palette();
    pixmap = QApplication::style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
  }
  QPixmapCache::insert(key, pixmap);
  return pixmap;
}

int DeviceSide(int logical, qreal devicePixelRatio) {
  return static_cast<int>(std::lround(logical * std::max<qreal>(devicePixelRatio, 1.0)));
}

// Paints an image at whatever size is asked for instead of scaling a fixed
// bitmap, so it stays sharp at any device pixel ratio.
class PaintedIconEngine final : public QIconEngine {
 public:
  explicit PaintedIconEngine(int id) : id_(id) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    const int side = std::min(rect.width(), rect.height());
    QPixmap pixmap = RenderPixmap(id_, DeviceSide(side, ratio), mode);
    pixmap.setDevicePixelRatio(std::max<qreal>(ratio, 1.0));
    const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
    painter->drawPixmap(target, pixmap);
  }

  // `size` is in device pixels here: QIcon multiplies by the ratio itself.
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    return RenderPixmap(id_, std::min(size.width(), size.height()), mode);
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return {side, side};
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    if (id_ == kProgramIconId) return {QSize(16, 16), QSize(32, 32)};
    return {QSize(kTreeIconSize, kTreeIconSize)};
  }

  QString key() const override { return QStringLiteral("corvane-painted"); }

  QIconEngine* clone() const override { return new PaintedIconEngine(id_); }

 private:
  int id_;
};

QIcon MakeIcon(int id) {
  return QIcon(new PaintedIconEngine(id));  // the icon owns its engine
}

QPixmap MakePixmap(int id, int logical, qreal devicePixelRatio) {
  const qreal ratio = std::max<qreal>(devicePixelRatio, 1.0);
  QPixmap pixmap = RenderPixmap(id, DeviceSide(logical, ratio), QIcon::Normal);
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

}  // namespace

QPixmap TreeIconPixmap(int index, qreal devicePixelRatio) {
  if (index < 0 || index >= kTreeIconCount) return {};
  return MakePixmap(index, kTreeIconSize, devicePixelRatio);
}

QIcon TreeIcon(int index) {
  if (index < 0 || index >= kTreeIconCount) return {};
  return MakeIcon(index);
}

QList<QIcon> TreeIcons() {
  QList<QIcon> icons;
  icons.reserve(kTreeIconCount);
  for (int index = 0; index < kTreeIconCount; ++index) icons.append(TreeIcon(index));
  return icons;
}

QIcon ProgramIcon() { return MakeIcon(kProgramIconId); }

QPixmap ProgramIconPixmap(int size, qreal devicePixelRatio) {
  if (size <= 0) return {};
  return MakePixmap(kProgramIconId, size, devicePixelRatio);
}

}  // namespace corvane
