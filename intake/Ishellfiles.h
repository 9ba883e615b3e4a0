#pragma once

// Receives files dropped from the file manager: registers with a message
// interceptor for WM_DROPFILES, reads the dropped names into a list and
// hands the list to a callback. Drops are accepted only while a callback is
// set, and never while one drop is being handled.

#include <QStringList>

#include "Tmsginterceptor.h"
#include "window_messages.h"

namespace corvane {

// The drop callback. `Files` holds the dropped names, in the file manager's
// order, for the duration of the call. `AcceptMore` is true on entry; a
// callback that sets it to false leaves drops switched off afterwards.
using TDropFilesEvent = BoundMethod<void(const QStringList& Files, bool& AcceptMore)>;

// The longest name a drop delivers, in UTF-16 units; longer ones are cut.
inline constexpr std::uint32_t kMaxDroppedNameLength = 1040;

class IShellFile {
 public:
  // Registers with `Interceptor`, which must outlive this receiver. Without
  // an interceptor the receiver has no window and never accepts drops.
  explicit IShellFile(TMsgInterceptor* Interceptor);
  // Unregisters; whether the window accepts drops stays as it is.
  ~IShellFile();
  IShellFile(const IShellFile&) = delete;
  IShellFile& operator=(const IShellFile&) = delete;

  // Stores the callback and switches drops on when it is set, off when it
  // is empty.
  void SetOnDropFiles(TDropFilesEvent Callback);
  // Asks for drops on or off; on takes effect only while a callback is set
  // and the receiver is registered. The window is told only when the answer
  // changes.
  void SetAcceptFiles(bool On);
  // The WM_DROPFILES handler. Always consumes the message.
  void WMDropFiles(TMessage& Message, bool& PassOn);

  bool Accepting() const { return accepting_; }
  const TMsgHandlerEntry* HandlerHandle() const { return handlerHandle_; }
  HWND Wnd() const { return wnd_; }
  TMsgInterceptor* Interceptor() const { return interceptor_; }
  TDropFilesEvent OnDropFiles() const { return onDropFiles_; }

 private:
  bool accepting_ = false;
  const TMsgHandlerEntry* handlerHandle_ = nullptr;
  HWND wnd_ = nullptr;
  TMsgInterceptor* interceptor_;
  TDropFilesEvent onDropFiles_;
};

}  // namespace corvane
