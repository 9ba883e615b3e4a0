// The control in forms: the Qt Designer plugin as Designer loads it, and a
// form file with the control loaded at run time and compiled by uic.

#include <QFile>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QUiLoader>
#include <QtDesigner/QDesignerFormEditorInterface>

#include "control_test_support.h"
#include "treelistview_plugin.h"
#include "ui_treelistview_form.h"

namespace Treelistview {
namespace {

TEST(DesignerPlugin, OffersTheControlOnTheVarnholdPageWithSampleColumnsAndThreeDesignableProperties) {
  QPluginLoader loader(QStringLiteral(CORVANE_DESIGNER_PLUGIN));
  ASSERT_TRUE(loader.load()) << loader.errorString().toStdString();
  auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->group(), QStringLiteral("Varnhold xCtl"));
  EXPECT_EQ(plugin->name(), QStringLiteral("Treelistview::TTreeListView"));
  EXPECT_EQ(plugin->includeFile(), QStringLiteral("Treelistview.h"));
  EXPECT_TRUE(plugin->domXml().contains(QStringLiteral("class=\"Treelistview::TTreeListView\"")));
  const std::unique_ptr<QWidget> control(plugin->createWidget(nullptr));
  ASSERT_NE(control, nullptr);
  // The plugin carries its own copy of the control's code, so the class is
  // compared by name.
  const QMetaObject* meta = control->metaObject();
  EXPECT_STREQ(meta->className(), "Treelistview::TTreeListView");

  // A fresh instance, as Designer initialises it: sample columns and rows.
  TreeListViewPlugin inDesigner;
  QDesignerFormEditorInterface core;
  inDesigner.initialize(&core);
  const std::unique_ptr<QWidget> sample(inDesigner.createWidget(nullptr));
  EXPECT_EQ(static_cast<TTreeListView*>(sample.get())->ColumnsGet()->Count(), 3);
  EXPECT_GT(static_cast<TTreeListView*>(sample.get())->pTreeView()->Items()->GetCount(), 1);

  QStringList designable;
  for (int i = QFrame::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
    if (meta->property(i).isDesignable()) designable << QString::fromLatin1(meta->property(i).name());
  }
  EXPECT_EQ(designable, QStringList({"BevelOuter", "TabStop", "ColumnsVisible"}));
}

TEST(FormWithTheControl, LoadsThroughQUiLoaderWithThePluginAndCompilesWithUic) {
  QUiLoader loader;
  loader.clearPluginPaths();
  loader.addPluginPath(QStringLiteral(CORVANE_DESIGNER_PLUGIN_DIR));
  QFile file(QStringLiteral(CORVANE_TEST_FORM));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::unique_ptr<QWidget> form(loader.load(&file));
  ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
  const QWidget* loaded = form->findChild<QWidget*>(QStringLiteral("files"));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->property("ColumnsVisible"), QVariant(false));
  EXPECT_EQ(loaded->property("BevelOuter").toInt(), static_cast<int>(bvLowered));
  EXPECT_EQ(loaded->findChild<QAbstractItemView*>()->model()->rowCount(), 0) << "no sample rows at run time";

  QWidget compiled;
  Ui::TreeListViewForm ui;
  ui.setupUi(&compiled);
  EXPECT_FALSE(ui.files->ColumnsVisibleGet());
  EXPECT_EQ(ui.files->BevelOuter(), bvLowered);
}

}  // namespace
}  // namespace Treelistview
