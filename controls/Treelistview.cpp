#include "Treelistview.h"

#include <QApplication>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

namespace Treelistview {
namespace {

// The minimum width a fit gives a column when the caller names none.
constexpr int kDefaultMinimumWidth = 29;

// One past the last pixel, the way column extents are measured.
int RightOf(const QRect& rect) { return rect.x() + rect.width(); }
int BottomOf(const QRect& rect) { return rect.y() + rect.height(); }

// How far the tree's client area (its viewport) lies right of the tree's
// outer left edge, which is also the header's left edge: tree client x =
// header x - offset. Measured on the left side alone, so that a vertical
// scroll bar on the right cannot shift the columns away from their headers.
int FrameOffset(const TCustomTreeView& tree) { return tree.viewport()->geometry().left(); }

bool IsNodeShown(const TCustomTreeView& tree, const TTreeNode* node) {
  if (node == nullptr) return false;
  const QRect row = tree.DisplayRect(node, false);
  return row.width() != 0 && row.height() != 0;
}

// The rows a fit measures: from the top row of the window down to the first
// node that is not shown as a row.
TTreeNode* NextShownNode(const TCustomTreeView& tree, const TTreeNode* node) {
  if (node == nullptr) return tree.GetTopItem();
  TTreeNode* next = tree.GetNextVisible(node);
  return IsNodeShown(tree, next) ? next : nullptr;
}

// Draws `text` with its top-left corner at (x, y), clipped to `cell`.
void DrawClippedText(QPainter& canvas, const QRect& cell, int x, int y, const QString& text) {
  if (cell.width() <= 0 || cell.height() <= 0) return;
  canvas.save();
  canvas.setClipRect(cell, Qt::IntersectClip);
  canvas.drawText(QPoint(x, y + QFontMetrics(canvas.font()).ascent()), text);
  canvas.restore();
}

}  // namespace

TTreeListViewTree::TTreeListViewTree(QWidget* owner) : TCustomTreeView(owner) {}

TTreeListViewTree::~TTreeListViewTree() = default;

TTreeListView::TTreeListView(QWidget* owner) : QFrame(owner) {
  setBevelOuter(bvNone);

  header_ = new THeaderControl(this);
  header_->SetStyle(hsButtons);
  header_->OnSectionClick = {this, &TTreeListView::AdjustColumn};
  header_->OnSectionResize = {this, &TTreeListView::ResizeColumn};

  tree_ = new TTreeListViewTree(this);
  tree_->setHideSelection(false);
  tree_->setReadOnly(true);
  tree_->setRowSelect(true);
  tree_->OnAdvancedCustomDrawItem = {this, &TTreeListView::DrawMyColumns};

  // Tabbing into the control reaches the tree.
  setFocusProxy(tree_);
  setTabStop(true);
  DockChildren();
  ResizeControls(this);
}

TTreeListView::~TTreeListView() {
  // The tree goes first: while it goes it may still paint or report nodes,
  // and its column painter reads the header.
  delete tree_;
  tree_ = nullptr;
  delete header_;
  header_ = nullptr;
}

QSize TTreeListView::sizeHint() const { return {250, 150}; }

THeaderSections* TTreeListView::ColumnsGet() const { return header_->Sections(); }

void TTreeListView::ColumnsSet(THeaderSections* columns) { header_->SetSections(columns); }

TCustomImageList* TTreeListView::ColumnsIListGet() const { return header_->Images(); }

void TTreeListView::ColumnsIListSet(TCustomImageList* images) { header_->SetImages(images); }

THeaderStyle TTreeListView::ColumnsStyleGet() const { return header_->Style(); }

void TTreeListView::ColumnsStyleSet(THeaderStyle style) { header_->SetStyle(style); }

bool TTreeListView::ColumnsVisibleGet() const { return header_->isVisibleTo(this); }

void TTreeListView::ColumnsVisibleSet(bool visible) {
  if (visible == ColumnsVisibleGet()) return;
  header_->setVisible(visible);
  ResizeControls(this);
}

void TTreeListView::ColumnsRefresh() { tree_->viewport()->update(); }

void TTreeListView::setBevelOuter(TBevelCut cut) {
  bevelOuter_ = cut;
  switch (cut) {
    case bvNone:
    case bvSpace:
      setFrameStyle(QFrame::NoFrame);
      break;
    case bvLowered:
      setFrameStyle(QFrame::Panel | QFrame::Sunken);
      break;
    case bvRaised:
      setFrameStyle(QFrame::Panel | QFrame::Raised);
      break;
  }
  setLineWidth(1);
  // A space bevel is a blank border one pixel wide.
  const int space = cut == bvSpace ? 1 : 0;
  setContentsMargins(space, space, space, space);
  DockChildren();
}

void TTreeListView::setTabStop(bool tabStop) { setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus); }

void TTreeListView::DockChildren() {
  // The header spans the top edge, the tree the bottom edge, each at its own
  // height; ResizeControls decides the tree's height.
  if (header_ == nullptr || tree_ == nullptr) return;
  const QRect area = contentsRect();
  header_->setGeometry(area.left(), area.top(), area.width(), header_->height());
  tree_->setGeometry(area.left(), BottomOf(area) - tree_->height(), area.width(), tree_->height());
}

void TTreeListView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  DockChildren();
}

void TTreeListView::ResizeControls(QObject*) {
  const int headerHeight = ColumnsVisibleGet() ? header_->height() : 0;
  const int space = height() - headerHeight;
  if (space <= 0) {
    // Too short for a tree: it hides and keeps its height until a later
    // resize leaves room.
    tree_->setVisible(false);
    return;
  }
  tree_->setVisible(true);
  tree_->resize(tree_->width(), space);
  DockChildren();
}

bool TTreeListView::WndProc(QEvent& Message) {
  const bool handled = QFrame::event(&Message);
  if (Message.type() == QEvent::Resize) ResizeControls(this);
  return handled;
}

void TTreeListView::DrawMyColumns(TCustomTreeView*, TTreeNode* Node, TCustomDrawState, TCustomDrawStage Stage, bool&,
                                  bool&) {
  if (Stage != cdPostPaint) return;
  const THeaderSections* sections = header_->Sections();
  if (sections->Count() < 2) return;
  // Until here the canvas is untouched: a refused row keeps what the tree
  // painted, in every column.
  if (OnColumnDataAdd && !OnColumnDataAdd(this, Node)) return;
  QPainter* canvas = tree_->Canvas();
  if (canvas == nullptr) return;

  // Only a full-row selection (row select without lines) carries the
  // item's own background into the columns.
  if (tree_->ShowLines() || !tree_->RowSelect()) canvas->setBrush(tree_->Color());
  canvas->setPen(QApplication::palette(tree_).color(QPalette::Active, QPalette::Text));

  const QRect row = tree_->DisplayRect(Node, false);
  const int top = row.top() + 1;
  const int bottom = BottomOf(row) - 1;
  const int offset = FrameOffset(*tree_);
  const int limit = RightOf(row) - offset;

  // Whatever the tree drew right of column 0 (an overlong node text) goes.
  const int clearLeft = sections->Item(1)->Left() - offset;
  if (limit > clearLeft && bottom > top) {
    canvas->fillRect(QRect(clearLeft, top, limit - clearLeft, bottom - top), canvas->brush());
  }

  // Every column is asked for its text, also one that lies past the limit
  // and shows nothing; a handler may change the columns meanwhile.
  for (int column = 1; column < sections->Count(); ++column) {
    const THeaderSection* section = sections->Item(column);
    const int cellLeft = section->Left() - offset;
    const int cellRight = std::min(section->Right() - offset, limit);
    QString text;
    if (OnColumnDataGet) OnColumnDataGet(this, Node, column, text);
    if (text.isEmpty()) continue;
    const int width = tree_->TextWidth(text);
    int x = cellLeft;
    if (section->Alignment() == taRightJustify) x = cellRight - width;
    if (section->Alignment() == taCenter) x = cellLeft + (cellRight - cellLeft - width) / 2;
    DrawClippedText(*canvas, QRect(cellLeft, top, cellRight - cellLeft, bottom - top), x, top, text);
  }
}

void TTreeListView::ColumnFit(THeaderSection* Section, int MinWidth) {
  if (Section == nullptr) return;
  const int offset = FrameOffset(*tree_);
  const int column = Section->Index();
  int widest = 0;
  // Every row on the walk counts, also one OnColumnDataAdd would refuse.
  for (TTreeNode* node = NextShownNode(*tree_, nullptr); node != nullptr; node = NextShownNode(*tree_, node)) {
    int candidate = 0;
    if (column == 0) {
      // Column 0 covers indentation, button, images and text, measured from
      // the header's left edge.
      candidate = RightOf(tree_->DisplayRect(node, true)) + offset;
    } else {
      QString text;
      if (OnColumnDataGet) OnColumnDataGet(this, node, column, text);
      candidate = tree_->TextWidth(text);
    }
    widest = std::max(widest, candidate);
  }
  const int minimum = MinWidth < 0 ? kDefaultMinimumWidth : MinWidth;
  Section->SetWidth(std::max(widest, minimum) + 1);
  tree_->viewport()->update();
}

void TTreeListView::AdjustColumn(THeaderControl*, THeaderSection* Section) { ColumnFit(Section, -1); }

void TTreeListView::ResizeColumn(THeaderControl*, THeaderSection*) { tree_->viewport()->update(); }

TComponentPage Register() { return {QStringLiteral("Varnhold xCtl"), {&TTreeListView::staticMetaObject}}; }

}  // namespace Treelistview
