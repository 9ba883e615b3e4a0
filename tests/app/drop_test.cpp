// Files dragged from the file manager onto the main window, offscreen: they
// replace what is shown, exactly as files named on the command line do, and
// a drop that arrives while a subtree is built waits for the build.

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QMimeData>
#include <QPrinter>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "Mainform.h"
#include "drag_simulation.h"
#include "pe_writer.h"
#include "temp_files.h"

namespace corvane {
namespace {

using testing::ByName;
using testing::DragAndDrop;
using testing::LocalFileData;
using testing::Layout;
using testing::PeWriter;
using testing::TempDir;

class DropTest : public ::testing::Test {
 protected:
  DropTest() : startDirectory_(std::filesystem::current_path()) {
    MainWindowPorts ports;
    ports.messageBox = [this](QWidget*, const QString&, const QString& text, std::uint32_t) {
      boxes_.push_back({window_->Core().FileInProcess(), text});
      if (onBox_) onBox_();
      return 1;
    };
    ports.runOpenDialog = [](QFileDialog&) { return false; };
    window_ = std::make_unique<TMain>(nullptr, std::move(ports));
    window_->show();
  }
  ~DropTest() override {
    window_.reset();
    std::filesystem::current_path(startDirectory_);
  }

  QString Write(const std::string& name, const testing::BuiltImage& image) {
    return QString::fromStdString(dir_.Write(name, image.bytes));
  }
  QString WriteText(const std::string& name) {
    const std::string text = "not a program";
    return QString::fromStdString(
        dir_.Write(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
  }
  QStringList TopRows() const {
    QStringList rows;
    const QAbstractItemModel* model = window_->InfoTree->model();
    for (int row = 0; row < model->rowCount(); ++row) rows << model->index(row, 0).data().toString();
    return rows;
  }
  static QStringList Sorted(QStringList list) {
    list.sort();
    return list;
  }
  bool Drop(const QStringList& files) {
    const std::unique_ptr<QMimeData> data(LocalFileData(files));
    return DragAndDrop(*window_, *data).dropped;
  }
  // Runs the event loop until `done`; the deadline only keeps a broken
  // delivery from hanging the run.
  static void RunEventLoopUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10'000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  struct Box {
    std::string file;
    QString text;
  };

  TempDir dir_;
  std::vector<Box> boxes_;
  std::function<void()> onBox_;
  std::unique_ptr<TMain> window_;

 private:
  std::filesystem::path startDirectory_;
};

TEST_F(DropTest, TheWindowAcceptsDropsFromTheStart) {
  EXPECT_TRUE(window_->ShellFile->Accepting());
  EXPECT_TRUE(window_->acceptDrops());
  QMimeData web;
  web.setUrls({QUrl("https://example.org/a.dll")});
  EXPECT_FALSE(DragAndDrop(*window_, web).entered) << "only local files";
}

TEST_F(DropTest, ThreeDroppedFilesReplaceWhatWasShown) {
  window_->OpenList({Write("shown.dll", PeWriter(Layout::Pe32).Build())});
  const QStringList files = {Write("one/a.dll", PeWriter(Layout::Pe32).Build()),
                             Write("two/b c.dll", PeWriter(Layout::Pe32Plus).Build()),
                             Write("three/d.exe", PeWriter(Layout::Pe32).Build())};

  ASSERT_TRUE(Drop(files));
  RunEventLoopUntil([&] { return Sorted(TopRows()) == Sorted(files); });

  EXPECT_EQ(Sorted(TopRows()), Sorted(files));
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(window_->Core().FileFolder(), dir_.Path() + "/one/") << "the first dropped file's folder";
  EXPECT_TRUE(window_->ShellFile->Accepting()) << "drops stay accepted";
}

TEST_F(DropTest, DroppedFilesAreOpenedInTheFileManagersOrder) {
  const QStringList files = {WriteText("c.txt"), WriteText("a.txt"), WriteText("b.txt")};
  ASSERT_TRUE(Drop(files));
  RunEventLoopUntil([&] { return boxes_.size() >= 3; });

  ASSERT_EQ(boxes_.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(QString::fromStdString(boxes_[i].file), files[i]);
    EXPECT_EQ(boxes_[i].text, "Invalid file format (not a Portable Executable file).");
  }
}

// Sits in front of the window's message procedure and notes whether a
// subtree was being built (the viewer busy) whenever dropped files arrive.
struct DeliveryProbe {
  TMain* window;
  TWndMethod next;
  std::vector<bool> busyAtDelivery;

  void Handle(TMessage& message) {
    if (message.Msg == WM_DROPFILES) busyAtDelivery.push_back(window->Core().Busy());
    next(message);
  }
};

TEST_F(DropTest, ADropArrivingDuringABuildIsOpenedOnceTheBuildEnds) {
  PeWriter writer(Layout::Pe32);
  for (int i = 0; i < 300; ++i) writer.Export("Export" + std::to_string(i), static_cast<std::uint16_t>(i));
  const QString big = Write("big.dll", writer.Build());
  const QStringList dropped = {Write("dropped/a.dll", PeWriter(Layout::Pe32).Build())};

  TWinControl& control = *window_->MsgInterceptor->Control();
  DeliveryProbe probe{window_.get(), control.WindowProc(), {}};
  control.SetWindowProc(TWndMethod::Bind<&DeliveryProbe::Handle>(&probe));

  // The drop is taken now and delivered from the event loop, which next
  // runs inside the build's message pump.
  ASSERT_TRUE(Drop(dropped));
  window_->OpenList({big});

  EXPECT_EQ(probe.busyAtDelivery, std::vector<bool>{true}) << "delivered during the build";
  EXPECT_EQ(TopRows(), QStringList{big}) << "the build finished on a tree nobody else touched";
  RunEventLoopUntil([&] { return TopRows() == dropped; });
  EXPECT_EQ(TopRows(), dropped);
  EXPECT_TRUE(boxes_.empty());
  control.SetWindowProc(probe.next);
}

TEST_F(DropTest, ADropDeliveredInsideAnInspectionsErrorBoxIsOpenedAfterTheInspection) {
  const QString app = Write("app/app.exe", PeWriter(Layout::Pe32).Import("bad.dll", {ByName("f")}).Build());
  WriteText("app/bad.dll");
  const QStringList dropped = {Write("dropped/a.dll", PeWriter(Layout::Pe32).Build())};
  window_->OpenList({app});
  const QModelIndex root = window_->InfoTree->model()->index(0, 0);
  window_->InfoTree->setCurrentIndex(window_->InfoTree->model()->index(1, 0, root));
  ASSERT_EQ(window_->InfoTree->currentIndex().data().toString(), "bad.dll");

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
  EXPECT_EQ(boxes_[0].text, "Invalid file format (not a Portable Executable file).");
  EXPECT_EQ(shownInBox, QStringList{app}) << "the inspected node outlives its inspection";
  RunEventLoopUntil([&] { return TopRows() == dropped; });
  EXPECT_EQ(TopRows(), dropped);
}

}  // namespace
}  // namespace corvane
