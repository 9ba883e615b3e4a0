#include "row_sizes.h"

#include <QFontMetricsF>
#include <QTreeView>
#include <QtMath>

#include <algorithm>

namespace corvane {

RowSizes::RowSizes(QTreeView& view) : QStyledItemDelegate(&view), view_(view) {}

QSize RowSizes::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QString text = index.data().toString();
  if (option.font != font_) Measure(option);
  // Every row shows an icon of the one size, so the text and the font
  // decide a row's size.
  if (WithinView(text, index)) return {0, height_};
  // Rows scrolled past are kept too, up to a bound.
  if (sizes_.size() >= kMaxTexts) sizes_.clear();
  auto found = sizes_.constFind(text);
  if (found == sizes_.constEnd()) found = sizes_.insert(text, QStyledItemDelegate::sizeHint(option, index));
  return *found;
}

// Learns the font's widest character, and the room a row takes beside its
// text and its height, from a row of one character.
void RowSizes::Measure(const QStyleOptionViewItem& option) const {
  sizes_.clear();
  font_ = option.font;
  const QFontMetricsF metrics(font_);
  widest_ = 0;
  for (char16_t c = 0x20; c < 0x7F; ++c) widest_ = std::max(widest_, metrics.horizontalAdvance(QChar(c)));
  QStyleOptionViewItem sample = option;
  sample.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
  sample.text = QStringLiteral("M");
  const QSize size = view_.style()->sizeFromContents(QStyle::CT_ItemViewItem, &sample, QSize(), &view_);
  besideText_ = size.width() - qCeil(metrics.horizontalAdvance(sample.text));
  height_ = size.height();
}

// Whether the text cannot reach past the view: printable ASCII, each
// character taken as wide as the widest. The column is as wide as the view
// anyway.
bool RowSizes::WithinView(const QString& text, const QModelIndex& index) const {
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() >= 0x7F) return false;
  }
  int level = view_.rootIsDecorated() ? 1 : 0;
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) ++level;
  const int bound = level * view_.indentation() + besideText_ + qCeil(static_cast<qreal>(text.size()) * widest_);
  return bound <= view_.viewport()->width();
}

}  // namespace corvane
