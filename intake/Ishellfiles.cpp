#include "Ishellfiles.h"

#include <array>

#include "drop_files.h"

namespace corvane {

IShellFile::IShellFile(TMsgInterceptor* Interceptor) : interceptor_(Interceptor) {
  if (interceptor_ == nullptr) return;
  wnd_ = interceptor_->Control()->GetHandle();
  handlerHandle_ = interceptor_->AddHandler(WM_DROPFILES, TMessageHandler::Bind<&IShellFile::WMDropFiles>(this));
}

IShellFile::~IShellFile() {
  if (interceptor_ != nullptr) interceptor_->RemoveHandler(handlerHandle_);
}

void IShellFile::SetOnDropFiles(TDropFilesEvent Callback) {
  onDropFiles_ = Callback;
  SetAcceptFiles(static_cast<bool>(onDropFiles_));
}

void IShellFile::SetAcceptFiles(bool On) {
  // A window that accepted drops with no handler registered would take the
  // user's files and do nothing with them.
  const bool accept = On && static_cast<bool>(onDropFiles_) && handlerHandle_ != nullptr;
  if (accept == accepting_) return;
  DragAcceptFiles(wnd_, accept);
  accepting_ = accept;
}

void IShellFile::WMDropFiles(TMessage& Message, bool& /*PassOn*/) {
  QStringList files;
  const HDROP drop = DropHandleOf(Message);
  // No second drop while this one is handled: the callback may run a
  // nested event loop.
  SetAcceptFiles(false);
  SetForegroundWindow(wnd_);
  const std::uint32_t count = DragQueryFileA(drop, kDragQueryFileCount, nullptr, 0);
  std::array<char16_t, kMaxDroppedNameLength + 1> name{};
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::uint32_t length = DragQueryFileW(drop, index, name.data(), static_cast<std::uint32_t>(name.size()));
    // A name the file manager cannot deliver is left out; the others still
    // come.
    if (length == 0) continue;
    files.append(QString::fromUtf16(name.data(), static_cast<qsizetype>(length)));
  }
  DragFinish(drop);
  bool acceptMore = true;
  if (onDropFiles_) onDropFiles_(files, acceptMore);
  SetAcceptFiles(acceptMore);
}

}  // namespace corvane
