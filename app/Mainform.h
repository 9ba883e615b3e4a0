#pragma once

// The main window: the tree of opened files, the menus, the status bar with
// the totals, and the window services the viewer's logic asks for. The logic
// itself lives in ViewerCore; this class creates widgets, forwards commands
// and supplies the error box, the message pump, the cursor and the status
// panels.

#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

#include "Ishellfiles.h"
#include "Tmsginterceptor.h"
#include "deferred_open.h"
#include "info_tree_view.h"
#include "viewer_core.h"
#include "widget_control.h"

class QAction;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPrinter;
class QStatusBar;

namespace corvane {

class ModulesPane;
class ProblemsOnly;
class TreeNodesModel;

// What the window reaches outside itself for (the system's modal dialogs
// and the printer); tests replace each. The other direction, what the
// viewer's core asks of the window, is ViewerShell, which TMain implements.
struct MainWindowPorts {
  // Shows a modal message box about `subject` and returns the identifier of
  // the button pressed (1 for OK).
  std::function<int(QWidget* parent, const QString& caption, const QString& text, std::uint32_t style,
                    const ErrorSubject& subject)>
      messageBox;
  // Runs the Open dialog modally; true when a file was chosen.
  std::function<bool(QFileDialog& dialog)> runOpenDialog;
  // The printer the window prints on.
  std::function<std::unique_ptr<QPrinter>()> makePrinter;
};

class TMain final : public QMainWindow, private ViewerShell {
  Q_OBJECT

 public:
  explicit TMain(QWidget* owner = nullptr, MainWindowPorts ports = {});
  ~TMain() override;

  ViewerCore& Core() { return core_; }

  // Replaces what the tree shows with `files`.
  void OpenList(const QStringList& files) { core_.OpenList(files); }
  // Files dropped from the file manager: opened like the command line's,
  // once no build is under way. Drops stay accepted.
  void FilesDropped(const QStringList& Files, bool& AcceptMore);

  // Menu commands.
  void OpenClick();
  void CloseClick();
  void PrintDlgClick();
  void ExitClick();
  void AboutClick();
  void PopupInspectClick();
  void CopyClick();
  void CopySubtreeClick();
  // Opens the find bar, or selects its text when it is open.
  void FindClick();
  // Selects and reveals the next node (backwards: the previous one) that the
  // find bar's words match, or says in the bar that none does.
  void FindNext(bool backwards);

  // The tree's context menu is about to open at `position` (viewport
  // coordinates): it acts on the selected node when the context-menu key
  // asked for it, else on the node under the mouse pointer, which it selects.
  void TreeMenuPopup(const QPoint& position);
  // Selects the node under the mouse pointer (none: clears the selection)
  // and returns it.
  TTreeNode* SelectNodeAtCursor();

  // Components, named as the window's description names them.
  InfoTreeView* InfoTree = nullptr;
  QMenuBar* MainMenu = nullptr;
  QMenu* File = nullptr;
  QAction* Open = nullptr;
  QAction* Close = nullptr;
  QAction* Exit = nullptr;
  QAction* N1 = nullptr;
  QMenu* Edit = nullptr;
  QAction* Copy = nullptr;
  QAction* CopySubtree = nullptr;
  QAction* Find = nullptr;
  QMenu* View = nullptr;
  QAction* UndecorateNames = nullptr;
  QAction* NameOrdinals = nullptr;
  QAction* ShowModules = nullptr;
  QAction* OnlyProblems = nullptr;
  QMenu* Help = nullptr;
  QAction* About = nullptr;
  QAction* PopupInspect = nullptr;
  QAction* PopupPrint = nullptr;
  QMenu* TreeMenu = nullptr;
  QList<QIcon> TreeIcons;
  QFileDialog* OpenFileDlg = nullptr;
  QStatusBar* StatusBar = nullptr;
  QAction* PrintDlg = nullptr;
  // Below the tree, shown by Find.
  QWidget* FindBar = nullptr;
  QLineEdit* FindText = nullptr;
  QLabel* FindResult = nullptr;
  // Below the tree, shown by View > Modules.
  ModulesPane* ModuleList = nullptr;

  // Drops from the file manager: the receiver, and the interceptor it
  // registers with, installed on this window's message procedure.
  std::unique_ptr<IShellFile> ShellFile;
  std::unique_ptr<TMsgInterceptor> MsgInterceptor;

  // The status bar's four panels.
  std::array<QLabel*, kStatusPanelCount> StatusPanels{};
  TreeNodesModel* TreeModel() const { return model_.get(); }

 private:
  // ViewerShell.
  int ShowError(const QString& text, std::uint32_t style, const ErrorSubject& subject) override;
  void PumpMessages() override;
  void SetWaitCursor() override;
  void RestoreCursor() override;
  void SetWindowEnabled(bool enabled) override;
  void FocusWindow() override;
  void SetStatusPanelText(int panel, const QString& text) override;

  void CreateTree();
  void CreateFindBar();
  void CreateMenus();
  void CreateViewMenu();
  // Shows the names as the View menu's options ask, keeping the selected
  // row and the scroll position.
  void ApplyNameOptions();
  // Shows or hides the Modules pane as the View menu asks.
  void ApplyModulesOption();
  void CreateOpenDialog();
  void CreateStatusBar();

  MainWindowPorts ports_;
  QElapsedTimer pumpClock_;
  unsigned pumpCalls_ = 0;
  ViewerCore core_;
  // Declared after the store it shows, so that it goes first.
  std::unique_ptr<TreeNodesModel> model_;
  ProblemsOnly* problemsOnly_ = nullptr;
  // This window as a control with a message procedure; outlives the
  // interceptor, which the destructor releases first.
  std::unique_ptr<WidgetControl> control_;
  // Drops that arrive while a subtree is built or a library inspected wait
  // here until it is done.
  DeferredOpener dropOpener_{[this] { return core_.Busy(); }, [this](const QStringList& files) { OpenList(files); }};
};

}  // namespace corvane
