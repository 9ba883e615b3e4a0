#include "modules_pane.h"

#include <QBoxLayout>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QSplitter>

#include <algorithm>

#include "info_tree_view.h"
#include "mark_colours.h"
#include "node_kinds.h"
#include "tree_nodes_model.h"
#include "viewer_core.h"

namespace corvane {
namespace {

bool NamesModule(const TTreeNode& node, const QString& name) {
  if (node.ImageIndex() != kIconLibrary && node.ImageIndex() != kIconInspectedLibrary) return false;
  // An inspected library's node ends in where it was found: "NAME (FOLDER/)".
  const QString text = node.Text();
  if (!text.startsWith(name, Qt::CaseInsensitive)) return false;
  return text.size() == name.size() || QStringView(text).mid(name.size()).startsWith(QLatin1String(" ("));
}

const TTreeNode* FirstNamed(const TTreeNode& node, const QString& name) {
  for (const TTreeNode* child = node.getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (NamesModule(*child, name)) return child;
    if (const TTreeNode* below = FirstNamed(*child, name)) return below;
  }
  return nullptr;
}

}  // namespace

ModulesPane::ModulesPane(ViewerCore& core, InfoTreeView& tree, QWidget* parent)
    : QTableView(parent),
      core_(core),
      tree_(tree),
      modules_(new ModulesModel(this)),
      sorted_(new QSortFilterProxyModel(this)) {
  setObjectName(QStringLiteral("ModulesPane"));
  sorted_->setSourceModel(modules_);
  setModel(sorted_);
  // The check's order until a header is clicked.
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  verticalHeader()->hide();
  // Every row holds one line of text: sizing each row to its cells would
  // lay out every cell of the closure again whenever another file's shows.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  // Each column as wide as the rows in view need: measuring every cell of a
  // large closure would cost more than showing it.
  horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  horizontalHeader()->setResizeContentsPrecision(0);
  modules_->markColour = [this](int mark) { return MarkColour(mark, palette().color(QPalette::Base)); };
  modules_->treeNote = [this](std::size_t module) {
    if (TreeRowOf(module) != nullptr) return QString();
    const Closure& closure = *modules_->Shown();
    const std::vector<std::size_t>& neededBy = closure.modules[module].neededBy;
    if (neededBy.empty()) return QString();
    return QStringLiteral("No row of the tree shows it; %1 brings it in")
        .arg(TextFrom8Bit(closure.modules[neededBy.front()].name));
  };
  connect(this, &QAbstractItemView::activated, this, &ModulesPane::SelectInTree);

  // Below the tree, in a splitter that lets the user share the height.
  auto* splitter = new QSplitter(Qt::Vertical, tree.parentWidget());
  delete tree.parentWidget()->layout()->replaceWidget(&tree, splitter);
  splitter->addWidget(&tree);
  splitter->addWidget(this);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 1);
  splitter->setChildrenCollapsible(false);
  hide();

  // A reset of the tree may free the nodes whose closure is shown; the
  // rebuilt tree is followed again.
  const TreeNodesModel* treeModel = &tree_.Nodes();
  connect(treeModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] { modules_->SetClosure(nullptr); });
  // The window takes the viewer's core down before its widgets.
  connect(treeModel, &QObject::destroyed, this, [this] { modules_->SetClosure(nullptr); });
  connect(treeModel, &TreeNodesModel::Rebuilt, this, &ModulesPane::FollowTree);
  connect(tree_.selectionModel(), &QItemSelectionModel::currentChanged, this, &ModulesPane::FollowTree);
}

void ModulesPane::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) modules_->WorkOutColours();
  QTableView::changeEvent(event);
}

void ModulesPane::FollowTree() {
  if (isHidden() || core_.Busy()) return;
  modules_->SetClosure(core_.ClosureOf(tree_.SelectedNode()));
}

const TTreeNode* ModulesPane::TreeRowOf(std::size_t module) const {
  const Closure* closure = modules_->Shown();
  if (closure == nullptr || module >= closure->modules.size()) return nullptr;
  const TTreeNode* root = nullptr;
  for (int top = 0; top < core_.Items().TopCount() && root == nullptr; ++top) {
    if (core_.ClosureOf(core_.Items().TopItem(top)) == closure) root = core_.Items().TopItem(top);
  }
  if (root == nullptr) return nullptr;
  const TTreeNode* row = module == 0 ? root : FirstNamed(*root, TextFrom8Bit(closure->modules[module].name));
  return row != nullptr && tree_.Nodes().IndexOf(row).isValid() ? row : nullptr;
}

void ModulesPane::SelectInTree(const QModelIndex& index) {
  tree_.GoTo(TreeRowOf(static_cast<std::size_t>(sorted_->mapToSource(index).row())));
}

QString ModulesPane::SelectionAsText() const {
  QStringList lines;
  QStringList header;
  for (int column = 0; column < sorted_->columnCount(); ++column) {
    header << sorted_->headerData(column, Qt::Horizontal).toString();
  }
  lines << header.join(QLatin1Char('\t'));
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  for (const QModelIndex& row : rows) {
    QStringList cells;
    for (int column = 0; column < sorted_->columnCount(); ++column) {
      cells << sorted_->index(row.row(), column).data().toString();
    }
    lines << cells.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace corvane
