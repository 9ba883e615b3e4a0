#include "Aboutboxform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "version_reader.h"

namespace corvane {
namespace {

TEST(AboutBoxTest, ComponentsTextsAndPlacesAsDesigned) {
  TAboutBox box(nullptr);
  EXPECT_EQ(box.windowTitle(), "About Me");
  EXPECT_EQ(box.minimumSize(), QSize(368, 400));
  EXPECT_EQ(box.maximumSize(), QSize(368, 400));
  EXPECT_TRUE(box.isModal());
  EXPECT_EQ(box.font().pixelSize(), 11);

  EXPECT_EQ(box.btnOk->geometry(), QRect(146, 368, 75, 25));
  EXPECT_EQ(box.btnOk->text(), "&Ok");
  EXPECT_TRUE(box.btnOk->isDefault());
  EXPECT_EQ(box.btnOk->toolTip(), "To Exit From Here...");
  QWidget* next = box.btnOk->nextInFocusChain();
  while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  EXPECT_EQ(next, box.AboutMe) << "tab order";

  EXPECT_EQ(box.Image1->geometry(), QRect(8, 8, 57, 57));
  EXPECT_EQ(box.Image1->alignment(), Qt::AlignCenter);

  EXPECT_EQ(box.txtName->geometry(), QRect(78, 13, 283, 37));
  EXPECT_EQ(box.txtName->text(), "Corvane");
  EXPECT_EQ(box.txtName->alignment(), Qt::AlignCenter);
  EXPECT_EQ(box.txtName->font().pixelSize(), 32);
  EXPECT_TRUE(box.txtName->font().bold());
  EXPECT_EQ(box.txtName->toolTip(), "So what?  It's the program name :)");

  EXPECT_EQ(box.AboutMe->geometry(), QRect(8, 72, 353, 289));
  EXPECT_TRUE(box.AboutMe->isReadOnly());
  EXPECT_EQ(box.AboutMe->toolTip(), "Few notes about this program");

  EXPECT_EQ(box.txtBuild->text(), "version: 1.4.0.0") << "the program's own file version";
  // Widened to the left where the text needs more than its designed 73 pixels.
  EXPECT_EQ(box.txtBuild->geometry().top(), 52);
  EXPECT_EQ(box.txtBuild->geometry().right(), 360);
  EXPECT_TRUE(box.txtBuild->alignment().testFlag(Qt::AlignRight));
}

TEST(AboutBoxTest, ShowsTheFileVersionHalvesInFull) {
  TAboutBox box(nullptr);
  VS_FIXEDFILEINFO info;
  info.dwFileVersionMS = (1u << 16) | 2u;
  info.dwFileVersionLS = (3u << 16) | 4u;
  info.dwProductVersionMS = (9u << 16) | 8u;
  info.dwProductVersionLS = (7u << 16) | 6u;
  box.ShowBuild(&info);
  EXPECT_EQ(box.txtBuild->text(), "version: 1.2.3.4");

  info.dwFileVersionMS = 0xFFFFFFFF;
  info.dwFileVersionLS = 0xFFFFFFFF;
  box.ShowBuild(&info);
  EXPECT_EQ(box.txtBuild->text(), "version: 65535.65535.65535.65535");
  EXPECT_GE(box.txtBuild->width(), box.txtBuild->fontMetrics().horizontalAdvance(box.txtBuild->text()));
  EXPECT_EQ(box.txtBuild->geometry().right(), 360) << "still right-aligned to the notes";

  box.ShowBuild(nullptr);
  EXPECT_EQ(box.txtBuild->text(), "version: 0.0.0.0");
}

TEST(AboutBoxTest, EnterEscAndTheOkButtonCloseIt) {
  struct Case {
    const char* what;
    bool onNotes;
    Qt::Key key;  // Qt::Key_unknown: a click on OK
    Qt::KeyboardModifiers modifiers;
    int result;
  };
  const Case cases[] = {
      {"click OK", false, Qt::Key_unknown, {}, QDialog::Accepted},
      {"Enter on OK", false, Qt::Key_Return, {}, QDialog::Accepted},
      {"Esc on OK", false, Qt::Key_Escape, {}, QDialog::Rejected},
      // The read-only notes pass Enter on to the default button.
      {"Enter in the notes", true, Qt::Key_Return, {}, QDialog::Accepted},
      {"keypad Enter in the notes", true, Qt::Key_Enter, Qt::KeypadModifier, QDialog::Accepted},
      {"Esc in the notes", true, Qt::Key_Escape, {}, QDialog::Rejected},
      {"a letter in the notes", true, Qt::Key_A, {}, -1},
  };
  for (const Case& c : cases) {
    TAboutBox box(nullptr);
    QTimer::singleShot(0, &box, [&] {
      QWidget* target = c.onNotes ? static_cast<QWidget*>(box.AboutMe) : box.btnOk;
      if (c.key == Qt::Key_unknown) {
        QTest::mouseClick(target, Qt::LeftButton);
      } else {
        QTest::keyClick(target, c.key, c.modifiers);
      }
      if (box.isVisible()) box.done(-1);
    });
    EXPECT_EQ(box.exec(), c.result) << c.what;
  }
}

}  // namespace
}  // namespace corvane
