// The dropped-files receiver: when the window accepts drops and how often it
// is told, what a drop delivers to the callback, and what its going leaves.

#include "Ishellfiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>
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
};

// A drop turns drops off while it is handled, and leaves them off when the
// callback asks for no more.
TEST_F(ShellFileTest, TheWindowIsToldOnlyWhenAcceptanceChanges) {
  const std::tuple<const char*, std::function<void()>, bool> steps[] = {
      {"accept without a callback", [&] { shellFile_->SetAcceptFiles(true); }, false},
      {"a drop without a callback", [&] { EXPECT_TRUE(Drop({"/a.dll"})) << "given back all the same"; }, false},
      {"set the callback", [&] { shellFile_->SetOnDropFiles(Callback()); }, true},
      {"accept again", [&] { shellFile_->SetAcceptFiles(true); }, true},
      {"a drop whose callback refuses more", [&] { acceptMore_ = false; Drop({"/a.dll"}); }, false},
      {"accept after it", [&] { shellFile_->SetAcceptFiles(true); }, true},
      {"refuse", [&] { shellFile_->SetAcceptFiles(false); }, false},
      {"set the callback again", [&] { shellFile_->SetOnDropFiles(Callback()); }, true},
      {"clear the callback", [&] { shellFile_->SetOnDropFiles({}); }, false},
  };
  std::vector<bool> expectedCalls;
  for (const auto& [action, run, accepting] : steps) {
    if (accepting != shellFile_->Accepting()) expectedCalls.push_back(accepting);
    run();
    EXPECT_EQ(shellFile_->Accepting(), accepting) << action;
    EXPECT_EQ(control_.acceptCalls, expectedCalls) << action;
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

TEST_F(ShellFileTest, GoingUnregistersAndLeavesAcceptanceAsItIs) {
  shellFile_->SetOnDropFiles(Callback());
  shellFile_.reset();
  EXPECT_EQ(interceptor_.HandlerCount(), 0);
  EXPECT_EQ(control_.acceptCalls, std::vector<bool>{true});
  DropFiles drop({"/a.dll"});
  Perform(control_, WM_DROPFILES, drop.AsWParam());
  EXPECT_EQ(control_.received.size(), 1u) << "with no receiver the message reaches the control's own procedure";
}

}  // namespace
}  // namespace corvane
