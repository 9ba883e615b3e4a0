#pragma once

// A window control without a window: its own procedure records every
// message and answers with a result derived from it, and its handle records
// what it is asked to do.

#include <vector>

#include "window_messages.h"

namespace corvane::testing {

class FakeControl final : public TWinControl, public TWindow {
 public:
  static LRESULT OwnResult(const TMessage& message) {
    return static_cast<LRESULT>(message.Msg) * 3 + static_cast<LRESULT>(message.WParam);
  }

  TWndMethod WindowProc() const override { return procedure_; }
  void SetWindowProc(TWndMethod procedure) override { procedure_ = procedure; }
  HWND GetHandle() override { return this; }
  void AcceptFiles(bool accept) override {
    acceptCalls.push_back(accept);
    accepting = accept;
  }
  void BringToFront() override { ++broughtToFront; }

  // Messages the control's own procedure received.
  std::vector<TMessage> received;
  std::vector<bool> acceptCalls;
  bool accepting = false;
  int broughtToFront = 0;

 private:
  void Receive(TMessage& message) {
    message.Result = OwnResult(message);
    received.push_back(message);
  }

  TWndMethod procedure_ = TWndMethod::Bind<&FakeControl::Receive>(this);
};

}  // namespace corvane::testing
