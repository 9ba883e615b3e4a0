#pragma once

// A tree view over a node store, with the properties and events a developer
// of the original component family expects of one: the store is `Items`,
// nodes are painted by the view itself (lines, buttons, state image, image,
// text, selection), and every paint, expansion, selection, edit, mouse, key,
// focus and drag notification reaches an event that may be empty. Painting
// is announced per item before and after the item is drawn, with the
// painter as `Canvas`, so that a handler can add to a row.

#include <QColor>
#include <QFont>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QRect>
#include <QTreeView>
#include <memory>
#include <typeinfo>

#include "control_types.h"
#include "image_list.h"
#include "object_handler.h"
#include "tree_nodes.h"

class QTimer;

namespace corvane {
class TreeNodesModel;
}  // namespace corvane

namespace Treelistview {

using corvane::TTreeNode;
using corvane::TTreeNodes;
using corvane::TSortType;
using enum corvane::TSortType;
using TObject = QObject;

class TCustomTreeView;

// What is dragged. A handler of OnStartDrag may supply one; it then arrives
// as the source of the drop target's OnDragOver and OnDragDrop.
class TDragObject : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
};

class TDragDockObject : public TDragObject {
  Q_OBJECT

 public:
  using TDragObject::TDragObject;
};

// The class of node a tree makes. The node store makes one kind of node.
using TTreeNodeClass = const std::type_info*;

using TNotifyEvent = ObjectHandler<void(TObject* Sender)>;
using TTVExpandedEvent = ObjectHandler<void(TObject* Sender, TTreeNode* Node)>;
using TTVChangingEvent = ObjectHandler<void(TObject* Sender, TTreeNode* Node, bool& AllowChange)>;
using TTVCompareEvent =
    ObjectHandler<void(TObject* Sender, TTreeNode* Node1, TTreeNode* Node2, int Data, int& Compare)>;
using TTVEditedEvent = ObjectHandler<void(TObject* Sender, TTreeNode* Node, QString& S)>;
using TTVAdvancedCustomDrawEvent =
    ObjectHandler<void(TCustomTreeView* Sender, const QRect& ARect, TCustomDrawStage Stage, bool& DefaultDraw)>;
using TTVCustomDrawEvent = ObjectHandler<void(TCustomTreeView* Sender, const QRect& ARect, bool& DefaultDraw)>;
using TTVCustomDrawItemEvent =
    ObjectHandler<void(TCustomTreeView* Sender, TTreeNode* Node, TCustomDrawState State, bool& DefaultDraw)>;
using TTVAdvancedCustomDrawItemEvent =
    ObjectHandler<void(TCustomTreeView* Sender, TTreeNode* Node, TCustomDrawState State, TCustomDrawStage Stage,
                       bool& PaintImages, bool& DefaultDraw)>;
using TTVCreateNodeClassEvent = ObjectHandler<void(TCustomTreeView* Sender, TTreeNodeClass& NodeClass)>;
using TContextPopupEvent = ObjectHandler<void(TObject* Sender, const QPoint& MousePos, bool& Handled)>;
using TDragDropEvent = ObjectHandler<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TEndDragEvent = ObjectHandler<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TDragOverEvent =
    ObjectHandler<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
// Key is a Qt::Key code; a handler that sets it to 0 swallows the key.
using TKeyEvent = ObjectHandler<void(TObject* Sender, int& Key, TShiftState Shift)>;
// A handler that sets Key to a null character swallows the character.
using TKeyPressEvent = ObjectHandler<void(TObject* Sender, QChar& Key)>;
using TMouseEvent = ObjectHandler<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = ObjectHandler<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TStartDockEvent = ObjectHandler<void(TObject* Sender, TDragDockObject*& DragObject)>;
using TStartDragEvent = ObjectHandler<void(TObject* Sender, TDragObject*& DragObject)>;

class TCustomTreeView : public QTreeView {
  Q_OBJECT

 public:
  explicit TCustomTreeView(QWidget* owner = nullptr);
  ~TCustomTreeView() override;

  // The node store; the view shows it and follows its changes.
  TTreeNodes* Items() { return &items_; }

  // Node operations that need the view.
  // The rectangle of the node's whole row (textOnly false) or of its text
  // label (true), in viewport coordinates; an empty rectangle for a node
  // that is not shown as a row on screen (under a collapsed parent, or
  // scrolled out of the viewport).
  QRect DisplayRect(const TTreeNode* node, bool textOnly) const;
  // The next node in display order whose ancestors are all expanded.
  TTreeNode* GetNextVisible(const TTreeNode* node) const;
  // The node in the top row of the viewport, or null for an empty tree.
  TTreeNode* GetTopItem() const;
  // The node whose row holds the viewport point, or null.
  TTreeNode* GetNodeAt(int x, int y) const;
  // The focused node; setting it asks OnChanging first.
  TTreeNode* Selected() const;
  void SetSelected(TTreeNode* node);
  // Sorts every level with OnCompare (or by text without one).
  void AlphaSort();
  void FullExpand();
  void FullCollapse();
  // Opens the node's text for editing, as F2 does; false when the tree is
  // read-only or OnEditing refuses.
  bool EditText(TTreeNode* node);
  bool IsEditing() const { return state() == QAbstractItemView::EditingState; }
  // Starts dragging the view (what DragMode automatic does on a drag of the
  // mouse).
  void BeginDrag();

  // The painter while the view paints (during the custom-draw events), else
  // null.
  QPainter* Canvas() const { return canvas_; }
  // Width of a text in the canvas's font, or the view's font outside
  // painting.
  int TextWidth(const QString& text) const;

  // Properties. Where a property has nothing to act on here it is kept and
  // read back (see docs/treelistview.md).
  TAnchors Anchors() const { return anchors_; }
  void setAnchors(TAnchors anchors) { anchors_ = anchors; }
  bool AutoExpand() const { return autoExpand_; }
  void setAutoExpand(bool autoExpand) { autoExpand_ = autoExpand; }
  TBevelEdges BevelEdges() const { return bevelEdges_; }
  void setBevelEdges(TBevelEdges edges) { bevelEdges_ = edges; }
  TBevelCut BevelInner() const { return bevelInner_; }
  void setBevelInner(TBevelCut cut) { bevelInner_ = cut; }
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void setBevelOuter(TBevelCut cut) { bevelOuter_ = cut; }
  TBevelKind BevelKind() const { return bevelKind_; }
  void setBevelKind(TBevelKind kind) { bevelKind_ = kind; }
  int BevelWidth() const { return bevelWidth_; }
  void setBevelWidth(int width) { bevelWidth_ = width; }
  TBiDiMode BiDiMode() const;
  void setBiDiMode(TBiDiMode mode);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void setBorderStyle(TBorderStyle style);
  int BorderWidth() const { return borderWidth_; }
  void setBorderWidth(int width);
  int ChangeDelay() const { return changeDelay_; }
  void setChangeDelay(int milliseconds);
  QColor Color() const;
  void setColor(const QColor& color);
  bool Ctl3D() const { return ctl3D_; }
  void setCtl3D(bool ctl3D);
  TSizeConstraints Constraints() const { return constraints_; }
  void setConstraints(const TSizeConstraints& constraints);
  TDragKind DragKind() const { return dragKind_; }
  void setDragKind(TDragKind kind) { dragKind_ = kind; }
  Qt::CursorShape DragCursor() const { return dragCursor_; }
  void setDragCursor(Qt::CursorShape cursor) { dragCursor_ = cursor; }
  TDragMode DragMode() const { return dragMode_; }
  void setDragMode(TDragMode mode) { dragMode_ = mode; }
  bool Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }
  QFont Font() const { return font(); }
  bool HideSelection() const { return hideSelection_; }
  void setHideSelection(bool hide);
  bool HotTrack() const { return hotTrack_; }
  void setHotTrack(bool hotTrack);
  TCustomImageList* Images() const { return images_; }
  void setImages(TCustomImageList* images);
  int Indent() const { return indentation(); }
  void setIndent(int indent) { setIndentation(indent); }
  bool MultiSelect() const { return selectionMode() == QAbstractItemView::ExtendedSelection; }
  void setMultiSelect(bool multiSelect);
  TMultiSelectStyles MultiSelectStyle() const { return multiSelectStyle_; }
  void setMultiSelectStyle(TMultiSelectStyles style) { multiSelectStyle_ = style; }
  bool ParentBiDiMode() const { return !testAttribute(Qt::WA_SetLayoutDirection); }
  void setParentBiDiMode(bool parentBiDiMode);
  bool ParentColor() const { return parentColor_; }
  void setParentColor(bool parentColor);
  bool ParentCtl3D() const { return parentCtl3D_; }
  void setParentCtl3D(bool parentCtl3D) { parentCtl3D_ = parentCtl3D; }
  bool ParentFont() const { return !testAttribute(Qt::WA_SetFont); }
  void setParentFont(bool parentFont);
  bool ParentShowHint() const { return parentShowHint_; }
  void setParentShowHint(bool parentShowHint) { parentShowHint_ = parentShowHint; }
  QMenu* PopupMenu() const { return popupMenu_; }
  void setPopupMenu(QMenu* menu) { popupMenu_ = menu; }
  bool ReadOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly);
  bool RightClickSelect() const { return rightClickSelect_; }
  void setRightClickSelect(bool select) { rightClickSelect_ = select; }
  bool RowSelect() const { return rowSelect_; }
  void setRowSelect(bool rowSelect);
  bool ShowButtons() const { return showButtons_; }
  void setShowButtons(bool show);
  bool ShowHint() const { return showHint_; }
  void setShowHint(bool show) { showHint_ = show; }
  bool ShowLines() const { return showLines_; }
  void setShowLines(bool show);
  bool ShowRoot() const { return rootIsDecorated(); }
  void setShowRoot(bool show) { setRootIsDecorated(show); }
  TSortType SortType() const { return items_.SortType; }
  void setSortType(TSortType sortType);
  TCustomImageList* StateImages() const { return stateImages_; }
  void setStateImages(TCustomImageList* images);
  // The view's place in its owner's tab order, kept for the form.
  int TabOrder() const { return tabOrder_; }
  void setTabOrder(int order) { tabOrder_ = order; }
  using QWidget::setTabOrder;
  bool TabStop() const { return (focusPolicy() & Qt::TabFocus) != 0; }
  void setTabStop(bool tabStop);
  bool ToolTips() const { return toolTips_; }
  void setToolTips(bool toolTips) { toolTips_ = toolTips; }
  bool Visible() const;

  // Events; each may be empty.
  TTVExpandedEvent OnAddition;
  TTVAdvancedCustomDrawEvent OnAdvancedCustomDraw;
  TTVExpandedEvent OnChange;
  TTVChangingEvent OnChanging;
  TNotifyEvent OnClick;
  TTVExpandedEvent OnCollapsed;
  TTVChangingEvent OnCollapsing;
  TTVCompareEvent OnCompare;
  TContextPopupEvent OnContextPopup;
  // Never raised: the node store makes one kind of node.
  TTVCreateNodeClassEvent OnCreateNodeClass;
  TTVCustomDrawEvent OnCustomDraw;
  TTVCustomDrawItemEvent OnCustomDrawItem;
  TNotifyEvent OnDblClick;
  TTVExpandedEvent OnDeletion;
  TDragDropEvent OnDragDrop;
  TDragOverEvent OnDragOver;
  TTVEditedEvent OnEdited;
  TTVChangingEvent OnEditing;
  // Never raised: Qt has no docking of a control into another.
  TEndDragEvent OnEndDock;
  TEndDragEvent OnEndDrag;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TTVChangingEvent OnExpanding;
  TTVExpandedEvent OnExpanded;
  TTVExpandedEvent OnGetImageIndex;
  TTVExpandedEvent OnGetSelectedIndex;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  // Never raised: Qt has no docking of a control into another.
  TStartDockEvent OnStartDock;
  TStartDragEvent OnStartDrag;

 protected:
  // Called for every item at every custom-draw stage, after the view has
  // painted the item as well (cdPostPaint). Not among the events a user of
  // a derived view sets: a derived view takes it for its own painting.
  TTVAdvancedCustomDrawItemEvent OnAdvancedCustomDrawItem;

  void paintEvent(QPaintEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  class ItemDelegate;
  class SelectionModel;
  friend class ItemDelegate;
  friend class SelectionModel;

  TTreeNode* NodeAt(const QModelIndex& index) const;
  QModelIndex IndexOf(const TTreeNode* node) const;
  bool AllowCurrentChange(const QModelIndex& index);
  bool IsShownOnScreen(const QModelIndex& index) const;
  QRect RowRect(const QModelIndex& index) const;
  QRect TextRect(const QModelIndex& index) const;
  int ImagesWidth(const TTreeNode* node) const;
  int ItemHeight() const;
  bool OnButton(const QPoint& position) const;
  TCustomDrawState ItemState(const QModelIndex& index) const;
  bool ShowsSelectionOf(TCustomDrawState state) const;
  bool FullRowSelect() const { return rowSelect_ && !showLines_; }
  void PrepareCanvas(QPainter* painter, TCustomDrawState state) const;
  void PaintItem(QPainter* painter, const QModelIndex& index, TTreeNode* node, TCustomDrawState state,
                 bool paintImages) const;
  int RaiseImageIndex(TTreeNode* node, bool selected) const;
  void ApplyFrame();
  void ApplyColor();
  void ViewExpansionChanged(const QModelIndex& index, bool expanded);
  void StoreExpansionChanged(const QModelIndex& index, bool expanded);
  // One side (view or store) changed a node's expansion: the handlers may
  // refuse it (`undo` puts that side back) or it reaches the other side
  // (`follow`), and the done event is raised.
  template <typename Undo, typename Follow>
  void FollowExpansion(const QModelIndex& index, bool expanded, Undo undo, Follow follow);
  bool AllowExpansion(TTreeNode* node, bool expanded);
  void RaiseExpansionDone(TTreeNode* node, bool expanded);
  void RaiseChange();
  void AutoExpandAfterChange(const QModelIndex& current, const QModelIndex& previous);
  void SetHotNode(const QModelIndex& index);
  bool ShowToolTip(const QPoint& position, const QPoint& globalPosition);
  TObject* DragSourceOf(const QDropEvent* event) const;
  bool RaiseDragOver(const QDropEvent* event, TDragState state);

  TTreeNodes items_;
  // Declared after the store it shows, so that it goes first.
  std::unique_ptr<corvane::TreeNodesModel> model_;
  SelectionModel* selection_ = nullptr;
  QTimer* changeTimer_ = nullptr;
  mutable QPainter* canvas_ = nullptr;

  TAnchors anchors_ = TAnchors(akLeft | akTop);
  bool autoExpand_ = false;
  TBevelEdges bevelEdges_ = TBevelEdges(beLeft | beTop | beRight | beBottom);
  TBevelCut bevelInner_ = bvRaised;
  TBevelCut bevelOuter_ = bvLowered;
  TBevelKind bevelKind_ = bkNone;
  int bevelWidth_ = 1;
  TBiDiMode biDiMode_ = bdLeftToRight;
  TBorderStyle borderStyle_ = bsSingle;
  int borderWidth_ = 0;
  int changeDelay_ = 0;
  QColor color_;
  bool ctl3D_ = true;
  TSizeConstraints constraints_;
  TDragKind dragKind_ = dkDrag;
  Qt::CursorShape dragCursor_ = Qt::DragMoveCursor;
  TDragMode dragMode_ = dmManual;
  bool hideSelection_ = true;
  bool hotTrack_ = false;
  QPointer<TCustomImageList> images_;
  TMultiSelectStyles multiSelectStyle_ = msControlSelect;
  bool parentColor_ = false;
  bool parentCtl3D_ = true;
  bool parentShowHint_ = true;
  QPointer<QMenu> popupMenu_;
  bool readOnly_ = false;
  bool rightClickSelect_ = false;
  bool rowSelect_ = false;
  bool showButtons_ = true;
  bool showHint_ = false;
  bool showLines_ = true;
  QPointer<TCustomImageList> stateImages_;
  int tabOrder_ = 0;
  bool toolTips_ = true;

  // Set while the view and the store are brought in line, so that neither
  // side's echo counts as a new expansion.
  bool syncingExpansion_ = false;
  QPersistentModelIndex pendingChange_;
  QPersistentModelIndex hot_;
  QPoint pressPosition_;
  bool leftPressed_ = false;
  // Where and from what the last drag over the view came, for the leave
  // notification, which carries neither.
  QPointer<QObject> dragOverSource_;
  QPoint dragOverPosition_;
};

}  // namespace Treelistview
