// The control in forms: the Qt Designer plugin as Designer loads it, the
// plugin's behaviour inside and outside Designer, and a form file with the
// control loaded at run time and compiled by uic.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QPluginLoader>
#include <QUiLoader>
#include <QtDesigner/QDesignerFormEditorInterface>

#include "Treelistview.h"
#include "control_test_support.h"
#include "treelistview_plugin.h"
#include "ui_treelistview_form.h"

namespace Treelistview {
namespace {

QWidget* LoadForm(QUiLoader& loader) {
  QFile form(QStringLiteral(CORVANE_TEST_FORM));
  if (!form.open(QIODevice::ReadOnly)) return nullptr;
  return loader.load(&form);
}

int TopRowsOf(const QWidget& control) {
  const auto* tree = control.findChild<QAbstractItemView*>();
  return tree != nullptr ? tree->model()->rowCount() : -1;
}

TEST(DesignerPlugin, LoadsAsDesignerLoadsItAndOffersTheControlOnTheVarnholdPage) {
  QPluginLoader loader(QStringLiteral(CORVANE_DESIGNER_PLUGIN));
  ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
  auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->group(), QStringLiteral("Varnhold xCtl"));
  EXPECT_EQ(plugin->name(), QStringLiteral("Treelistview::TTreeListView"));
  EXPECT_EQ(plugin->includeFile(), QStringLiteral("Treelistview.h"));
  EXPECT_FALSE(plugin->isContainer());
  EXPECT_FALSE(plugin->icon().isNull());
  EXPECT_TRUE(plugin->domXml().contains(QStringLiteral("class=\"Treelistview::TTreeListView\"")));

  const std::unique_ptr<QWidget> control(plugin->createWidget(nullptr));
  ASSERT_NE(control, nullptr);
  // The plugin carries its own copy of the control's code, so the class is
  // compared by name.
  EXPECT_STREQ(control->metaObject()->className(), "Treelistview::TTreeListView");
}

TEST(DesignerPlugin, InsideDesignerANewControlShowsSampleColumnsAndRows) {
  TreeListViewPlugin plugin;
  QDesignerFormEditorInterface core;
  plugin.initialize(&core);
  const std::unique_ptr<QWidget> widget(plugin.createWidget(nullptr));
  auto* control = qobject_cast<TTreeListView*>(widget.get());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->ColumnsGet()->Count(), 3);
  EXPECT_GT(control->pTreeView()->Items()->GetCount(), 1);

  control->resize(300, 150);
  control->show();
  QApplication::processEvents();
  TTreeNode* firstChild = control->pTreeView()->Items()->TopItem(0)->getFirstChild();
  const QRect row = control->pTreeView()->DisplayRect(firstChild, false);
  const int columnOne = control->ColumnsGet()->Item(1)->Left() - support::FrameOffsetOf(*control);
  EXPECT_TRUE(support::FindInk(support::GrabTree(*control), row.adjusted(columnOne, 1, 0, -1)).has_value())
      << "the sample's column texts are painted";
}

TEST(DesignerPlugin, OutsideDesignerANewControlIsEmpty) {
  TreeListViewPlugin plugin;
  plugin.initialize(nullptr);
  const std::unique_ptr<QWidget> widget(plugin.createWidget(nullptr));
  auto* control = qobject_cast<TTreeListView*>(widget.get());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->ColumnsGet()->Count(), 0);
  EXPECT_EQ(control->pTreeView()->Items()->GetCount(), 0);
}

TEST(FormWithTheControl, LoadsThroughQUiLoaderWithThePluginAndItsProperties) {
  QUiLoader loader;
  loader.clearPluginPaths();
  loader.addPluginPath(QStringLiteral(CORVANE_DESIGNER_PLUGIN_DIR));
  ASSERT_TRUE(loader.availableWidgets().contains(QStringLiteral("Treelistview::TTreeListView")));
  const std::unique_ptr<QWidget> form(LoadForm(loader));
  ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
  const QWidget* control = form->findChild<QWidget*>(QStringLiteral("files"));
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->inherits("Treelistview::TTreeListView"));
  EXPECT_EQ(control->property("ColumnsVisible"), QVariant(false));
  EXPECT_EQ(control->property("BevelOuter").toInt(), static_cast<int>(bvLowered));
  EXPECT_EQ(TopRowsOf(*control), 0) << "no sample rows at run time";
}

// How a program without the plugin loads such a form: it makes the control
// itself.
class ControlMakingLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    if (className != QLatin1String(TTreeListView::staticMetaObject.className())) {
      return QUiLoader::createWidget(className, parent, name);
    }
    auto* control = new TTreeListView(parent);
    control->setObjectName(name);
    return control;
  }
};

TEST(FormWithTheControl, LoadsThroughALoaderThatMakesTheControlItself) {
  ControlMakingLoader loader;
  loader.clearPluginPaths();
  const std::unique_ptr<QWidget> form(LoadForm(loader));
  ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
  auto* control = form->findChild<TTreeListView*>(QStringLiteral("files"));
  ASSERT_NE(control, nullptr);
  EXPECT_FALSE(control->ColumnsVisibleGet());
  EXPECT_EQ(control->BevelOuter(), bvLowered);
}

TEST(FormWithTheControl, CompilesWithUicAndSetsTheProperties) {
  QWidget form;
  Ui::TreeListViewForm ui;
  ui.setupUi(&form);
  ASSERT_NE(ui.files, nullptr);
  EXPECT_FALSE(ui.files->ColumnsVisibleGet());
  EXPECT_EQ(ui.files->BevelOuter(), bvLowered);
}

}  // namespace
}  // namespace Treelistview
