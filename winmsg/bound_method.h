#pragma once

// A method bound to the object it is called on, or empty: what a window's
// message procedure, a message handler and a drop callback are. Two words,
// trivially copyable and comparable, so that it can live in plain records
// and a saved procedure can be told apart from the one installed now. (A
// control's events, which hold any callable and go empty when their form is
// destroyed, are Treelistview::ObjectHandler: neither can do the other's job.)

#include <utility>

namespace corvane {

template <typename Signature>
class BoundMethod;

template <typename... Args>
class BoundMethod<void(Args...)> {
 public:
  BoundMethod() = default;

  // `Method` of `object`, e.g. BoundMethod<void(int)>::Bind<&Window::Resize>(this).
  template <auto Method, typename Object>
  static BoundMethod Bind(Object* object) {
    BoundMethod bound;
    bound.object_ = object;
    bound.invoke_ = [](void* target, Args... args) {
      (static_cast<Object*>(target)->*Method)(std::forward<Args>(args)...);
    };
    return bound;
  }

  explicit operator bool() const { return invoke_ != nullptr; }

  // Calls the method; an empty one does nothing.
  void operator()(Args... args) const {
    if (invoke_ != nullptr) invoke_(object_, std::forward<Args>(args)...);
  }

  void* Object() const { return object_; }

  friend bool operator==(const BoundMethod&, const BoundMethod&) = default;

 private:
  void* object_ = nullptr;
  void (*invoke_)(void*, Args...) = nullptr;
};

}  // namespace corvane
