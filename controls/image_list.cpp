#include "image_list.h"

namespace Treelistview {

TCustomImageList::TCustomImageList(QObject* owner, QSize size) : QObject(owner), size_(size) {}

int TCustomImageList::Add(const QIcon& image) {
  images_.append(image);
  emit Changed();
  return Count() - 1;
}

void TCustomImageList::Clear() {
  images_.clear();
  emit Changed();
}

QPixmap TCustomImageList::Pixmap(int index, QIcon::Mode mode) const {
  if (index < 0 || index >= Count()) return {};
  return images_[index].pixmap(size_, mode);
}

}  // namespace Treelistview
