// The dropped-files receiver on a real widget: a drag from the file manager
// reaches the callback as one list, and the widget refuses drops while one
// is handled.

#include <QCoreApplication>
#include <QMimeData>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Ishellfiles.h"
#include "Tmsginterceptor.h"
#include "drag_simulation.h"
#include "widget_control.h"

namespace corvane {
namespace {

using testing::DragAndDrop;
using testing::LocalFileData;

struct Window {
  Window() {
    widget.resize(200, 150);
    widget.show();
    shellFile.SetOnDropFiles(TDropFilesEvent::Bind<&Window::FilesDropped>(this));
    shellFile.SetAcceptFiles(true);
  }
  ~Window() { QCoreApplication::processEvents(); }

  void FilesDropped(const QStringList& Files, bool& /*AcceptMore*/) {
    dropped.push_back(Files);
    acceptingDuringCall.push_back(widget.acceptDrops());
    // A second drag while this one is handled, as from a nested event loop.
    const std::unique_ptr<QMimeData> data(LocalFileData({"/tmp/second.dll"}));
    secondDragEntered.push_back(DragAndDrop(widget, *data).entered);
  }

  QWidget widget;
  WidgetControl control{&widget};
  TMsgInterceptor interceptor{&control};
  IShellFile shellFile{&interceptor};
  std::vector<QStringList> dropped;
  std::vector<bool> acceptingDuringCall;
  std::vector<bool> secondDragEntered;
};

TEST(ShellDropTest, ADragOfThreeFilesReachesTheCallbackAsOneListInOrder) {
  Window window;
  const QStringList files = {"/tmp/c.dll", "/tmp/a b.dll", "/tmp/b.exe"};
  const std::unique_ptr<QMimeData> data(LocalFileData(files));

  EXPECT_TRUE(DragAndDrop(window.widget, *data).dropped);
  QCoreApplication::processEvents();

  EXPECT_EQ(window.dropped, std::vector<QStringList>{files});
  EXPECT_EQ(window.acceptingDuringCall, std::vector<bool>{false});
  EXPECT_EQ(window.secondDragEntered, std::vector<bool>{false}) << "refused while the first drop is handled";
  EXPECT_TRUE(window.widget.acceptDrops()) << "accepted again afterwards";
}

}  // namespace
}  // namespace corvane
