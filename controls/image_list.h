#pragma once

// A numbered list of equally sized images that controls borrow: the header
// shows section images from one, the tree node images and state images.
// Whoever creates the list owns it; a control that shows it only keeps a
// guarded pointer, so destroying the list simply takes the images away.

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QSize>

namespace Treelistview {

class TCustomImageList : public QObject {
  Q_OBJECT

 public:
  explicit TCustomImageList(QObject* owner = nullptr, QSize size = QSize(16, 16));

  // Appends an image and returns its index.
  int Add(const QIcon& image);
  void Clear();
  int Count() const { return static_cast<int>(images_.size()); }
  int Width() const { return size_.width(); }
  int Height() const { return size_.height(); }
  QSize Size() const { return size_; }
  // The image at `index` in the list's size; a null pixmap for an index
  // outside the list.
  QPixmap Pixmap(int index, QIcon::Mode mode = QIcon::Normal) const;

 signals:
  void Changed();

 private:
  QList<QIcon> images_;
  QSize size_;
};

}  // namespace Treelistview
