#pragma once

// Takes over a window control's message procedure: messages for which a
// handler is registered go to the handlers, in registration order, until one
// consumes it; everything else reaches the procedure that was installed
// before, with the result that procedure gives.

#include <cstdint>

#include "Tarraydata.h"
#include "window_messages.h"

namespace corvane {

// A message handler. The dispatcher sets PassOn to false before the call; a
// handler that leaves it so consumes the message, one that sets it lets the
// message go on to the next handler and then to the earlier procedure.
using TMessageHandler = BoundMethod<void(TMessage& Message, bool& PassOn)>;

// One registration; its address is the registrant's handle. A plain record:
// the handler list takes it with std::malloc and gives it back with
// std::free.
struct TMsgHandlerEntry {
  std::uint32_t Msg;
  TMessageHandler Handler;
};

class TMsgInterceptor {
 public:
  // Installs the dispatcher as `control`'s procedure, remembering the one it
  // replaces. `control` must outlive the interceptor.
  explicit TMsgInterceptor(TWinControl* Control);
  // Puts back the procedure it replaced, without looking at what is
  // installed now (interceptors on one control go in the reverse order of
  // their creation), and releases every registration still held.
  ~TMsgInterceptor();
  TMsgInterceptor(const TMsgInterceptor&) = delete;
  TMsgInterceptor& operator=(const TMsgInterceptor&) = delete;

  TWinControl* Control() const { return control_; }
  TWndMethod OldWindowProc() const { return oldWindowProc_; }
  std::int32_t HandlerCount() const { return handlers_.Count(); }

  // Registers `Handler` for `Msg`; a `Msg` of 0 takes a free private number,
  // which the entry then holds. The handle, or null when `Handler` is empty,
  // no number is free or the memory cannot be had. One number may have any
  // number of handlers.
  const TMsgHandlerEntry* AddHandler(std::uint32_t Msg, TMessageHandler Handler);
  // Releases the registration `Handle` names and nulls the caller's handle;
  // false, with the handle left alone, when it names none. Safe from inside
  // a handler: a dispatch under way skips what was removed and still runs
  // every handler that remains.
  bool RemoveHandler(const TMsgHandlerEntry*& Handle);
  // The dispatcher installed as the control's procedure.
  void InterceptWndProc(TMessage& Message);
  // The first number from WM_USER up, below WM_APP, that no entry holds;
  // after a collision one more number is skipped. 0 when none is left.
  std::uint32_t FindFreeMsg() const;

 private:
  // One dispatch under way: the next index to look at and the end of the
  // entries that were registered when it began. Removals move both, so that
  // no entry is skipped, visited twice or read after it is gone. Nested when
  // a handler makes the control receive another message.
  struct Dispatch {
    std::int32_t next;
    std::int32_t end;
    Dispatch* outer;
  };

  TWinControl* control_;
  TArrayData handlers_{false};
  TWndMethod oldWindowProc_;
  Dispatch* dispatching_ = nullptr;
};

}  // namespace corvane
