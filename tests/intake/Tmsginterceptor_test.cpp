// The interceptor between a control and its procedure: which handlers see a
// message and in what order, what reaches the earlier procedure, private
// message numbers, and registrations removed while a message is on its way.

#include "Tmsginterceptor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fake_control.h"

namespace corvane {
namespace {

using testing::FakeControl;

constexpr std::uint32_t kMessage = 0x0500;
constexpr std::uint32_t kOtherMessage = 0x0010;

// A handler that records its calls in a log shared with the other handlers.
struct Handler {
  std::string name;
  std::vector<std::string>* log;
  bool passOn = false;
  std::function<void()> during = {};

  void Handle(TMessage& message, bool& PassOn) {
    EXPECT_FALSE(PassOn) << name << " starts with PassOn false";
    log->push_back(name);
    message.Result = 77;
    if (during) during();
    PassOn = passOn;
  }
  TMessageHandler Bound() { return TMessageHandler::Bind<&Handler::Handle>(this); }
};

// Other messages, and every message once the interceptor is gone, reach the
// earlier procedure unchanged.
TEST(InterceptorTest, HandlersOfItsMessageRunInOrderUntilOneConsumesIt) {
  // Whether the first and the second handler pass the message on; the
  // handlers that run; whether the earlier procedure gets the message.
  const std::tuple<bool, bool, std::vector<std::string>, bool> cases[] = {
      {false, true, {"first"}, false},
      {true, false, {"first", "second"}, false},
      {true, true, {"first", "second"}, true},
  };
  for (const auto& [firstPassesOn, secondPassesOn, handlersRun, earlierProcedureRuns] : cases) {
    FakeControl control;
    const TWndMethod own = control.WindowProc();
    std::vector<std::string> log;
    Handler first{"first", &log, firstPassesOn};
    Handler second{"second", &log, secondPassesOn};
    auto interceptor = std::make_unique<TMsgInterceptor>(&control);
    interceptor->AddHandler(kMessage, first.Bound());
    interceptor->AddHandler(kMessage, second.Bound());
    EXPECT_EQ(Perform(control, kMessage, 4), earlierProcedureRuns ? FakeControl::OwnResult({kMessage, 4, 0, 0}) : 77);
    EXPECT_EQ(Perform(control, kOtherMessage, 5), FakeControl::OwnResult({kOtherMessage, 5, 0, 0}));
    interceptor.reset();
    EXPECT_EQ(control.WindowProc(), own);
    EXPECT_EQ(log, handlersRun) << firstPassesOn << secondPassesOn;
  }
}

TEST(InterceptorTest, FindFreeMsgTakesTheFirstFreeNumberAndSkipsOneAfterACollision) {
  const std::pair<std::vector<std::uint32_t>, std::uint32_t> cases[] = {
      {{}, 0x400}, {{0x400}, 0x402}, {{0x401}, 0x400}, {{0x0233, 0x8000}, 0x400}, {{0x401, 0x400}, 0x402},
      {{0x400, 0x402}, 0x404},
  };
  for (const auto& [registered, expected] : cases) {
    FakeControl control;
    std::vector<std::string> log;
    Handler handler{"a", &log};
    TMsgInterceptor interceptor(&control);
    for (std::uint32_t msg : registered) interceptor.AddHandler(msg, handler.Bound());
    EXPECT_EQ(interceptor.FindFreeMsg(), expected) << "with " << registered.size() << " registered";
  }
}

// A removal made from inside a nested message, as a handler's own calls may
// send one, keeps every dispatch on its way in step.
TEST(InterceptorTest, RegistrationsRemovedDuringADispatchAreSkippedAndTheRestStillRun) {
  // The handler (a, b, c) that sends the nested message; the registrations
  // its handler (3) removes; the handlers that run.
  const std::tuple<int, std::vector<int>, std::vector<std::string>> cases[] = {
      {0, {0}, {"a", "nested", "b", "c"}},
      {0, {2}, {"a", "nested", "b"}},
      {1, {0}, {"a", "b", "nested", "c"}},
      {1, {0, 1, 2, 3}, {"a", "b", "nested"}},
      {1, {3}, {"a", "b", "nested", "c"}},
  };
  for (const auto& [sender, removed, expectedRun] : cases) {
    FakeControl control;
    std::vector<std::string> log;
    TMsgInterceptor interceptor(&control);
    Handler handlers[4] = {{"a", &log, true}, {"b", &log, true}, {"c", &log, true}, {"nested", &log}};
    const TMsgHandlerEntry* handles[4];
    for (int i = 0; i < 4; ++i) {
      handles[i] = interceptor.AddHandler(i < 3 ? kMessage : kOtherMessage, handlers[i].Bound());
    }
    handlers[sender].during = [&] { Perform(control, kOtherMessage); };
    handlers[3].during = [&] {
      for (int i : removed) {
        EXPECT_TRUE(interceptor.RemoveHandler(handles[i]));
        EXPECT_EQ(handles[i], nullptr);
      }
    };

    Perform(control, kMessage);

    EXPECT_EQ(log, expectedRun);
    EXPECT_EQ(control.received.size(), 1u) << "every handler passed the message on";
    EXPECT_FALSE(interceptor.RemoveHandler(handles[removed[0]])) << "a null handle names nothing";
  }
}

}  // namespace
}  // namespace corvane
