#include "header_control.h"

#include <QAbstractTableModel>
#include <QPainter>
#include <QStyleOptionHeader>
#include <algorithm>

namespace Treelistview {

int THeaderSection::Left() const {
  int left = 0;
  for (int i = 0; i < index_; ++i) left += owner_->Item(i)->Width();
  return left;
}

void THeaderSection::SetText(const QString& text) {
  if (text_ == text) return;
  text_ = text;
  emit owner_->SectionChanged(index_);
}

void THeaderSection::SetWidth(int width) {
  width = std::max(width, 0);
  if (width_ == width) return;
  width_ = width;
  emit owner_->WidthChanged(index_);
}

void THeaderSection::SetAlignment(TAlignment alignment) {
  if (alignment_ == alignment) return;
  alignment_ = alignment;
  emit owner_->SectionChanged(index_);
}

void THeaderSection::SetImageIndex(int index) {
  if (imageIndex_ == index) return;
  imageIndex_ = index;
  emit owner_->SectionChanged(index_);
}

THeaderSections::THeaderSections(QObject* owner) : QObject(owner) {}

THeaderSections::~THeaderSections() = default;

THeaderSection* THeaderSections::Item(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return sections_[static_cast<std::size_t>(index)].get();
}

THeaderSection* THeaderSections::Add() {
  sections_.push_back(std::unique_ptr<THeaderSection>(new THeaderSection(this)));
  Renumber();
  emit CountChanged();
  return sections_.back().get();
}

THeaderSection* THeaderSections::Add(const QString& text, int width, TAlignment alignment) {
  THeaderSection* section = Add();
  section->text_ = text;
  section->width_ = std::max(width, 0);
  section->alignment_ = alignment;
  emit SectionChanged(section->index_);
  emit WidthChanged(section->index_);
  return section;
}

void THeaderSections::Delete(int index) {
  if (Item(index) == nullptr) return;
  sections_.erase(sections_.begin() + index);
  Renumber();
  emit CountChanged();
}

void THeaderSections::Clear() {
  if (sections_.empty()) return;
  sections_.clear();
  emit CountChanged();
}

void THeaderSections::Assign(const THeaderSections& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<THeaderSection>> copies;
  copies.reserve(source.sections_.size());
  for (const auto& original : source.sections_) {
    auto copy = std::unique_ptr<THeaderSection>(new THeaderSection(this));
    copy->text_ = original->text_;
    copy->width_ = original->width_;
    copy->alignment_ = original->alignment_;
    copy->imageIndex_ = original->imageIndex_;
    copies.push_back(std::move(copy));
  }
  sections_ = std::move(copies);
  Renumber();
  emit CountChanged();
}

void THeaderSections::Renumber() {
  for (std::size_t i = 0; i < sections_.size(); ++i) sections_[i]->index_ = static_cast<int>(i);
}

// Tells the header view how many sections there are and what each shows.
class THeaderControl::SectionsModel final : public QAbstractTableModel {
 public:
  SectionsModel(const THeaderControl& header, QObject* parent) : QAbstractTableModel(parent), header_(header) {}

  int rowCount(const QModelIndex&) const override { return 0; }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : header_.Sections()->Count();
  }
  QVariant data(const QModelIndex&, int) const override { return {}; }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    const THeaderSection* item = header_.Sections()->Item(section);
    if (orientation != Qt::Horizontal || item == nullptr) return {};
    switch (role) {
      case Qt::DisplayRole:
        return item->Text();
      case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter | HorizontalAlignment(item->Alignment()));
      case Qt::DecorationRole: {
        const TCustomImageList* images = header_.Images();
        if (images == nullptr || item->ImageIndex() < 0 || item->ImageIndex() >= images->Count()) return {};
        return images->Pixmap(item->ImageIndex());
      }
      default:
        return {};
    }
  }

  void Reset() {
    beginResetModel();
    endResetModel();
  }

  void SectionsChanged(int first, int last) {
    if (last >= first) emit headerDataChanged(Qt::Horizontal, first, last);
  }

 private:
  static Qt::Alignment HorizontalAlignment(TAlignment alignment) {
    switch (alignment) {
      case taRightJustify:
        return Qt::AlignRight;
      case taCenter:
        return Qt::AlignHCenter;
      case taLeftJustify:
        break;
    }
    return Qt::AlignLeft;
  }

  const THeaderControl& header_;
};

THeaderControl::THeaderControl(QWidget* owner)
    : QHeaderView(Qt::Horizontal, owner), sections_(new THeaderSections(this)), model_(new SectionsModel(*this, this)) {
  setModel(model_);
  setSectionsClickable(true);
  setSectionsMovable(false);
  setStretchLastSection(false);
  setHighlightSections(false);
  setSectionResizeMode(QHeaderView::Interactive);
  // A fit may make a column as narrow as one pixel.
  setMinimumSectionSize(0);
  resize(width(), DefaultHeight());

  connect(sections_, &THeaderSections::CountChanged, this, &THeaderControl::SectionsReplaced);
  connect(sections_, &THeaderSections::SectionChanged, this,
          [this](int index) { model_->SectionsChanged(index, index); });
  connect(sections_, &THeaderSections::WidthChanged, this, &THeaderControl::ApplyWidth);
  connect(this, &QHeaderView::sectionResized, this,
          [this](int logicalIndex, int, int newSize) { UserResized(logicalIndex, newSize); });
  connect(this, &QHeaderView::sectionClicked, this, &THeaderControl::SectionClicked);
}

THeaderControl::~THeaderControl() = default;

void THeaderControl::SetSections(const THeaderSections* sections) {
  if (sections != nullptr) sections_->Assign(*sections);
}

void THeaderControl::SetImages(TCustomImageList* images) {
  if (images_ == images) return;
  if (images_ != nullptr) disconnect(images_, nullptr, this, nullptr);
  images_ = images;
  if (images != nullptr) {
    connect(images, &TCustomImageList::Changed, this, [this] { model_->SectionsChanged(0, sections_->Count() - 1); });
  }
  model_->SectionsChanged(0, sections_->Count() - 1);
}

void THeaderControl::SetStyle(THeaderStyle style) {
  if (style_ == style) return;
  style_ = style;
  viewport()->update();
}

QSize THeaderControl::sizeHint() const {
  QSize hint = QHeaderView::sizeHint();
  hint.setHeight(DefaultHeight());
  return hint;
}

int THeaderControl::DefaultHeight() const {
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.text = QStringLiteral("Xg");
  option.fontMetrics = fontMetrics();
  return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this).height();
}

void THeaderControl::ApplyWidth(int index) {
  const THeaderSection* section = sections_->Item(index);
  if (section == nullptr || applyingWidths_) return;
  applyingWidths_ = true;
  resizeSection(index, section->Width());
  applyingWidths_ = false;
}

void THeaderControl::ApplyAllWidths() {
  for (int i = 0; i < sections_->Count(); ++i) ApplyWidth(i);
}

void THeaderControl::SectionsReplaced() {
  // The header view forgets every width when its sections are replaced.
  model_->Reset();
  ApplyAllWidths();
  viewport()->update();
}

void THeaderControl::UserResized(int logicalIndex, int newSize) {
  THeaderSection* section = sections_->Item(logicalIndex);
  if (applyingWidths_ || section == nullptr) return;
  applyingWidths_ = true;
  section->SetWidth(newSize);
  applyingWidths_ = false;
  if (OnSectionResize) OnSectionResize(this, section);
}

void THeaderControl::SectionClicked(int logicalIndex) {
  THeaderSection* section = sections_->Item(logicalIndex);
  if (section != nullptr && OnSectionClick) OnSectionClick(this, section);
}

void THeaderControl::paintEvent(QPaintEvent* event) {
  if (count() > 0) {
    QHeaderView::paintEvent(event);
    return;
  }
  // Without sections the header row still shows, empty.
  QPainter painter(viewport());
  QStyleOption option;
  option.initFrom(this);
  option.rect = viewport()->rect();
  style()->drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, this);
}

void THeaderControl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (style_ == hsButtons) {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    return;
  }
  // Flat sections: the caption and image on the plain background, divided
  // by a line, without the raised look of buttons.
  QStyleOptionHeader option;
  initStyleOptionForIndex(&option, logicalIndex);
  option.rect = rect;
  painter->save();
  painter->fillRect(rect, palette().button());
  painter->setPen(palette().color(QPalette::Mid));
  painter->drawLine(rect.topRight(), rect.bottomRight());
  option.state &= ~(QStyle::State_Raised | QStyle::State_Sunken);
  style()->drawControl(QStyle::CE_HeaderLabel, &option, painter, this);
  painter->restore();
}

}  // namespace Treelistview
