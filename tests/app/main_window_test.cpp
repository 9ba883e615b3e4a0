// The main window as a user drives it, offscreen, with the message box and
// the Open dialog replaced by ports that record what they get;
// files reach it through argv, the menus, keys and drops.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "Mainform.h"
#include "command_line.h"
#include "drag_simulation.h"
#include "pe_writer.h"
#include "startup_arguments.h"
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
  std::string file;  // the file being processed when the box came up
  bool windowShown;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : startDirectory_(std::filesystem::current_path()) { Construct(); }
  ~MainWindowTest() override {
    window_.reset();
    std::filesystem::current_path(startDirectory_);
  }

  void Construct() {
    MainWindowPorts ports;
    ports.messageBox = [this](QWidget* parent, const QString& caption, const QString& text, std::uint32_t style) {
      auto* window = qobject_cast<TMain*>(parent);
      boxes_.push_back({caption, text, style, window->Core().FileInProcess(), window->isVisible()});
      if (onBox_) onBox_();
      return 1;
    };
    ports.runOpenDialog = [this](QFileDialog& dialog) {
      dialog.selectFile(chosenFile_);
      return !chosenFile_.isEmpty();
    };
    ports.makePrinter = [this]() -> std::unique_ptr<QPrinter> {
      if (printerFile_.isEmpty()) return nullptr;
      auto printer = std::make_unique<QPrinter>();
      printer->setOutputFileName(printerFile_);
      return printer;
    };
    window_ = std::make_unique<TMain>(nullptr, std::move(ports));
  }
  QString Write(const std::string& name, const testing::BuiltImage& image = PeWriter(Layout::Pe32).Build()) {
    return QString::fromStdString(dir_.Write(name, image.bytes));
  }
  QString WriteText(const std::string& name) {
    return QString::fromStdString(dir_.Write(name, std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'P', 'E'}));
  }
  QString WriteWithExports(const std::string& name, int exports, PeWriter writer = PeWriter(Layout::Pe32)) {
    for (int i = 0; i < exports; ++i) writer.Export("Export" + std::to_string(i), static_cast<std::uint16_t>(i));
    return Write(name, writer.Build());
  }
  QStringList TopRows() const {
    QStringList rows;
    const QAbstractItemModel* model = window_->InfoTree->model();
    for (int row = 0; row < model->rowCount(); ++row) rows << model->index(row, 0).data().toString();
    return rows;
  }
  bool Drop(const QStringList& files) {
    const std::unique_ptr<QMimeData> data(testing::LocalFileData(files));
    return testing::DragAndDrop(*window_, *data).dropped;
  }
  // The deadline only keeps a broken delivery from hanging the run.
  static void RunEventLoopUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10'000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  TempDir dir_;
  std::vector<Box> boxes_;
  std::function<void()> onBox_;
  QString chosenFile_;
  QString printerFile_;  // none: no printer
  std::unique_ptr<TMain> window_;

 private:
  std::filesystem::path startDirectory_;
};

TEST_F(MainWindowTest, HasItsDesignedTitleGeometryMenusPanelsAndOpenDialog) {
  EXPECT_EQ(window_->windowTitle(), "Corvane");
  EXPECT_EQ(window_->geometry(), QRect(659, 111, 319, 414 + window_->MainMenu->sizeHint().height()));

  QStringList menus;
  QList<const QMenu*> inOrder;
  for (const QAction* bar : window_->MainMenu->actions()) inOrder << bar->menu();
  for (const QMenu* menu : inOrder << window_->TreeMenu) {
    menus << menu->title();
    for (const QAction* action : menu->actions()) menus << action->text() + "|" + action->shortcut().toString();
  }
  EXPECT_EQ(menus, QStringList({"&File", "&Open|F3", "&Close|", "&Print|", "|", "Exit|", "&Edit", "&Copy|Ctrl+C",
                                "Copy &Subtree|Ctrl+Shift+C", "&Find...|Ctrl+F", "&Help", "&About Me|F1", "",
                                "&Inspect Library|", "&Print|"}));
  EXPECT_TRUE(window_->N1->isSeparator());

  const int widths[] = {100, 100, 100, 50};
  for (int panel = 0; panel < 4; ++panel) EXPECT_EQ(window_->StatusPanels[panel]->width(), widths[panel]);
  EXPECT_EQ(window_->StatusBar->toolTip(), "Here are showed the totals about opened files");
  EXPECT_EQ(window_->InfoTree->indentation(), 19);
  EXPECT_EQ(window_->InfoTree->editTriggers(), QAbstractItemView::NoEditTriggers);

  const QStringList filters = window_->OpenFileDlg->nameFilters();
  ASSERT_EQ(filters.size(), 5);
  EXPECT_EQ(filters[0], "All Executables (*.exe *.dll *.bpl *.ocx *.scr *.cpl *.acm *.ax *.drv *.sys *.vxd)");
  EXPECT_EQ(filters[4], "All Files (*)");
  EXPECT_EQ(window_->OpenFileDlg->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(window_->OpenFileDlg->defaultSuffix(), "exe");
  EXPECT_FALSE(window_->OpenFileDlg->filter() & QDir::CaseSensitive) << "App.EXE is an executable too";
}

// What a file needs and cannot get is marked on its rows, and on its root
// for everything below; the marks go with their nodes.
TEST_F(MainWindowTest, MissingLibrariesAndFunctionsAreMarkedUpToTheRootInReadableColours) {
  Write("a.dll", PeWriter(Layout::Pe32).Export("A1", 0).Import("deep.dll", {ByName("D")}).Build());
  const QString clean = Write("clean.exe", PeWriter(Layout::Pe32).Import("a.dll", {ByName("A1")}).Build());
  window_->OpenList({Write("app.exe", PeWriter(Layout::Pe32)
                                           .Import("a.dll", {ByName("A1"), ByName("Nope")})
                                           .Import("gone.dll", {ByName("G")})
                                           .Build())});
  const QColor base = window_->InfoTree->palette().color(QPalette::Base);
  const auto marks = [&](const QModelIndex& index) {
    const QVariant colour = index.data(Qt::ForegroundRole);
    const QString severity = !colour.isValid()                              ? "none"
                             : colour.value<QColor>() == MarkColour(2, base) ? "problem"
                             : colour.value<QColor>() == MarkColour(1, base) ? "warning"
                                                                            : "other";
    return severity + ": " + index.data(Qt::ToolTipRole).toString();
  };
  const QModelIndex root = window_->InfoTree->model()->index(0, 0);
  const QModelIndex a = root.model()->index(1, 0, root);
  EXPECT_EQ(marks(root), "problem: Needs gone.dll, which is not found (and 2 more)");
  EXPECT_EQ(marks(a), "warning: Does not export Nope");
  EXPECT_EQ(marks(a.model()->index(0, 0, a)), "none: ");
  EXPECT_EQ(marks(a.model()->index(1, 0, a)), "problem: Not exported by a.dll");
  EXPECT_EQ(marks(root.model()->index(2, 0, root)), "problem: Not found");
  EXPECT_EQ(marks(root.model()->index(0, 0, root)), "none: ") << "Stats";

  window_->CloseClick();
  window_->OpenList({clean});
  QModelIndex top = window_->InfoTree->model()->index(0, 0);
  EXPECT_EQ(marks(top), "warning: Needs deep.dll, which is not found") << "a mark deep down, none of the last";
  window_->InfoTree->setCurrentIndex(top.model()->index(1, 0, top));
  window_->PopupInspectClick();
  const QModelIndex inspected = window_->InfoTree->currentIndex();
  EXPECT_EQ(marks(inspected), "warning: Needs deep.dll, which is not found");
  EXPECT_EQ(marks(inspected.model()->index(2, 0, inspected)), "problem: Not found") << "deep.dll under a.dll";

  window_->OpenList({Write("plain.exe", PeWriter(Layout::Pe32).Build())});
  top = window_->InfoTree->model()->index(0, 0);
  EXPECT_EQ(marks(top), "none: ") << "a node made in a marked one's place";
  EXPECT_NEAR(ContrastRatio(Qt::white, Qt::black), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
  for (const QColor& view : {QColor(Qt::white), QColor(0xF0, 0xF0, 0xF0), QColor(0x2A, 0x2A, 0x2A), QColor(Qt::black)}) {
    for (const int mark : {1, 2}) EXPECT_GE(ContrastRatio(MarkColour(mark, view), view), 4.5) << view.name().toStdString() << " " << mark;
  }
}

// The program comes through the Open command.
TEST_F(MainWindowTest, ALongInspectedNodeIsReadWholeByScrollingSideways) {
  const std::string folder = "a folder whose name runs far past the window's right edge/";
  PeWriter writer(Layout::Pe32);
  const QString app = WriteWithExports(folder + "app.exe", 1100, writer.Import("library.dll", {ByName("f")}));
  Write(folder + "library.dll", PeWriter(Layout::Pe32).SizeOfCode(4096).Build());
  chosenFile_ = app;
  window_->OpenClick();
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTreeView* tree = window_->InfoTree;
  const QModelIndex root = tree->model()->index(0, 0);
  tree->setCurrentIndex(tree->model()->index(2, 0, root));
  window_->PopupInspectClick();
  const QModelIndex library = tree->currentIndex();
  ASSERT_EQ(library.data().toString(), "library.dll (" + QFileInfo(app).absolutePath() + "/)");
  EXPECT_TRUE(tree->isExpanded(library));
  // The exports push the library's row beyond the rows the column is sized
  // to while the tree shows its top; it is scrolled to from there.
  tree->expand(tree->model()->index(1, 0, root));
  QCoreApplication::processEvents();
  tree->scrollTo(library);
  QCoreApplication::processEvents();

  tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->maximum());
  const QRect row = tree->visualRect(library);
  EXPECT_GE(row.width(), tree->sizeHintForIndex(library).width()) << "not cut short";
  EXPECT_LE(row.right(), tree->viewport()->rect().right());
}

// A failing file is one error box and no node; the rest still open. Closing
// keeps the folder.
TEST_F(MainWindowTest, ArgvItemsAreOpenedWholeBeforeTheWindowFirstShows) {
  const std::string missing = dir_.Path() + "/first dir/missing.dll";
  // Quotes, spaces, commas and non-ASCII letters are all part of one name.
  const std::string quoted = Write("say \"hi\", b.dll").toStdString();
  const std::string last = Write("gr\xC3\xBC\xC3\x9F" "e.dll").toStdString();
  const std::vector<const char*> argv = {"/usr/bin/corvane", missing.c_str(), quoted.c_str(), "", last.c_str()};
  SetCommandLineFromArguments(static_cast<int>(argv.size()), argv.data());
  Construct();
  SetCommandLineFromArguments(0, nullptr);

  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Corvane");
  EXPECT_EQ(boxes_[0].text, "File not found.");
  EXPECT_EQ(boxes_[0].style, 16u);
  EXPECT_EQ(boxes_[0].file, missing);
  EXPECT_FALSE(boxes_[0].windowShown);
  EXPECT_EQ(TopRows(), QStringList({QString::fromStdString(last), QString::fromStdString(quoted)}));
  window_->CloseClick();
  EXPECT_EQ(TopRows(), QStringList());
  EXPECT_EQ(window_->Core().FileFolder(), dir_.Path() + "/first dir/") << "the first item's folder, although it failed";
}

// "--" ends the options: every argument after it opens as a file, also one
// named like the program's own option or like Qt's (which Qt never gets to
// see), and a second "--". What stands before the first "--" is Qt's to
// take; a plain name there is a file too.
TEST_F(MainWindowTest, ArgumentsAfterDoubleHyphenOpenAsFilesWhateverTheirNames) {
  for (const char* name : {"before.dll", "--help", "-style", "--"}) Write(name);
  std::filesystem::current_path(dir_.Path());
  std::vector<std::string> given = {"/usr/bin/corvane", "before.dll", "--", "--help", "-style", "--"};
  std::vector<char*> argv;
  for (std::string& argument : given) argv.push_back(argument.data());
  StartupArguments arguments(static_cast<int>(argv.size()), argv.data());
  ASSERT_FALSE(arguments.Answer()) << "--help after -- asks for no help";
  EXPECT_EQ(arguments.QtArgc(), 2) << "Qt sees the program and the name before --";
  arguments.SetCommandLine();
  Construct();
  SetCommandLineFromArguments(0, nullptr);

  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(TopRows(), QStringList({"--", "-style", "--help", "before.dll"}));
}

// Sits in front of the window's message procedure and notes, whenever
// dropped files arrive, whether a subtree is being built meanwhile.
struct DeliveryProbe {
  TMain* window;
  TWndMethod next;
  std::vector<bool> buildingAtDelivery;

  void Handle(TMessage& message) {
    if (message.Msg == WM_DROPFILES) buildingAtDelivery.push_back(window->Core().Busy() && !window->isEnabled());
    next(message);
  }
};

TEST_F(MainWindowTest, DroppedFilesReplaceWhatIsShownInTheFileManagersOrderOnceABuildEnds) {
  window_->show();
  const QString big = WriteWithExports("big.dll", 300);
  const QStringList files = {WriteText("one/c.txt"), Write("two/b c.dll", PeWriter(Layout::Pe32Plus).Build()),
                             WriteText("three/a.txt")};
  TWinControl& control = *window_->MsgInterceptor->Control();
  DeliveryProbe probe{window_.get(), control.WindowProc(), {}};
  control.SetWindowProc(TWndMethod::Bind<&DeliveryProbe::Handle>(&probe));
  QSignalSpy inserted(window_->TreeModel(), &QAbstractItemModel::rowsInserted);

  // The drop is taken now and delivered from the event loop, which next
  // runs inside the build's message pump.
  ASSERT_TRUE(Drop(files));
  window_->OpenList({big});

  EXPECT_EQ(probe.buildingAtDelivery, std::vector<bool>{true}) << "delivered during the build, window disabled";
  EXPECT_EQ(inserted.count(), 0) << "the view hears of the build only when it ends";
  EXPECT_EQ(TopRows(), QStringList{big}) << "the build finished on a tree nobody else touched";
  EXPECT_TRUE(window_->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  RunEventLoopUntil([&] { return boxes_.size() == 2; });
  control.SetWindowProc(probe.next);

  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(QString::fromStdString(boxes_[0].file), files[0]);
  EXPECT_EQ(QString::fromStdString(boxes_[1].file), files[2]);
  EXPECT_EQ(boxes_[0].text, "Invalid file format (not a Portable Executable file).");
  EXPECT_EQ(TopRows(), QStringList{files[1]});
  EXPECT_EQ(window_->Core().FileFolder(), dir_.Path() + "/one/") << "the first dropped file's folder";
  EXPECT_TRUE(window_->ShellFile->Accepting()) << "drops stay accepted";
}

TEST_F(MainWindowTest, ADropDeliveredInsideAnInspectionsErrorBoxIsOpenedAfterTheInspection) {
  window_->show();
  const QString app = Write("app/app.exe", PeWriter(Layout::Pe32).Import("gone.dll", {ByName("f")}).Build());
  const QStringList dropped = {Write("dropped/a.dll")};
  window_->OpenList({app});
  const QModelIndex root = window_->InfoTree->model()->index(0, 0);
  window_->InfoTree->setCurrentIndex(window_->InfoTree->model()->index(1, 0, root));

  QStringList shownInBox;
  onBox_ = [&] {
    // A modal box runs an event loop of its own, which delivers the drop.
    QEventLoop loop;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    loop.exec();
    shownInBox = TopRows();
  };
  ASSERT_TRUE(Drop(dropped));
  window_->PopupInspectClick();

  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "File not found");
  EXPECT_EQ(shownInBox, QStringList{app}) << "the inspected node outlives its inspection";
  RunEventLoopUntil([&] { return TopRows() == dropped; });
  EXPECT_EQ(TopRows(), dropped);
}

// The tree's context menu with the sample program open, the mouse pointer
// placed as a user would, through the tree's own mouse and key handling.
TEST_F(MainWindowTest, TheMenuActsOnTheRowUnderThePointerOrWithTheMenuKeyOnTheSelectedOne) {
  window_->OpenList({QStringLiteral(CORVANE_SAMPLE_EXE)});
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTreeView* tree = window_->InfoTree;
  const QModelIndex root = tree->model()->index(0, 0);
  auto row = [&](const QString& text) {
    return tree->model()->match(tree->model()->index(0, 0, root), Qt::DisplayRole, text, 1, Qt::MatchExactly).value(0);
  };
  struct Case {
    const char* what;
    QKeyCombination key;  // none: Qt::Key_unknown
    bool rightClick;
    QString underPointer;  // none: empty space below the rows
    QString selected;
  };
  const Case cases[] = {
      {"right-click a library", {}, true, "greeter.dll", "greeter.dll"},
      {"right-click another row", {}, true, "Stats", "Stats"},
      {"right-click empty space", {}, true, "", ""},
      {"menu key", Qt::Key_Menu, false, "Stats", "greeter.dll"},
      {"Shift+F10", Qt::ShiftModifier | Qt::Key_F10, false, "Stats", "Stats"},
      // Qt's code for ']' is the context-menu key's virtual-key code.
      {"']' then right-click empty space", Qt::Key_BracketRight, true, "", ""},
  };
  for (const Case& c : cases) {
    tree->setCurrentIndex(row("greeter.dll"));
    // At the far end of a row: a row takes clicks across the whole view.
    const QModelIndex pointed = row(c.underPointer);
    const QPoint point(tree->viewport()->width() - 2,
                       pointed.isValid() ? tree->visualRect(pointed).center().y() : tree->viewport()->height() - 5);
    QCursor::setPos(tree->viewport()->mapToGlobal(point));
    if (c.key.key() != Qt::Key_unknown) QTest::keyClick(tree, c.key.key(), c.key.keyboardModifiers());
    if (c.rightClick) {
      QContextMenuEvent event(QContextMenuEvent::Mouse, point, tree->viewport()->mapToGlobal(point));
      QApplication::sendEvent(tree->viewport(), &event);
    }
    const QModelIndexList selected = tree->selectionModel()->selectedIndexes();
    EXPECT_EQ(selected.isEmpty() ? QString() : selected.front().data().toString(), c.selected) << c.what;
    EXPECT_EQ(window_->PopupInspect->isEnabled(), c.selected == "greeter.dll") << c.what;
    EXPECT_FALSE(window_->Core().KeyPopup()) << c.what << ": the menu's opening consumed it";
    EXPECT_TRUE(window_->TreeMenu->isVisible()) << c.what;
    window_->TreeMenu->close();
  }
}

// Through the Edit menu's keys on the shown window. The find bar searches
// collapsed branches too, in display order, and reveals what it selects.
TEST_F(MainWindowTest, EditKeysCopyTheSelectedNodeOrSubtreeAndFindNodesByTheirWords) {
  window_->OpenList({Write("app.exe", PeWriter(Layout::Pe32)
                                          .Import("one.dll", {ByName("ReadFile"), ByName("WriteFile")})
                                          .Import("two.dll", {ByName("FileWrite"), ByName("WriteFileEx")})
                                          .Build())});
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTreeView* tree = window_->InfoTree;
  auto row = [&](const QString& text) {
    return tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, text, 1, Qt::MatchRecursive).value(0);
  };
  auto selected = [&] { return tree->selectionModel()->selectedIndexes().value(0).data().toString(); };
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText("before");
  tree->setCurrentIndex(row("one.dll"));
  tree->clearSelection();
  QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), "before") << "nothing selected";
  tree->setCurrentIndex(row("one.dll"));
  QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), "one.dll");
  QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(clipboard->text(), "one.dll\n├── ReadFile\n└── WriteFile\n");

  ASSERT_FALSE(tree->isExpanded(row("one.dll")) || tree->isExpanded(row("two.dll")));
  QTest::keyClick(tree, Qt::Key_F, Qt::ControlModifier);
  QLineEdit* find = window_->FindText;
  ASSERT_TRUE(find->isVisible() && find->hasFocus());
  QTest::keyClicks(find, " write  FILE");
  for (const auto& [modifiers, expected] :
       {std::pair{Qt::NoModifier, "WriteFile"}, {Qt::NoModifier, "FileWrite"}, {Qt::NoModifier, "WriteFileEx"},
        {Qt::NoModifier, "WriteFile"}, {Qt::ShiftModifier, "WriteFileEx"}, {Qt::ShiftModifier, "FileWrite"},
        {Qt::ShiftModifier, "WriteFile"}}) {
    QTest::keyClick(find, Qt::Key_Return, modifiers);
    EXPECT_EQ(selected(), expected);
    EXPECT_FALSE(window_->FindResult->isVisible());
  }
  EXPECT_TRUE(tree->isExpanded(row("one.dll")) && tree->isExpanded(row("two.dll")));
  QTest::keyClick(find, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(find->selectedText(), " write  FILE");
  QTest::keyClicks(find, "write zzz");
  QTest::keyClick(find, Qt::Key_Return);
  EXPECT_EQ(selected(), "WriteFile");
  EXPECT_TRUE(window_->FindResult->isVisible());
  EXPECT_EQ(window_->FindResult->text(), "No match");
  find->selectAll();
  QTest::keyClicks(find, "readfile");
  for (int i = 0; i < 2; ++i) QTest::keyClick(find, Qt::Key_Return);
  EXPECT_FALSE(window_->FindResult->isVisible()) << "the one match, found again from itself";
  QTest::keyClick(find, Qt::Key_Escape);
  EXPECT_FALSE(window_->FindBar->isVisible());
  EXPECT_TRUE(tree->hasFocus());
}

TEST_F(MainWindowTest, PrintPutsTheWindowOnThePrinterOrSaysThereIsNone) {
  window_->show();
  window_->PrintDlgClick();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Unable to print: no printer is available.");
  printerFile_ = QString::fromStdString(dir_.Path() + "/window.pdf");
  window_->PrintDlgClick();
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_GT(QFileInfo(printerFile_).size(), 1000);
}

}  // namespace
}  // namespace corvane
