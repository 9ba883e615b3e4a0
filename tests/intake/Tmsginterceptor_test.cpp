// The interceptor between a control and its procedure: which handlers see a
// message and in what order, what reaches the earlier procedure, private
// message numbers, and registrations that change while a message is on its
// way.

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

// A handler whose behaviour each test sets; it records its calls in a log
// shared with the other handlers of the test.
struct Handler {
  std::string name;
  std::vector<std::string>* log;
  bool passOn = false;
  std::function<void()> during;
  bool passOnOnEntry = true;

  void Handle(TMessage& message, bool& PassOn) {
    passOnOnEntry = PassOn;
    log->push_back(name);
    message.Result = 77;
    if (during) during();
    PassOn = passOn;
  }
  TMessageHandler Bound() { return TMessageHandler::Bind<&Handler::Handle>(this); }
};

class InterceptorTest : public ::testing::Test {
 protected:
  Handler MakeHandler(std::string name) { return Handler{std::move(name), &log_, false, {}}; }
  LRESULT Send(std::uint32_t msg, WPARAM wParam = 0) { return Perform(control_, msg, wParam); }
  std::vector<std::uint32_t> OwnProcedureMessages() const {
    std::vector<std::uint32_t> messages;
    for (const TMessage& message : control_.received) messages.push_back(message.Msg);
    return messages;
  }

  FakeControl control_;
  std::vector<std::string> log_;
};

TEST_F(InterceptorTest, InstallsItselfAndPutsBackTheEarlierProcedureWhenItGoes) {
  const TWndMethod own = control_.WindowProc();
  Handler handler = MakeHandler("a");
  {
    TMsgInterceptor interceptor(&control_);
    EXPECT_EQ(control_.WindowProc(), TWndMethod::Bind<&TMsgInterceptor::InterceptWndProc>(&interceptor));
    EXPECT_EQ(interceptor.OldWindowProc(), own);
    interceptor.AddHandler(kMessage, handler.Bound());
    Send(kMessage);
  }
  EXPECT_EQ(control_.WindowProc(), own);
  Send(kMessage);
  EXPECT_EQ(log_, std::vector<std::string>{"a"}) << "after the interceptor went, no handler sees a message";
  EXPECT_EQ(OwnProcedureMessages(), std::vector<std::uint32_t>{kMessage});
}

TEST_F(InterceptorTest, OtherMessagesReachTheEarlierProcedureUnchangedWithItsResult) {
  TMsgInterceptor interceptor(&control_);
  Handler handler = MakeHandler("a");
  interceptor.AddHandler(kMessage, handler.Bound());

  TMessage message{kOtherMessage, 5, -6, 0};
  control_.WindowProc()(message);

  EXPECT_TRUE(log_.empty());
  ASSERT_EQ(control_.received.size(), 1u);
  EXPECT_EQ(control_.received[0].Msg, kOtherMessage);
  EXPECT_EQ(control_.received[0].WParam, 5u);
  EXPECT_EQ(control_.received[0].LParam, -6);
  EXPECT_EQ(message.Result, FakeControl::OwnResult(message));
}

TEST_F(InterceptorTest, HandlersOfOneMessageRunInOrderUntilOneConsumesIt) {
  struct Case {
    bool firstPassesOn;
    bool secondPassesOn;
    std::vector<std::string> handlersRun;
    bool earlierProcedureRuns;
  };
  const Case cases[] = {
      {false, false, {"first"}, false},
      {false, true, {"first"}, false},
      {true, false, {"first", "second"}, false},
      {true, true, {"first", "second"}, true},
  };
  for (const Case& c : cases) {
    FakeControl control;
    std::vector<std::string> log;
    Handler first{"first", &log, c.firstPassesOn, {}};
    Handler second{"second", &log, c.secondPassesOn, {}};
    TMsgInterceptor interceptor(&control);
    interceptor.AddHandler(kMessage, first.Bound());
    interceptor.AddHandler(kMessage, second.Bound());

    const LRESULT result = Perform(control, kMessage, 4);

    const std::string label = std::to_string(c.firstPassesOn) + "/" + std::to_string(c.secondPassesOn);
    EXPECT_EQ(log, c.handlersRun) << label;
    EXPECT_EQ(control.received.size(), c.earlierProcedureRuns ? 1u : 0u) << label;
    EXPECT_EQ(result, c.earlierProcedureRuns ? FakeControl::OwnResult({kMessage, 4, 0, 0}) : 77) << label;
    EXPECT_FALSE(second.passOnOnEntry && c.firstPassesOn) << "each handler starts with PassOn false";
  }
}

TEST_F(InterceptorTest, FindFreeMsgTakesTheFirstFreeNumberAndSkipsOneAfterACollision) {
  struct Case {
    std::vector<std::uint32_t> registered;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {{}, 0x400},
      {{0x400}, 0x402},
      {{0x401}, 0x400},
      {{0x0233, 0x8000}, 0x400},
      {{0x400, 0x401}, 0x403},
      {{0x401, 0x400}, 0x402},
      {{0x400, 0x402}, 0x404},
  };
  for (const Case& c : cases) {
    FakeControl control;
    Handler handler = MakeHandler("a");
    TMsgInterceptor interceptor(&control);
    for (std::uint32_t msg : c.registered) interceptor.AddHandler(msg, handler.Bound());
    EXPECT_EQ(interceptor.FindFreeMsg(), c.expected) << "with " << c.registered.size() << " registered";
  }
}

TEST_F(InterceptorTest, AMessageNumberOfZeroRegistersUnderAFreePrivateNumber) {
  TMsgInterceptor interceptor(&control_);
  Handler first = MakeHandler("first");
  Handler second = MakeHandler("second");
  const TMsgHandlerEntry* a = interceptor.AddHandler(0, first.Bound());
  const TMsgHandlerEntry* b = interceptor.AddHandler(0, second.Bound());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->Msg, 0x400u);
  EXPECT_EQ(b->Msg, 0x402u);
  Send(0x402);
  EXPECT_EQ(log_, std::vector<std::string>{"second"});
}

TEST_F(InterceptorTest, RegistrationFailsWithoutAHandlerOrAFreeNumber) {
  TMsgInterceptor interceptor(&control_);
  EXPECT_EQ(interceptor.AddHandler(kMessage, TMessageHandler()), nullptr);
  EXPECT_EQ(interceptor.HandlerCount(), 0);

  Handler handler = MakeHandler("a");
  for (std::uint32_t msg = WM_USER; msg < WM_APP; ++msg) interceptor.AddHandler(msg, handler.Bound());
  EXPECT_EQ(interceptor.FindFreeMsg(), 0u);
  EXPECT_EQ(interceptor.AddHandler(0, handler.Bound()), nullptr);
  EXPECT_NE(interceptor.AddHandler(kMessage, handler.Bound()), nullptr) << "a given number is always taken";
}

TEST_F(InterceptorTest, RemoveHandlerNullsTheHandleOrReportsAnUnknownOne) {
  TMsgInterceptor interceptor(&control_);
  Handler handler = MakeHandler("a");
  const TMsgHandlerEntry* handle = interceptor.AddHandler(kMessage, handler.Bound());
  const TMsgHandlerEntry* kept = interceptor.AddHandler(kMessage, handler.Bound());

  const TMsgHandlerEntry* unknown = reinterpret_cast<const TMsgHandlerEntry*>(&log_);
  EXPECT_FALSE(interceptor.RemoveHandler(unknown));
  EXPECT_EQ(unknown, reinterpret_cast<const TMsgHandlerEntry*>(&log_));

  EXPECT_TRUE(interceptor.RemoveHandler(handle));
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(interceptor.HandlerCount(), 1);
  EXPECT_FALSE(interceptor.RemoveHandler(handle)) << "a null handle names nothing";

  Send(kMessage);
  EXPECT_EQ(log_, std::vector<std::string>{"a"});
  EXPECT_TRUE(interceptor.RemoveHandler(kept));
}

TEST_F(InterceptorTest, RegistrationsRemovedDuringADispatchAreSkippedAndTheRestStillRun) {
  struct Case {
    std::string description;
    // Which handler removes which registrations (indexes into a, b, c).
    int remover;
    std::vector<int> removed;
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
    Handler handlers[3] = {{"a", &log, true, {}}, {"b", &log, true, {}}, {"c", &log, true, {}}};
    const TMsgHandlerEntry* handles[3];
    for (int i = 0; i < 3; ++i) handles[i] = interceptor.AddHandler(kMessage, handlers[i].Bound());
    handlers[c.remover].during = [&] {
      for (int i : c.removed) EXPECT_TRUE(interceptor.RemoveHandler(handles[i])) << c.description;
    };

    Perform(control, kMessage);

    EXPECT_EQ(log, c.expectedRun) << c.description;
    EXPECT_EQ(control.received.size(), 1u) << c.description << ": every handler passed the message on";
    EXPECT_EQ(interceptor.HandlerCount(), static_cast<int>(3 - c.removed.size())) << c.description;
  }
}

TEST_F(InterceptorTest, ARemovalInsideANestedMessageKeepsTheOuterDispatchInStep) {
  TMsgInterceptor interceptor(&control_);
  Handler outer = MakeHandler("outer");
  Handler inner = MakeHandler("inner");
  Handler last = MakeHandler("last");
  outer.passOn = true;
  last.passOn = true;
  const TMsgHandlerEntry* outerHandle = interceptor.AddHandler(kMessage, outer.Bound());
  interceptor.AddHandler(kOtherMessage, inner.Bound());
  interceptor.AddHandler(kMessage, last.Bound());
  outer.during = [&] { Send(kOtherMessage); };
  inner.during = [&] { interceptor.RemoveHandler(outerHandle); };

  Send(kMessage);

  EXPECT_EQ(log_, (std::vector<std::string>{"outer", "inner", "last"}));
  EXPECT_EQ(OwnProcedureMessages(), std::vector<std::uint32_t>{kMessage});
}

TEST_F(InterceptorTest, AHandlerAddedDuringADispatchRunsFromTheNextMessageOn) {
  TMsgInterceptor interceptor(&control_);
  Handler first = MakeHandler("first");
  Handler added = MakeHandler("added");
  first.passOn = true;
  interceptor.AddHandler(kMessage, first.Bound());
  first.during = [&] {
    if (interceptor.HandlerCount() == 1) interceptor.AddHandler(kMessage, added.Bound());
  };

  Send(kMessage);
  EXPECT_EQ(log_, std::vector<std::string>{"first"});
  Send(kMessage);
  EXPECT_EQ(log_, (std::vector<std::string>{"first", "first", "added"}));
}

}  // namespace
}  // namespace corvane
