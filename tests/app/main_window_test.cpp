// The main window as a user drives it, offscreen, with the message box, the
// Open dialog and the printer replaced by ports that record what they get.

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "Aboutboxform.h"
#include "Mainform.h"
#include "command_line.h"
#include "node_kinds.h"
#include "pe_writer.h"
#include "temp_files.h"
#include "tree_nodes_model.h"

namespace corvane {
namespace {

using testing::ByName;
using testing::Layout;
using testing::PeWriter;
using testing::TempDir;

struct Box {
  QString caption;
  QString text;
  std::uint32_t style;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : startDirectory_(std::filesystem::current_path()) {
    MainWindowPorts ports;
    ports.messageBox = [this](QWidget*, const QString& caption, const QString& text, std::uint32_t style) {
      boxes_.push_back({caption, text, style});
      return 1;
    };
    ports.runOpenDialog = [this](QFileDialog& dialog) {
      if (chosenFile_.isEmpty()) return false;
      dialog.selectFile(chosenFile_);
      return true;
    };
    ports.makePrinter = [this] {
      auto printer = std::make_unique<QPrinter>();
      printer->setOutputFormat(QPrinter::PdfFormat);
      printer->setOutputFileName(printFile_);
      return printer;
    };
    window_ = std::make_unique<TMain>(nullptr, std::move(ports));
    tester_ = std::make_unique<QAbstractItemModelTester>(window_->TreeModel(),
                                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
  }
  ~MainWindowTest() override { std::filesystem::current_path(startDirectory_); }

  QString Write(const std::string& name, const testing::BuiltImage& image) {
    return QString::fromStdString(dir_.Write(name, image.bytes));
  }
  QStringList Panels() const {
    QStringList texts;
    for (const QLabel* panel : window_->StatusPanels) texts << panel->text();
    return texts;
  }
  QStringList TopRows() const {
    QStringList rows;
    const QAbstractItemModel* model = window_->InfoTree->model();
    for (int row = 0; row < model->rowCount(); ++row) rows << model->index(row, 0).data().toString();
    return rows;
  }

  TempDir dir_;
  std::vector<Box> boxes_;
  QString chosenFile_;
  QString printFile_;
  std::unique_ptr<TMain> window_;
  std::unique_ptr<QAbstractItemModelTester> tester_;

 private:
  std::filesystem::path startDirectory_;
};

TEST_F(MainWindowTest, StartsEmptyWithItsDesignedMenusPanelsAndGeometry) {
  EXPECT_EQ(window_->windowTitle(), "Corvane");
  EXPECT_EQ(window_->geometry().topLeft(), QPoint(659, 111));
  EXPECT_EQ(window_->width(), 319);
  EXPECT_EQ(window_->height() - window_->MainMenu->sizeHint().height(), 414);
  EXPECT_EQ(TopRows(), QStringList());
  EXPECT_EQ(Panels(), QStringList({"", "", "", ""}));

  QStringList fileItems;
  for (const QAction* action : window_->File->actions()) fileItems << action->text();
  EXPECT_EQ(fileItems, QStringList({"&Open", "&Close", "&Print", "", "Exit"}));
  EXPECT_TRUE(window_->N1->isSeparator());
  EXPECT_EQ(window_->Open->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_EQ(window_->About->text(), "&About Me");
  EXPECT_EQ(window_->About->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(window_->PopupInspect->text(), "&Inspect Library");
  EXPECT_FALSE(window_->PopupInspect->isEnabled());
  EXPECT_EQ(window_->PopupPrint->text(), "&Print");

  const int widths[] = {100, 100, 100, 50};
  for (int panel = 0; panel < 4; ++panel) EXPECT_EQ(window_->StatusPanels[panel]->width(), widths[panel]);
  EXPECT_EQ(window_->StatusBar->toolTip(), "Here are showed the totals about opened files");
  EXPECT_EQ(window_->InfoTree->indentation(), 19);
  EXPECT_EQ(window_->InfoTree->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(window_->TreeIcons.size(), kNodeIconCount);
}

TEST_F(MainWindowTest, TheOpenDialogOffersTheExecutableKindsAndMatchesAnyLetterCase) {
  const QStringList filters = window_->OpenFileDlg->nameFilters();
  ASSERT_EQ(filters.size(), 5);
  EXPECT_EQ(filters[0], "All Executables (*.exe *.dll *.bpl *.ocx *.scr *.cpl *.acm *.ax *.drv *.sys *.vxd)");
  EXPECT_EQ(filters[4], "All Files (*)");
  EXPECT_EQ(window_->OpenFileDlg->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(window_->OpenFileDlg->defaultSuffix(), "exe");
  EXPECT_FALSE(window_->OpenFileDlg->filter() & QDir::CaseSensitive);
}

TEST_F(MainWindowTest, OpenShowsTheChosenFileAndMakesItsFolderCurrent) {
  chosenFile_ = Write("dir/App.EXE", PeWriter(Layout::Pe32).SizeOfCode(2048).SizeOfInitializedData(1024).Build());
  window_->OpenClick();

  EXPECT_EQ(TopRows(), QStringList({chosenFile_}));
  EXPECT_TRUE(window_->InfoTree->isExpanded(window_->InfoTree->model()->index(0, 0)));
  EXPECT_EQ(Panels(), QStringList({"Code: 2 Kb", "Data: 1 Kb", "Total: 3 Kb", ""}));
  EXPECT_EQ(window_->Core().FileFolder(), dir_.Path() + "/dir/");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir_.Path() + "/dir"));
  EXPECT_TRUE(window_->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainWindowTest, CancellingOpenChangesNothing) {
  const QString shown = Write("a.dll", PeWriter(Layout::Pe32).Build());
  window_->OpenList({shown});
  const std::filesystem::path before = std::filesystem::current_path();
  const QStringList panels = Panels();

  chosenFile_.clear();
  window_->OpenClick();

  EXPECT_EQ(TopRows(), QStringList({shown}));
  EXPECT_EQ(Panels(), panels);
  EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST_F(MainWindowTest, EachFailureIsOneErrorBoxCaptionedWithTheApplicationTitle) {
  const QString missing = QString::fromStdString(dir_.Path() + "/missing.dll");
  const QString good = Write("good.dll", PeWriter(Layout::Pe32).Build());
  window_->OpenList({missing, good, QString::fromStdString(dir_.Path())});

  ASSERT_EQ(boxes_.size(), 2u);
  for (const Box& box : boxes_) {
    EXPECT_EQ(box.caption, "Corvane");
    EXPECT_EQ(box.text, "File not found.");
    EXPECT_EQ(box.style, 16u);
  }
  EXPECT_EQ(TopRows(), QStringList({good}));
  EXPECT_EQ(window_->Core().FileFolder(), dir_.Path() + "/") << "the first entry's folder, although it failed";
}

TEST_F(MainWindowTest, CloseEmptiesTreeAndTotalsButKeepsTheFileFolder) {
  window_->OpenList({Write("sub/a.dll", PeWriter(Layout::Pe32).Build())});
  window_->CloseClick();
  EXPECT_EQ(TopRows(), QStringList());
  EXPECT_EQ(Panels(), QStringList({"", "", "", ""}));
  EXPECT_EQ(window_->Core().FileFolder(), dir_.Path() + "/sub/");
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir_.Path() + "/sub"));
}

TEST_F(MainWindowTest, TheViewHearsOfABuildOnlyWhenItEnds) {
  std::vector<testing::ImportEntry> functions;
  for (int i = 0; i < 300; ++i) functions.push_back(ByName("Function" + std::to_string(i)));
  PeWriter writer(Layout::Pe32);
  for (int i = 0; i < 300; ++i) writer.Export("Export" + std::to_string(i), static_cast<std::uint16_t>(i));
  const QString file = Write("big.dll", writer.Import("lib.dll", functions).Build());
  window_->show();

  QSignalSpy inserted(window_->TreeModel(), &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(window_->TreeModel(), &QAbstractItemModel::modelReset);
  int pumpsWhileDisabled = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { pumpsWhileDisabled += window_->isEnabled() ? 0 : 1; });
  probe.start(0);
  window_->OpenList({file});

  EXPECT_EQ(inserted.count(), 0);
  EXPECT_GE(reset.count(), 1);
  EXPECT_GT(pumpsWhileDisabled, 0) << "the event loop runs during the build, with the window disabled";
  EXPECT_TRUE(window_->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(TopRows(), QStringList({file}));
}

TEST_F(MainWindowTest, PrintsAnImageOfTheWindowWithoutADialog) {
  window_->OpenList({Write("a.dll", PeWriter(Layout::Pe32).Build())});
  printFile_ = QString::fromStdString(dir_.Path() + "/window.pdf");
  window_->PrintDlgClick();

  EXPECT_TRUE(boxes_.empty());
  QFile pdf(printFile_);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
  EXPECT_GT(pdf.size(), 1000);
}

TEST_F(MainWindowTest, PrintingWithoutAPrinterSaysSo) {
  printFile_.clear();  // a PDF printer without a file, as Qt falls back to when no printer exists
  window_->PrintDlgClick();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Unable to print: no printer is available.");
  EXPECT_EQ(boxes_[0].caption, "Corvane");
}

TEST_F(MainWindowTest, ALongInspectedNodeIsReadWholeByScrollingSideways) {
  PeWriter writer(Layout::Pe32);
  for (int i = 0; i < 1100; ++i) writer.Export("Export" + std::to_string(i), static_cast<std::uint16_t>(i));
  const std::string folder = "a folder whose name runs far past the window's right edge/";
  const QString app = Write(folder + "app.exe", writer.Import("library.dll", {ByName("f")}).Build());
  Write(folder + "library.dll", PeWriter(Layout::Pe32).Build());
  window_->OpenList({app});
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTreeView* tree = window_->InfoTree;
  const QModelIndex root = tree->model()->index(0, 0);
  tree->setCurrentIndex(tree->model()->index(2, 0, root));
  window_->PopupInspectClick();
  const QModelIndex library = tree->currentIndex();
  ASSERT_EQ(library.data().toString(), "library.dll (" + QFileInfo(app).absolutePath() + "/)");
  // The exports push the library's row beyond the rows the column is sized
  // to while the tree shows its top; it is scrolled to from there.
  tree->expand(tree->model()->index(1, 0, root));
  QCoreApplication::processEvents();
  tree->scrollTo(library);
  QCoreApplication::processEvents();

  QScrollBar* bar = tree->horizontalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  bar->setValue(bar->maximum());
  const QRect row = tree->visualRect(library);
  EXPECT_GE(row.width(), tree->sizeHintForIndex(library).width()) << "not cut short";
  EXPECT_LE(row.right(), tree->viewport()->rect().right());
}

// The tree's context menu and "Inspect Library", with the sample program
// open and the mouse pointer placed over rows as a user would.
class ContextMenuTest : public MainWindowTest {
 protected:
  ContextMenuTest() {
    window_->OpenList({QStringLiteral(CORVANE_SAMPLE_EXE)});
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  ~ContextMenuTest() override { window_->TreeMenu->close(); }

  QModelIndex Row(const QString& text) const {
    const QAbstractItemModel* model = window_->InfoTree->model();
    const QModelIndex root = model->index(0, 0);
    for (int row = 0; row < model->rowCount(root); ++row) {
      if (model->index(row, 0, root).data().toString() == text) return model->index(row, 0, root);
    }
    return {};
  }
  // Moves the mouse pointer over `index` (over its text, or at `x` when
  // given), or below every row for an invalid one, and returns the point in
  // viewport coordinates.
  QPoint PointAt(const QModelIndex& index, int x = -1) const {
    QWidget* viewport = window_->InfoTree->viewport();
    QPoint point = index.isValid() ? window_->InfoTree->visualRect(index).center() : QPoint(5, viewport->height() - 5);
    if (x >= 0) point.setX(x);
    QCursor::setPos(viewport->mapToGlobal(point));
    return point;
  }
  void RightClick(const QModelIndex& index, int x = -1) {
    const QPoint point = PointAt(index, x);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, window_->InfoTree->viewport()->mapToGlobal(point));
    QApplication::sendEvent(window_->InfoTree->viewport(), &event);
  }
  QString Selected() const {
    const QModelIndexList selected = window_->InfoTree->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.front().data().toString();
  }
};

TEST_F(ContextMenuTest, ARightClickSelectsTheNodeUnderThePointerAndEnablesInspectOnlyForALibrary) {
  RightClick(Row("greeter.dll"));
  EXPECT_EQ(Selected(), "greeter.dll");
  EXPECT_TRUE(window_->PopupInspect->isEnabled());
  EXPECT_TRUE(window_->TreeMenu->isVisible());
  window_->TreeMenu->close();

  RightClick(Row("Stats"), window_->InfoTree->viewport()->width() - 2);
  EXPECT_EQ(Selected(), "Stats") << "a row takes clicks across the whole view";
  EXPECT_FALSE(window_->PopupInspect->isEnabled());
  window_->TreeMenu->close();

  RightClick(QModelIndex());
  EXPECT_EQ(Selected(), QString()) << "empty space clears the selection";
  EXPECT_FALSE(window_->PopupInspect->isEnabled());
}

TEST_F(ContextMenuTest, TheContextMenuKeyActsOnTheSelectedNodeWhereverThePointerIs) {
  window_->InfoTree->setCurrentIndex(Row("greeter.dll"));
  PointAt(Row("Stats"));
  QTest::keyClick(window_->InfoTree, Qt::Key_Menu);
  EXPECT_EQ(Selected(), "greeter.dll");
  EXPECT_TRUE(window_->PopupInspect->isEnabled());
  EXPECT_FALSE(window_->Core().KeyPopup()) << "the menu's opening consumed it";
}

TEST_F(ContextMenuTest, TypingABracketLeavesTheNextRightClickOnTheNodeUnderThePointer) {
  window_->InfoTree->setCurrentIndex(Row("greeter.dll"));
  QTest::keyClick(window_->InfoTree, ']');  // Qt's code for it is the context-menu key's virtual-key code
  RightClick(QModelIndex());
  EXPECT_EQ(Selected(), QString());
  EXPECT_FALSE(window_->PopupInspect->isEnabled());
}

TEST_F(ContextMenuTest, ShiftF10ActsOnTheNodeUnderThePointerLikeTheMouse) {
  window_->InfoTree->setCurrentIndex(Row("greeter.dll"));
  PointAt(Row("Stats"));
  QTest::keyClick(window_->InfoTree, Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(Selected(), "Stats");
  EXPECT_FALSE(window_->PopupInspect->isEnabled());
}

TEST_F(ContextMenuTest, InspectingBuildsTheSubtreeAndKeepsTheNodeSelected) {
  RightClick(Row("greeter.dll"));
  window_->TreeMenu->close();
  const QStringList before = Panels();
  window_->PopupInspect->trigger();

  const QString folder = QFileInfo(QStringLiteral(CORVANE_SAMPLE_DLL)).absolutePath() + "/";
  EXPECT_EQ(Selected(), "greeter.dll (" + folder + ")");
  const QModelIndex library = window_->InfoTree->selectionModel()->selectedIndexes().front();
  EXPECT_TRUE(window_->InfoTree->isExpanded(library));
  EXPECT_EQ(library.model()->index(0, 0, library).data().toString(), "Stats");
  EXPECT_NE(Panels(), before) << "the library's sizes were added to the totals";
  EXPECT_TRUE(boxes_.empty());
}

TEST(MainWindowStart, OpensTheCommandLinesFilesBeforeTheWindowFirstShows) {
  const TempDir dir;
  const std::vector<std::uint8_t> image = PeWriter(Layout::Pe32).Build().bytes;
  const std::string first = dir.Write("first dir/a.dll", image);
  const std::string missing = dir.Path() + "/missing.dll";
  // Quotes, spaces, commas and non-ASCII letters are all part of one name.
  const std::string quoted = dir.Write("say \"hi\", b.dll", image);
  const std::string last = dir.Write("gr\xC3\xBC\xC3\x9F" "e.dll", image);
  const std::vector<const char*> argv = {"/usr/bin/corvane", first.c_str(), missing.c_str(), quoted.c_str(),
                                         "", last.c_str()};
  SetCommandLineFromArguments(static_cast<int>(argv.size()), argv.data());
  const std::filesystem::path startDirectory = std::filesystem::current_path();

  std::vector<bool> shownAtBox;
  TMain* constructed = nullptr;
  MainWindowPorts ports;
  ports.messageBox = [&](QWidget* parent, const QString&, const QString&, std::uint32_t) {
    shownAtBox.push_back(parent->isVisible());
    constructed = static_cast<TMain*>(parent);
    return 1;
  };
  TMain window(nullptr, std::move(ports));
  SetCommandLineFromArguments(0, nullptr);
  std::filesystem::current_path(startDirectory);

  EXPECT_EQ(shownAtBox, std::vector<bool>({false}));
  EXPECT_EQ(constructed, &window);
  QStringList rows;
  for (int row = 0; row < window.InfoTree->model()->rowCount(); ++row) {
    rows.append(window.InfoTree->model()->index(row, 0).data().toString());
  }
  EXPECT_EQ(rows, QStringList({QString::fromStdString(last), QString::fromStdString(quoted),
                               QString::fromStdString(first)}));
  EXPECT_EQ(window.Core().FileFolder(), dir.Path() + "/first dir/");
}

TEST_F(MainWindowTest, AboutShowsTheAboutBoxModally) {
  QString caption;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    caption = box->windowTitle();
    box->close();
  });
  window_->AboutClick();
  EXPECT_EQ(caption, "About Me");
}

}  // namespace
}  // namespace corvane
