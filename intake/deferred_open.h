#pragma once

// Opens lists of files when the viewer can take them. A request that arrives
// while the viewer is busy (a build's message pump, or a message box shown
// while a node is held, runs other handlers) must not touch the tree; it
// waits and is opened, in order with any others, from the event loop once
// the viewer is done.

#include <QObject>
#include <QStringList>

#include <chrono>
#include <deque>
#include <functional>

namespace corvane {

class DeferredOpener final : public QObject {
 public:
  // `busy` tells whether the viewer is busy; `open` replaces what is
  // shown with a list. While requests wait, `busy` is asked again every
  // `retryInterval` from the event loop.
  DeferredOpener(std::function<bool()> busy, std::function<void(const QStringList&)> open,
                 std::chrono::milliseconds retryInterval = std::chrono::milliseconds(20));

  // Opens `files` now if nothing is being built and no earlier request
  // waits; otherwise queues them.
  void Request(const QStringList& files);
  std::size_t Waiting() const { return waiting_.size(); }

 private:
  bool CanOpen() const;
  void OpenWaiting();
  void RetryLater();

  std::function<bool()> busy_;
  std::function<void(const QStringList&)> open_;
  std::chrono::milliseconds retryInterval_;
  std::deque<QStringList> waiting_;
  bool opening_ = false;
  bool retryScheduled_ = false;
};

}  // namespace corvane
