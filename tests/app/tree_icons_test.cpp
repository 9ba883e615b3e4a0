#include "tree_icons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPainter>

#include "Aboutboxform.h"

namespace corvane {
namespace {

QImage Pixels(const QPixmap& pixmap) {
  QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  image.setDevicePixelRatio(1.0);
  return image;
}

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
  }
  return count;
}

// `icon` painted the way a view paints it, into a transparent image of
// `side` x `side` logical pixels at `ratio`.
QImage PaintedByView(const QIcon& icon, int side, qreal ratio) {
  const int device = static_cast<int>(side * ratio);
  QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    icon.paint(&painter, QRect(0, 0, side, side));
  }
  image = image.convertToFormat(QImage::Format_ARGB32);
  image.setDevicePixelRatio(1.0);
  return image;
}

TEST(TreeIconsTest, NineDistinctVisibleImagesOf16Pixels) {
  ASSERT_EQ(kTreeIconCount, 9);
  QList<QImage> images;
  for (int index = 0; index < kTreeIconCount; ++index) {
    SCOPED_TRACE(index);
    const QPixmap pixmap = TreeIconPixmap(index);
    ASSERT_FALSE(pixmap.isNull());
    EXPECT_EQ(pixmap.size(), QSize(16, 16));
    EXPECT_EQ(pixmap.devicePixelRatio(), 1.0);
    const QImage image = Pixels(pixmap);
    // Not a blank, and not a solid square either: each image has a shape.
    const int opaque = OpaquePixels(image);
    EXPECT_GT(opaque, 16 * 16 / 4);
    EXPECT_LT(opaque, 16 * 16);
    for (int other = 0; other < images.size(); ++other) EXPECT_NE(image, images[other]) << "same as " << other;
    images.append(image);
  }
}

TEST(TreeIconsTest, OutOfRangeIndexesGiveNothing) {
  for (int index : {-1, kTreeIconCount, 1000}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(TreeIconPixmap(index).isNull());
    EXPECT_TRUE(TreeIcon(index).isNull());
  }
}

// The index is the node kind, so swapped images would mislabel nodes: the
// windows' title bars tell the libraries apart.
TEST(TreeIconsTest, TitleBarsTellLibrariesApart) {
  const QRgb library = Pixels(TreeIconPixmap(1)).pixel(6, 4);
  const QRgb inspected = Pixels(TreeIconPixmap(2)).pixel(6, 4);
  const QRgb version = Pixels(TreeIconPixmap(8)).pixel(6, 3);
  EXPECT_GT(qRed(library), qBlue(library) + 40) << "not inspected: pink";
  EXPECT_GT(qBlue(inspected), qRed(inspected) + 80) << "inspected: blue";
  EXPECT_LT(qGray(version), 100) << "version entries: dark";
  // A file's root is a yellow folder.
  const QRgb folder = Pixels(TreeIconPixmap(0)).pixel(8, 11);
  EXPECT_GT(qRed(folder), qBlue(folder) + 80);
  EXPECT_GT(qGreen(folder), qBlue(folder) + 60);
}

TEST(TreeIconsTest, IconsMatchThePixmapsInOrder) {
  const QList<QIcon> icons = TreeIcons();
  ASSERT_EQ(icons.size(), kTreeIconCount);
  for (int index = 0; index < kTreeIconCount; ++index) {
    SCOPED_TRACE(index);
    const QImage expected = Pixels(TreeIconPixmap(index));
    EXPECT_EQ(Pixels(icons[index].pixmap(QSize(16, 16), 1.0)), expected);
    EXPECT_EQ(Pixels(TreeIcon(index).pixmap(QSize(16, 16), 1.0)), expected);
    EXPECT_EQ(PaintedByView(icons[index], 16, 1.0), expected);
  }
}

// On a 2x screen the images are drawn at 32 device pixels, not blown up from
// the 16 pixel ones, and a view painting the icon gets that drawing.
TEST(TreeIconsTest, DrawnAtTheDevicePixelRatio) {
  for (int index = 0; index < kTreeIconCount; ++index) {
    SCOPED_TRACE(index);
    const QPixmap sharp = TreeIconPixmap(index, 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(16, 16));
    const QImage drawn = Pixels(sharp);
    EXPECT_NE(drawn, Pixels(TreeIconPixmap(index)).scaled(32, 32, Qt::IgnoreAspectRatio, Qt::FastTransformation));

    const QPixmap fromIcon = TreeIcon(index).pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(fromIcon.deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_EQ(Pixels(fromIcon), drawn);
    EXPECT_EQ(PaintedByView(TreeIcon(index), 16, 2.0), drawn);
  }
}

TEST(TreeIconsTest, DisabledLooksDifferent) {
  const QIcon icon = TreeIcon(0);
  const QImage normal = Pixels(icon.pixmap(QSize(16, 16), 1.0, QIcon::Normal));
  const QImage disabled = Pixels(icon.pixmap(QSize(16, 16), 1.0, QIcon::Disabled));
  ASSERT_EQ(disabled.size(), QSize(16, 16));
  EXPECT_NE(disabled, normal);
  EXPECT_GT(OpaquePixels(disabled), 0);
}

TEST(ProgramIconTest, HoldsA16AndA32Design) {
  const QIcon icon = ProgramIcon();
  ASSERT_FALSE(icon.isNull());
  const QList<QSize> sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));

  const QImage small = Pixels(icon.pixmap(QSize(16, 16), 1.0));
  const QImage large = Pixels(icon.pixmap(QSize(32, 32), 1.0));
  ASSERT_EQ(small.size(), QSize(16, 16));
  ASSERT_EQ(large.size(), QSize(32, 32));
  EXPECT_GT(OpaquePixels(small), 16 * 16 / 2);
  EXPECT_GT(OpaquePixels(large), 32 * 32 / 2);
  EXPECT_EQ(small, Pixels(ProgramIconPixmap(16)));
  EXPECT_EQ(large, Pixels(ProgramIconPixmap(32)));
  // The small one is its own design, not the large one shrunk.
  EXPECT_NE(small, large.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  for (int index = 0; index < kTreeIconCount; ++index) EXPECT_NE(small, Pixels(TreeIconPixmap(index)));
}

TEST(ProgramIconTest, AboutBoxShowsThe32Design) {
  TAboutBox box(nullptr);
  const QPixmap shown = box.Image1->pixmap();
  EXPECT_EQ(Pixels(shown), Pixels(ProgramIconPixmap(32, shown.devicePixelRatio())));
}

}  // namespace
}  // namespace corvane
