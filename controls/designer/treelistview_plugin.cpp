#include "treelistview_plugin.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <iterator>
#include <memory>

#include "Treelistview.h"

namespace {

using Treelistview::TTreeListView;
using Treelistview::TTreeNode;

const QMetaObject& ControlClass() { return *Treelistview::Register().Classes.front(); }

struct SampleRow {
  const char* name;
  const char* size;
  const char* kind;
};

// Three columns and a few rows, enough to see how the columns line up.
void FillWithSample(TTreeListView& view) {
  static constexpr SampleRow kRows[] = {
      {"project", "", "Folder"},
      {"main.cpp", "2 KB", "C++ source"},
      {"Treelistview.h", "9 KB", "C++ header"},
      {"README.md", "1 KB", "Text"},
  };
  Treelistview::THeaderSections* columns = view.ColumnsGet();
  columns->Add(QStringLiteral("Name"), 130);
  columns->Add(QStringLiteral("Size"), 50, Treelistview::taRightJustify);
  columns->Add(QStringLiteral("Kind"), 80);

  auto rows = std::make_shared<QHash<const TTreeNode*, SampleRow>>();
  Treelistview::TTreeNodes* items = view.pTreeView()->Items();
  TTreeNode* root = items->AddChild(nullptr, QString::fromLatin1(kRows[0].name));
  rows->insert(root, kRows[0]);
  for (std::size_t i = 1; i < std::size(kRows); ++i) {
    rows->insert(items->AddChild(root, QString::fromLatin1(kRows[i].name)), kRows[i]);
  }
  root->SetExpanded(true);
  view.OnColumnDataGet = {&view, [rows](TTreeListView*, TTreeNode* node, int column, QString& text) {
                            const auto row = rows->constFind(node);
                            if (row == rows->constEnd()) return;
                            text = QString::fromLatin1(column == 1 ? row->size : row->kind);
                          }};
}

}  // namespace

TreeListViewPlugin::TreeListViewPlugin(QObject* parent) : QObject(parent) {}

QString TreeListViewPlugin::name() const { return QString::fromLatin1(ControlClass().className()); }

QString TreeListViewPlugin::group() const { return Treelistview::Register().Name; }

QString TreeListViewPlugin::toolTip() const { return QStringLiteral("Tree with columns"); }

QString TreeListViewPlugin::whatsThis() const {
  return QStringLiteral(
      "A tree with a row of column headers. Column 0 shows the node texts; the texts of the other columns "
      "come from the OnColumnDataGet handler while the rows are painted. A click on a header fits its "
      "column to the rows on screen.");
}

QString TreeListViewPlugin::includeFile() const { return QStringLiteral("Treelistview.h"); }

QIcon TreeListViewPlugin::icon() const {
  QPixmap picture(22, 22);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.fillRect(QRect(0, 0, 22, 5), QColor(0xC0, 0xC0, 0xC0));
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawLine(10, 0, 10, 4);
  painter.drawRect(QRect(0, 0, 21, 21));
  painter.setPen(Qt::black);
  for (int row = 0; row < 3; ++row) {
    const int y = 8 + row * 5;
    const int indent = row == 0 ? 2 : 5;
    painter.fillRect(QRect(indent, y - 1, 3, 3), QColor(0x20, 0x60, 0xC0));
    painter.drawLine(indent + 4, y, 9, y);
    painter.drawLine(12, y, 19, y);
  }
  painter.end();
  return QIcon(picture);
}

bool TreeListViewPlugin::isContainer() const { return false; }

QWidget* TreeListViewPlugin::createWidget(QWidget* parent) {
  auto* view = new TTreeListView(parent);
  if (inDesigner_) FillWithSample(*view);
  return view;
}

bool TreeListViewPlugin::isInitialized() const { return initialized_; }

void TreeListViewPlugin::initialize(QDesignerFormEditorInterface* core) {
  if (initialized_) return;
  initialized_ = true;
  inDesigner_ = core != nullptr;
}

QString TreeListViewPlugin::domXml() const {
  return QStringLiteral(
             "<ui language=\"c++\" displayname=\"TTreeListView\">\n"
             " <widget class=\"%1\" name=\"treeListView\">\n"
             "  <property name=\"geometry\">\n"
             "   <rect><x>0</x><y>0</y><width>280</width><height>160</height></rect>\n"
             "  </property>\n"
             " </widget>\n"
             "</ui>\n")
      .arg(name());
}
