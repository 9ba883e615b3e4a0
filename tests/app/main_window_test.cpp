// The main window as a user drives it, offscreen, with the message box and
// the Open dialog replaced by ports that record what they get;
// files reach it through argv, the menus, keys and drops.

#include <QAbstractItemModelTester>
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
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>
#include <vector>

#include "Mainform.h"
#include "command_line.h"
#include "drag_simulation.h"
#include "pe_writer.h"
#include "startup_arguments.h"
#include "temp_files.h"
#include "tree_nodes_model.h"
#include "window_test_support.h"

namespace corvane {
namespace {

using testing::ByName;
using testing::ChildNamed;
using testing::Marked;
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
    modelTester_.reset();
    window_.reset();
    std::filesystem::current_path(startDirectory_);
  }

  void Construct() {
    MainWindowPorts ports;
    ports.messageBox = [this](QWidget* parent, const QString& caption, const QString& text, std::uint32_t style,
                              const ErrorSubject& subject) {
      auto* window = qobject_cast<TMain*>(parent);
      boxes_.push_back({caption, text, style, subject.file, window->isVisible()});
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
    modelTester_.reset();
    window_ = std::make_unique<TMain>(nullptr, std::move(ports));
    // Every change the model reports is checked against the model's rules as it happens.
    modelTester_ = std::make_unique<QAbstractItemModelTester>(window_->InfoTree->model(),
                                                              QAbstractItemModelTester::FailureReportingMode::Fatal);
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
  QStringList TopRows() const { return testing::ChildTexts(*window_->InfoTree->model()); }
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
  std::unique_ptr<QAbstractItemModelTester> modelTester_;

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
  const QStringList expected = {"&File", "&Open|F3", "&Close|", "&Print|", "|", "Exit|", "&Edit", "&Copy|Ctrl+C",
                                "Copy &Subtree|Ctrl+Shift+C", "&Find...|Ctrl+F", "&View", "&Undecorate C++ Names|F10",
                                "Name &Ordinal Imports|", "&Modules|Ctrl+M", "Only &Problems|", "&Help",
                                "&About Me|F1", "", "&Inspect Library|", "&Print|"};
  EXPECT_EQ(menus.join('\n').toStdString(), expected.join('\n').toStdString());
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
  const auto marks = [&](const QModelIndex& index) { return Marked(index, base); };
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

// The view's current row and selection follow their node when renaming it
// sorts its siblings again.
TEST_F(MainWindowTest, TheSelectionFollowsARenamedNodeToItsNewPlace) {
  window_->OpenList({Write("app.exe", PeWriter(Layout::Pe32)
                                          .Import("b.dll", {ByName("f")})
                                          .Import("c.dll", {ByName("g")})
                                          .Build())});
  QTreeView* tree = window_->InfoTree;
  const QModelIndex root = tree->model()->index(0, 0);
  auto row = [&](const QString& text) { return ChildNamed(*tree, root, text); };
  tree->setCurrentIndex(row("b.dll"));
  tree->expand(row("c.dll"));
  const int rowBefore = tree->currentIndex().row();
  window_->TreeModel()->NodeAt(row("b.dll"))->SetText(QStringLiteral("z.dll"));
  EXPECT_GT(tree->currentIndex().row(), rowBefore) << "moved below c.dll";
  EXPECT_EQ(tree->currentIndex().data().toString(), "z.dll");
  const QModelIndexList selected = tree->selectionModel()->selectedIndexes();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected.front().data().toString(), "z.dll");
  EXPECT_TRUE(tree->isExpanded(row("c.dll")));
  EXPECT_FALSE(tree->isExpanded(row("z.dll")));
}

// The tree's context menu with the sample program open, the mouse pointer
// placed as a user would, through the tree's own mouse and key handling: on
// which row it acts, where it appears, and that the window takes the keys
// and the keyboard's own menu requests (the keys open the menu alike on
// every platform).
TEST_F(MainWindowTest, TheMenuActsOnTheRowUnderThePointerOrWithTheMenuKeyOnTheSelectedOne) {
  window_->OpenList({QStringLiteral(CORVANE_SAMPLE_EXE)});
  window_->move(0, 0);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTreeView* tree = window_->InfoTree;
  const QModelIndex root = tree->model()->index(0, 0);
  auto row = [&](const QString& text) { return ChildNamed(*tree, root, text); };
  enum Request { kNone, kMouse, kKeyboardOnRows, kKeyboardOnTree };
  struct Case {
    const char* what;
    QKeyCombination key;  // none: Qt::Key_unknown
    Request request;
    QString underPointer;  // none: empty space below the rows
    QString current;       // before; none: no current row
    QString selected;      // afterwards; none: no menu
  };
  const Case cases[] = {
      {"right-click a library", {}, kMouse, "greeter.dll", "greeter.dll", "greeter.dll"},
      {"right-click another row", {}, kMouse, "Stats", "greeter.dll", "Stats"},
      {"right-click empty space", {}, kMouse, "", "greeter.dll", ""},
      {"menu key", Qt::Key_Menu, kNone, "Stats", "greeter.dll", "greeter.dll"},
      {"menu key, no current row", Qt::Key_Menu, kNone, "Stats", "", ""},
      {"Shift+F10", Qt::ShiftModifier | Qt::Key_F10, kNone, "Stats", "greeter.dll", "Stats"},
      {"F10 alone", Qt::Key_F10, kNone, "Stats", "greeter.dll", {}},
      // Qt's code for ']' is the context-menu key's virtual-key code.
      {"']' then right-click empty space", Qt::Key_BracketRight, kMouse, "", "greeter.dll", ""},
      {"keyboard menu request on the rows", {}, kKeyboardOnRows, "Stats", "greeter.dll", {}},
      {"keyboard menu request on the tree", {}, kKeyboardOnTree, "Stats", "greeter.dll", {}},
  };
  for (const Case& c : cases) {
    if (c.current.isEmpty()) {
      tree->clearSelection();
      tree->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
      tree->setCurrentIndex(row(c.current));
    }
    // At the far end of a row: a row takes clicks across the whole view.
    const QModelIndex pointed = row(c.underPointer);
    const QPoint point(tree->viewport()->width() - 2,
                       pointed.isValid() ? tree->visualRect(pointed).center().y() : tree->viewport()->height() - 5);
    QCursor::setPos(tree->viewport()->mapToGlobal(point));
    const QModelIndex current = tree->currentIndex();
    if (c.key.key() != Qt::Key_unknown) {
      QKeyEvent press(QEvent::KeyPress, c.key.key(), c.key.keyboardModifiers());
      QApplication::sendEvent(tree, &press);
      // F10 alone is taken too, as the shortcut of View > Undecorate C++ Names.
      const bool taken = c.key == QKeyCombination(Qt::Key_Menu) || c.key.key() == Qt::Key_F10;
      EXPECT_EQ(press.isAccepted(), taken) << c.what;
    }
    if (c.request != kNone) {
      QWidget* target = c.request == kKeyboardOnTree ? static_cast<QWidget*>(tree) : tree->viewport();
      const QPoint at = tree->viewport()->mapTo(target, point);
      QContextMenuEvent event(c.request == kMouse ? QContextMenuEvent::Mouse : QContextMenuEvent::Keyboard, at,
                              target->mapToGlobal(at));
      QApplication::sendEvent(target, &event);
      EXPECT_TRUE(event.isAccepted()) << c.what;
    }
    const QModelIndexList selected = tree->selectionModel()->selectedIndexes();
    const QString selectedText = selected.isEmpty() ? QString() : selected.front().data().toString();
    const bool menu = !c.selected.isNull();
    EXPECT_EQ(window_->TreeMenu->isVisible(), menu) << c.what;
    EXPECT_EQ(selectedText, menu ? c.selected : c.current) << c.what;
    EXPECT_FALSE(window_->Core().KeyPopup()) << c.what << ": the menu's opening consumed it";
    if (menu) {
      EXPECT_EQ(window_->PopupInspect->isEnabled(), c.selected == "greeter.dll") << c.what;
      // A key opens it on the row that was current, whichever it acts on.
      const QPoint expected = c.request == kMouse ? point : current.isValid() ? tree->visualRect(current).center() : QPoint();
      EXPECT_EQ(window_->TreeMenu->pos(), tree->viewport()->mapToGlobal(expected)) << c.what;
    }
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
  auto row = [&](const QString& text) { return testing::RowNamed(*tree->model(), text); };
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
  // The find bar takes Enter, Shift+Enter and Esc: the line edit never sees them.
  QSignalSpy lineEditEnter(find, &QLineEdit::returnPressed);
  const auto press = [find](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(find, &event);
    EXPECT_TRUE(event.isAccepted()) << key;
  };
  using Step = std::tuple<Qt::Key, Qt::KeyboardModifiers, const char*>;
  for (const auto& [key, modifiers, expected] :
       {Step{Qt::Key_Return, Qt::NoModifier, "WriteFile"}, {Qt::Key_Enter, Qt::KeypadModifier, "FileWrite"},
        {Qt::Key_Return, Qt::NoModifier, "WriteFileEx"}, {Qt::Key_Return, Qt::NoModifier, "WriteFile"},
        {Qt::Key_Return, Qt::ShiftModifier, "WriteFileEx"},
        {Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier, "FileWrite"},
        {Qt::Key_Return, Qt::ShiftModifier, "WriteFile"}}) {
    press(key, modifiers);
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
  press(Qt::Key_Escape);
  EXPECT_FALSE(window_->FindBar->isVisible());
  EXPECT_TRUE(tree->hasFocus());
  EXPECT_EQ(lineEditEnter.count(), 0);
}

// The printed page, rendered at the printer's resolution: the window at its
// screen size in the page's top left corner, shrunk to the page keeping its
// shape when it is wider or taller than the page.
TEST_F(MainWindowTest, PrintPutsTheWindowOnThePageAtItsSizeShrunkToFitOrSaysThereIsNoPrinter) {
  window_->show();
  window_->PrintDlgClick();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Unable to print: no printer is available.");

  printerFile_ = QString::fromStdString(dir_.Path() + "/window.pdf");
  const QPrinter printer;
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double scale = static_cast<double>(printer.resolution()) / window_->logicalDpiX();
  for (const QSize windowSize : {QSize(319, 430), QSize(page.width() + 300, 300), QSize(300, page.height() + 300)}) {
    SCOPED_TRACE(::testing::Message() << windowSize.width() << "x" << windowSize.height());
    window_->resize(windowSize);
    QCoreApplication::processEvents();
    ASSERT_EQ(window_->size(), windowSize);
    window_->PrintDlgClick();
    ASSERT_EQ(boxes_.size(), 1u);
    const QProcess::ExitStatus rendered = [&] {
      QProcess render;
      render.start("pdftoppm", {"-r", QString::number(printer.resolution()), "-png", "-singlefile", printerFile_,
                                printerFile_});
      render.waitForFinished(-1);
      return render.exitCode() == 0 ? render.exitStatus() : QProcess::CrashExit;
    }();
    ASSERT_EQ(rendered, QProcess::NormalExit);
    const QImage image = QImage(printerFile_ + ".png").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull());
    QRect inked;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) != qRgb(255, 255, 255)) inked |= QRect(x, y, 1, 1);
      }
    }
    QSize drawn = (QSizeF(windowSize) * scale).toSize();
    if (drawn.width() > page.width() || drawn.height() > page.height()) drawn.scale(page.size(), Qt::KeepAspectRatio);
    const QRect expected(page.topLeft(), drawn);
    for (const auto& [at, want] : {std::pair{inked.topLeft(), expected.topLeft()}, {inked.bottomRight(), expected.bottomRight()}}) {
      EXPECT_LE((at - want).manhattanLength(), 2) << at.x() << "," << at.y() << " vs " << want.x() << "," << want.y();
    }
    // What is drawn is the window: its picture at that size.
    const QImage window = window_->grab().toImage().convertToFormat(QImage::Format_RGB32).scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage onPage = image.copy(expected);
    qint64 difference = 0;
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) difference += std::abs(qGray(window.pixel(x, y)) - qGray(onPage.pixel(x, y)));
    }
    EXPECT_LT(difference / (drawn.width() * drawn.height()), 8);
  }
}

}  // namespace
}  // namespace corvane
