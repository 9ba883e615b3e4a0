#pragma once

// TTreeListView: a tree with a row of column headers. Column 0 is the tree's
// own node text; every further column is painted onto each row by the
// control, from texts the application hands over on demand through
// OnColumnDataGet. The control keeps no column text of its own, so a tree of
// any size costs nothing beyond its nodes.
//
//   auto* view = new Treelistview::TTreeListView(parent);
//   view->ColumnsGet()->Add("Name", 160);
//   view->ColumnsGet()->Add("Size", 70, Treelistview::taRightJustify);
//   view->OnColumnDataGet = {this, &Form::ColumnText};
//   view->pTreeView()->Items()->AddChild(nullptr, "first node");
//
// A click on a column's header fits the column to the rows on screen.

#include <QFrame>
#include <QList>
#include <QString>

#include "control_types.h"
#include "custom_tree_view.h"
#include "header_control.h"
#include "image_list.h"
#include "object_handler.h"

namespace Treelistview {

class TTreeListView;

// The tree inside a TTreeListView: a tree view that publishes its
// properties to the property system, under the names a form designer of the
// original component family used.
class TTreeListViewTree : public TCustomTreeView {
  Q_OBJECT
  Q_PROPERTY(Treelistview::TAnchors Anchors READ Anchors WRITE setAnchors)
  Q_PROPERTY(bool AutoExpand READ AutoExpand WRITE setAutoExpand)
  Q_PROPERTY(Treelistview::TBevelEdges BevelEdges READ BevelEdges WRITE setBevelEdges)
  Q_PROPERTY(Treelistview::TBevelCut BevelInner READ BevelInner WRITE setBevelInner)
  Q_PROPERTY(Treelistview::TBevelCut BevelOuter READ BevelOuter WRITE setBevelOuter)
  Q_PROPERTY(Treelistview::TBevelKind BevelKind READ BevelKind WRITE setBevelKind)
  Q_PROPERTY(int BevelWidth READ BevelWidth WRITE setBevelWidth)
  Q_PROPERTY(Treelistview::TBiDiMode BiDiMode READ BiDiMode WRITE setBiDiMode)
  Q_PROPERTY(Treelistview::TBorderStyle BorderStyle READ BorderStyle WRITE setBorderStyle)
  Q_PROPERTY(int BorderWidth READ BorderWidth WRITE setBorderWidth)
  Q_PROPERTY(int ChangeDelay READ ChangeDelay WRITE setChangeDelay)
  Q_PROPERTY(QColor Color READ Color WRITE setColor)
  Q_PROPERTY(bool Ctl3D READ Ctl3D WRITE setCtl3D)
  Q_PROPERTY(Treelistview::TSizeConstraints Constraints READ Constraints WRITE setConstraints)
  Q_PROPERTY(Treelistview::TDragKind DragKind READ DragKind WRITE setDragKind)
  Q_PROPERTY(Qt::CursorShape DragCursor READ DragCursor WRITE setDragCursor)
  Q_PROPERTY(Treelistview::TDragMode DragMode READ DragMode WRITE setDragMode)
  Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
  Q_PROPERTY(QFont Font READ Font WRITE setFont)
  Q_PROPERTY(bool HideSelection READ HideSelection WRITE setHideSelection)
  Q_PROPERTY(bool HotTrack READ HotTrack WRITE setHotTrack)
  Q_PROPERTY(Treelistview::TCustomImageList* Images READ Images WRITE setImages)
  Q_PROPERTY(int Indent READ Indent WRITE setIndent)
  Q_PROPERTY(bool MultiSelect READ MultiSelect WRITE setMultiSelect)
  Q_PROPERTY(Treelistview::TMultiSelectStyles MultiSelectStyle READ MultiSelectStyle WRITE setMultiSelectStyle)
  Q_PROPERTY(bool ParentBiDiMode READ ParentBiDiMode WRITE setParentBiDiMode)
  Q_PROPERTY(bool ParentColor READ ParentColor WRITE setParentColor)
  Q_PROPERTY(bool ParentCtl3D READ ParentCtl3D WRITE setParentCtl3D)
  Q_PROPERTY(bool ParentFont READ ParentFont WRITE setParentFont)
  Q_PROPERTY(bool ParentShowHint READ ParentShowHint WRITE setParentShowHint)
  Q_PROPERTY(QMenu* PopupMenu READ PopupMenu WRITE setPopupMenu)
  Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE setReadOnly)
  Q_PROPERTY(bool RightClickSelect READ RightClickSelect WRITE setRightClickSelect)
  Q_PROPERTY(bool RowSelect READ RowSelect WRITE setRowSelect)
  Q_PROPERTY(bool ShowButtons READ ShowButtons WRITE setShowButtons)
  Q_PROPERTY(bool ShowHint READ ShowHint WRITE setShowHint)
  Q_PROPERTY(bool ShowLines READ ShowLines WRITE setShowLines)
  Q_PROPERTY(bool ShowRoot READ ShowRoot WRITE setShowRoot)
  Q_PROPERTY(corvane::TSortType SortType READ SortType WRITE setSortType)
  Q_PROPERTY(Treelistview::TCustomImageList* StateImages READ StateImages WRITE setStateImages)
  Q_PROPERTY(int TabOrder READ TabOrder WRITE setTabOrder)
  Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)
  Q_PROPERTY(bool ToolTips READ ToolTips WRITE setToolTips)
  Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
  Q_PROPERTY(corvane::TTreeNodes* Items READ Items CONSTANT)

 public:
  explicit TTreeListViewTree(QWidget* owner = nullptr);
  ~TTreeListViewTree() override;

 private:
  // The control takes the per-item custom-draw slot for its columns.
  friend class TTreeListView;
};

class TTreeListView : public QFrame {
  Q_OBJECT
  Q_PROPERTY(Treelistview::TBevelCut BevelOuter READ BevelOuter WRITE setBevelOuter)
  Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)
  Q_PROPERTY(Treelistview::TTreeListViewTree* pTreeView READ pTreeView CONSTANT DESIGNABLE false STORED false)
  Q_PROPERTY(Treelistview::THeaderSections* Columns READ ColumnsGet WRITE ColumnsSet DESIGNABLE false STORED false)
  Q_PROPERTY(Treelistview::TCustomImageList* ColumnsImages READ ColumnsIListGet WRITE ColumnsIListSet
                 DESIGNABLE false STORED false)
  Q_PROPERTY(bool ColumnsVisible READ ColumnsVisibleGet WRITE ColumnsVisibleSet)

 public:
  // Asked once per painted row whether the row gets column texts; true
  // when empty.
  using TColumnDataAddEvent = ObjectHandler<bool(TTreeListView* pCtl, TTreeNode* pNode)>;
  // Asked for the text of one cell; asText is empty on entry and stays
  // empty when the event is empty.
  using TColumnDataGetEvent = ObjectHandler<void(TTreeListView* pCtl, TTreeNode* pNode, int column, QString& asText)>;

  explicit TTreeListView(QWidget* owner = nullptr);
  ~TTreeListView() override;

  TTreeListViewTree* pTreeView() const { return tree_; }

  // The header's live sections: section i describes column i.
  THeaderSections* ColumnsGet() const;
  // Copies `columns` into the header. Neither relayouts nor repaints.
  void ColumnsSet(THeaderSections* columns);
  TCustomImageList* ColumnsIListGet() const;
  void ColumnsIListSet(TCustomImageList* images);
  THeaderStyle ColumnsStyleGet() const;
  void ColumnsStyleSet(THeaderStyle style);
  bool ColumnsVisibleGet() const;
  void ColumnsVisibleSet(bool visible);
  // Repaints every row, columns included.
  void ColumnsRefresh();

  // The setter names that forms compiled by uic call.
  void setColumnsVisible(bool visible) { ColumnsVisibleSet(visible); }

  TBevelCut BevelOuter() const { return bevelOuter_; }
  void setBevelOuter(TBevelCut cut);
  bool TabStop() const { return (focusPolicy() & Qt::TabFocus) != 0; }
  void setTabStop(bool tabStop);

  // Lays out header and tree: the header on top when shown, the tree below
  // it, hidden when there is no room. Sender is not used.
  void ResizeControls(QObject* Sender);
  // The control's event handler: the frame handles every event first; a
  // change of size then lays the children out.
  bool WndProc(QEvent& Message);

  // The handlers the constructor installs: the column painter (called for
  // every item at every custom-draw stage), the fit of a column to the rows
  // on screen, and the header's click and resize handlers.
  void DrawMyColumns(TCustomTreeView* Sender, TTreeNode* Node, TCustomDrawState State, TCustomDrawStage Stage,
                     bool& PaintImages, bool& DefaultDraw);
  // Fits the section's column to the widest text on screen plus 1 pixel,
  // at least MinWidth + 1; a negative MinWidth means 29.
  void ColumnFit(THeaderSection* Section, int MinWidth);
  void AdjustColumn(THeaderControl* HeaderControl, THeaderSection* Section);
  void ResizeColumn(THeaderControl* HeaderControl, THeaderSection* Section);

  TColumnDataAddEvent OnColumnDataAdd;
  TColumnDataGetEvent OnColumnDataGet;

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override { return WndProc(*event); }
  void resizeEvent(QResizeEvent* event) override;

 private:
  void DockChildren();

  TTreeListViewTree* tree_ = nullptr;
  THeaderControl* header_ = nullptr;
  TBevelCut bevelOuter_ = bvNone;
};

// A page of a visual designer's component palette and the controls it
// holds; the Qt Designer plugin shows them.
struct TComponentPage {
  QString Name;
  QList<const QMetaObject*> Classes;
};

// The palette registration of this unit: TTreeListView on "Varnhold xCtl".
TComponentPage Register();

}  // namespace Treelistview
