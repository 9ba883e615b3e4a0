#pragma once

// The small value types the tree-list view, its header and its tree use:
// bevels, anchors, drag states, custom-draw stages and states, shift states.
// They keep the names a developer of the original component family knows;
// each is registered with Qt's meta-object system so that a property of that
// type can be read and written by name (QObject::setProperty, .ui files).

#include <QMetaType>
#include <QObject>

namespace Treelistview {
Q_NAMESPACE

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
Q_ENUM_NS(TBevelCut)

enum TBevelKind { bkNone, bkTile, bkSoft, bkFlat };
Q_ENUM_NS(TBevelKind)

enum TBevelEdge { beLeft = 0x1, beTop = 0x2, beRight = 0x4, beBottom = 0x8 };
Q_DECLARE_FLAGS(TBevelEdges, TBevelEdge)
Q_FLAG_NS(TBevelEdges)

enum TAnchorKind { akLeft = 0x1, akTop = 0x2, akRight = 0x4, akBottom = 0x8 };
Q_DECLARE_FLAGS(TAnchors, TAnchorKind)
Q_FLAG_NS(TAnchors)

enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
Q_ENUM_NS(TBiDiMode)

enum TBorderStyle { bsNone, bsSingle };
Q_ENUM_NS(TBorderStyle)

enum TDragKind { dkDrag, dkDock };
Q_ENUM_NS(TDragKind)

enum TDragMode { dmManual, dmAutomatic };
Q_ENUM_NS(TDragMode)

enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
Q_ENUM_NS(TDragState)

enum TMultiSelectStyle { msControlSelect = 0x1, msShiftSelect = 0x2, msVisibleOnly = 0x4, msSiblingOnly = 0x8 };
Q_DECLARE_FLAGS(TMultiSelectStyles, TMultiSelectStyle)
Q_FLAG_NS(TMultiSelectStyles)

enum THeaderStyle { hsButtons, hsFlat };
Q_ENUM_NS(THeaderStyle)

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
Q_ENUM_NS(TAlignment)

// The moment of a custom-draw notification; an item is announced before the
// tree paints it and again after.
enum TCustomDrawStage { cdPrePaint = 0, cdPostPaint = 1, cdPreErase = 2, cdPostErase = 3 };
Q_ENUM_NS(TCustomDrawStage)

enum TCustomDrawStateFlag {
  cdsSelected = 0x1,
  cdsGrayed = 0x2,
  cdsDisabled = 0x4,
  cdsChecked = 0x8,
  cdsFocused = 0x10,
  cdsDefault = 0x20,
  cdsHot = 0x40,
  cdsMarked = 0x80,
  cdsIndeterminate = 0x100,
};
Q_DECLARE_FLAGS(TCustomDrawState, TCustomDrawStateFlag)
Q_FLAG_NS(TCustomDrawState)

enum TShiftStateFlag {
  ssShift = 0x1,
  ssAlt = 0x2,
  ssCtrl = 0x4,
  ssLeft = 0x8,
  ssRight = 0x10,
  ssMiddle = 0x20,
  ssDouble = 0x40,
};
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)
Q_FLAG_NS(TShiftState)

enum TMouseButton { mbLeft, mbRight, mbMiddle };
Q_ENUM_NS(TMouseButton)

// Limits on a control's size; 0 means no limit.
struct TSizeConstraints {
  Q_GADGET
  Q_PROPERTY(int MinWidth MEMBER MinWidth)
  Q_PROPERTY(int MinHeight MEMBER MinHeight)
  Q_PROPERTY(int MaxWidth MEMBER MaxWidth)
  Q_PROPERTY(int MaxHeight MEMBER MaxHeight)

 public:
  int MinWidth = 0;
  int MinHeight = 0;
  int MaxWidth = 0;
  int MaxHeight = 0;

  friend bool operator==(const TSizeConstraints&, const TSizeConstraints&) = default;
};

}  // namespace Treelistview

Q_DECLARE_OPERATORS_FOR_FLAGS(Treelistview::TBevelEdges)
Q_DECLARE_OPERATORS_FOR_FLAGS(Treelistview::TAnchors)
Q_DECLARE_OPERATORS_FOR_FLAGS(Treelistview::TMultiSelectStyles)
Q_DECLARE_OPERATORS_FOR_FLAGS(Treelistview::TCustomDrawState)
Q_DECLARE_OPERATORS_FOR_FLAGS(Treelistview::TShiftState)
