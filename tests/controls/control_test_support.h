#pragma once

// Shared by the control's tests: a shown TTreeListView with columns, and
// measurements on grabbed images of its tree.

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "Treelistview.h"

// Failure messages show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace Treelistview::support {

struct ColumnDefinition {
  QString caption;
  int width;
  TAlignment alignment = taLeftJustify;
};

// A top-level control of the given size, shown (offscreen), with the given
// columns.
std::unique_ptr<TTreeListView> MakeShownView(int width, int height,
                                             std::initializer_list<ColumnDefinition> columns = {});

// Top-level nodes with these texts, in order.
QList<TTreeNode*> AddTopNodes(TTreeListView& view, const QStringList& texts);

THeaderControl& HeaderOf(TTreeListView& view);

// The tree's viewport as painted now.
QImage GrabTree(TTreeListView& view);

// Where the tree's client coordinates start, in header coordinates.
int FrameOffsetOf(TTreeListView& view);

// The horizontal extent [first, last] of dark ("ink") pixels inside `area`,
// or nothing when the area holds none.
struct InkExtent {
  int first;
  int last;
};
std::optional<InkExtent> FindInk(const QImage& image, const QRect& area);

// Names each test of a parameter table after its row.
struct RowName {
  template <typename Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& row) const {
    return row.param.name;
  }
};

}  // namespace Treelistview::support

namespace Treelistview {
namespace {

// The rows of the tests' parameter tables carry a name; test listings show
// it. (In the unnamed namespace the tables themselves live in, so that
// GoogleTest finds it.)
template <typename Row>
concept NamedRow = requires(const Row& row) {
  row.name;
};

template <NamedRow Row>
void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

}  // namespace
}  // namespace Treelistview
