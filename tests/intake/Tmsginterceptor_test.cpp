// The interceptor between a control and its procedure: which handlers see a
// message and in what order, what reaches the earlier procedure, private
// message numbers, and registrations removed while a message is on its way.

#include "Tmsginterceptor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_control.h"

namespace corvane {
namespace {

using testing::FakeControl;

constexpr std::uint32_t kMessage = 0x0500;
constexpr std::uint32_t kOtherMessage = 0x0010;

// A handler that records its calls in a log shared with the other handlers.
struct Handler {
  Handler(std::string handlerName, std::vector<std::string>* sharedLog, bool passesOn = false)
      : name(std::move(handlerName)), log(sharedLog), passOn(passesOn) {}

  std::string name;
  std::vector<std::string>* log;
  bool passOn;
  std::function<void()> during;

  void Handle(TMessage& message, bool& PassOn) {
    EXPECT_FALSE(PassOn) << name << " starts with PassOn false";
    log->push_back(name);
    message.Result = 77;
    if (during) during();
    PassOn = passOn;
  }
  TMessageHandler Bound() { return TMessageHandler::Bind<&Handler::Handle>(this); }
};

TEST(InterceptorTest, OnlyItsMessageReachesAHandlerAndTheEarlierProcedureReturnsWhenItGoes) {
  FakeControl control;
  const TWndMethod own = control.WindowProc();
  std::vector<std::string> log;
  Handler handler{"a", &log};
  {
    TMsgInterceptor interceptor(&control);
    interceptor.AddHandler(kMessage, handler.Bound());
    EXPECT_EQ(Perform(control, kMessage), 77);
    TMessage other{kOtherMessage, 5, -6, 0};
    control.WindowProc()(other);
    EXPECT_EQ(other.Result, FakeControl::OwnResult(other));
    ASSERT_EQ(control.received.size(), 1u);
    EXPECT_EQ(control.received[0].LParam, -6) << "passed on unchanged";
  }
  EXPECT_EQ(control.WindowProc(), own);
  Perform(control, kMessage);
  EXPECT_EQ(log, std::vector<std::string>{"a"}) << "after the interceptor went, no handler sees a message";
}

TEST(InterceptorTest, HandlersOfOneMessageRunInOrderUntilOneConsumesIt) {
  struct Case {
    bool firstPassesOn;
    bool secondPassesOn;
    std::vector<std::string> handlersRun;
    bool earlierProcedureRuns;
  };
  const Case cases[] = {
      {false, true, {"first"}, false},
      {true, false, {"first", "second"}, false},
      {true, true, {"first", "second"}, true},
  };
  for (const Case& c : cases) {
    FakeControl control;
    std::vector<std::string> log;
    Handler first{"first", &log, c.firstPassesOn};
    Handler second{"second", &log, c.secondPassesOn};
    TMsgInterceptor interceptor(&control);
    interceptor.AddHandler(kMessage, first.Bound());
    interceptor.AddHandler(kMessage, second.Bound());

    const LRESULT result = Perform(control, kMessage, 4);

    EXPECT_EQ(log, c.handlersRun) << c.firstPassesOn << c.secondPassesOn;
    EXPECT_EQ(result, c.earlierProcedureRuns ? FakeControl::OwnResult({kMessage, 4, 0, 0}) : 77);
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

TEST(InterceptorTest, RegistrationsRemovedDuringADispatchAreSkippedAndTheRestStillRun) {
  struct Case {
    std::string description;
    int remover;  // the handler (a, b, c) that removes...
    std::vector<int> removed;  // ...these registrations
    std::vector<std::string> expectedRun;
  };
  const Case cases[] = {
      {"a handler removes itself", 0, {0}, {"a", "b", "c"}},
      {"a handler removes a later one", 0, {2}, {"a", "b"}},
      {"a handler removes an earlier one", 1, {0}, {"a", "b", "c"}},
      {"a handler removes every registration", 1, {0, 1, 2}, {"a", "b"}},
  };
  for (const Case& c : cases) {
    FakeControl control;
    std::vector<std::string> log;
    TMsgInterceptor interceptor(&control);
    Handler handlers[3] = {{"a", &log, true}, {"b", &log, true}, {"c", &log, true}};
    const TMsgHandlerEntry* handles[3];
    for (int i = 0; i < 3; ++i) handles[i] = interceptor.AddHandler(kMessage, handlers[i].Bound());
    handlers[c.remover].during = [&] {
      for (int i : c.removed) {
        EXPECT_TRUE(interceptor.RemoveHandler(handles[i])) << c.description;
        EXPECT_EQ(handles[i], nullptr) << c.description;
      }
    };

    Perform(control, kMessage);

    EXPECT_EQ(log, c.expectedRun) << c.description;
    EXPECT_EQ(control.received.size(), 1u) << c.description << ": every handler passed the message on";
    EXPECT_FALSE(interceptor.RemoveHandler(handles[c.removed[0]])) << "a null handle names nothing";
  }
}

TEST(InterceptorTest, ARemovalInsideANestedMessageKeepsTheOuterDispatchInStep) {
  FakeControl control;
  std::vector<std::string> log;
  TMsgInterceptor interceptor(&control);
  Handler outer{"outer", &log, true};
  Handler inner{"inner", &log};
  Handler last{"last", &log, true};
  const TMsgHandlerEntry* outerHandle = interceptor.AddHandler(kMessage, outer.Bound());
  interceptor.AddHandler(kOtherMessage, inner.Bound());
  interceptor.AddHandler(kMessage, last.Bound());
  outer.during = [&] { Perform(control, kOtherMessage); };
  inner.during = [&] { interceptor.RemoveHandler(outerHandle); };

  Perform(control, kMessage);

  EXPECT_EQ(log, (std::vector<std::string>{"outer", "inner", "last"}));
  EXPECT_EQ(control.received.size(), 1u);
}

}  // namespace
}  // namespace corvane
