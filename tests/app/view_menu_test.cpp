// The View menu as a user drives it: its options through their actions and
// key, kept across two starts of the window, and what the tree shows.

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSettings>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

#include "Mainform.h"
#include "pe_writer.h"
#include "temp_files.h"
#include "window_test_support.h"

namespace corvane {
namespace {

using testing::ByName;
using testing::ByOrdinal;
using testing::Layout;
using testing::PeWriter;

class ViewMenuTest : public ::testing::Test {
 protected:
  ViewMenuTest() {
    // The run's settings live in a folder of the test's own (see the main).
    QSettings().clear();
    dir_.Write("lib.dll", PeWriter(Layout::Pe32)
                              .ExportBase(1)
                              .Export("_Z5zebrav", 0)
                              .Export("alpha", 1)
                              .Export("_Z4betav", 2)
                              .Export("_Z5Orderv", 6)
                              .Build()
                              .bytes);
    file_ = QString::fromStdString(
        dir_.Write("app.dll", PeWriter(Layout::Pe32)
                                  .Export("_ZN3foo3barE", 0)
                                  .Export("_Z1fIiEvT_", 1)
                                  .Import("lib.dll", {ByName("_Z5zebrav"), ByName("alpha"), ByName("_Z4betav"),
                                                      ByOrdinal(7)})
                                  .Build()
                                  .bytes));
    Start();
  }
  void Start() {
    window_ = std::make_unique<TMain>(nullptr, testing::BoxAnsweredOkPorts());
    window_->OpenList({file_});
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  QModelIndex Row(const QString& text) const { return testing::RowNamed(*window_->InfoTree->model(), text); }
  QStringList Children(const QString& parent) const { return testing::ChildTexts(*window_->InfoTree->model(), Row(parent)); }
  QString Selected() const { return window_->InfoTree->currentIndex().data().toString(); }

  testing::TempDir dir_;
  QString file_;
  std::unique_ptr<TMain> window_;
};

TEST_F(ViewMenuTest, UndecoratingReSortsInPlaceKeepsExpansionAndSelectionAndIsKeptAcrossStarts) {
  QTreeView* tree = window_->InfoTree;
  EXPECT_FALSE(window_->UndecorateNames->isChecked());
  EXPECT_EQ(Children("Exported APIs"), QStringList({"_ZN3foo3barE (0)", "_Z1fIiEvT_ (1)"}));
  const QStringList raw = Children("lib.dll");
  tree->expand(Row("Exported APIs"));
  tree->setCurrentIndex(Row("_Z4betav"));

  QTest::keyClick(window_.get(), Qt::Key_F10);
  ASSERT_TRUE(window_->UndecorateNames->isChecked());
  EXPECT_EQ(Children("Exported APIs"), QStringList({"foo::bar (0)", "void f<int>(int) (1)"}));
  EXPECT_EQ(Children("lib.dll"), QStringList({"     7 (ordinal)", "alpha", "beta()", "zebra()"}));
  EXPECT_TRUE(tree->isExpanded(Row("Exported APIs")) && tree->isExpanded(Row("lib.dll")));
  EXPECT_EQ(Selected(), "beta()");
  EXPECT_EQ(Row("beta()").data(Qt::ToolTipRole).toString(), "_Z4betav");
  EXPECT_FALSE(Row("alpha").data(Qt::ToolTipRole).isValid());
  QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "beta()");

  // Either spelling finds a row.
  const std::pair<const char*, const char*> finds[] = {
      {"_Z5zebrav", "zebra()"}, {"zebra()", "zebra()"}, {"3foo3bar", "foo::bar (0)"}, {"foo::bar", "foo::bar (0)"}};
  for (const auto& [words, found] : finds) {
    tree->setCurrentIndex(Row("alpha"));
    QTest::keyClick(tree, Qt::Key_F, Qt::ControlModifier);
    window_->FindText->setText(QString::fromLatin1(words));
    QTest::keyClick(window_->FindText, Qt::Key_Return);
    EXPECT_EQ(Selected(), found) << words;
  }

  // The option is kept: the next start shows the names undecorated.
  window_.reset();
  Start();
  EXPECT_TRUE(window_->UndecorateNames->isChecked());
  EXPECT_EQ(Children("Exported APIs"), QStringList({"foo::bar (0)", "void f<int>(int) (1)"}));
  window_->UndecorateNames->trigger();
  EXPECT_EQ(Children("lib.dll"), raw);
  window_.reset();
  Start();
  EXPECT_FALSE(window_->UndecorateNames->isChecked());
}

// lib.dll names ordinal 7 (name-ordinal 6, Base 1) _Z5Orderv.
TEST_F(ViewMenuTest, AnOrdinalReadsAsItsExportersNameWithTheOptionAndShowsItInTheTooltipWithout) {
  EXPECT_EQ(Row("     7 (ordinal)").data(Qt::ToolTipRole).toString(), "_Z5Orderv");
  window_->NameOrdinals->trigger();
  EXPECT_EQ(Children("lib.dll"), QStringList({"_Z4betav", "_Z5Orderv (ordinal 7)", "_Z5zebrav", "alpha"}));
  window_->UndecorateNames->trigger();
  EXPECT_EQ(Children("lib.dll"), QStringList({"alpha", "beta()", "Order() (ordinal 7)", "zebra()"}));
  EXPECT_EQ(Row("Order() (ordinal 7)").data(Qt::ToolTipRole).toString(), "_Z5Orderv");
  window_.reset();
  Start();
  EXPECT_TRUE(window_->NameOrdinals->isChecked() && window_->UndecorateNames->isChecked());
}

}  // namespace
}  // namespace corvane
