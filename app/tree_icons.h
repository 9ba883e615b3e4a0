#pragma once

// The images of the main tree and the program's own icon, painted in code so
// that they stay sharp at any device pixel ratio and need no resource files.

#include <QIcon>
#include <QList>
#include <QPixmap>

namespace corvane {

// One image per node kind; the index is the kind's icon number (see
// node_kinds.h): 0 file root, 1 library, 2 inspected library, 3 "Exported
// APIs", 4 exported function, 5 imported function, 6 "Stats", 7 image base
// and sizes, 8 version entries.
inline constexpr int kTreeIconCount = 9;

// The logical size of a tree image.
inline constexpr int kTreeIconSize = 16;

// Tree image `index` as a 16 x 16 logical pixmap painted at
// 16 * devicePixelRatio device pixels; a null pixmap for an index out of
// range.
QPixmap TreeIconPixmap(int index, qreal devicePixelRatio = 1.0);

// Tree image `index` as an icon that paints itself at whatever size a view
// asks for; a null icon for an index out of range.
QIcon TreeIcon(int index);

// All tree images in index order, ready for a view's image list.
QList<QIcon> TreeIcons();

// The program's icon: a 32 x 32 and a simplified 16 x 16 design, each
// painted at the size asked for.
QIcon ProgramIcon();

// The program's icon painted at `size` * devicePixelRatio device pixels:
// the simplified design below 24 device pixels, the full one from there.
QPixmap ProgramIconPixmap(int size, qreal devicePixelRatio = 1.0);

}  // namespace corvane
