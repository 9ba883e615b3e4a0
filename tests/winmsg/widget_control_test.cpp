// A widget as a window control, offscreen: its events through the
// replaceable procedure, and drags from the file manager turned into one
// dropped-files message.

#include "widget_control.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "drag_simulation.h"
#include "drop_files.h"

namespace corvane {
namespace {

using testing::DragAndDrop;
using testing::LocalFileData;
using testing::UrlData;

constexpr auto kUserEvent = QEvent::Type(QEvent::User + 7);

// A widget that records the events that reach its own handling.
class RecordingWidget final : public QWidget {
 public:
  bool event(QEvent* event) override {
    types.push_back(event->type());
    return QWidget::event(event);
  }
  bool Received(QEvent::Type type) const { return std::find(types.begin(), types.end(), type) != types.end(); }
  std::vector<QEvent::Type> types;
};

// A procedure put in front of the control's own: records every message, and
// for a dropped-files message the names its handle gives.
struct RecordingProcedure {
  TWndMethod previous;
  bool callPrevious = true;
  std::vector<TMessage> messages;
  std::vector<QStringList> droppedNames;
  std::vector<HDROP> dropHandles;

  void Handle(TMessage& message) {
    messages.push_back(message);
    if (message.Msg == WM_DROPFILES) {
      const HDROP drop = DropHandleOf(message);
      dropHandles.push_back(drop);
      QStringList names;
      const std::uint32_t count = DragQueryFileW(drop, kDragQueryFileCount, nullptr, 0);
      for (std::uint32_t index = 0; index < count; ++index) {
        std::u16string name(DragQueryFileW(drop, index, nullptr, 0), u'\0');
        DragQueryFileW(drop, index, name.data(), static_cast<std::uint32_t>(name.size() + 1));
        names.append(QString::fromStdU16String(name));
      }
      droppedNames.push_back(names);
      DragFinish(drop);
    }
    if (callPrevious) previous(message);
  }

  int Count(std::uint32_t msg) const {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [msg](const TMessage& m) { return m.Msg == msg; }));
  }
};

class WidgetControlTest : public ::testing::Test {
 protected:
  WidgetControlTest() {
    widget_.resize(200, 150);
    widget_.show();
    procedure_.previous = control_->WindowProc();
    control_->SetWindowProc(TWndMethod::Bind<&RecordingProcedure::Handle>(&procedure_));
  }

  RecordingWidget widget_;
  std::unique_ptr<WidgetControl> control_ = std::make_unique<WidgetControl>(&widget_);
  RecordingProcedure procedure_;
};

TEST_F(WidgetControlTest, EveryEventPassesThroughTheProcedureAndGoesOnToTheWidget) {
  QEvent event(kUserEvent);
  QCoreApplication::sendEvent(&widget_, &event);

  ASSERT_EQ(procedure_.Count(WM_TOOLKITEVENT + kUserEvent), 1);
  const auto message = std::find_if(procedure_.messages.begin(), procedure_.messages.end(),
                                    [](const TMessage& m) { return m.Msg == WM_TOOLKITEVENT + kUserEvent; });
  EXPECT_EQ(message->WParam, reinterpret_cast<WPARAM>(&event));
  EXPECT_TRUE(widget_.Received(kUserEvent));

  widget_.resize(220, 160);
  EXPECT_GE(procedure_.Count(WM_TOOLKITEVENT + QEvent::Resize), 1);
}

TEST_F(WidgetControlTest, AnEventKeptFromTheDefaultProcedureNeverReachesTheWidget) {
  procedure_.callPrevious = false;
  QEvent event(kUserEvent);
  QCoreApplication::sendEvent(&widget_, &event);
  EXPECT_EQ(procedure_.Count(WM_TOOLKITEVENT + kUserEvent), 1);
  EXPECT_FALSE(widget_.Received(kUserEvent));
}

TEST_F(WidgetControlTest, MessagesWithoutAnEventGetNoDefaultHandling) {
  EXPECT_EQ(Perform(*control_, WM_USER, 1, 2), 0);
  EXPECT_EQ(Perform(*control_, WM_TOOLKITEVENT + kUserEvent, 0x1234), 0);
  EXPECT_FALSE(widget_.Received(kUserEvent));
}

TEST_F(WidgetControlTest, DragAcceptFilesSwitchesTheWidgetsAcceptanceOfDrops) {
  EXPECT_FALSE(control_->AcceptsFiles());
  DragAcceptFiles(control_->GetHandle(), true);
  EXPECT_TRUE(control_->AcceptsFiles());
  EXPECT_TRUE(widget_.acceptDrops());
  DragAcceptFiles(control_->GetHandle(), false);
  EXPECT_FALSE(widget_.acceptDrops());
}

TEST_F(WidgetControlTest, OnlyADragOfLocalFilesIsAcceptedAndOnlyWhileFilesAreAccepted) {
  struct Case {
    const char* description;
    bool accepting;
    QList<QUrl> urls;
    bool accepted;
  };
  const Case cases[] = {
      {"local files", true, {QUrl::fromLocalFile("/tmp/a.dll"), QUrl::fromLocalFile("/tmp/b c.exe")}, true},
      {"local files while refusing", false, {QUrl::fromLocalFile("/tmp/a.dll")}, false},
      {"a web address", true, {QUrl("https://example.org/a.dll")}, false},
      {"local and remote together", true, {QUrl::fromLocalFile("/tmp/a.dll"), QUrl("sftp://host/b.dll")}, false},
      {"no addresses at all", true, {}, false},
  };
  for (const Case& c : cases) {
    control_->AcceptFiles(c.accepting);
    const std::unique_ptr<QMimeData> data(UrlData(c.urls));
    if (c.urls.isEmpty()) data->setText("/tmp/a.dll");
    EXPECT_EQ(DragAndDrop(widget_, *data).entered, c.accepted) << c.description;
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(procedure_.Count(WM_DROPFILES), 1) << "only the accepted drag was dropped";
}

TEST_F(WidgetControlTest, ADropOfLocalFilesArrivesAsOneDropMessageOnceTheDropHasReturned) {
  control_->AcceptFiles(true);
  const QStringList files = {"/tmp/one.dll", "/tmp/two words.exe", "/tmp/three.ocx"};
  const std::unique_ptr<QMimeData> data(LocalFileData(files));

  const testing::DragResult result = DragAndDrop(widget_, *data);
  EXPECT_TRUE(result.dropped);
  EXPECT_EQ(result.dropAction, Qt::CopyAction);
  EXPECT_EQ(procedure_.Count(WM_DROPFILES), 0) << "posted, not sent from inside the file manager's drop";

  QCoreApplication::processEvents();
  ASSERT_EQ(procedure_.Count(WM_DROPFILES), 1);
  EXPECT_EQ(procedure_.droppedNames, std::vector<QStringList>{files});
  EXPECT_EQ(DroppedNames(procedure_.dropHandles[0]), nullptr) << "the handle is dead once delivered";
  for (const TMessage& message : procedure_.messages) {
    const auto type = static_cast<QEvent::Type>(message.Msg - WM_TOOLKITEVENT);
    EXPECT_TRUE(message.Msg < WM_TOOLKITEVENT ||
                (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
        << "drags are the file manager's and never reach the procedure";
  }
}

TEST_F(WidgetControlTest, AnUnfinishedDropHandleIsReleasedAfterDelivery) {
  control_->AcceptFiles(true);
  procedure_.callPrevious = true;
  HDROP seen = nullptr;
  struct Ignoring {
    HDROP* seen;
    void Handle(TMessage& message) {
      if (message.Msg == WM_DROPFILES) *seen = DropHandleOf(message);
    }
  } ignoring{&seen};
  control_->SetWindowProc(TWndMethod::Bind<&Ignoring::Handle>(&ignoring));
  const std::unique_ptr<QMimeData> data(LocalFileData({"/tmp/a.dll"}));
  DragAndDrop(widget_, *data);
  QCoreApplication::processEvents();
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(DroppedNames(seen), nullptr);
}

TEST_F(WidgetControlTest, AControlThatGoesBeforeItsDropIsDeliveredDeliversNothing) {
  control_->AcceptFiles(true);
  const std::unique_ptr<QMimeData> data(LocalFileData({"/tmp/a.dll"}));
  EXPECT_TRUE(DragAndDrop(widget_, *data).dropped);
  control_.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(procedure_.Count(WM_DROPFILES), 0);

  QEvent event(kUserEvent);
  QCoreApplication::sendEvent(&widget_, &event);
  EXPECT_TRUE(widget_.Received(kUserEvent)) << "the widget handles its events alone again";
}

}  // namespace
}  // namespace corvane
