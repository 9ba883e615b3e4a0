#include "Aboutboxform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

#include "version_reader.h"

namespace corvane {
namespace {

// What exec() returns when the watchdog had to end it: the action under test
// did not close the box.
constexpr int kNotClosed = 42;

// Runs `action` once the box is up and modal, and returns exec()'s result.
int ExecAnd(TAboutBox& box, const std::function<void()>& action) {
  QTimer::singleShot(0, &box, action);
  // Keeps a box that ignores the action from hanging the run.
  QTimer::singleShot(10000, &box, [&box] { box.done(kNotClosed); });
  return box.exec();
}

TEST(AboutBoxTest, CaptionSizeAndModality) {
  TAboutBox box(nullptr);
  EXPECT_EQ(box.windowTitle(), "About Me");
  EXPECT_EQ(box.size(), QSize(368, 400));
  EXPECT_EQ(box.minimumSize(), QSize(368, 400));
  EXPECT_EQ(box.maximumSize(), QSize(368, 400));
  EXPECT_TRUE(box.isModal());
  EXPECT_FALSE(box.windowIcon().isNull());
}

TEST(AboutBoxTest, FrameHasTitleOnly) {
  TAboutBox box(nullptr);
  box.show();
  const Qt::WindowFlags flags = box.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

TEST(AboutBoxTest, ComponentsInOrderAndPlace) {
  TAboutBox box(nullptr);
  QList<QWidget*> children;
  for (QObject* child : box.children()) {
    if (auto* widget = qobject_cast<QWidget*>(child)) children.append(widget);
  }
  const QList<QWidget*> expected = {box.btnOk, box.Image1, box.txtName, box.AboutMe, box.txtBuild};
  EXPECT_EQ(children, expected);

  EXPECT_EQ(box.btnOk->geometry(), QRect(146, 368, 75, 25));
  EXPECT_EQ(box.Image1->geometry(), QRect(8, 8, 57, 57));
  EXPECT_EQ(box.txtName->geometry(), QRect(78, 13, 283, 37));
  EXPECT_EQ(box.AboutMe->geometry(), QRect(8, 72, 353, 289));
  // txtBuild is 288, 52, 73 x 13 unless its text needs more room.
  const QRect build = box.txtBuild->geometry();
  EXPECT_EQ(build.top(), 52);
  EXPECT_EQ(build.x() + build.width(), 361);
  if (box.txtBuild->sizeHint().width() <= 73) {
    EXPECT_EQ(build, QRect(288, 52, 73, 13));
  }
}

TEST(AboutBoxTest, TextsAndToolTips) {
  TAboutBox box(nullptr);
  EXPECT_EQ(box.btnOk->text(), "&Ok");
  EXPECT_TRUE(box.btnOk->isDefault());
  EXPECT_EQ(box.txtName->text(), "Corvane");
  EXPECT_EQ(box.btnOk->toolTip(), "To Exit From Here...");
  EXPECT_EQ(box.txtName->toolTip(), "So what?  It's the program name :)");
  EXPECT_EQ(box.AboutMe->toolTip(), "Few notes about this program");
  EXPECT_TRUE(box.Image1->toolTip().isEmpty());
  EXPECT_TRUE(box.txtBuild->toolTip().isEmpty());

  EXPECT_EQ(box.txtName->alignment(), Qt::AlignCenter);
  EXPECT_EQ(box.Image1->alignment(), Qt::AlignCenter);
  EXPECT_TRUE(box.txtBuild->alignment().testFlag(Qt::AlignRight));
  EXPECT_EQ(box.Image1->pixmap().deviceIndependentSize(), QSizeF(32, 32));

  EXPECT_TRUE(box.AboutMe->isReadOnly());
  // The notes name the context menu command as the menu shows it.
  EXPECT_TRUE(box.AboutMe->toPlainText().contains("Inspect Library"));
}

// The named families are Windows fonts; where they are missing the text must
// still come out in a sans-serif, not in a serif or fixed-width face.
TEST(AboutBoxTest, FontsFallBackToSansSerif) {
  TAboutBox box(nullptr);
  auto resolved = [](QFont::StyleHint hint) {
    QFont font(QStringLiteral("no such family"));
    font.setStyleHint(hint);
    return QFontInfo(font).family();
  };
  const QString serif = resolved(QFont::Serif);
  const QString fixed = resolved(QFont::Monospace);

  const QFont dialog = box.font();
  EXPECT_EQ(dialog.pixelSize(), 11);
  EXPECT_EQ(dialog.styleHint(), QFont::SansSerif);
  const QFont name = box.txtName->font();
  EXPECT_EQ(name.pixelSize(), 32);
  EXPECT_TRUE(name.bold());
  EXPECT_EQ(name.styleHint(), QFont::SansSerif);
  for (const QFont& font : {dialog, name}) {
    SCOPED_TRACE(font.family().toStdString());
    if (QFontDatabase::hasFamily(font.family())) continue;
    const QString family = QFontInfo(font).family();
    if (serif != fixed) {
      EXPECT_NE(family, serif);
      EXPECT_NE(family, fixed);
    }
  }
  // The notes and the version take the dialog's font.
  EXPECT_EQ(box.AboutMe->font().pixelSize(), 11);
  EXPECT_EQ(box.txtBuild->font().pixelSize(), 11);
}

TEST(AboutBoxTest, TabOrderStartsAtOk) {
  TAboutBox box(nullptr);
  auto nextTabStop = [&box](QWidget* from) {
    QWidget* widget = from->nextInFocusChain();
    while (widget != from && !(widget->focusPolicy() & Qt::TabFocus && widget->isVisibleTo(&box))) {
      widget = widget->nextInFocusChain();
    }
    return widget;
  };
  EXPECT_EQ(nextTabStop(box.btnOk), box.AboutMe);
  EXPECT_EQ(nextTabStop(box.AboutMe), box.btnOk);
}

TEST(AboutBoxTest, ShowsTheProgramsFileVersion) {
  TAboutBox box(nullptr);
  EXPECT_EQ(box.txtBuild->text(), "version: 1.4.0.0");
}

TEST(AboutBoxTest, VersionComesFromTheFileVersionHalves) {
  TAboutBox box(nullptr);
  VS_FIXEDFILEINFO info;
  info.dwFileVersionMS = (1u << 16) | 2u;
  info.dwFileVersionLS = (3u << 16) | 4u;
  info.dwProductVersionMS = (9u << 16) | 8u;
  info.dwProductVersionLS = (7u << 16) | 6u;
  box.ShowBuild(&info);
  EXPECT_EQ(box.txtBuild->text(), "version: 1.2.3.4");

  box.ShowBuild(nullptr);
  EXPECT_EQ(box.txtBuild->text(), "version: 0.0.0.0");
}

TEST(AboutBoxTest, LongestVersionIsShownInFull) {
  TAboutBox box(nullptr);
  VS_FIXEDFILEINFO info;
  info.dwFileVersionMS = 0xFFFFFFFF;
  info.dwFileVersionLS = 0xFFFFFFFF;
  box.ShowBuild(&info);
  ASSERT_EQ(box.txtBuild->text(), "version: 65535.65535.65535.65535");
  const QRect build = box.txtBuild->geometry();
  const QFontMetrics metrics(box.txtBuild->font());
  EXPECT_GE(build.width(), metrics.horizontalAdvance(box.txtBuild->text()));
  EXPECT_GE(build.height(), metrics.height());
  EXPECT_EQ(build.x() + build.width(), 361);
  EXPECT_EQ(build.top(), 52);
  // Widened into free space only: not over the name, the icon or the notes.
  EXPECT_FALSE(build.intersects(box.txtName->geometry()));
  EXPECT_FALSE(build.intersects(box.Image1->geometry()));
  EXPECT_FALSE(build.intersects(box.AboutMe->geometry()));

  // A shorter version afterwards gives the room back.
  box.ShowBuild(nullptr);
  EXPECT_LT(box.txtBuild->width(), build.width());
  EXPECT_EQ(box.txtBuild->x() + box.txtBuild->width(), 361);
}

TEST(AboutBoxTest, CentredOnTheScreenNotOnTheOwner) {
  QWidget owner;
  owner.setGeometry(0, 0, 120, 90);
  owner.show();
  TAboutBox box(&owner);
  box.show();
  const QPoint screenCentre = owner.screen()->availableGeometry().center();
  const QPoint boxCentre = box.frameGeometry().center();
  EXPECT_LE((boxCentre - screenCentre).manhattanLength(), 1);
}

TEST(AboutBoxTest, ClosingKeysAndButton) {
  {
    SCOPED_TRACE("clicking OK");
    TAboutBox box(nullptr);
    EXPECT_EQ(ExecAnd(box, [&box] { QTest::mouseClick(box.btnOk, Qt::LeftButton); }), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
  }
  {
    SCOPED_TRACE("Enter on the OK button");
    TAboutBox box(nullptr);
    EXPECT_EQ(ExecAnd(box, [&box] { QTest::keyClick(box.btnOk, Qt::Key_Return); }), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
  }
  {
    // The read-only notes must pass Enter on to the default button.
    SCOPED_TRACE("Enter in the notes");
    TAboutBox box(nullptr);
    EXPECT_EQ(ExecAnd(box, [&box] { QTest::keyClick(box.AboutMe, Qt::Key_Return); }), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
  }
  {
    SCOPED_TRACE("keypad Enter in the notes");
    TAboutBox box(nullptr);
    EXPECT_EQ(ExecAnd(box, [&box] { QTest::keyClick(box.AboutMe, Qt::Key_Enter, Qt::KeypadModifier); }),
              QDialog::Accepted);
  }
  {
    SCOPED_TRACE("Esc in the notes");
    TAboutBox box(nullptr);
    EXPECT_EQ(ExecAnd(box, [&box] { QTest::keyClick(box.AboutMe, Qt::Key_Escape); }), QDialog::Rejected);
    EXPECT_FALSE(box.isVisible());
  }
  {
    SCOPED_TRACE("Esc on the OK button");
    TAboutBox box(nullptr);
    EXPECT_EQ(ExecAnd(box, [&box] { QTest::keyClick(box.btnOk, Qt::Key_Escape); }), QDialog::Rejected);
  }
}

TEST(AboutBoxTest, OtherKeysLeaveItOpenAndTheNotesUnchanged) {
  TAboutBox box(nullptr);
  const QString notes = box.AboutMe->toPlainText();
  const int result = ExecAnd(box, [&box] {
    QTest::keyClick(box.AboutMe, Qt::Key_A);
    QTest::keyClick(box.AboutMe, Qt::Key_Down);
    QTest::keyClick(box.AboutMe, Qt::Key_Delete);
    QTest::keyClick(box.btnOk, Qt::Key_Tab);
    QTest::keyClick(box.btnOk, Qt::Key_F4, Qt::AltModifier);
    box.done(kNotClosed + 1);
  });
  EXPECT_EQ(result, kNotClosed + 1);
  EXPECT_EQ(box.AboutMe->toPlainText(), notes);
}

}  // namespace
}  // namespace corvane
