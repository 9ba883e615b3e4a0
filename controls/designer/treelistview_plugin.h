#pragma once

// Puts TTreeListView into Qt Designer's widget box, on the page the unit
// registers it for ("Varnhold xCtl"). Inside Designer a new control shows a
// few sample rows so that its columns can be seen while the form is laid
// out; forms loaded at run time get an empty control.

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

class TreeListViewPlugin : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QDesignerCustomWidgetInterface_iid)
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  explicit TreeListViewPlugin(QObject* parent = nullptr);

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override;
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override;
  void initialize(QDesignerFormEditorInterface* core) override;
  QString domXml() const override;

 private:
  bool initialized_ = false;
  // Only Designer hands over its core; a form loader creating widgets from
  // the same plugin does not, and gets no sample rows.
  bool inDesigner_ = false;
};
