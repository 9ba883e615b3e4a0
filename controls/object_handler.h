#pragma once

// An event of a control: empty, or a handler the control calls. A handler is
// usually a method together with the object it is called on; when that
// object is a QObject, the handler counts as empty once the object is gone,
// so a control can never call into a destroyed form. (The message layer's
// procedures are corvane::BoundMethod: two comparable words that plain
// records can hold, which a callable that tracks its object cannot be.)

#include <QObject>
#include <QPointer>
#include <concepts>
#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

namespace Treelistview {

template <typename Signature>
class ObjectHandler;

template <typename Method>
concept MemberFunction = std::is_member_function_pointer_v<Method>;

// A callable a handler can hold: callable with the event's arguments, and
// not itself a handler (which copies as a handler).
template <typename Function, typename Signature>
concept CallableAs =
    !std::is_same_v<std::decay_t<Function>, ObjectHandler<Signature>> &&
    std::is_constructible_v<std::function<Signature>, Function> && !std::is_null_pointer_v<std::decay_t<Function>>;

template <typename R, typename... Args>
class ObjectHandler<R(Args...)> {
 public:
  ObjectHandler() = default;
  ObjectHandler(std::nullptr_t) {}

  // `method` called on `object`.
  template <typename Object, MemberFunction Method>
  ObjectHandler(Object* object, Method method)
      : function_([object, method](Args... args) -> R { return (object->*method)(std::forward<Args>(args)...); }) {
    if constexpr (std::derived_from<Object, QObject>) Track(object);
  }

  // Any callable, called while `context` lives.
  template <CallableAs<R(Args...)> Function>
  ObjectHandler(const QObject* context, Function function) : function_(std::move(function)) {
    Track(context);
  }

  // Any callable, with nothing to outlive.
  template <CallableAs<R(Args...)> Function>
  ObjectHandler(Function function) : function_(std::move(function)) {}

  explicit operator bool() const { return function_ && (!tracked_ || !receiver_.isNull()); }

  // Callers test the handler first: an empty one is skipped, with whatever
  // default the event defines.
  R operator()(Args... args) const { return function_(std::forward<Args>(args)...); }

 private:
  void Track(const QObject* object) {
    tracked_ = true;
    receiver_ = const_cast<QObject*>(object);
  }

  std::function<R(Args...)> function_;
  QPointer<QObject> receiver_;
  bool tracked_ = false;
};

}  // namespace Treelistview
