// The dropped-files receiver: when the window accepts drops and how often it
// is told, what a drop delivers to the callback, and what it leaves behind.

#include "Ishellfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "drop_files.h"
#include "fake_control.h"

namespace corvane {
namespace {

using testing::FakeControl;

// The callback's side: what each call received and how the window stood
// meanwhile.
struct Receiver {
  std::vector<QStringList> calls;
  std::vector<bool> acceptingDuringCall;
  bool acceptMore = true;
  std::function<void()> during;
  const FakeControl* control = nullptr;

  void FilesDropped(const QStringList& Files, bool& AcceptMore) {
    EXPECT_TRUE(AcceptMore) << "AcceptMore starts true";
    calls.push_back(Files);
    acceptingDuringCall.push_back(control->accepting);
    if (during) during();
    AcceptMore = acceptMore;
  }
  TDropFilesEvent Bound() { return TDropFilesEvent::Bind<&Receiver::FilesDropped>(this); }
};

class ShellFileTest : public ::testing::Test {
 protected:
  ShellFileTest() { receiver_.control = &control_; }

  // Delivers a drop the way the window does and returns whether the handle
  // was given back.
  bool Drop(const QStringList& names) {
    DropFiles drop(names);
    const LRESULT result = Perform(control_, WM_DROPFILES, drop.AsWParam());
    EXPECT_EQ(result, 0);
    return drop.Finished();
  }

  FakeControl control_;
  TMsgInterceptor interceptor_{&control_};
  IShellFile shellFile_{&interceptor_};
  Receiver receiver_;
};

TEST_F(ShellFileTest, RegistersForDroppedFilesWithoutAcceptingThemYet) {
  EXPECT_FALSE(shellFile_.Accepting());
  ASSERT_NE(shellFile_.HandlerHandle(), nullptr);
  EXPECT_EQ(shellFile_.HandlerHandle()->Msg, WM_DROPFILES);
  EXPECT_EQ(shellFile_.Wnd(), control_.GetHandle());
  EXPECT_TRUE(control_.acceptCalls.empty());
}

TEST_F(ShellFileTest, TheWindowIsToldOnlyWhenAcceptanceChanges) {
  struct Step {
    const char* action;
    std::function<void(IShellFile&, Receiver&)> run;
    bool accepting;
  };
  const Step steps[] = {
      {"accept without a callback", [](IShellFile& s, Receiver&) { s.SetAcceptFiles(true); }, false},
      {"set the callback", [](IShellFile& s, Receiver& r) { s.SetOnDropFiles(r.Bound()); }, true},
      {"accept again", [](IShellFile& s, Receiver&) { s.SetAcceptFiles(true); }, true},
      {"refuse", [](IShellFile& s, Receiver&) { s.SetAcceptFiles(false); }, false},
      {"refuse again", [](IShellFile& s, Receiver&) { s.SetAcceptFiles(false); }, false},
      {"set the callback again", [](IShellFile& s, Receiver& r) { s.SetOnDropFiles(r.Bound()); }, true},
      {"clear the callback", [](IShellFile& s, Receiver&) { s.SetOnDropFiles({}); }, false},
      {"accept with the callback cleared", [](IShellFile& s, Receiver&) { s.SetAcceptFiles(true); }, false},
  };
  std::vector<bool> expectedCalls;
  for (const Step& step : steps) {
    const bool before = shellFile_.Accepting();
    step.run(shellFile_, receiver_);
    if (step.accepting != before) expectedCalls.push_back(step.accepting);
    EXPECT_EQ(shellFile_.Accepting(), step.accepting) << step.action;
    EXPECT_EQ(control_.acceptCalls, expectedCalls) << step.action;
  }
}

TEST_F(ShellFileTest, ADropOfThreeFilesReachesTheCallbackOnceInTheFileManagersOrder) {
  shellFile_.SetOnDropFiles(receiver_.Bound());
  const QStringList names = {"/data/b c.dll", "/data/a.exe", QString::fromUtf8("/data/\xc3\xa9t\xc3\xa9.ocx")};

  EXPECT_TRUE(Drop(names)) << "the drop handle is given back";

  EXPECT_EQ(receiver_.calls, std::vector<QStringList>{names});
  EXPECT_EQ(receiver_.acceptingDuringCall, std::vector<bool>{false}) << "no second drop while one is handled";
  EXPECT_EQ(control_.acceptCalls, (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(shellFile_.Accepting());
  EXPECT_EQ(control_.broughtToFront, 1);
  EXPECT_TRUE(control_.received.empty()) << "the dropped-files message is consumed";
}

TEST_F(ShellFileTest, EmptyNamesAreLeftOutAndLongNamesCut) {
  shellFile_.SetOnDropFiles(receiver_.Bound());
  const QString longName = "/" + QString(1500, QChar('x'));
  const QString exact = "/" + QString(1039, QChar('y'));

  Drop({"", longName, exact, "", "/z.dll"});

  ASSERT_EQ(receiver_.calls.size(), 1u);
  EXPECT_EQ(receiver_.calls[0], (QStringList{longName.left(1040), exact, "/z.dll"}));
}

TEST_F(ShellFileTest, ADropWithoutACallbackIsStillReadAndGivenBackAndDropsStayOff) {
  EXPECT_TRUE(Drop({"/a.dll"}));
  EXPECT_TRUE(receiver_.calls.empty());
  EXPECT_FALSE(shellFile_.Accepting());
  EXPECT_TRUE(control_.acceptCalls.empty());
}

TEST_F(ShellFileTest, ACallbackThatRefusesMoreLeavesDropsOffUntilAskedAgain) {
  shellFile_.SetOnDropFiles(receiver_.Bound());
  receiver_.acceptMore = false;
  Drop({"/a.dll"});
  EXPECT_FALSE(shellFile_.Accepting());
  EXPECT_FALSE(control_.accepting);

  shellFile_.SetAcceptFiles(true);
  EXPECT_TRUE(control_.accepting);
}

TEST_F(ShellFileTest, ACallbackClearedDuringItsDropLeavesDropsOff) {
  shellFile_.SetOnDropFiles(receiver_.Bound());
  receiver_.during = [this] { shellFile_.SetOnDropFiles({}); };
  Drop({"/a.dll"});
  EXPECT_FALSE(shellFile_.Accepting());
  EXPECT_EQ(control_.acceptCalls, (std::vector<bool>{true, false}));
}

TEST_F(ShellFileTest, AHandleThatIsNotLiveDeliversNoNames) {
  shellFile_.SetOnDropFiles(receiver_.Bound());
  HDROP stale = nullptr;
  {
    DropFiles drop({"/gone.dll"});
    stale = drop.Handle();
  }
  Perform(control_, WM_DROPFILES, reinterpret_cast<WPARAM>(stale));
  Perform(control_, WM_DROPFILES, 0);
  EXPECT_EQ(receiver_.calls, (std::vector<QStringList>{{}, {}}));
}

TEST(ShellFileLifetimeTest, GoingUnregistersAndLeavesAcceptanceAsItIs) {
  FakeControl control;
  TMsgInterceptor interceptor(&control);
  Receiver receiver;
  receiver.control = &control;
  {
    IShellFile shellFile(&interceptor);
    shellFile.SetOnDropFiles(receiver.Bound());
    EXPECT_EQ(interceptor.HandlerCount(), 1);
  }
  EXPECT_EQ(interceptor.HandlerCount(), 0);
  EXPECT_EQ(control.acceptCalls, std::vector<bool>{true});

  DropFiles drop({"/a.dll"});
  Perform(control, WM_DROPFILES, drop.AsWParam());
  EXPECT_TRUE(receiver.calls.empty());
  ASSERT_EQ(control.received.size(), 1u) << "with no receiver the message reaches the control's own procedure";
}

TEST(ShellFileLifetimeTest, AReceiverWithoutAnInterceptorNeverAcceptsDrops) {
  Receiver receiver;
  IShellFile shellFile(nullptr);
  shellFile.SetOnDropFiles(receiver.Bound());
  shellFile.SetAcceptFiles(true);
  EXPECT_FALSE(shellFile.Accepting());
  EXPECT_EQ(shellFile.Wnd(), nullptr);
  EXPECT_EQ(shellFile.HandlerHandle(), nullptr);
}

}  // namespace
}  // namespace corvane
