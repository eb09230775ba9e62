#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZEL.Edge.Services.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Messaging.h"
#include "ZEL.UINotification.h"

namespace {
// A request that tells when it is freed; the container frees its request with itself.
class TProbeRequest : public ZEL::TZELServiceRequestDTO {
public:
  explicit TProbeRequest(bool* AFreed) : FFreed(AFreed) {}
  ~TProbeRequest() override { *FFreed = true; }

private:
  bool* FFreed;
};

std::unique_ptr<ZEL::TServiceRequestContainer> ProbeContainer(bool* AFreed) {
  return std::make_unique<ZEL::TServiceRequestContainer>(nullptr, std::make_unique<TProbeRequest>(AFreed));
}
}  // namespace

namespace {

using namespace ZEL;

// A message that tells when it is freed.
class TProbeMessage : public TMessage<int> {
public:
  TProbeMessage(int AValue, bool* AFreed) : TMessage<int>(AValue), FFreed(AFreed) {}
  ~TProbeMessage() override { *FFreed = true; }

private:
  bool* FFreed;
};

// Unsubscribes whatever a test left subscribed, so tests do not leak into each other.
class MessagingTest : public ::testing::Test {
protected:
  ~MessagingTest() override {
    for (TZELMessagerRef& ref : Refs) TZELMessager<TMessageBase>::Unsubscribe(ref);
  }
  TZELMessagerRef& Keep(TZELMessagerRef ARef) {
    Refs.push_back(ARef);
    return Refs.back();
  }
  std::deque<TZELMessagerRef> Refs;  // stable addresses: handlers refer to them
  std::vector<std::string> Calls;
};

TEST_F(MessagingTest, DeliversByExactClassInSubscriptionOrder) {
  Keep(TZELMessager<TShowToastMessageEvent>::Subscribe(
      [&](TSender, const TShowToastMessageEvent& m) { Calls.push_back("toast " + m.Value()); }));
  Keep(TZELMessager<TNewEventToastMessageEvent>::Subscribe(
      [&](TSender, const TNewEventToastMessageEvent& m) { Calls.push_back("new1 " + m.Value() + " " + m.EventID()); }));
  Keep(TZELMessager<TNewEventToastMessageEvent>::Subscribe(
      [&](TSender, const TNewEventToastMessageEvent& m) { Calls.push_back("new2 " + m.EventID()); }));

  TZELUINotification::ShowNewEventToast("Door open", "E-1");
  EXPECT_EQ(Calls, std::vector<std::string>({"new1 (New) Door open E-1", "new2 E-1"}));

  Calls.clear();
  TZELUINotification::ShowToast("hello");
  EXPECT_EQ(Calls, std::vector<std::string>({"toast hello"}));

  Calls.clear();
  TZELUINotification::ShowNewEventToast("<ERR>", "E-2");
  EXPECT_EQ(Calls, std::vector<std::string>({"new1 (New) <ERR> E-2", "new2 E-2"}));
}

struct TWindow {
  std::vector<std::string>* Calls;
  const void* LastSender = nullptr;
  void OnRefresh(TSender ASender, const TEventRefreshMessage& AMsg) {
    LastSender = ASender;
    Calls->push_back("window " + AMsg.Value());
  }
};

TEST_F(MessagingTest, HandlerMethodsGetSenderAndAreRecordedInTheReference) {
  TWindow window{&Calls};
  TZELMessagerRef& ref = Keep(
      TZELMessager<TEventRefreshMessage>::Subscribe(&window, &TWindow::OnRefresh));
  EXPECT_EQ(ref.MessageClass, &typeid(TEventRefreshMessage));
  EXPECT_GE(ref.SubID, 0);
  EXPECT_EQ(ref.MethodType, 1);

  int sender = 0;
  TZELMessager<TEventRefreshMessage>::Send([] { return std::make_unique<TEventRefreshMessage>("A-7"); }, &sender);
  EXPECT_EQ(Calls, std::vector<std::string>({"window A-7"}));
  EXPECT_EQ(window.LastSender, &sender);
}

TEST_F(MessagingTest, UnsubscribeResetsTheReferenceAndASecondOneIsHarmless) {
  TZELMessagerRef& ref = Keep(TZELMessager<TEventRefreshMessage>::Subscribe(
      [&](TSender, const TEventRefreshMessage&) { Calls.push_back("x"); }));
  EXPECT_EQ(ref.MethodType, 0);
  // Any messenger removes what the reference records.
  TZELMessager<TShowToastMessageEvent>::Unsubscribe(ref);
  EXPECT_EQ(ref.MessageClass, nullptr);
  EXPECT_EQ(ref.SubID, -1);
  EXPECT_EQ(ref.MethodType, -1);
  EXPECT_EQ(ref.MethodPtr, nullptr);
  TZELMessager<TEventRefreshMessage>::Unsubscribe(ref, true);
  EXPECT_EQ(ref.SubID, -1);

  TZELMessager<TEventRefreshMessage>::Send([] { return std::make_unique<TEventRefreshMessage>("A"); });
  EXPECT_TRUE(Calls.empty());
}

TEST_F(MessagingTest, MessageIsFreedAfterDeliveryAlsoWhenAHandlerThrows) {
  bool freed = false;
  bool freedDuringDelivery = true;
  Keep(TZELMessager<TProbeMessage>::Subscribe(
      [&](TSender, const TProbeMessage&) { freedDuringDelivery = freed; }));
  TZELMessager<TProbeMessage>::Send([&] { return std::make_unique<TProbeMessage>(1, &freed); });
  EXPECT_FALSE(freedDuringDelivery);
  EXPECT_TRUE(freed);

  freed = false;
  Keep(TZELMessager<TProbeMessage>::Subscribe(
      [&](TSender, const TProbeMessage&) { throw std::runtime_error("handler"); }));
  EXPECT_THROW(TZELMessager<TProbeMessage>::Send([&] { return std::make_unique<TProbeMessage>(2, &freed); }),
               std::runtime_error);
  EXPECT_TRUE(freed);
}

TEST_F(MessagingTest, NoBuildFunctionOrNoSubscriberDoesNothingHarmful) {
  TZELMessager<TProbeMessage>::Send(nullptr);
  bool freed = false;
  TZELMessager<TProbeMessage>::Send([&] { return std::make_unique<TProbeMessage>(1, &freed); });
  EXPECT_TRUE(freed);
  EXPECT_THROW(TZELMessager<TProbeMessage>::Send([]() -> std::unique_ptr<TProbeMessage> { throw std::runtime_error("build"); }),
               std::runtime_error);
}

TEST_F(MessagingTest, HandlersMaySendAndUnsubscribeDuringDelivery) {
  TZELMessagerRef& second = Keep({});
  TZELMessagerRef& first = Keep({});
  first = TZELMessager<TEventRefreshMessage>::Subscribe(
      [&](TSender, const TEventRefreshMessage& m) {
        Calls.push_back("first " + m.Value());
        // Drops itself and the later handler, then sends another message.
        TZELMessager<TEventRefreshMessage>::Unsubscribe(first);
        TZELMessager<TEventRefreshMessage>::Unsubscribe(second);
        TZELUINotification::ShowToast("from handler");
      });
  second = TZELMessager<TEventRefreshMessage>::Subscribe(
      [&](TSender, const TEventRefreshMessage& m) { Calls.push_back("second " + m.Value()); });
  Keep(TZELMessager<TShowToastMessageEvent>::Subscribe(
      [&](TSender, const TShowToastMessageEvent& m) { Calls.push_back("toast " + m.Value()); }));

  TZELMessager<TEventRefreshMessage>::Send([] { return std::make_unique<TEventRefreshMessage>("1"); });
  TZELMessager<TEventRefreshMessage>::Send([] { return std::make_unique<TEventRefreshMessage>("2"); });
  EXPECT_EQ(Calls, std::vector<std::string>({"first 1", "toast from handler"}));
}

TEST_F(MessagingTest, ContainerIsFreedWithTheMessageOnlyWhenOwned) {
  bool ownedFreed = false;
  TZELMessager<TEventServiceActionPerformed>::Send([&] {
    return std::make_unique<TEventServiceActionPerformed>(
        "E", false, std::shared_ptr<TServiceRequestContainer>(ProbeContainer(&ownedFreed)), true);
  });
  EXPECT_TRUE(ownedFreed);

  bool registryFreed = false;
  auto registered = ProbeContainer(&registryFreed);
  bool seen = false;
  Keep(TZELMessager<TEventServiceActionPerformed>::Subscribe(
      [&](TSender, const TEventServiceActionPerformed& m) {
        seen = m.EventID() == "E2" && m.Success() && m.Container() == registered.get() && !m.OwnContainer();
      }));
  TZELMessager<TEventServiceActionPerformed>::Send([&] {
    return std::make_unique<TEventServiceActionPerformed>(
        "E2", true, TEventServiceActionPerformed::Unowned(registered.get()), false);
  });
  EXPECT_TRUE(seen);
  EXPECT_FALSE(registryFreed);
}

TEST_F(MessagingTest, ConditionMessageKeepsItsOwnCopyOfTheState) {
  nlohmann::ordered_json seen;
  Keep(TZELMessager<TConditionStateChangeMessage>::Subscribe(
      [&](TSender, const TConditionStateChangeMessage& m) { seen = m.State(); }));
  auto state = std::make_unique<nlohmann::ordered_json>(nlohmann::ordered_json{{"Status", 2}});
  TZELMessager<TConditionStateChangeMessage>::Send([&] {
    auto msg = std::make_unique<TConditionStateChangeMessage>(nullptr, *state);
    state.reset();  // the sender drops its object before delivery
    return msg;
  });
  EXPECT_EQ(seen.dump(), R"({"Status":2})");
}

}  // namespace
