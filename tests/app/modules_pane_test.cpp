// The View menu's Modules pane and Only Problems, as a user reaches them:
// the menu's keys on the shown window, clicks on the pane's header and rows,
// Enter, Copy; over the written family of libraries the dependency check is
// tested on.

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "Mainform.h"
#include "module_family.h"
#include "modules_pane.h"
#include "pe_writer.h"
#include "temp_files.h"
#include "tree_nodes_model.h"
#include "window_test_support.h"

namespace corvane {
namespace {

using testing::ByName;
using testing::Layout;
using testing::PeWriter;
using testing::ScopedEnvironment;

// One line a row, for readable failures.
std::string Lines(const QStringList& rows) { return rows.join('\n').toStdString(); }

class ModulesPaneTest : public ::testing::Test {
 protected:
  ModulesPaneTest() {
    testing::WriteModuleFamily(dir_);
    QSettings().clear();
    Construct();
  }

  void Construct() {
    window_ = std::make_unique<TMain>(nullptr, testing::BoxAnsweredOkPorts());
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  QString Path(const std::string& relative) const { return QString::fromStdString(dir_.Path() + "/" + relative); }
  QTreeView* Tree() const { return window_->InfoTree; }
  QAbstractItemModel* Pane() const { return window_->ModuleList->model(); }

  // Each row of the pane as its cells joined by "|", in the order shown.
  QStringList PaneRows() const {
    QStringList rows;
    for (int row = 0; row < Pane()->rowCount(); ++row) {
      QStringList cells;
      for (int column = 0; column < Pane()->columnCount(); ++column) cells << Pane()->index(row, column).data().toString();
      rows << cells.join('|');
    }
    return rows;
  }
  std::string Marked(const QModelIndex& index) const {
    const QWidget* view = index.model() == Pane() ? static_cast<QWidget*>(window_->ModuleList) : Tree();
    return testing::Marked(index, view->palette().color(QPalette::Base));
  }
  // Every row the tree shows, branches closed or not (or only the open
  // ones), indented two spaces a level.
  QStringList TreeRows(const QModelIndex& parent = {}, const QString& indent = {}, bool onlyOpen = false) const {
    QStringList rows;
    const QAbstractItemModel* model = Tree()->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
      const QModelIndex index = model->index(row, 0, parent);
      if (!onlyOpen || Tree()->isExpanded(index)) rows << indent + index.data().toString();
      rows << TreeRows(index, indent + "  ", onlyOpen);
    }
    return rows;
  }
  QModelIndex TreeRow(const QString& text) const {
    return testing::RowNamed(*Tree()->model(), text, {}, Qt::MatchRecursive | Qt::MatchStartsWith);
  }
  std::string SelectedInTree() const {
    return Tree()->selectionModel()->selectedIndexes().value(0).data().toString().toStdString();
  }
  QModelIndex PaneRow(const QString& module) const {
    return testing::RowNamed(*Pane(), module, {}, Qt::MatchExactly);
  }
  QPoint PanePoint(const QModelIndex& index) const { return window_->ModuleList->visualRect(index).center(); }

  testing::TempDir dir_;
  ScopedEnvironment system_{"CORVANE_SYSTEM_PATH", dir_.Path() + "/system"};
  ScopedEnvironment path_{"PATH", std::nullopt};
  std::unique_ptr<TMain> window_;
};

TEST_F(ModulesPaneTest, CtrlMShowsTheClosureOfTheSelectedFileOneModuleARowKeptAcrossRuns) {
  window_->OpenList({Path("app/app.exe"), Path("other/ships.exe")});
  ASSERT_FALSE(window_->ModuleList->isVisible());
  QTest::keyClick(Tree(), Qt::Key_M, Qt::ControlModifier);
  ASSERT_TRUE(window_->ModuleList->isVisible());
  const QAbstractItemModelTester tester(&window_->ModuleList->Modules(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);

  QStringList header;
  for (int column = 0; column < Pane()->columnCount(); ++column) header << Pane()->headerData(column, Qt::Horizontal).toString();
  EXPECT_EQ(header.join('|'), "Module|File|Machine|File Version|Found In|Joined As|Needed By|Problems");
  EXPECT_EQ(Lines(PaneRows()), Lines({"ships.exe|" + Path("other/ships.exe") + "|x86-64|||||0",
                                     "shipped.dll|not found||||load-time import|ships.exe|1"}))
      << "the first file when nothing is selected";

  Tree()->setCurrentIndex(TreeRow("fwd.dll"));
  const QString app = Path("app/"), system = Path("system/");
  EXPECT_EQ(Lines(PaneRows()),
            Lines({"app.exe|" + app + "app.exe|x86-64|||||0",
                         "a.dll|" + app + "a.dll|x86-64|2.3.4.5|the file's folder|load-time import|app.exe, fwd.dll|2",
                         "api-ms-win-test-l1-1-0.dll|" + system +
                             "host.dll|x86-64||API set → host.dll|load-time import|app.exe|0",
                         "host.dll|" + system + "host.dll|x86-64||a system folder|load-time import|app.exe|0",
                         "fwd.dll|" + app + "fwd.dll|x86-64||the file's folder|load-time import|app.exe, fwd.dll|3",
                         "b.dll|" + app + "b.dll|x86-64||the file's folder|forward target|fwd.dll, app.exe, a.dll|1",
                         "gone.dll|not found||||forward target|fwd.dll|0",
                         "late.dll|not found||||delay-loaded import|app.exe|1",
                         "missing.dll|not found||||load-time import|b.dll|1"}));
  const QStringList marks = {
      "problem: Needs gone.dll, which is not found (and 8 more)",
      "warning: Does not export Nope (and 1 more)",
      "none: ",
      "none: No row of the tree shows it; app.exe brings it in",  // the API set's host
      "warning: Does not export F2 (and 2 more)",
      "warning: Does not export NotInB\nNo row of the tree shows it; fwd.dll brings it in",
      "problem: Not found\nNo row of the tree shows it; fwd.dll brings it in",
      "problem: Not found\nNo row of the tree shows it; app.exe brings it in",
      "problem: Not found\nNo row of the tree shows it; b.dll brings it in"};
  for (int row = 0; row < marks.size(); ++row) EXPECT_EQ(Marked(Pane()->index(row, 0)), marks[row].toStdString()) << row;
  QPalette dark = window_->palette();
  dark.setColor(QPalette::Base, Qt::black);
  window_->setPalette(dark);
  EXPECT_EQ(Marked(Pane()->index(0, 0)), marks[0].toStdString()) << "drawn to read on a base made dark meanwhile";

  window_->ShowModules->trigger();
  EXPECT_FALSE(window_->ModuleList->isVisible());
  window_->ShowModules->trigger();
  window_->OnlyProblems->trigger();
  Construct();
  EXPECT_TRUE(window_->ShowModules->isChecked()) << "kept across runs";
  EXPECT_TRUE(window_->ModuleList->isVisible());
  EXPECT_FALSE(window_->OnlyProblems->isChecked()) << "every start shows the whole tree";
}

// The pane follows the selection from file to file, and into an inspected
// library, with the closure made when the file was opened.
TEST_F(ModulesPaneTest, HeaderClicksSortAndActivatingAModuleSelectsItsFirstTreeRow) {
  window_->ShowModules->trigger();
  window_->OpenList({Path("app/app.exe"), Path("other/ships.exe")});
  Tree()->setCurrentIndex(TreeRow(Path("app/app.exe")));
  Tree()->setCurrentIndex(TreeRow("a.dll"));
  window_->PopupInspectClick();
  Tree()->setCurrentIndex(TreeRow("b.dll"));
  ASSERT_EQ(SelectedInTree(), "b.dll") << "the row of a.dll's b.dll import";
  ASSERT_EQ(Pane()->rowCount(), 9);

  QHeaderView* header = window_->ModuleList->horizontalHeader();
  const auto clickHeader = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                             header->height() / 2));
  };
  const auto column = [&](int shown) { return testing::ChildTexts(*Pane(), {}, shown); };
  clickHeader(ModulesModel::kProblems);
  EXPECT_EQ(Lines(column(ModulesModel::kProblems)), Lines({"0", "0", "0", "0", "1", "1", "1", "2", "3"}));
  clickHeader(ModulesModel::kModule);
  EXPECT_EQ(Lines(column(ModulesModel::kModule).mid(0, 3)), Lines({"a.dll", "api-ms-win-test-l1-1-0.dll", "app.exe"}));

  QWidget* rows = window_->ModuleList->viewport();
  const struct {
    QString module;
    bool enter;
    QString selected;  // in the tree afterwards
  } cases[] = {
      {"missing.dll", false, "b.dll"},  // no row: the selection stays
      {"fwd.dll", false, "fwd.dll"},
      {"b.dll", true, "b.dll"},  // a.dll's import: a delay-loaded library has no row
      {"app.exe", true, Path("app/app.exe")},
      {"late.dll", false, Path("app/app.exe")},
      {"gone.dll", true, Path("app/app.exe")},
  };
  for (const auto& c : cases) {
    const QModelIndex module = PaneRow(c.module);
    if (c.enter) {
      window_->ModuleList->setCurrentIndex(module);
      QTest::keyClick(window_->ModuleList, Qt::Key_Return);
    } else {
      QTest::mouseClick(rows, Qt::LeftButton, {}, PanePoint(module));
      QTest::mouseDClick(rows, Qt::LeftButton, {}, PanePoint(module));
    }
    EXPECT_EQ(SelectedInTree(), c.selected.toStdString()) << c.module.toStdString();
    EXPECT_TRUE(Tree()->isExpanded(Tree()->currentIndex().parent()) || !Tree()->currentIndex().parent().isValid());
    EXPECT_EQ(Pane()->rowCount(), 9) << "still app.exe's closure";
  }
  Tree()->setCurrentIndex(TreeRow("shipped.dll"));
  EXPECT_EQ(Pane()->rowCount(), 2);
}

TEST_F(ModulesPaneTest, CopyWithThePaneFocusedTakesTheSelectedRowsTabSeparatedUnderAHeader) {
  window_->ShowModules->trigger();
  window_->OpenList({Path("other/ships.exe")});
  window_->ModuleList->setFocus();
  QTest::keyClick(window_->ModuleList, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(window_->ModuleList, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "Module\tFile\tMachine\tFile Version\tFound In\tJoined As\tNeeded By\tProblems\n"
            "ships.exe\t" + Path("other/ships.exe") + "\tx86-64\t\t\t\t\t0\n"
            "shipped.dll\tnot found\t\t\t\tload-time import\tships.exe\t1\n");
  Tree()->setFocus();
  Tree()->setCurrentIndex(TreeRow("shipped.dll"));
  QTest::keyClick(Tree(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "shipped.dll") << "the tree's row again";
}

TEST_F(ModulesPaneTest, OnlyProblemsShowsTheMarkedRowsAndThoseAboveThemAndGivesTheWholeTreeBack) {
  const QString clean = QString::fromStdString(
      dir_.Write("app/clean.exe", PeWriter(Layout::Pe32Plus).Import("host.dll", {ByName("H")}).Build().bytes));
  window_->OpenList({clean, Path("app/app.exe")});
  const QAbstractItemModelTester tester(window_->TreeModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  const QStringList status = {window_->StatusPanels[0]->text(), window_->StatusPanels[2]->text()};
  Tree()->expand(TreeRow("Stats"));
  Tree()->collapse(TreeRow(clean));
  Tree()->setCurrentIndex(TreeRow("Image Base"));
  const QStringList whole = TreeRows();
  const QStringList expanded = TreeRows({}, {}, true);

  window_->OnlyProblems->trigger();
  const QString app = Path("app/app.exe");
  const QString ordinal = QStringLiteral("%1 (ordinal)").arg(7, 6), ordinal7 = "    " + ordinal;
  EXPECT_EQ(Lines(TreeRows()), Lines({app, "  a.dll", ordinal7, "    Nope", "  fwd.dll", "    F2", "    F3", "    F4",
                                     clean}));
  EXPECT_EQ(Marked(TreeRow(clean)), "none: Nothing is missing");
  EXPECT_EQ(Marked(TreeRow("F2")), "problem: Forwarded in a cycle through fwd.F2");
  EXPECT_EQ(SelectedInTree(), app.toStdString()) << "the nearest row shown above the one selected";
  QTest::keyClick(Tree(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), app + "\n├── a.dll\n│   ├── " + ordinal +
                                                      "\n│   └── Nope\n└── fwd.dll\n    ├── F2\n    ├── F3\n    └── F4\n");
  EXPECT_EQ(Lines(TreeRows({}, {}, true)), Lines({app, "  a.dll", "  fwd.dll"}));
  EXPECT_EQ(QStringList({window_->StatusPanels[0]->text(), window_->StatusPanels[2]->text()}), status);

  // Find and inspection go on in what is shown.
  QTest::keyClick(Tree(), Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(window_->FindText, "f3");
  QTest::keyClick(window_->FindText, Qt::Key_Return);
  EXPECT_EQ(SelectedInTree(), "F3");
  window_->FindText->clear();
  QTest::keyClicks(window_->FindText, "A1");
  QTest::keyClick(window_->FindText, Qt::Key_Return);
  EXPECT_TRUE(window_->FindResult->isVisible()) << "A1 under a.dll is not shown";
  QTest::keyClick(window_->FindText, Qt::Key_Escape);
  Tree()->setCurrentIndex(TreeRow("a.dll"));
  window_->PopupInspectClick();
  const QString inspected = "a.dll (" + Path("app/") + ")";
  EXPECT_EQ(Lines(TreeRows().mid(1, 5)), Lines({"  " + inspected, "    b.dll", ordinal7, "    Nope", "  fwd.dll"}));
  EXPECT_EQ(Marked(TreeRow("b.dll")), "warning: Needs missing.dll, which is not found");

  window_->OnlyProblems->trigger();
  EXPECT_EQ(SelectedInTree(), inspected.toStdString()) << "chosen while filtered";
  Tree()->setCurrentIndex(TreeRow("Image Base"));
  window_->OnlyProblems->trigger();
  window_->OnlyProblems->trigger();
  EXPECT_EQ(SelectedInTree().rfind("Image Base", 0), 0u);
  EXPECT_GT(TreeRows().size(), whole.size());
  EXPECT_EQ(Lines(TreeRows({}, {}, true)), Lines({app, "  Stats", "  " + inspected}))
      << "as they were, with the inspected library's";
}

}  // namespace
}  // namespace corvane
