#include "Mainform.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QHash>
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
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>
#include <cmath>

#include "Aboutboxform.h"
#include "Commandline.h"
#include "modules_pane.h"
#include "node_kinds.h"
#include "node_search.h"
#include "only_problems.h"
#include "tree_icons.h"
#include "tree_nodes_model.h"
#include "tree_output.h"
#include "window_fonts.h"

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
    ports.messageBox = [](QWidget* parent, const QString& caption, const QString& text, std::uint32_t) {
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

// The tree's one column is as wide as the rows about those in view need
// (the header sizes it to them), so that a long text is read by scrolling
// sideways rather than cut short, and never narrower than the view, so that
// a row takes clicks across the whole view.
class InfoTreeView final : public QTreeView {
 public:
  using QTreeView::QTreeView;

 protected:
  int sizeHintForColumn(int column) const override {
    return std::max(QTreeView::sizeHintForColumn(column), viewport()->width());
  }

  // The header sizes the column when rows are laid out, not when they
  // scroll: rows scrolled into view widen it if they need more. Scrolling
  // never narrows it, so the horizontal scroll bar stays put.
  void scrollContentsBy(int dx, int dy) override {
    QTreeView::scrollContentsBy(dx, dy);
    if (dy == 0) return;
    int width = columnWidth(0);
    const int bottom = viewport()->height();
    for (QModelIndex index = indexAt(QPoint(0, 0)); index.isValid(); index = indexBelow(index)) {
      const QRect row = visualRect(index);
      if (row.top() >= bottom) break;
      width = std::max(width, row.left() - columnViewportPosition(0) + sizeHintForIndex(index).width());
    }
    if (width > columnWidth(0)) setColumnWidth(0, width);
  }
};

// Sizing the column to its rows lays out the text of each row, by far the
// dearest part of showing a tree, and the header sizes it again whenever the
// view's geometry changes. A row whose text cannot reach past the view
// (printable ASCII, each character taken as wide as the widest) is not laid
// out: the column is as wide as the view anyway. The size of any other text
// is kept until the tree is rebuilt; every row shows an icon of the one size,
// so the text and the font decide it.
class RowSizes final : public QStyledItemDelegate {
 public:
  explicit RowSizes(QTreeView& view) : QStyledItemDelegate(&view), view_(view) {}

  void Forget() { sizes_.clear(); }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QString text = index.data().toString();
    if (option.font != font_) Measure(option);
    if (WithinView(text, index)) return {0, height_};
    // Rows scrolled past are kept too, up to a bound.
    if (sizes_.size() >= kMaxTexts) sizes_.clear();
    auto found = sizes_.constFind(text);
    if (found == sizes_.constEnd()) found = sizes_.insert(text, QStyledItemDelegate::sizeHint(option, index));
    return *found;
  }

 private:
  static constexpr qsizetype kMaxTexts = 4096;

  // Learns the font's widest character, and the room a row takes beside its
  // text and its height, from a row of one character.
  void Measure(const QStyleOptionViewItem& option) const {
    sizes_.clear();
    font_ = option.font;
    const QFontMetricsF metrics(font_);
    widest_ = 0;
    for (char16_t c = 0x20; c < 0x7F; ++c) widest_ = std::max(widest_, metrics.horizontalAdvance(QChar(c)));
    QStyleOptionViewItem sample = option;
    sample.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    sample.text = QStringLiteral("M");
    const QSize size = view_.style()->sizeFromContents(QStyle::CT_ItemViewItem, &sample, QSize(), &view_);
    besideText_ = size.width() - qCeil(metrics.horizontalAdvance(sample.text));
    height_ = size.height();
  }

  bool WithinView(const QString& text, const QModelIndex& index) const {
    for (const QChar c : text) {
      if (c.unicode() < 0x20 || c.unicode() >= 0x7F) return false;
    }
    int level = view_.rootIsDecorated() ? 1 : 0;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) ++level;
    const int bound = level * view_.indentation() + besideText_ + qCeil(static_cast<qreal>(text.size()) * widest_);
    return bound <= view_.viewport()->width();
  }

  const QTreeView& view_;
  mutable QFont font_;
  mutable qreal widest_ = 0;
  mutable int besideText_ = 0;
  mutable int height_ = 0;
  mutable QHash<QString, QSize> sizes_;
};

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  // Relative luminance as the web's accessibility guidelines define it.
  const auto luminance = [](const QColor& colour) {
    const auto linear = [](float channel) {
      return channel <= 0.03928f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor MarkColour(int mark, const QColor& base) {
  // A dark and a light shade of each; whichever stands out more against
  // the view's base is drawn, so the mark reads in light and dark palettes.
  const bool problem = mark >= static_cast<int>(Severity::kProblem);
  const QColor dark = problem ? QColor(0xB0, 0x00, 0x20) : QColor(0x80, 0x50, 0x00);
  const QColor light = problem ? QColor(0xFF, 0x8A, 0x80) : QColor(0xFF, 0xD5, 0x4F);
  return ContrastRatio(dark, base) >= ContrastRatio(light, base) ? dark : light;
}

TMain::TMain(QWidget* owner, MainWindowPorts ports)
    : QMainWindow(owner), ports_(WithDefaults(std::move(ports))), core_(*this) {
  setWindowTitle(QStringLiteral("Corvane"));
  setWindowIcon(ProgramIcon());
  setFont(SansFont(QStringLiteral("MS Sans Serif"), 11));
  for (int i = 0; i < kTreeIconCount; ++i) TreeIcons.append(TreeIcon(i));
  CreateTree();
  ModuleList = new ModulesPane(core_, *InfoTree, *model_, centralWidget());
  problemsOnly_ = new ProblemsOnly(*InfoTree, *model_, this);
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
  InfoTree = new InfoTreeView(this);
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
  InfoTree->installEventFilter(this);
  InfoTree->viewport()->installEventFilter(this);
  model_ = std::make_unique<TreeNodesModel>(core_.Items());
  model_->decoration = [this](int imageIndex) {
    return imageIndex >= 0 && imageIndex < TreeIcons.size() ? QVariant(TreeIcons[imageIndex]) : QVariant();
  };
  model_->otherData = [this](const TTreeNode& node, int role) -> QVariant {
    if (node.Mark() == 0) {
      const bool cleanFile = model_->Filtered() && node.Parent() == nullptr;
      return cleanFile && role == Qt::ToolTipRole ? QStringLiteral("Nothing is missing") : QVariant();
    }
    if (role == Qt::ForegroundRole) return MarkColour(node.Mark(), InfoTree->palette().color(QPalette::Base));
    if (role == Qt::ToolTipRole) return core_.MarkReason(&node);
    return {};
  };
  InfoTree->setModel(model_.get());
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
  FindText->installEventFilter(this);
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
  const ModulesActions actions = AddModulesActions(*View, *ModuleList);
  ShowModules = actions.modules;
  OnlyProblems = actions.onlyProblems;
  connect(OnlyProblems, &QAction::toggled, this, [this](bool on) { problemsOnly_->Set(on); });
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
    ShowError(QStringLiteral("Unable to print: no printer is available."), kErrorBoxStyle);
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
    node = SelectedNode();
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

TTreeNode* TMain::SelectedNode() const {
  const QModelIndexList selected = InfoTree->selectionModel()->selectedIndexes();
  return selected.isEmpty() ? nullptr : model_->NodeAt(selected.front());
}

void TMain::PopupInspectClick() {
  TTreeNode* node = SelectedNode();
  core_.PopupInspectClick(node);
  // The view was reset when the build ended; the inspected node stays the
  // one the user works on.
  if (node != nullptr) {
    InfoTree->setCurrentIndex(model_->IndexOf(node));
    InfoTree->scrollTo(model_->IndexOf(node));
  }
}

void TMain::CopyClick() {
  if (ModuleList->hasFocus()) {
    QGuiApplication::clipboard()->setText(ModuleList->SelectionAsText());
    return;
  }
  if (const TTreeNode* node = SelectedNode()) QGuiApplication::clipboard()->setText(node->Text());
}

void TMain::CopySubtreeClick() {
  if (const TTreeNode* node = SelectedNode()) {
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
  const TTreeNode* found = FindNode(core_.Items(), SelectedNode(), FindText->text(), backwards,
                                    [this](const TTreeNode* node) { return model_->Shown(node); });
  FindResult->setVisible(found == nullptr);
  if (found == nullptr) return;
  // Scrolling to a node expands its collapsed ancestors.
  const QModelIndex index = model_->IndexOf(found);
  InfoTree->setCurrentIndex(index);
  InfoTree->scrollTo(index);
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FindText && event->type() == QEvent::KeyPress) {
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
      FindNext(keyEvent->modifiers().testFlag(Qt::ShiftModifier));
      return true;
    }
    if (keyEvent->key() == Qt::Key_Escape) {
      FindBar->hide();
      InfoTree->setFocus();
      return true;
    }
  }
  const bool inTree = watched == InfoTree || watched == InfoTree->viewport();
  if (inTree && event->type() == QEvent::ContextMenu &&
      static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
    // Some platforms turn the context-menu key into a menu request of their
    // own, others do not; the keys are handled below alike everywhere.
    return true;
  }
  if (watched == InfoTree && event->type() == QEvent::KeyPress) {
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    std::uint16_t key = VirtualKey(*keyEvent);
    const bool menuKey = key == kContextMenuKey;
    core_.InfoTreeKeyDown(key, static_cast<int>(keyEvent->modifiers()));
    if (menuKey || (keyEvent->key() == Qt::Key_F10 && keyEvent->modifiers() == Qt::ShiftModifier)) {
      const QRect current = InfoTree->visualRect(InfoTree->currentIndex());
      TreeMenuPopup(current.isValid() ? current.center() : QPoint(0, 0));
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

int TMain::ShowError(const QString& text, std::uint32_t style) {
  return ports_.messageBox(this, QCoreApplication::applicationName(), text, style);
}

void TMain::PumpMessages() {
  // Called for every node of a build. Draining the queue costs about a
  // microsecond even when it is empty, more than adding the node; draining
  // it at most every few milliseconds keeps the window painting smoothly and
  // a hundred-thousand-node build nearly as fast as without a window. Even
  // reading the clock costs a tenth of adding a node, so it is read only
  // every few dozen calls.
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
