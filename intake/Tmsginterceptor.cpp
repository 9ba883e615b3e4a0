#include "Tmsginterceptor.h"

#include <cstdlib>
#include <new>
#include <type_traits>

#include "scope_exit.h"

namespace corvane {

// Entries are released with std::free, so nothing may need a destructor.
static_assert(std::is_trivially_destructible_v<TMsgHandlerEntry>);
static_assert(std::is_trivially_copyable_v<TMsgHandlerEntry>);

TMsgInterceptor::TMsgInterceptor(TWinControl* Control) : control_(Control) {
  handlers_.SetOwnsElements(true);
  oldWindowProc_ = control_->WindowProc();
  control_->SetWindowProc(TWndMethod::Bind<&TMsgInterceptor::InterceptWndProc>(this));
}

TMsgInterceptor::~TMsgInterceptor() { control_->SetWindowProc(oldWindowProc_); }

const TMsgHandlerEntry* TMsgInterceptor::AddHandler(std::uint32_t Msg, TMessageHandler Handler) {
  if (!Handler) return nullptr;
  if (Msg == 0) {
    Msg = FindFreeMsg();
    if (Msg == 0) return nullptr;
  }
  void* memory = std::malloc(sizeof(TMsgHandlerEntry));
  if (memory == nullptr) return nullptr;
  auto* entry = new (memory) TMsgHandlerEntry{Msg, Handler};
  if (handlers_.Add(entry) < 0) {
    std::free(memory);
    return nullptr;
  }
  return entry;
}

bool TMsgInterceptor::RemoveHandler(const TMsgHandlerEntry*& Handle) {
  const std::int32_t index = handlers_.IndexOf(Handle);
  if (index < 0) return false;
  handlers_.RemoveAt(index);
  Handle = nullptr;
  for (Dispatch* dispatch = dispatching_; dispatch != nullptr; dispatch = dispatch->outer) {
    if (index < dispatch->next) --dispatch->next;
    if (index < dispatch->end) --dispatch->end;
  }
  return true;
}

void TMsgInterceptor::InterceptWndProc(TMessage& Message) {
  const std::uint32_t msg = Message.Msg;
  Dispatch dispatch{0, handlers_.Count(), dispatching_};
  dispatching_ = &dispatch;
  const ScopeExit unwind([this, &dispatch] { dispatching_ = dispatch.outer; });

  while (dispatch.next < dispatch.end) {
    const auto* entry = static_cast<const TMsgHandlerEntry*>(handlers_.Get(dispatch.next++));
    if (entry == nullptr || entry->Msg != msg) continue;
    // Copied out: the handler may release its own entry.
    const TMessageHandler handler = entry->Handler;
    bool passOn = false;
    handler(Message, passOn);
    if (!passOn) return;
  }
  oldWindowProc_(Message);
}

std::uint32_t TMsgInterceptor::FindFreeMsg() const {
  std::uint32_t candidate = WM_USER;
  for (;;) {
    bool collided = false;
    for (std::int32_t index = 0; index < handlers_.Count(); ++index) {
      const auto* entry = static_cast<const TMsgHandlerEntry*>(handlers_.Get(index));
      if (entry != nullptr && entry->Msg == candidate) {
        collided = true;
        ++candidate;
      }
    }
    if (!collided) return candidate;
    ++candidate;
    if (candidate >= WM_APP) return 0;
  }
}

}  // namespace corvane
