#pragma once

// A header control: a row of sections, each with a caption, a width, a text
// alignment and an optional image, laid side by side from the left edge. The
// sections are the truth; the Qt header view only shows them and reports the
// user's clicks and resizes.

#include <QHeaderView>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "control_types.h"
#include "image_list.h"
#include "object_handler.h"

namespace Treelistview {

class THeaderSections;

class THeaderSection {
 public:
  THeaderSection(const THeaderSection&) = delete;
  THeaderSection& operator=(const THeaderSection&) = delete;

  const QString& Text() const { return text_; }
  void SetText(const QString& text);
  int Width() const { return width_; }
  // A negative width counts as 0.
  void SetWidth(int width);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  // An index into the header's image list, or -1 for none.
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);

  // The section's place in its collection, which is its column number.
  int Index() const { return index_; }
  // Horizontal extent in header coordinates: from the header's left edge;
  // Right is one past the section's last pixel.
  int Left() const;
  int Right() const { return Left() + width_; }

 private:
  friend class THeaderSections;
  explicit THeaderSection(THeaderSections* owner) : owner_(owner) {}

  THeaderSections* owner_;
  QString text_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
  int imageIndex_ = -1;
  int index_ = 0;
};

class THeaderSections : public QObject {
  Q_OBJECT

 public:
  explicit THeaderSections(QObject* owner = nullptr);
  ~THeaderSections() override;

  int Count() const { return static_cast<int>(sections_.size()); }
  // The section at `index`, or null outside the collection.
  THeaderSection* Item(int index) const;
  // A new last section, 50 pixels wide, left-justified, without a caption.
  THeaderSection* Add();
  THeaderSection* Add(const QString& text, int width, TAlignment alignment = taLeftJustify);
  void Delete(int index);
  void Clear();
  // Makes this collection a copy of `source`'s sections.
  void Assign(const THeaderSections& source);

 signals:
  // Sections were added, removed or replaced.
  void CountChanged();
  // A section's caption, alignment or image changed.
  void SectionChanged(int index);
  void WidthChanged(int index);

 private:
  friend class THeaderSection;
  void Renumber();

  std::vector<std::unique_ptr<THeaderSection>> sections_;
};

class THeaderControl : public QHeaderView {
  Q_OBJECT

 public:
  using TSectionNotifyEvent = ObjectHandler<void(THeaderControl* HeaderControl, THeaderSection* Section)>;

  explicit THeaderControl(QWidget* owner = nullptr);
  ~THeaderControl() override;

  THeaderSections* Sections() const { return sections_; }
  // Copies `sections` into the header's own collection; null is ignored.
  void SetSections(const THeaderSections* sections);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  THeaderStyle Style() const { return style_; }
  void SetStyle(THeaderStyle style);

  // A click on a section.
  TSectionNotifyEvent OnSectionClick;
  // The user dragged a section's edge; raised while the width changes.
  TSectionNotifyEvent OnSectionResize;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

 private:
  class SectionsModel;

  int DefaultHeight() const;
  void ApplyWidth(int index);
  void ApplyAllWidths();
  void SectionsReplaced();
  void UserResized(int logicalIndex, int newSize);
  void SectionClicked(int logicalIndex);

  THeaderSections* sections_;
  SectionsModel* model_;
  QPointer<TCustomImageList> images_;
  THeaderStyle style_ = hsButtons;
  // Set while the header view is told of a width, so that its echo is not
  // taken for the user's resize.
  bool applyingWidths_ = false;
};

}  // namespace Treelistview
