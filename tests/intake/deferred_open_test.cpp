// Opens held back while the viewer is busy: nothing touches the tree
// meanwhile, and every held list is opened, in order, from the event loop
// afterwards.

#include "deferred_open.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

TEST(DeferredOpenerTest, RequestsWhileBusyOrInsideAnOpenWaitAndOpenInOrderFromTheEventLoop) {
  bool busy = true;
  bool inside = false;
  std::vector<QStringList> opened;
  DeferredOpener* self = nullptr;
  DeferredOpener opener([&] { return busy; },
                        [&](const QStringList& files) {
                          EXPECT_FALSE(inside) << "not opened inside another open";
                          inside = true;
                          opened.push_back(files);
                          if (files == QStringList{"/a.dll"}) self->Request({"/inside.dll"});
                          inside = false;
                        },
                        std::chrono::milliseconds(0));
  self = &opener;
  opener.Request({"/a.dll"});
  opener.Request({"/b.dll"});
  QCoreApplication::processEvents();
  EXPECT_TRUE(opened.empty());
  busy = false;

  // The deadline only keeps a broken retry from hanging the run.
  const QDeadlineTimer deadline(10'000);
  while (opener.Waiting() > 0 && !deadline.hasExpired()) QCoreApplication::processEvents();
  EXPECT_EQ(opened, (std::vector<QStringList>{{"/a.dll"}, {"/b.dll"}, {"/inside.dll"}}));
}

}  // namespace
}  // namespace corvane
