#include "tree_icons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

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

// The index is the node kind: the icons the window takes must be these
// images, in this order, each with a shape of its own, and drawn anew (not
// blown up) for a 2x screen.
TEST(TreeIconsTest, NineDistinctShapesOf16PixelsAlsoDrawnFor2xScreens) {
  const QList<QIcon> icons = TreeIcons();
  ASSERT_EQ(icons.size(), 9);
  QList<QImage> images;
  for (int index = 0; index < 9; ++index) {
    SCOPED_TRACE(index);
    const QImage image = Pixels(TreeIconPixmap(index));
    ASSERT_EQ(image.size(), QSize(16, 16));
    EXPECT_GT(OpaquePixels(image), 16 * 16 / 4);
    EXPECT_LT(OpaquePixels(image), 16 * 16);
    EXPECT_FALSE(images.contains(image));
    images.append(image);
    EXPECT_EQ(Pixels(icons[index].pixmap(QSize(16, 16), 1.0)), image);

    const QPixmap sharp = icons[index].pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_EQ(Pixels(sharp), Pixels(TreeIconPixmap(index, 2.0)));
    EXPECT_NE(Pixels(sharp), image.scaled(32, 32));
  }
  EXPECT_TRUE(TreeIconPixmap(9).isNull());
  EXPECT_TRUE(TreeIcon(-1).isNull());
}

TEST(ProgramIconTest, HoldsA16AndA32DesignAndTheAboutBoxShowsThe32One) {
  const QIcon icon = ProgramIcon();
  const QImage small = Pixels(icon.pixmap(QSize(16, 16), 1.0));
  const QImage large = Pixels(icon.pixmap(QSize(32, 32), 1.0));
  ASSERT_EQ(small.size(), QSize(16, 16));
  ASSERT_EQ(large.size(), QSize(32, 32));
  EXPECT_GT(OpaquePixels(small), 16 * 16 / 2);
  EXPECT_GT(OpaquePixels(large), 32 * 32 / 2);
  EXPECT_NE(small, large.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)) << "its own design";

  TAboutBox box(nullptr);
  const QPixmap shown = box.Image1->pixmap();
  EXPECT_EQ(Pixels(shown), Pixels(ProgramIconPixmap(32, shown.devicePixelRatio())));
}

}  // namespace
}  // namespace corvane
