#pragma once

// The about box: the program's icon, name and version, and a few notes on
// what the viewer does. Modal, fixed in size, closed only by its OK button,
// Enter or Esc.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;

namespace corvane {

struct VS_FIXEDFILEINFO;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* owner);

  // The components, in creation order; the dialog owns them.
  QPushButton* btnOk = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* txtName = nullptr;
  QPlainTextEdit* AboutMe = nullptr;
  QLabel* txtBuild = nullptr;

  // Shows the file version of `info` in txtBuild, or "version: 0.0.0.0" for
  // a null `info`. The label keeps its right edge and grows leftwards when
  // the text is wider than its designed 73 pixels.
  void ShowBuild(const VS_FIXEDFILEINFO* info);

 public slots:
  void btnOkClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace corvane
