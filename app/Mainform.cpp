#include "Mainform.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "Aboutboxform.h"
#include "Commandline.h"
#include "info_tree_view.h"
#include "mark_colours.h"
#include "modules_pane.h"
#include "node_kinds.h"
#include "node_search.h"
#include "only_problems.h"
#include "row_sizes.h"
#include "tree_icons.h"
#include "tree_nodes_model.h"
#include "tree_output.h"
#include "view_options.h"
#include "window_fonts.h"
#include "window_keys.h"

namespace corvane {
namespace {

constexpr int kDesignedLeft = 659;
constexpr int kDesignedTop = 111;
constexpr int kClientWidth = 319;
constexpr int kClientHeight = 414;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanelWidths[kStatusPanelCount] = {100, 100, 100, 50};
constexpr int kIdOk = 1;

MainWindowPorts WithDefaults(MainWindowPorts ports) {
  if (!ports.messageBox) {
    ports.messageBox = [](QWidget* parent, const QString& caption, const QString& text, std::uint32_t,
                          const ErrorSubject&) {
      QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
      box.exec();
      return kIdOk;
    };
  }
  if (!ports.runOpenDialog) ports.runOpenDialog = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
  if (!ports.makePrinter) ports.makePrinter = [] { return std::make_unique<QPrinter>(); };
  return ports;
}

// The core reads the platform's virtual-key codes, which Qt's key codes are
// not: Qt's "]" is the context-menu key's virtual code. Only that key
// matters to the core, so every other key reaches it as 0.
std::uint16_t VirtualKey(const QKeyEvent& event) { return event.key() == Qt::Key_Menu ? kContextMenuKey : 0; }

}  // namespace

TMain::TMain(QWidget* owner, MainWindowPorts ports)
    : QMainWindow(owner), ports_(WithDefaults(std::move(ports))), core_(*this) {
  setWindowTitle(QStringLiteral("Corvane"));
  setWindowIcon(ProgramIcon());
  setFont(SansFont(QStringLiteral("MS Sans Serif"), 11));
  for (int i = 0; i < kTreeIconCount; ++i) TreeIcons.append(TreeIcon(i));
  CreateTree();
  ModuleList = new ModulesPane(core_, *InfoTree, centralWidget());
  problemsOnly_ = new ProblemsOnly(*InfoTree, this);
  CreateFindBar();
  CreateMenus();
  CreateOpenDialog();
  CreateStatusBar();
  move(kDesignedLeft, kDesignedTop);
  resize(kClientWidth, kClientHeight + MainMenu->sizeHint().height());
  core_.ClearAll();

  // Files named on the command line are in the tree before the window first
  // shows; the first item is the program itself.
  QStringList files;
  ParseCommandLine(&files);
  if (!files.isEmpty()) files.removeFirst();
  OpenList(files);

  // From here on the window takes files dropped from the file manager.
  control_ = std::make_unique<WidgetControl>(this);
  MsgInterceptor = std::make_unique<TMsgInterceptor>(control_.get());
  ShellFile = std::make_unique<IShellFile>(MsgInterceptor.get());
  ShellFile->SetOnDropFiles(TDropFilesEvent::Bind<&TMain::FilesDropped>(this));
  ShellFile->SetAcceptFiles(true);
}

TMain::~TMain() {
  // The receiver unregisters from the interceptor, which then puts back the
  // window's own message handling.
  ShellFile.reset();
  MsgInterceptor.reset();
}

void TMain::FilesDropped(const QStringList& Files, bool& /*AcceptMore*/) { dropOpener_.Request(Files); }

void TMain::CreateTree() {
  model_ = std::make_unique<TreeNodesModel>(core_.Items());
  model_->decoration = [this](int imageIndex) {
    return imageIndex >= 0 && imageIndex < TreeIcons.size() ? QVariant(TreeIcons[imageIndex]) : QVariant();
  };
  model_->otherData = [this](const TTreeNode& node, int role) -> QVariant {
    if (role == Qt::ToolTipRole) {
      const bool cleanFile = node.Mark() == 0 && model_->Filtered() && node.Parent() == nullptr;
      return cleanFile ? QVariant(QStringLiteral("Nothing is missing")) : RowToolTip(core_, node);
    }
    if (node.Mark() == 0) return {};
    if (role == Qt::ForegroundRole) return MarkColour(node.Mark(), InfoTree->palette().color(QPalette::Base));
    return {};
  };
  InfoTree = new InfoTreeView(*model_, this);
  InfoTree->setObjectName(QStringLiteral("InfoTree"));
  InfoTree->setHeaderHidden(true);
  InfoTree->header()->setStretchLastSection(false);
  InfoTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  InfoTree->setTextElideMode(Qt::ElideNone);
  auto* rowSizes = new RowSizes(*InfoTree);
  InfoTree->setItemDelegate(rowSizes);
  InfoTree->setIndentation(19);
  InfoTree->setIconSize(QSize(16, 16));
  InfoTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  InfoTree->setUniformRowHeights(true);
  InfoTree->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* menuRequests = new KeyboardMenuRequests(this);
  InfoTree->installEventFilter(menuRequests);
  InfoTree->viewport()->installEventFilter(menuRequests);
  InfoTree->installEventFilter(new TreeMenuKeys(
      *InfoTree,
      [this](const QKeyEvent& event) {
        std::uint16_t key = VirtualKey(event);
        core_.InfoTreeKeyDown(key, static_cast<int>(event.modifiers()));
      },
      [this](const QPoint& position) { TreeMenuPopup(position); }, this));
  connect(model_.get(), &QAbstractItemModel::modelReset, rowSizes, &RowSizes::Forget);
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(InfoTree);
  setCentralWidget(central);

  // The store keeps each node's expanded flag; the view follows it and
  // reports the user's own expanding and collapsing back.
  connect(model_.get(), &TreeNodesModel::ExpandedInStore, InfoTree,
          [this](const QModelIndex& index, bool expanded) { InfoTree->setExpanded(index, expanded); });
  connect(model_.get(), &TreeNodesModel::Rebuilt, this, [this] {
    model_->ForEachStoredExpansion([this](const QModelIndex& index) { InfoTree->setExpanded(index, true); });
  });
  // A filtered tree's branches are its own: the store keeps the whole tree's.
  connect(InfoTree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    if (TTreeNode* node = model_->NodeAt(index); node != nullptr && !model_->Filtered()) node->SetExpanded(true);
  });
  connect(InfoTree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    if (TTreeNode* node = model_->NodeAt(index); node != nullptr && !model_->Filtered()) node->SetExpanded(false);
  });
  connect(InfoTree, &QWidget::customContextMenuRequested, this, &TMain::TreeMenuPopup);
}

void TMain::CreateFindBar() {
  FindBar = new QWidget(centralWidget());
  auto* layout = new QHBoxLayout(FindBar);
  layout->setContentsMargins(3, 3, 3, 3);
  FindText = new QLineEdit(FindBar);
  FindText->setPlaceholderText(QStringLiteral("Find"));
  FindText->setToolTip(QStringLiteral("Enter: next match; Shift+Enter: previous match; Esc: close"));
  FindText->installEventFilter(new FindBarKeys([this](bool backwards) { FindNext(backwards); },
                                               [this] {
                                                 FindBar->hide();
                                                 InfoTree->setFocus();
                                               },
                                               this));
  // Shown only when it has something to say, so that the line edit takes the
  // whole width of the narrow window otherwise.
  FindResult = new QLabel(QStringLiteral("No match"), FindBar);
  FindResult->hide();
  layout->addWidget(FindText, 1);
  layout->addWidget(FindResult);
  centralWidget()->layout()->addWidget(FindBar);
  FindBar->hide();
  connect(FindText, &QLineEdit::textEdited, FindResult, &QWidget::hide);
}

void TMain::CreateMenus() {
  MainMenu = menuBar();
  File = MainMenu->addMenu(QStringLiteral("&File"));
  Open = File->addAction(QStringLiteral("&Open"), this, &TMain::OpenClick);
  Open->setShortcut(QKeySequence(Qt::Key_F3));
  Close = File->addAction(QStringLiteral("&Close"), this, &TMain::CloseClick);
  PrintDlg = File->addAction(QStringLiteral("&Print"), this, &TMain::PrintDlgClick);
  N1 = File->addSeparator();
  Exit = File->addAction(QStringLiteral("Exit"), this, &TMain::ExitClick);
  Edit = MainMenu->addMenu(QStringLiteral("&Edit"));
  Copy = Edit->addAction(QStringLiteral("&Copy"), this, &TMain::CopyClick);
  // The tree view copies its current row on this key by itself, selected or
  // not; the window's shortcut takes the key before the view sees it.
  Copy->setShortcuts(QKeySequence::Copy);
  CopySubtree = Edit->addAction(QStringLiteral("Copy &Subtree"), this, &TMain::CopySubtreeClick);
  CopySubtree->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  Find = Edit->addAction(QStringLiteral("&Find..."), this, &TMain::FindClick);
  Find->setShortcuts(QKeySequence::Find);
  CreateViewMenu();
  Help = MainMenu->addMenu(QStringLiteral("&Help"));
  About = Help->addAction(QStringLiteral("&About Me"), this, &TMain::AboutClick);
  About->setShortcut(QKeySequence(Qt::Key_F1));

  TreeMenu = new QMenu(this);
  PopupInspect = TreeMenu->addAction(QStringLiteral("&Inspect Library"), this, &TMain::PopupInspectClick);
  PopupInspect->setEnabled(false);
  PopupPrint = TreeMenu->addAction(QStringLiteral("&Print"));
}

void TMain::CreateViewMenu() {
  View = MainMenu->addMenu(QStringLiteral("&View"));
  UndecorateNames = AddKeptOption(*View, QStringLiteral("&Undecorate C++ Names"), QKeySequence(Qt::Key_F10),
                                  QStringLiteral("view/undecorateNames"), [this] { ApplyNameOptions(); });
  NameOrdinals = AddKeptOption(*View, QStringLiteral("Name &Ordinal Imports"), QKeySequence(),
                               QStringLiteral("view/nameOrdinalImports"), [this] { ApplyNameOptions(); });
  ShowModules = AddKeptOption(*View, QStringLiteral("&Modules"), QKeySequence(Qt::CTRL | Qt::Key_M),
                              QStringLiteral("view/modules"), [this] { ApplyModulesOption(); });
  // Not kept: every run starts with the whole tree.
  OnlyProblems = View->addAction(QStringLiteral("Only &Problems"));
  OnlyProblems->setCheckable(true);
  connect(OnlyProblems, &QAction::toggled, this, [this](bool on) { problemsOnly_->Set(on); });
  ApplyNameOptions();
  ApplyModulesOption();
}

void TMain::ApplyModulesOption() {
  ModuleList->setVisible(ShowModules->isChecked());
  ModuleList->FollowTree();
}

void TMain::ApplyNameOptions() {
  TTreeNode* selected = InfoTree->SelectedNode();
  const int across = InfoTree->horizontalScrollBar()->value();
  const int down = InfoTree->verticalScrollBar()->value();
  // The view is reset; the store gives back each row's expansion.
  core_.SetNameOptions({UndecorateNames->isChecked(), NameOrdinals->isChecked()});
  if (selected != nullptr) InfoTree->setCurrentIndex(model_->IndexOf(selected));
  InfoTree->horizontalScrollBar()->setValue(across);
  InfoTree->verticalScrollBar()->setValue(down);
}

void TMain::CreateOpenDialog() {
  OpenFileDlg = new QFileDialog(this);
  OpenFileDlg->setFileMode(QFileDialog::ExistingFile);
  OpenFileDlg->setAcceptMode(QFileDialog::AcceptOpen);
  OpenFileDlg->setDefaultSuffix(QStringLiteral("exe"));
  OpenFileDlg->setNameFilters({
      QStringLiteral("All Executables (*.exe *.dll *.bpl *.ocx *.scr *.cpl *.acm *.ax *.drv *.sys *.vxd)"),
      QStringLiteral("Program Files (*.exe)"),
      QStringLiteral("Dynamic Libraries (*.dll *.bpl *.ocx *.cpl *.scr)"),
      QStringLiteral("Drivers (*.ax *.acm *.drv *.sys *.vxd)"),
      QStringLiteral("All Files (*)"),
  });
  // Windows file names come in any case: "KERNEL32.DLL" is a library too.
  OpenFileDlg->setFilter(OpenFileDlg->filter() & ~QDir::CaseSensitive);
}

void TMain::CreateStatusBar() {
  StatusBar = statusBar();
  StatusBar->setFixedHeight(kStatusBarHeight);
  StatusBar->setSizeGripEnabled(true);
  StatusBar->setToolTip(QStringLiteral("Here are showed the totals about opened files"));
  for (int panel = 0; panel < kStatusPanelCount; ++panel) {
    auto* label = new QLabel(StatusBar);
    label->setFixedWidth(kStatusPanelWidths[panel]);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar->addWidget(label);
    StatusPanels[static_cast<std::size_t>(panel)] = label;
  }
}

void TMain::OpenClick() {
  if (!ports_.runOpenDialog(*OpenFileDlg)) return;
  const QStringList chosen = OpenFileDlg->selectedFiles();
  if (chosen.isEmpty()) return;
  core_.OpenFile(chosen.front().toLocal8Bit().toStdString());
}

void TMain::CloseClick() { core_.ClearAll(); }

void TMain::PrintDlgClick() {
  const std::unique_ptr<QPrinter> printer = ports_.makePrinter();
  QPainter painter;
  if (printer == nullptr || !painter.begin(printer.get())) {
    ShowError(QStringLiteral("Unable to print: no printer is available."), kErrorBoxStyle, {});
    return;
  }
  // The window goes on paper at the size it has on screen, shrunk only when
  // the page is smaller.
  const QPixmap image = grab();
  const QRect page = painter.viewport();
  const double scale = static_cast<double>(printer->resolution()) / std::max(1, logicalDpiX());
  QSize size = (image.deviceIndependentSize() * scale).toSize();
  if (size.width() > page.width() || size.height() > page.height()) size.scale(page.size(), Qt::KeepAspectRatio);
  painter.drawPixmap(QRect(page.topLeft(), size), image);
  painter.end();
}

void TMain::ExitClick() { QCoreApplication::quit(); }

void TMain::AboutClick() {
  TAboutBox box(this);
  box.exec();
}

void TMain::TreeMenuPopup(const QPoint& position) {
  const TTreeNode* node = nullptr;
  if (core_.KeyPopup()) {
    node = InfoTree->SelectedNode();
    core_.SetKeyPopup(false);
  } else {
    node = SelectNodeAtCursor();
  }
  PopupInspect->setEnabled(ViewerCore::CanInspect(node));
  TreeMenu->popup(InfoTree->viewport()->mapToGlobal(position));
}

TTreeNode* TMain::SelectNodeAtCursor() {
  const QModelIndex index = InfoTree->indexAt(InfoTree->viewport()->mapFromGlobal(QCursor::pos()));
  if (index.isValid()) {
    InfoTree->setCurrentIndex(index);
  } else {
    InfoTree->clearSelection();
    InfoTree->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  return model_->NodeAt(index);
}

void TMain::PopupInspectClick() {
  TTreeNode* node = InfoTree->SelectedNode();
  core_.PopupInspectClick(node);
  // The view was reset when the build ended; the inspected node stays the
  // one the user works on.
  InfoTree->GoTo(node);
}

void TMain::CopyClick() {
  if (ModuleList->hasFocus()) {
    QGuiApplication::clipboard()->setText(ModuleList->SelectionAsText());
    return;
  }
  if (const TTreeNode* node = InfoTree->SelectedNode()) QGuiApplication::clipboard()->setText(node->Text());
}

void TMain::CopySubtreeClick() {
  if (const TTreeNode* node = InfoTree->SelectedNode()) {
    const std::string text = SubtreeAsText(*node, [this](const TTreeNode* below) { return model_->Shown(below); });
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
  }
}

void TMain::FindClick() {
  FindResult->hide();
  FindBar->show();
  FindText->setFocus(Qt::ShortcutFocusReason);
  FindText->selectAll();
}

void TMain::FindNext(bool backwards) {
  if (FindText->text().trimmed().isEmpty()) return;
  const TTreeNode* found = FindNode(core_.Items(), InfoTree->SelectedNode(), FindText->text(), backwards,
                                   [this](const TTreeNode* node) { return core_.Names().OtherSpelling(node); },
                                   [this](const TTreeNode* node) { return model_->Shown(node); });
  FindResult->setVisible(found == nullptr);
  InfoTree->GoTo(found);
}

int TMain::ShowError(const QString& text, std::uint32_t style, const ErrorSubject& subject) {
  return ports_.messageBox(this, QCoreApplication::applicationName(), text, style, subject);
}

void TMain::PumpMessages() {
  // Called for every node of a build: the queue is drained at most every few
  // milliseconds, the clock read every few dozen calls (docs/performance.md).
  constexpr qint64 kPumpIntervalNs = 8'000'000;
  constexpr unsigned kCallsPerClockRead = 32;
  if (pumpClock_.isValid() && (++pumpCalls_ % kCallsPerClockRead != 0 || pumpClock_.nsecsElapsed() < kPumpIntervalNs)) {
    return;
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  pumpClock_.start();
}

void TMain::SetWaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

void TMain::RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }

void TMain::SetWindowEnabled(bool enabled) { setEnabled(enabled); }

void TMain::FocusWindow() {
  activateWindow();
  InfoTree->setFocus();
}

void TMain::SetStatusPanelText(int panel, const QString& text) {
  StatusPanels.at(static_cast<std::size_t>(panel))->setText(text);
}

}  // namespace corvane
