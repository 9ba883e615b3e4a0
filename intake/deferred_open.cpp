#include "deferred_open.h"

#include <QTimer>

#include <utility>

#include "scope_exit.h"

namespace corvane {

DeferredOpener::DeferredOpener(std::function<bool()> busy, std::function<void(const QStringList&)> open,
                               std::chrono::milliseconds retryInterval)
    : busy_(std::move(busy)), open_(std::move(open)), retryInterval_(retryInterval) {}

void DeferredOpener::Request(const QStringList& files) {
  waiting_.push_back(files);
  OpenWaiting();
}

bool DeferredOpener::CanOpen() const {
  // An open under way counts as busy too: its error boxes run nested event
  // loops, and a second open from one of them would clear the tree under
  // the first.
  return !opening_ && !busy_();
}

void DeferredOpener::OpenWaiting() {
  while (!waiting_.empty() && CanOpen()) {
    const QStringList files = std::move(waiting_.front());
    waiting_.pop_front();
    opening_ = true;
    const ScopeExit opened([this] { opening_ = false; });
    open_(files);
  }
  if (!waiting_.empty()) RetryLater();
}

void DeferredOpener::RetryLater() {
  if (retryScheduled_) return;
  retryScheduled_ = true;
  // From the event loop, not from here: the work that holds the request
  // back is further down this very stack. On a timer rather than posted at
  // once, so that a modal box shown meanwhile does not spin its event loop.
  // Tied to this object, so a retry never outlives it.
  QTimer::singleShot(retryInterval_, this, [this] {
    retryScheduled_ = false;
    OpenWaiting();
  });
}

}  // namespace corvane
