// A widget as a window control, offscreen: its events through the
// replaceable procedure, and drags from the file manager turned into one
// dropped-files message.

#include "widget_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "drag_simulation.h"

namespace corvane {
namespace {

constexpr auto kUserEvent = QEvent::Type(QEvent::User + 7);

// A widget that counts the user events that reach its own handling.
class RecordingWidget final : public QWidget {
 public:
  bool event(QEvent* event) override {
    if (event->type() == kUserEvent) ++userEvents;
    return QWidget::event(event);
  }
  int userEvents = 0;
};

class WidgetControlTest : public ::testing::Test {
 protected:
  WidgetControlTest() {
    widget_.resize(200, 150);
    widget_.show();
    previous_ = control_->WindowProc();
    control_->SetWindowProc(TWndMethod::Bind<&WidgetControlTest::Procedure>(this));
  }

  // Put in front of the control's own procedure: records every message, and
  // the names of a drop, which it leaves unfinished.
  void Procedure(TMessage& message) {
    messages_.push_back(message);
    if (message.Msg == WM_DROPFILES) {
      dropHandles_.push_back(DropHandleOf(message));
      const QStringList* names = DroppedNames(DropHandleOf(message));
      droppedNames_.push_back(names != nullptr ? *names : QStringList());
    }
    if (callPrevious_) previous_(message);
  }

  int Count(std::uint32_t msg) const {
    return static_cast<int>(std::count_if(messages_.begin(), messages_.end(), [msg](const TMessage& m) { return m.Msg == msg; }));
  }

  RecordingWidget widget_;
  std::unique_ptr<WidgetControl> control_ = std::make_unique<WidgetControl>(&widget_);
  TWndMethod previous_;
  bool callPrevious_ = true;
  std::vector<TMessage> messages_;
  std::vector<HDROP> dropHandles_;
  std::vector<QStringList> droppedNames_;
};

TEST_F(WidgetControlTest, EveryEventPassesThroughTheProcedureAndReachesTheWidgetOnlyThroughTheDefaultOne) {
  for (const bool callPrevious : {true, false}) {
    callPrevious_ = callPrevious;
    widget_.userEvents = 0;
    messages_.clear();
    QEvent event(kUserEvent);
    QCoreApplication::sendEvent(&widget_, &event);
    ASSERT_EQ(Count(WM_TOOLKITEVENT + kUserEvent), 1);
    EXPECT_EQ(messages_.front().WParam, reinterpret_cast<WPARAM>(&event));
    EXPECT_EQ(widget_.userEvents, callPrevious ? 1 : 0);
  }
  // A message that carries no event of this widget goes nowhere.
  callPrevious_ = true;
  EXPECT_EQ(Perform(*control_, WM_TOOLKITEVENT + kUserEvent, 0x1234), 0);
  EXPECT_EQ(widget_.userEvents, 0);
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
    DragAcceptFiles(control_->GetHandle(), c.accepting);
    EXPECT_EQ(widget_.acceptDrops(), c.accepting);
    const std::unique_ptr<QMimeData> data(testing::UrlData(c.urls));
    if (c.urls.isEmpty()) data->setText("/tmp/a.dll");
    EXPECT_EQ(testing::DragAndDrop(widget_, *data).entered, c.accepted) << c.description;
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(Count(WM_DROPFILES), 1) << "only the accepted drag was dropped";
}

TEST_F(WidgetControlTest, ADropArrivesAsOneMessageOnceTheDropHasReturnedAndItsHandleIsReleasedAfter) {
  control_->AcceptFiles(true);
  const QStringList files = {"/tmp/one.dll", "/tmp/two words.exe", "/tmp/three.ocx"};
  const std::unique_ptr<QMimeData> data(testing::LocalFileData(files));
  const testing::DragResult result = testing::DragAndDrop(widget_, *data);
  EXPECT_TRUE(result.dropped);
  EXPECT_EQ(result.dropAction, Qt::CopyAction);
  EXPECT_EQ(Count(WM_DROPFILES), 0) << "posted, not sent from inside the file manager's drop";

  QCoreApplication::processEvents();
  ASSERT_EQ(Count(WM_DROPFILES), 1);
  EXPECT_EQ(droppedNames_, std::vector<QStringList>{files});
  EXPECT_EQ(DroppedNames(dropHandles_[0]), nullptr) << "released though the procedure did not finish it";
  for (const TMessage& message : messages_) {
    const auto type = static_cast<QEvent::Type>(message.Msg - WM_TOOLKITEVENT);
    EXPECT_TRUE(message.Msg < WM_TOOLKITEVENT || (type != QEvent::DragEnter && type != QEvent::Drop))
        << "drags are the file manager's and never reach the procedure";
  }
}

TEST_F(WidgetControlTest, AControlThatGoesBeforeItsDropIsDeliveredDeliversNothing) {
  control_->AcceptFiles(true);
  const std::unique_ptr<QMimeData> data(testing::LocalFileData({"/tmp/a.dll"}));
  EXPECT_TRUE(testing::DragAndDrop(widget_, *data).dropped);
  control_.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(Count(WM_DROPFILES), 0);

  QEvent event(kUserEvent);
  QCoreApplication::sendEvent(&widget_, &event);
  EXPECT_EQ(widget_.userEvents, 1) << "the widget handles its events alone again";
}

}  // namespace
}  // namespace corvane
