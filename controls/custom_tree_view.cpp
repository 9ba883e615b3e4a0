#include "custom_tree_view.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <algorithm>

#include "tree_nodes_model.h"

namespace Treelistview {
namespace {

// Space between a node's text and the edges of its label.
constexpr int kTextMargin = 2;
constexpr int kButtonSize = 9;

const QString& DragFormat() {
  static const QString format = QStringLiteral("application/x-varnhold-treelistview-drag");
  return format;
}

// The drag this process is running, so that a drop target can name its
// source and the source can learn where its drag ended.
struct DragInProgress {
  QPointer<TCustomTreeView> source;
  QPointer<TDragObject> object;
  QPointer<TCustomTreeView> target;
  QPoint dropPosition;
};

DragInProgress& CurrentDrag() {
  static DragInProgress drag;
  return drag;
}

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = {}) {
  TShiftState shift;
  if (modifiers & Qt::ShiftModifier) shift |= ssShift;
  if (modifiers & Qt::AltModifier) shift |= ssAlt;
  if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
  if (buttons & Qt::LeftButton) shift |= ssLeft;
  if (buttons & Qt::RightButton) shift |= ssRight;
  if (buttons & Qt::MiddleButton) shift |= ssMiddle;
  return shift;
}

TMouseButton ButtonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::RightButton:
      return mbRight;
    case Qt::MiddleButton:
      return mbMiddle;
    default:
      return mbLeft;
  }
}

bool IsAncestorOf(const TTreeNode* ancestor, const TTreeNode* node) {
  for (const TTreeNode* parent = node != nullptr ? node->Parent() : nullptr; parent != nullptr;
       parent = parent->Parent()) {
    if (parent == ancestor) return true;
  }
  return false;
}

// Every node below `parent` (null: the whole store), parents before their
// children.
template <typename Visit>
void ForEachNode(TTreeNodes& items, TTreeNode* parent, const Visit& visit) {
  const int count = parent != nullptr ? parent->Count() : items.TopCount();
  for (int i = 0; i < count; ++i) {
    TTreeNode* node = parent != nullptr ? parent->Item(i) : items.TopItem(i);
    visit(node);
    ForEachNode(items, node, visit);
  }
}

}  // namespace

// Sizes rows and places the text editor; the view paints rows itself.
class TCustomTreeView::ItemDelegate final : public QStyledItemDelegate {
 public:
  explicit ItemDelegate(TCustomTreeView& view) : QStyledItemDelegate(&view), view_(view) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const TTreeNode* node = view_.NodeAt(index);
    const int textWidth = node != nullptr ? option.fontMetrics.horizontalAdvance(node->Text()) : 0;
    return {view_.ImagesWidth(node) + textWidth + 2 * kTextMargin, view_.ItemHeight()};
  }

  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override {
    QRect area = view_.TextRect(index);
    area.setRight(std::max(area.right(), option.rect.right()));
    editor->setGeometry(area);
  }

 private:
  TCustomTreeView& view_;
};

// Lets OnChanging refuse a new focused node, whichever way the change comes:
// mouse, keyboard or program.
class TCustomTreeView::SelectionModel final : public QItemSelectionModel {
 public:
  SelectionModel(QAbstractItemModel* model, TCustomTreeView& view) : QItemSelectionModel(model, &view), view_(view) {}

  void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override {
    if (index != currentIndex() && !view_.AllowCurrentChange(index)) {
      // The view goes on to select what it meant to make current; that
      // selection is refused too.
      refused_ = index;
      return;
    }
    refused_ = QPersistentModelIndex();
    QItemSelectionModel::setCurrentIndex(index, command);
  }

  using QItemSelectionModel::select;
  void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override {
    if (refused_.isValid() && selection.contains(refused_)) {
      refused_ = QPersistentModelIndex();
      return;
    }
    QItemSelectionModel::select(selection, command);
  }

 private:
  TCustomTreeView& view_;
  QPersistentModelIndex refused_;
};

TCustomTreeView::TCustomTreeView(QWidget* owner)
    : QTreeView(owner), model_(std::make_unique<corvane::TreeNodesModel>(items_)) {
  setModel(model_.get());
  QItemSelectionModel* initialSelection = selectionModel();
  selection_ = new SelectionModel(model_.get(), *this);
  setSelectionModel(selection_);
  delete initialSelection;
  setItemDelegate(new ItemDelegate(*this));

  setHeaderHidden(true);
  header()->setStretchLastSection(true);
  setUniformRowHeights(true);
  // Node texts are drawn whole, however long; a row's owner may paint over
  // the part that runs on.
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setIndentation(19);
  setAnimated(false);
  setExpandsOnDoubleClick(true);
  setAllColumnsShowFocus(true);
  setReadOnly(false);
  setTabStop(true);
  viewport()->setMouseTracking(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  ApplyFrame();

  changeTimer_ = new QTimer(this);
  changeTimer_->setSingleShot(true);
  connect(changeTimer_, &QTimer::timeout, this, &TCustomTreeView::RaiseChange);

  items_.OnDeletion = [this](TTreeNode* node) {
    if (OnDeletion) OnDeletion(this, node);
  };
  items_.OnCompare = [this](TTreeNode* node1, TTreeNode* node2, int sortData, int& compare) {
    if (OnCompare) {
      OnCompare(this, node1, node2, sortData, compare);
      return;
    }
    compare = node1->TextView().CompareCaseInsensitive(node2->TextView());
  };
  model_->textEdited = [this](TTreeNode* node, QString& text) {
    if (OnEdited) OnEdited(this, node, text);
  };
  connect(model_.get(), &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex& parent, int first, int last) {
            for (int row = first; row <= last && OnAddition; ++row) {
              OnAddition(this, NodeAt(model_->index(row, 0, parent)));
            }
          });
  connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) { ViewExpansionChanged(index, true); });
  connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) { ViewExpansionChanged(index, false); });
  connect(model_.get(), &corvane::TreeNodesModel::ExpandedInStore, this, &TCustomTreeView::StoreExpansionChanged);
  connect(model_.get(), &corvane::TreeNodesModel::Rebuilt, this, [this] {
    const QScopedValueRollback<bool> syncing(syncingExpansion_, true);
    model_->ForEachStoredExpansion([this](const QModelIndex& index) { setExpanded(index, true); });
  });
}

TCustomTreeView::~TCustomTreeView() {
  // The nodes go while the view is still whole, so that OnDeletion handlers
  // (which release what they attached to nodes) see a working view.
  items_.Clear();
}

TTreeNode* TCustomTreeView::NodeAt(const QModelIndex& index) const { return model_->NodeAt(index); }

QModelIndex TCustomTreeView::IndexOf(const TTreeNode* node) const { return model_->IndexOf(node); }

// --- Node operations ----------------------------------------------------

bool TCustomTreeView::IsShownOnScreen(const QModelIndex& index) const {
  const QRect cell = visualRect(index);
  return cell.isValid() && cell.bottom() >= 0 && cell.top() < viewport()->height();
}

QRect TCustomTreeView::RowRect(const QModelIndex& index) const {
  const QRect cell = visualRect(index);
  if (!cell.isValid()) return {};
  return {0, cell.top(), viewport()->width(), cell.height()};
}

QRect TCustomTreeView::TextRect(const QModelIndex& index) const {
  const TTreeNode* node = NodeAt(index);
  const QRect cell = visualRect(index);
  if (node == nullptr || !cell.isValid()) return {};
  const int left = cell.left() + ImagesWidth(node);
  return {left, cell.top(), fontMetrics().horizontalAdvance(node->Text()) + 2 * kTextMargin, cell.height()};
}

int TCustomTreeView::ImagesWidth(const TTreeNode* node) const {
  int width = 0;
  if (stateImages_ != nullptr && node != nullptr && node->StateIndex() >= 0) width += stateImages_->Width();
  // Every row keeps room for an image once the view has an image list.
  if (images_ != nullptr) width += images_->Width();
  return width;
}

int TCustomTreeView::ItemHeight() const {
  int height = fontMetrics().height();
  if (images_ != nullptr) height = std::max(height, images_->Height());
  if (stateImages_ != nullptr) height = std::max(height, stateImages_->Height());
  return height + 2;
}

QRect TCustomTreeView::DisplayRect(const TTreeNode* node, bool textOnly) const {
  const QModelIndex index = IndexOf(node);
  if (!index.isValid() || !IsShownOnScreen(index)) return {};
  return textOnly ? TextRect(index) : RowRect(index);
}

TTreeNode* TCustomTreeView::GetNextVisible(const TTreeNode* node) const {
  const QModelIndex index = IndexOf(node);
  if (!index.isValid()) return nullptr;
  return NodeAt(indexBelow(index));
}

TTreeNode* TCustomTreeView::GetTopItem() const { return NodeAt(indexAt(QPoint(0, 0))); }

TTreeNode* TCustomTreeView::GetNodeAt(int x, int y) const { return NodeAt(indexAt(QPoint(x, y))); }

TTreeNode* TCustomTreeView::Selected() const { return NodeAt(currentIndex()); }

void TCustomTreeView::SetSelected(TTreeNode* node) { setCurrentIndex(IndexOf(node)); }

void TCustomTreeView::AlphaSort() {
  // Sorted level by level, outside a batch, so that the view keeps its
  // selection and expanded rows.
  items_.SortChildren(nullptr);
  ForEachNode(items_, nullptr, [this](TTreeNode* node) {
    if (node->GetChildren()) items_.SortChildren(node);
  });
}

void TCustomTreeView::FullExpand() {
  ForEachNode(items_, nullptr, [](TTreeNode* node) {
    if (node->GetChildren()) node->SetExpanded(true);
  });
}

void TCustomTreeView::FullCollapse() {
  ForEachNode(items_, nullptr, [](TTreeNode* node) { node->SetExpanded(false); });
}

int TCustomTreeView::TextWidth(const QString& text) const {
  if (canvas_ != nullptr) return QFontMetrics(canvas_->font()).horizontalAdvance(text);
  return fontMetrics().horizontalAdvance(text);
}

// --- Properties ---------------------------------------------------------

TBiDiMode TCustomTreeView::BiDiMode() const {
  if (!ParentBiDiMode()) return biDiMode_;
  return layoutDirection() == Qt::RightToLeft ? bdRightToLeft : bdLeftToRight;
}

void TCustomTreeView::setBiDiMode(TBiDiMode mode) {
  biDiMode_ = mode;
  setLayoutDirection(mode == bdLeftToRight ? Qt::LeftToRight : Qt::RightToLeft);
}

void TCustomTreeView::setParentBiDiMode(bool parentBiDiMode) {
  if (parentBiDiMode) {
    unsetLayoutDirection();
    return;
  }
  biDiMode_ = BiDiMode();
  setLayoutDirection(layoutDirection());
}

void TCustomTreeView::setBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  ApplyFrame();
}

void TCustomTreeView::setBorderWidth(int width) {
  borderWidth_ = std::max(width, 0);
  ApplyFrame();
}

void TCustomTreeView::setCtl3D(bool ctl3D) {
  ctl3D_ = ctl3D;
  ApplyFrame();
}

void TCustomTreeView::ApplyFrame() {
  if (borderStyle_ == bsNone) {
    setFrameStyle(QFrame::NoFrame);
  } else if (ctl3D_) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  } else {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
  }
  setContentsMargins(borderWidth_, borderWidth_, borderWidth_, borderWidth_);
}

void TCustomTreeView::setChangeDelay(int milliseconds) {
  changeDelay_ = std::max(milliseconds, 0);
  changeTimer_->setInterval(changeDelay_);
}

QColor TCustomTreeView::Color() const { return palette().color(QPalette::Base); }

void TCustomTreeView::setColor(const QColor& color) {
  color_ = color;
  parentColor_ = false;
  ApplyColor();
}

void TCustomTreeView::setParentColor(bool parentColor) {
  if (parentColor_ == parentColor) return;
  parentColor_ = parentColor;
  // Leaving the parent's colour keeps it as the view's own.
  if (!parentColor) color_ = Color();
  ApplyColor();
}

void TCustomTreeView::ApplyColor() {
  const QColor wanted =
      parentColor_ && parentWidget() != nullptr ? parentWidget()->palette().color(QPalette::Window) : color_;
  if (!wanted.isValid() || Color() == wanted) return;
  QPalette colors = palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colors.setColor(group, QPalette::Base, wanted);
  }
  setPalette(colors);
}

void TCustomTreeView::setConstraints(const TSizeConstraints& constraints) {
  constraints_ = constraints;
  setMinimumSize(std::max(constraints.MinWidth, 0), std::max(constraints.MinHeight, 0));
  setMaximumSize(constraints.MaxWidth > 0 ? constraints.MaxWidth : QWIDGETSIZE_MAX,
                 constraints.MaxHeight > 0 ? constraints.MaxHeight : QWIDGETSIZE_MAX);
}

void TCustomTreeView::setHideSelection(bool hide) {
  hideSelection_ = hide;
  viewport()->update();
}

void TCustomTreeView::setHotTrack(bool hotTrack) {
  hotTrack_ = hotTrack;
  if (!hotTrack) SetHotNode({});
}

void TCustomTreeView::setImages(TCustomImageList* images) {
  if (images_ == images) return;
  if (images_ != nullptr) disconnect(images_, nullptr, this, nullptr);
  images_ = images;
  if (images != nullptr) connect(images, &TCustomImageList::Changed, this, [this] { scheduleDelayedItemsLayout(); });
  scheduleDelayedItemsLayout();
}

void TCustomTreeView::setStateImages(TCustomImageList* images) {
  if (stateImages_ == images) return;
  if (stateImages_ != nullptr) disconnect(stateImages_, nullptr, this, nullptr);
  stateImages_ = images;
  if (images != nullptr) connect(images, &TCustomImageList::Changed, this, [this] { scheduleDelayedItemsLayout(); });
  scheduleDelayedItemsLayout();
}

void TCustomTreeView::setMultiSelect(bool multiSelect) {
  setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TCustomTreeView::setParentFont(bool parentFont) {
  if (parentFont) {
    // A font that sets nothing makes the widget inherit its parent's again.
    setFont(QFont());
    return;
  }
  QFont own = font();
  own.setResolveMask(QFont::AllPropertiesResolved);
  setFont(own);
}

void TCustomTreeView::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  model_->SetEditable(!readOnly);
  setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                           : QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
}

void TCustomTreeView::setRowSelect(bool rowSelect) {
  rowSelect_ = rowSelect;
  viewport()->update();
}

void TCustomTreeView::setShowButtons(bool show) {
  showButtons_ = show;
  viewport()->update();
}

void TCustomTreeView::setShowLines(bool show) {
  showLines_ = show;
  viewport()->update();
}

void TCustomTreeView::setSortType(TSortType sortType) {
  items_.SortType = sortType;
  if (sortType != stNone) AlphaSort();
}

void TCustomTreeView::setTabStop(bool tabStop) { setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus); }

bool TCustomTreeView::Visible() const { return parentWidget() != nullptr ? isVisibleTo(parentWidget()) : !isHidden(); }

// --- Painting -----------------------------------------------------------

TCustomDrawState TCustomTreeView::ItemState(const QModelIndex& index) const {
  TCustomDrawState state;
  if (selectionModel()->isSelected(index)) state |= cdsSelected;
  if (index == currentIndex() && hasFocus()) state |= cdsFocused;
  if (hotTrack_ && index == hot_) state |= cdsHot;
  if (!isEnabled()) state |= cdsDisabled;
  return state;
}

bool TCustomTreeView::ShowsSelectionOf(TCustomDrawState state) const {
  return state.testFlag(cdsSelected) && (hasFocus() || !hideSelection_);
}

void TCustomTreeView::PrepareCanvas(QPainter* painter, TCustomDrawState state) const {
  const QPalette::ColorGroup group =
      !isEnabled() ? QPalette::Disabled : (hasFocus() ? QPalette::Active : QPalette::Inactive);
  const bool highlighted = ShowsSelectionOf(state);
  painter->setBrush(highlighted ? palette().color(group, QPalette::Highlight) : Color());
  painter->setPen(palette().color(group, highlighted ? QPalette::HighlightedText : QPalette::Text));
  painter->setFont(font());
}

void TCustomTreeView::paintEvent(QPaintEvent* event) {
  const QRect area = viewport()->rect();
  bool defaultDraw = true;
  if (OnCustomDraw || OnAdvancedCustomDraw) {
    QPainter painter(viewport());
    PrepareCanvas(&painter, {});
    canvas_ = &painter;
    if (OnCustomDraw) OnCustomDraw(this, area, defaultDraw);
    if (defaultDraw && OnAdvancedCustomDraw) OnAdvancedCustomDraw(this, area, cdPrePaint, defaultDraw);
    canvas_ = nullptr;
  }
  if (!defaultDraw) return;
  QTreeView::paintEvent(event);
  if (OnAdvancedCustomDraw) {
    QPainter painter(viewport());
    PrepareCanvas(&painter, {});
    canvas_ = &painter;
    bool postDefaultDraw = true;
    OnAdvancedCustomDraw(this, area, cdPostPaint, postDefaultDraw);
    canvas_ = nullptr;
  }
}

void TCustomTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem&, const QModelIndex& index) const {
  TTreeNode* node = NodeAt(index);
  if (node == nullptr) return;
  auto* self = const_cast<TCustomTreeView*>(this);
  const TCustomDrawState state = ItemState(index);
  const QScopedValueRollback<QPainter*> canvas(canvas_, painter);

  painter->save();
  PrepareCanvas(painter, state);
  bool defaultDraw = true;
  bool paintImages = true;
  if (OnCustomDrawItem) OnCustomDrawItem(self, node, state, defaultDraw);
  if (defaultDraw && OnAdvancedCustomDrawItem) {
    OnAdvancedCustomDrawItem(self, node, state, cdPrePaint, paintImages, defaultDraw);
  }
  if (defaultDraw) PaintItem(painter, index, node, state, paintImages);
  painter->restore();
  if (!defaultDraw || !OnAdvancedCustomDrawItem) return;

  // The post-paint notification finds the canvas as the view prepared it
  // for the item, whatever the item's own painting left behind.
  painter->save();
  PrepareCanvas(painter, state);
  bool postDefaultDraw = true;
  OnAdvancedCustomDrawItem(self, node, state, cdPostPaint, paintImages, postDefaultDraw);
  painter->restore();
}

int TCustomTreeView::RaiseImageIndex(TTreeNode* node, bool selected) const {
  const TTVExpandedEvent& event = selected ? OnGetSelectedIndex : OnGetImageIndex;
  if (event) {
    model_->SetMuted(true);
    event(const_cast<TCustomTreeView*>(this), node);
    model_->SetMuted(false);
  }
  return selected ? node->SelectedIndex() : node->ImageIndex();
}

void TCustomTreeView::PaintItem(QPainter* painter, const QModelIndex& index, TTreeNode* node, TCustomDrawState state,
                                bool paintImages) const {
  const QRect row = RowRect(index);
  const QRect cell = visualRect(index);
  const bool highlighted = ShowsSelectionOf(state);
  const QBrush background = painter->brush();
  if (highlighted && FullRowSelect()) painter->fillRect(row, background);
  drawBranches(painter, QRect(row.left(), row.top(), cell.left() - row.left(), row.height()), index);

  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  int x = cell.left();
  if (stateImages_ != nullptr && node->StateIndex() >= 0) {
    const QPixmap image = stateImages_->Pixmap(node->StateIndex(), mode);
    if (!image.isNull()) painter->drawPixmap(x, row.top() + (row.height() - stateImages_->Height()) / 2, image);
    x += stateImages_->Width();
  }
  if (images_ != nullptr) {
    const int imageIndex = RaiseImageIndex(node, state.testFlag(cdsSelected));
    const QPixmap image = paintImages ? images_->Pixmap(imageIndex, mode) : QPixmap();
    if (!image.isNull()) painter->drawPixmap(x, row.top() + (row.height() - images_->Height()) / 2, image);
    x += images_->Width();
  }

  QFont textFont = painter->font();
  if (state.testFlag(cdsHot)) {
    textFont.setUnderline(true);
    painter->setFont(textFont);
  }
  const QFontMetrics metrics(textFont);
  const QRect label(x, row.top(), metrics.horizontalAdvance(node->Text()) + 2 * kTextMargin, row.height());
  // The label's highlight leaves the row's outermost lines alone, so that a
  // row owner painting over the label's overlong end leaves no trace of it.
  const QRect labelArea = label.adjusted(0, 1, 0, -1);
  if (highlighted && !FullRowSelect()) painter->fillRect(labelArea, background);
  painter->drawText(
      QPoint(label.left() + kTextMargin, row.top() + (row.height() - metrics.height()) / 2 + metrics.ascent()),
      node->Text());

  if (state.testFlag(cdsFocused)) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = FullRowSelect() ? row : labelArea;
    focus.backgroundColor = background.color();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
  }
}

void TCustomTreeView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
  const TTreeNode* node = NodeAt(index);
  const int indent = indentation();
  // Without root lines the top level has no slot of its own.
  const int skipped = rootIsDecorated() ? 0 : 1;
  const int slot = node != nullptr ? node->Level() - skipped : -1;
  if (slot < 0 || indent <= 0) return;
  const int top = rect.top();
  const int bottom = rect.top() + rect.height() - 1;
  const int middle = rect.top() + rect.height() / 2;
  const auto centreOf = [&](int level) { return rect.left() + level * indent + indent / 2; };

  painter->save();
  if (showLines_) {
    QPen dotted(palette().color(QPalette::Dark));
    dotted.setStyle(Qt::DotLine);
    dotted.setCosmetic(true);
    painter->setPen(dotted);
    const int x = centreOf(slot);
    const bool firstOfAll = node->Parent() == nullptr && node->Index() == 0;
    painter->drawLine(x, firstOfAll ? middle : top, x, node->getNextSibling() != nullptr ? bottom : middle);
    painter->drawLine(x, middle, rect.left() + (slot + 1) * indent - 1, middle);
    int level = slot - 1;
    for (const TTreeNode* ancestor = node->Parent(); ancestor != nullptr && level >= 0;
         ancestor = ancestor->Parent(), --level) {
      if (ancestor->getNextSibling() != nullptr) painter->drawLine(centreOf(level), top, centreOf(level), bottom);
    }
  }
  if (showButtons_ && node->GetChildren()) {
    const QRect box(centreOf(slot) - kButtonSize / 2, middle - kButtonSize / 2, kButtonSize, kButtonSize);
    painter->setPen(palette().color(QPalette::Dark));
    painter->setBrush(palette().color(QPalette::Base));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    painter->setPen(palette().color(QPalette::Text));
    const QPoint centre = box.center();
    painter->drawLine(centre.x() - 2, centre.y(), centre.x() + 2, centre.y());
    if (!isExpanded(index)) painter->drawLine(centre.x(), centre.y() - 2, centre.x(), centre.y() + 2);
  }
  painter->restore();
}

// --- Expansion ----------------------------------------------------------

bool TCustomTreeView::AllowExpansion(TTreeNode* node, bool expanded) {
  bool allow = true;
  const TTVChangingEvent& event = expanded ? OnExpanding : OnCollapsing;
  if (event) event(this, node, allow);
  return allow;
}

void TCustomTreeView::RaiseExpansionDone(TTreeNode* node, bool expanded) {
  const TTVExpandedEvent& event = expanded ? OnExpanded : OnCollapsed;
  if (event) event(this, node);
}

void TCustomTreeView::ViewExpansionChanged(const QModelIndex& index, bool expanded) {
  // Qt reports an expansion after the fact: a refused one is undone before
  // anything is painted.
  FollowExpansion(
      index, expanded, [&](const QPersistentModelIndex& changed, TTreeNode*) { setExpanded(changed, !expanded); },
      [&](const QPersistentModelIndex&, TTreeNode* node) { node->SetExpanded(expanded); });
}

void TCustomTreeView::StoreExpansionChanged(const QModelIndex& index, bool expanded) {
  FollowExpansion(
      index, expanded, [&](const QPersistentModelIndex&, TTreeNode* node) { node->SetExpanded(!expanded); },
      [&](const QPersistentModelIndex& changed, TTreeNode*) { setExpanded(changed, expanded); });
}

template <typename Undo, typename Follow>
void TCustomTreeView::FollowExpansion(const QModelIndex& index, bool expanded, Undo undo, Follow follow) {
  TTreeNode* node = NodeAt(index);
  if (syncingExpansion_ || node == nullptr) return;
  // The handlers may change the tree; a persistent index follows the row.
  const QPersistentModelIndex changed(index);
  const bool allowed = AllowExpansion(node, expanded);
  {
    const QScopedValueRollback<bool> syncing(syncingExpansion_, true);
    if (!allowed) {
      undo(changed, node);
      return;
    }
    follow(changed, node);
  }
  RaiseExpansionDone(node, expanded);
}

// --- Selection ----------------------------------------------------------

bool TCustomTreeView::AllowCurrentChange(const QModelIndex& index) {
  TTreeNode* node = NodeAt(index);
  if (node == nullptr || !OnChanging) return true;
  bool allow = true;
  OnChanging(this, node, allow);
  return allow;
}

void TCustomTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (autoExpand_) AutoExpandAfterChange(current, previous);
  pendingChange_ = current;
  if (changeDelay_ > 0) {
    changeTimer_->start();
    return;
  }
  RaiseChange();
}

void TCustomTreeView::RaiseChange() {
  if (OnChange) OnChange(this, NodeAt(pendingChange_));
}

void TCustomTreeView::AutoExpandAfterChange(const QModelIndex& current, const QModelIndex& previous) {
  const TTreeNode* now = NodeAt(current);
  const TTreeNode* before = NodeAt(previous);
  if (before != nullptr && before != now && !IsAncestorOf(before, now) && isExpanded(previous)) {
    setExpanded(previous, false);
  }
  if (now != nullptr && now->GetChildren()) setExpanded(current, true);
}

// --- Editing ------------------------------------------------------------

bool TCustomTreeView::EditText(TTreeNode* node) {
  return edit(IndexOf(node), QAbstractItemView::AllEditTriggers, nullptr);
}

bool TCustomTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // A click on the selected node only arms a timer; the edit that follows
  // comes back here, and is asked about then.
  const bool starts = trigger != QAbstractItemView::SelectedClicked &&
                      (trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger));
  if (starts && !readOnly_ && state() != QAbstractItemView::EditingState && OnEditing) {
    TTreeNode* node = NodeAt(index);
    bool allow = true;
    if (node != nullptr) OnEditing(this, node, allow);
    if (!allow) return false;
  }
  return QTreeView::edit(index, trigger, event);
}

// --- Mouse, keys, focus, menu -------------------------------------------

bool TCustomTreeView::OnButton(const QPoint& position) const {
  const QModelIndex index = indexAt(position);
  const TTreeNode* node = NodeAt(index);
  if (node == nullptr || !node->GetChildren()) return false;
  if (node->Level() - (rootIsDecorated() ? 0 : 1) < 0) return false;
  const QRect cell = visualRect(index);
  return position.x() >= cell.left() - indentation() && position.x() < cell.left();
}

void TCustomTreeView::mousePressEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (OnMouseDown) {
    OnMouseDown(this, ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()), position.x(),
                position.y());
  }
  leftPressed_ = event->button() == Qt::LeftButton;
  pressPosition_ = position;
  if (event->button() == Qt::RightButton && !rightClickSelect_) {
    event->accept();
    return;
  }
  // Without buttons the space where they would be does not expand.
  if (!showButtons_ && OnButton(position)) {
    QAbstractItemView::mousePressEvent(event);
    return;
  }
  QTreeView::mousePressEvent(event);
}

void TCustomTreeView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  const bool click = event->button() == Qt::LeftButton && leftPressed_ && viewport()->rect().contains(position);
  leftPressed_ = false;
  if (event->button() == Qt::RightButton && !rightClickSelect_) {
    event->accept();
  } else if (!showButtons_ && OnButton(position)) {
    QAbstractItemView::mouseReleaseEvent(event);
  } else {
    QTreeView::mouseReleaseEvent(event);
  }
  if (click && OnClick) OnClick(this);
  if (OnMouseUp) {
    OnMouseUp(this, ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()), position.x(),
              position.y());
  }
}

void TCustomTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (OnMouseDown) {
    OnMouseDown(this, ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()) | ssDouble, position.x(),
                position.y());
  }
  QTreeView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
}

void TCustomTreeView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint position = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(this, ShiftOf(event->modifiers(), event->buttons()), position.x(), position.y());
  if (hotTrack_) SetHotNode(indexAt(position));
  if (dragMode_ == dmAutomatic && leftPressed_ && (event->buttons() & Qt::LeftButton) &&
      (position - pressPosition_).manhattanLength() >= QApplication::startDragDistance()) {
    leftPressed_ = false;
    BeginDrag();
    return;
  }
  QTreeView::mouseMoveEvent(event);
}

void TCustomTreeView::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  if (OnKeyDown) {
    OnKeyDown(this, key, ShiftOf(event->modifiers()));
    if (key == 0) {
      event->accept();
      return;
    }
  }
  QString text = event->text();
  if (OnKeyPress && !text.isEmpty()) {
    QChar character = text.front();
    OnKeyPress(this, character);
    if (character.isNull()) {
      event->accept();
      return;
    }
    text[0] = character;
  }
  if (key == event->key() && text == event->text()) {
    QTreeView::keyPressEvent(event);
    return;
  }
  // A handler changed the key: the view acts on the new one.
  QKeyEvent changed(event->type(), key, event->modifiers(), text, event->isAutoRepeat(),
                    static_cast<quint16>(event->count()));
  QTreeView::keyPressEvent(&changed);
  event->setAccepted(changed.isAccepted());
}

void TCustomTreeView::keyReleaseEvent(QKeyEvent* event) {
  int key = event->key();
  if (OnKeyUp) {
    OnKeyUp(this, key, ShiftOf(event->modifiers()));
    if (key == 0) {
      event->accept();
      return;
    }
  }
  QTreeView::keyReleaseEvent(event);
}

void TCustomTreeView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  viewport()->update();
  if (OnEnter) OnEnter(this);
}

void TCustomTreeView::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  viewport()->update();
  if (OnExit) OnExit(this);
}

void TCustomTreeView::contextMenuEvent(QContextMenuEvent* event) {
  // A menu asked for from the keyboard has no mouse position.
  const QPoint position = event->reason() == QContextMenuEvent::Mouse ? event->pos() : QPoint(-1, -1);
  bool handled = false;
  if (OnContextPopup) OnContextPopup(this, position, handled);
  if (!handled && popupMenu_ != nullptr) {
    popupMenu_->popup(event->globalPos());
    handled = true;
  }
  event->setAccepted(handled);
}

void TCustomTreeView::SetHotNode(const QModelIndex& index) {
  if (hot_ == index) return;
  hot_ = index;
  viewport()->update();
}

bool TCustomTreeView::ShowToolTip(const QPoint& position, const QPoint& globalPosition) {
  // A tip shows a node's whole text where the row cuts it off; elsewhere the
  // view's own tool tip, if any, shows as usual.
  const QModelIndex index = indexAt(position);
  const TTreeNode* node = NodeAt(index);
  const QRect label = TextRect(index);
  if (!toolTips_ || node == nullptr || label.x() + label.width() <= viewport()->width()) return false;
  QToolTip::showText(globalPosition, node->Text(), viewport(), label);
  return true;
}

bool TCustomTreeView::viewportEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip: {
      const auto* help = static_cast<QHelpEvent*>(event);
      if (ShowToolTip(help->pos(), help->globalPos())) return true;
      break;
    }
    case QEvent::Leave:
      SetHotNode({});
      break;
    default:
      break;
  }
  return QTreeView::viewportEvent(event);
}

void TCustomTreeView::changeEvent(QEvent* event) {
  QTreeView::changeEvent(event);
  if (parentColor_ && (event->type() == QEvent::ParentChange || event->type() == QEvent::PaletteChange)) ApplyColor();
}

// --- Dragging -----------------------------------------------------------

void TCustomTreeView::BeginDrag() {
  TDragObject* dragObject = nullptr;
  if (OnStartDrag) OnStartDrag(this, dragObject);
  DragInProgress& drag = CurrentDrag();
  drag = {this, dragObject, nullptr, {}};

  auto* payload = new QMimeData;
  payload->setData(DragFormat(), QByteArray());
  // Qt disposes of the drag object once the drag is over.
  auto* platformDrag = new QDrag(this);
  platformDrag->setMimeData(payload);
  const Qt::DropAction action = platformDrag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);

  TObject* target = nullptr;
  QPoint at;
  if (action != Qt::IgnoreAction) {
    target = drag.target != nullptr ? static_cast<QObject*>(drag.target) : platformDrag->target();
    at = drag.dropPosition;
  }
  drag = {};
  if (OnEndDrag) OnEndDrag(this, target, at.x(), at.y());
}

TObject* TCustomTreeView::DragSourceOf(const QDropEvent* event) const {
  const DragInProgress& drag = CurrentDrag();
  if (drag.source != nullptr && event->source() == drag.source) {
    return drag.object != nullptr ? static_cast<QObject*>(drag.object) : drag.source.data();
  }
  return event->source();
}

bool TCustomTreeView::RaiseDragOver(const QDropEvent* event, TDragState state) {
  const QPoint position = event->position().toPoint();
  dragOverSource_ = DragSourceOf(event);
  dragOverPosition_ = position;
  // Without a handler the view takes nothing.
  if (!OnDragOver) return false;
  bool accept = true;
  OnDragOver(this, dragOverSource_, position.x(), position.y(), state, accept);
  return accept;
}

void TCustomTreeView::dragEnterEvent(QDragEnterEvent* event) {
  RaiseDragOver(event, dsDragEnter);
  // Taken in any case, so that the moves that follow keep asking.
  event->accept();
}

void TCustomTreeView::dragMoveEvent(QDragMoveEvent* event) {
  if (RaiseDragOver(event, dsDragMove)) {
    event->acceptProposedAction();
    return;
  }
  event->ignore();
}

void TCustomTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
  if (OnDragOver) {
    bool accept = false;
    OnDragOver(this, dragOverSource_, dragOverPosition_.x(), dragOverPosition_.y(), dsDragLeave, accept);
  }
  event->accept();
}

void TCustomTreeView::dropEvent(QDropEvent* event) {
  const QPoint position = event->position().toPoint();
  DragInProgress& drag = CurrentDrag();
  if (drag.source != nullptr) {
    drag.target = this;
    drag.dropPosition = position;
  }
  if (OnDragDrop) OnDragDrop(this, DragSourceOf(event), position.x(), position.y());
  event->acceptProposedAction();
}

}  // namespace Treelistview
