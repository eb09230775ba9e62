#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ZEL.Generics.Delegate.h"

namespace {

using ZEL::TMethod;
using THandler = TMethod<void(int)>;

class TFiringDelegate : public ZEL::TEventDelegate<THandler> {
public:
  using TEventDelegate::TEventDelegate;
  // Calls every handler with AValue; AStopAfter handlers run at most.
  void Fire(int AValue, int AStopAfter = -1) {
    int called = 0;
    Emit([&](const THandler& AHandler) {
      AHandler(AValue);
      return ++called != AStopAfter;
    });
  }
};

struct TListener {
  std::string Name;
  std::vector<std::string>* Calls;
  void OnEvent(int AValue) { Calls->push_back(Name + ":" + std::to_string(AValue)); }
  void OnOther(int) { Calls->push_back(Name + ":other"); }
};

class DelegateTest : public ::testing::Test {
protected:
  std::vector<std::string> Calls;
  TListener A{"A", &Calls};
  TListener B{"B", &Calls};
  TFiringDelegate Delegate{this};
  THandler HA = THandler::Of(&A, &TListener::OnEvent);
  THandler HB = THandler::Of(&B, &TListener::OnEvent);
};

TEST(MethodTest, EqualityIsSameMethodOnSameObject) {
  std::vector<std::string> calls;
  TListener a{"A", &calls};
  TListener b{"B", &calls};
  EXPECT_EQ(THandler::Of(&a, &TListener::OnEvent), THandler::Of(&a, &TListener::OnEvent));
  EXPECT_FALSE(THandler::Of(&a, &TListener::OnEvent) == THandler::Of(&b, &TListener::OnEvent));
  EXPECT_FALSE(THandler::Of(&a, &TListener::OnEvent) == THandler::Of(&a, &TListener::OnOther));
  EXPECT_FALSE(static_cast<bool>(THandler()));
  THandler::Of(&b, &TListener::OnOther)(1);
  EXPECT_EQ(calls, std::vector<std::string>({"B:other"}));
}

TEST_F(DelegateTest, RunsInFirstAddedOrderOnceEach) {
  Delegate.AddHandler(HA);
  Delegate.AddHandler(HB);
  Delegate.AddHandler(THandler::Of(&A, &TListener::OnEvent));
  Delegate.Fire(1);
  EXPECT_EQ(Calls, std::vector<std::string>({"A:1", "B:1"}));
}

TEST_F(DelegateTest, RemoveAndAddAgainMovesToTheEnd) {
  Delegate.AddHandler(HA);
  Delegate.AddHandler(HB);
  Delegate.RemoveHandler(HA);
  Delegate.AddHandler(HA);
  Delegate.RemoveHandler(THandler::Of(&B, &TListener::OnOther));  // not registered: nothing
  Delegate.Fire(2);
  EXPECT_EQ(Calls, std::vector<std::string>({"B:2", "A:2"}));
}

TEST_F(DelegateTest, FalseFromTheCallbackStopsTheEmission) {
  Delegate.AddHandler(HA);
  Delegate.AddHandler(HB);
  Delegate.Fire(3, 1);
  EXPECT_EQ(Calls, std::vector<std::string>({"A:3"}));
}

TEST_F(DelegateTest, ClearDropsEveryHandler) {
  Delegate.AddHandler(HA);
  Delegate.AddHandler(HB);
  Delegate.Clear();
  Delegate.Fire(4);
  EXPECT_TRUE(Calls.empty());
  EXPECT_EQ(Delegate.Owner(), this);
}

TEST_F(DelegateTest, AnExceptionEndsTheEmissionAndReachesTheCaller) {
  struct TThrower {
    void OnEvent(int) { throw std::runtime_error("boom"); }
  } thrower;
  Delegate.AddHandler(HA);
  Delegate.AddHandler(THandler::Of(&thrower, &TThrower::OnEvent));
  Delegate.AddHandler(HB);
  EXPECT_THROW(Delegate.Fire(5), std::runtime_error);
  EXPECT_EQ(Calls, std::vector<std::string>({"A:5"}));
}

// A handler that changes the delegate while it is being emitted: the emission keeps to
// the handlers it started with and skips those removed meanwhile.
struct TMeddler {
  TFiringDelegate* Delegate;
  THandler ToRemove;
  THandler ToAdd;
  std::vector<std::string>* Calls;
  void OnEvent(int) {
    Calls->push_back("M");
    Delegate->RemoveHandler(ToRemove);
    Delegate->RemoveHandler(THandler::Of(this, &TMeddler::OnEvent));
    Delegate->AddHandler(ToAdd);
  }
};

TEST_F(DelegateTest, HandlersMayChangeTheDelegateDuringTheEmission) {
  TListener c{"C", &Calls};
  TMeddler meddler{&Delegate, HB, THandler::Of(&c, &TListener::OnEvent), &Calls};
  Delegate.AddHandler(HA);
  Delegate.AddHandler(THandler::Of(&meddler, &TMeddler::OnEvent));
  Delegate.AddHandler(HB);
  Delegate.Fire(6);
  EXPECT_EQ(Calls, std::vector<std::string>({"A:6", "M"}));
  Calls.clear();
  Delegate.Fire(7);
  EXPECT_EQ(Calls, std::vector<std::string>({"A:7", "C:7"}));
}

}  // namespace
