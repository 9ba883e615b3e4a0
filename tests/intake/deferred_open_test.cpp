// Opens held back while a build runs: nothing touches the tree meanwhile,
// and every held list is opened, in order, from the event loop afterwards.

#include "deferred_open.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace corvane {
namespace {

class DeferredOpenerTest : public ::testing::Test {
 protected:
  // Runs the event loop until nothing waits; the deadline only keeps a
  // broken retry from hanging the run.
  void RunEventLoopUntilNothingWaits() {
    const QDeadlineTimer deadline(10'000);
    while (opener_.Waiting() > 0 && !deadline.hasExpired()) QCoreApplication::processEvents();
  }

  bool building_ = false;
  std::vector<QStringList> opened_;
  std::function<void(const QStringList&)> onOpen_;
  DeferredOpener opener_{[this] { return building_; },
                         [this](const QStringList& files) {
                           opened_.push_back(files);
                           if (onOpen_) onOpen_(files);
                         },
                         std::chrono::milliseconds(0)};
};

TEST_F(DeferredOpenerTest, OpensAtOnceWhenNothingIsBuilt) {
  opener_.Request({"/a.dll"});
  EXPECT_EQ(opened_, std::vector<QStringList>{{"/a.dll"}});
  EXPECT_EQ(opener_.Waiting(), 0u);
}

TEST_F(DeferredOpenerTest, RequestsDuringABuildWaitAndOpenInOrderAfterIt) {
  building_ = true;
  opener_.Request({"/a.dll", "/b.dll"});
  opener_.Request({"/c.dll"});
  QCoreApplication::processEvents();
  EXPECT_TRUE(opened_.empty()) << "nothing is opened while the build runs";
  EXPECT_EQ(opener_.Waiting(), 2u);

  building_ = false;
  RunEventLoopUntilNothingWaits();
  EXPECT_EQ(opened_, (std::vector<QStringList>{{"/a.dll", "/b.dll"}, {"/c.dll"}}));
}

TEST_F(DeferredOpenerTest, ARequestFromInsideAnOpenWaitsUntilThatOpenReturns) {
  bool inside = false;
  onOpen_ = [&](const QStringList& files) {
    if (files == QStringList{"/first.dll"}) {
      inside = true;
      opener_.Request({"/second.dll"});
      EXPECT_EQ(opened_.size(), 1u) << "not opened inside the first open";
      inside = false;
    } else {
      EXPECT_FALSE(inside);
    }
  };
  opener_.Request({"/first.dll"});
  RunEventLoopUntilNothingWaits();
  EXPECT_EQ(opened_, (std::vector<QStringList>{{"/first.dll"}, {"/second.dll"}}));
}

TEST_F(DeferredOpenerTest, ALaterRequestDoesNotOvertakeOneThatWaits) {
  building_ = true;
  opener_.Request({"/early.dll"});
  building_ = false;
  opener_.Request({"/late.dll"});
  RunEventLoopUntilNothingWaits();
  EXPECT_EQ(opened_, (std::vector<QStringList>{{"/early.dll"}, {"/late.dll"}}));
}

}  // namespace
}  // namespace corvane
