// The dropped-files receiver: when the window accepts drops and how often it
// is told, and what a drop delivers to the callback.

#include "Ishellfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "drop_files.h"
#include "fake_control.h"

namespace corvane {
namespace {

using testing::FakeControl;

class ShellFileTest : public ::testing::Test {
 protected:
  void FilesDropped(const QStringList& Files, bool& AcceptMore) {
    EXPECT_TRUE(AcceptMore) << "AcceptMore starts true";
    calls_.push_back(Files);
    acceptingDuringCall_.push_back(control_.accepting);
    if (during_) during_();
    AcceptMore = acceptMore_;
  }
  TDropFilesEvent Callback() { return TDropFilesEvent::Bind<&ShellFileTest::FilesDropped>(this); }
  // Delivers a drop the way the window does; true when the drop's handle
  // was given back.
  bool Drop(const QStringList& names) {
    DropFiles drop(names);
    EXPECT_EQ(Perform(control_, WM_DROPFILES, drop.AsWParam()), 0);
    return drop.Finished();
  }

  FakeControl control_;
  TMsgInterceptor interceptor_{&control_};
  std::unique_ptr<IShellFile> shellFile_ = std::make_unique<IShellFile>(&interceptor_);
  std::vector<QStringList> calls_;
  std::vector<bool> acceptingDuringCall_;
  bool acceptMore_ = true;
  std::function<void()> during_;
};

TEST_F(ShellFileTest, TheWindowIsToldOnlyWhenAcceptanceChanges) {
  struct Step {
    const char* action;
    std::function<void()> run;
    bool accepting;
  };
  const Step steps[] = {
      {"accept without a callback", [&] { shellFile_->SetAcceptFiles(true); }, false},
      {"set the callback", [&] { shellFile_->SetOnDropFiles(Callback()); }, true},
      {"accept again", [&] { shellFile_->SetAcceptFiles(true); }, true},
      {"refuse", [&] { shellFile_->SetAcceptFiles(false); }, false},
      {"refuse again", [&] { shellFile_->SetAcceptFiles(false); }, false},
      {"set the callback again", [&] { shellFile_->SetOnDropFiles(Callback()); }, true},
      {"clear the callback", [&] { shellFile_->SetOnDropFiles({}); }, false},
      {"accept with the callback cleared", [&] { shellFile_->SetAcceptFiles(true); }, false},
  };
  std::vector<bool> expectedCalls;
  for (const Step& step : steps) {
    if (step.accepting != shellFile_->Accepting()) expectedCalls.push_back(step.accepting);
    step.run();
    EXPECT_EQ(shellFile_->Accepting(), step.accepting) << step.action;
    EXPECT_EQ(control_.acceptCalls, expectedCalls) << step.action;
  }
}

TEST_F(ShellFileTest, ADropReachesTheCallbackOnceInOrderWithoutEmptyNamesAndLongOnesCut) {
  shellFile_->SetOnDropFiles(Callback());
  const QString longName = "/" + QString(1500, QChar('x'));
  const QString exact = "/" + QString(1039, QChar('y'));
  const QString accented = QString::fromUtf8("/data/\xc3\xa9t\xc3\xa9.ocx");

  EXPECT_TRUE(Drop({"/b c.dll", "", longName, exact, accented}));

  EXPECT_EQ(calls_, (std::vector<QStringList>{{"/b c.dll", longName.left(1040), exact, accented}}));
  EXPECT_EQ(acceptingDuringCall_, std::vector<bool>{false}) << "no second drop while one is handled";
  EXPECT_EQ(control_.acceptCalls, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(control_.broughtToFront, 1);
  EXPECT_TRUE(control_.received.empty()) << "the dropped-files message is consumed";
}

TEST_F(ShellFileTest, DropsStayOffAfterADropWithoutACallbackOrWhoseCallbackRefusesMoreOrGoes) {
  EXPECT_TRUE(Drop({"/a.dll"})) << "read and given back all the same";
  EXPECT_TRUE(calls_.empty());
  EXPECT_TRUE(control_.acceptCalls.empty());

  shellFile_->SetOnDropFiles(Callback());
  acceptMore_ = false;
  Drop({"/a.dll"});
  EXPECT_FALSE(control_.accepting);
  shellFile_->SetAcceptFiles(true);
  EXPECT_TRUE(control_.accepting);

  acceptMore_ = true;
  during_ = [this] { shellFile_->SetOnDropFiles({}); };
  Drop({"/a.dll"});
  EXPECT_FALSE(shellFile_->Accepting());
  EXPECT_FALSE(control_.accepting);
}

TEST_F(ShellFileTest, GoingUnregistersAndLeavesAcceptanceAsItIs) {
  shellFile_->SetOnDropFiles(Callback());
  shellFile_.reset();
  EXPECT_EQ(interceptor_.HandlerCount(), 0);
  EXPECT_EQ(control_.acceptCalls, std::vector<bool>{true});
  DropFiles drop({"/a.dll"});
  Perform(control_, WM_DROPFILES, drop.AsWParam());
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(control_.received.size(), 1u) << "with no receiver the message reaches the control's own procedure";
}

}  // namespace
}  // namespace corvane
