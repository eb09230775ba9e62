// The session over stand-ins: sync, subscriptions at each connection, routing, forced
// sign-out, and the release of its services.

#include "ZEL.LogsPipe.h"
#include "ZEL.MemIniFile.h"
#include "ZEL.Session.Fakes.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using namespace std::chrono_literals;

constexpr const char* cGuidA = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";
constexpr const char* cGuidB = "{3F2504E0-4F89-11D3-9A0C-0305E82C3302}";

class Session : public ::testing::Test {
protected:
  void SetUp() override {
    G.REST->Edges = nlohmann::ordered_json::array(
        {ZT::MakeEdge("EDGE-A", cGuidA, "a", {1, 2}), ZT::MakeEdge("EDGE-B", cGuidB, "b", {0})});
    S = std::make_unique<TZELSession>(G.Options());
    S->OnSynced = [this](std::int32_t ACount) { Inactive = ACount; };
    S->OnSyncFailed = [this] { SyncFailed = true; };
    S->OnConnected = [this](bool AFirst) { Connected.push_back(AFirst); };
  }
  void Sync() {
    S->StartSync();
    ASSERT_TRUE(ZT::WaitUntil([this] { return Inactive >= 0 || SyncFailed; }));
  }
  int Count(TLogType AType, const std::string& AText) const {
    int n = 0;
    for (const auto& e : Log.Entries())
      if (e.Type == AType && e.Message.find(AText) != std::string::npos) ++n;
    return n;
  }

  ZT::TSessionGlobals G;
  std::unique_ptr<TZELSession> S;
  std::int32_t Inactive = -1;
  bool SyncFailed = false;
  std::vector<bool> Connected;
  LogsPipe::TLogCapture Log;
};

TEST_F(Session, SyncConnectsAndEveryConnectionSubscribesAll) {
  Sync();
  EXPECT_EQ(Inactive, 2);
  EXPECT_EQ(S->EdgeService()->EdgeCount(), 2);
  EXPECT_EQ(G.MQTT->ClientID, "-");
  EXPECT_EQ(G.MQTT->Connects, 1);

  G.MQTT->PlayStatus(true);
  const std::string org = S->EdgeService()->MQTTOrgEventChannel();
  ASSERT_FALSE(org.empty());
  ASSERT_EQ(G.MQTT->Subscribed.size(), 7u);
  EXPECT_EQ(G.MQTT->Subscribed[0], org);
  EXPECT_EQ(G.MQTT->Subscribed[1], std::string(cGuidA) + "/EDGE-A/Event");
  EXPECT_EQ(Count(TLogType::Info, "Catch-up"), 0);  // nothing to catch up on the first
  // A later connection follows a loss: the list catches up with what the broker lost.
  S->EventsService()->SetPeriodSource([] { return std::make_pair(std::string("B"), std::string("E")); });
  G.MQTT->PlayStatus(true);
  EXPECT_EQ(G.MQTT->Subscribed.size(), 14u);
  EXPECT_EQ(Connected, (std::vector<bool>{true, false}));
  EXPECT_EQ(Count(TLogType::Info, "Catch-up after a reconnection: pulling B .. E"), 1);
  EXPECT_TRUE(ZT::WaitUntil([this] { return Count(TLogType::Info, "Catch-up ran: 0 alert(s) added.") == 1; }));
}

TEST_F(Session, FailedSyncIsReported) {
  G.REST->SyncResult = false;
  Sync();
  EXPECT_TRUE(SyncFailed);
  EXPECT_EQ(Count(TLogType::Warning, "Calling Sync failed."), 1);
  EXPECT_EQ(G.MQTT->Connects, 0);
}

// Whatever the sync's part on the UI thread raises ends as a failed sync: its log line and
// the hook, so that the window tells the user instead of syncing for ever.
TEST_F(Session, ExceptionInTheSyncsUIPartEndsAsAFailedSync) {
  class TRefusingMQTT : public ZT::TSessionMQTT {
  public:
    // Each refuses once: the release of the services sets the client id again.
    void SetClientID(const std::string& Value) override {
      if (RefuseAt == "SetClientID") {
        RefuseAt.clear();
        throw EFCreateError("client id refused");
      }
      ZT::TSessionMQTT::SetClientID(Value);
    }
    void Connect() override {
      if (RefuseAt == "Connect") {
        RefuseAt.clear();
        throw EZELException("connect refused");
      }
      ZT::TSessionMQTT::Connect();
    }
    std::string RefuseAt;
  };
  struct TCase {
    const char* RefuseAt;  // or the window's hook
    const char* Error;
  };
  for (const TCase& c : {TCase{"SetClientID", "client id refused"}, TCase{"Connect", "connect refused"},
                         TCase{"OnSynced", "view gone"}}) {
    SCOPED_TRACE(c.RefuseAt);
    S.reset();
    auto mqtt = std::make_shared<TRefusingMQTT>();
    mqtt->RefuseAt = c.RefuseAt;
    G.MQTT = mqtt;
    S = std::make_unique<TZELSession>(G.Options());
    Inactive = -1;
    SyncFailed = false;
    S->OnSynced = [this, c](std::int32_t ACount) {
      if (std::string(c.RefuseAt) == "OnSynced") throw EZELException("view gone");
      Inactive = ACount;
    };
    S->OnSyncFailed = [this] { SyncFailed = true; };
    Log.Clear();
    Sync();
    EXPECT_TRUE(SyncFailed);
    EXPECT_EQ(Inactive, -1);
    EXPECT_EQ(Count(TLogType::Warning, "Calling Sync failed."), 1);
    EXPECT_EQ(Count(TLogType::Fatal, c.Error), 1);
  }
}

TEST_F(Session, MessagesAreRoutedByTopic) {
  Sync();
  const auto payloads = ZT::LoadFixture("alert-payloads.json");
  TZELEventList& list = *S->EventsService()->GetEventsList();
  const std::string org = S->EdgeService()->MQTTOrgEventChannel();

  G.MQTT->PlayMessage("nobody/listens/here", payloads["Type1"].dump());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(Count(TLogType::Info, "published."), 0);

  // A payload that fails while applied is stopped at the routing boundary.
  auto broken = payloads["Type1"];
  broken.erase("Originator");
  G.MQTT->PlayMessage(std::string(cGuidA) + "/edge-a/event", broken.dump());
  EXPECT_EQ(Count(TLogType::Info, "Edge[EDGE-A] events change published."), 1);
  EXPECT_EQ(Count(TLogType::Fatal, "Unable to apply MQTT payload."), 1);

  G.MQTT->PlayMessage(std::string(cGuidB) + "/EDGE-B/Event", payloads["Type1"].dump());
  EXPECT_EQ(list.Count(), 1);
  auto second = payloads["Type1"];
  second["ObjectId"] = "64b000000000000000000077";
  G.MQTT->PlayMessage(org, second.dump());
  EXPECT_EQ(Count(TLogType::Info, "Organization event received."), 1);
  EXPECT_EQ(list.Count(), 2);

  G.MQTT->PlayMessage(std::string(cGuidB) + "/EDGE-B/Update", "{}");
  EXPECT_EQ(Count(TLogType::Info, "Edge[EDGE-B] update published."), 1);
  EXPECT_EQ(Count(TLogType::Info, "events change published."), 2);
  G.MQTT->PlayMessage(std::string(cGuidA) + "/jane.doe@example.com/Service/Response", "{}");
  EXPECT_EQ(Count(TLogType::Info, "Edge[EDGE-A] service response published."), 1);
  // Topics are matched without regard to case, their last part too.
  G.MQTT->PlayMessage(std::string(cGuidB) + "/edge-b/uPDATE", "{}");
  EXPECT_EQ(Count(TLogType::Info, "Edge[EDGE-B] update published."), 2);
  G.MQTT->PlayMessage(std::string(cGuidA) + "/JANE.DOE@EXAMPLE.COM/service/RESPONSE", "{}");
  EXPECT_EQ(Count(TLogType::Info, "Edge[EDGE-A] service response published."), 2);
  G.MQTT->PlayMessage(std::string(cGuidA) + "/edge-a/Update/Event", "{}");
  EXPECT_EQ(Count(TLogType::Info, "published."), 6);
}

// Counted by failed attempts: an attempt that is only starting gets its chance, whatever the
// count reads; the first failure with the count at 3 or more signs the user out.
TEST_F(Session, ForcedSignOutOnlyWhenAnAttemptFailedFromTheThirdOn) {
  Sync();
  G.MQTT->Attempts = 2;
  G.MQTT->PlayNotConnected(false);
  ZT::WaitUntil([] { return false; }, 50ms);
  EXPECT_TRUE(G.Auth->Logouts.empty());
  EXPECT_EQ(Count(TLogType::Debug, "OnMQTTConnectionChange event. AConnected = False Reason: broker gone"), 1);
  EXPECT_EQ(Count(TLogType::Debug, "MQTT not connected. Attempt: 2"), 1);

  // The next attempt starts with the count at 3 (from the keeper's thread): no sign-out yet.
  G.MQTT->Attempts = 3;
  std::thread starting([this] { G.MQTT->PlayNotConnected(true); });
  starting.join();
  ZT::WaitUntil([] { return false; }, 100ms);
  EXPECT_TRUE(G.Auth->Logouts.empty());

  // It fails: signed out with the message.
  std::thread failed([this] { G.MQTT->PlayNotConnected(false); });
  failed.join();
  ASSERT_TRUE(ZT::WaitUntil([this] { return !G.Auth->Logouts.empty(); }));
  EXPECT_EQ(G.Auth->Logouts[0], std::make_pair(false, std::string(TZELSession::cForcedSignOutReason)));

  // Later attempts report higher counts; the session is signed out once.
  G.MQTT->Attempts = 4;
  std::thread later([this] { G.MQTT->PlayNotConnected(false); });
  later.join();
  ZT::WaitUntil([] { return false; }, 50ms);
  EXPECT_EQ(G.Auth->Logouts.size(), 1u);
}

TEST_F(Session, ServicesAreFreedTwiceHarmlessly) {
  Sync();
  std::weak_ptr<TZELEventsService> events = S->EventsService();
  S->FreeServices();
  S->FreeServices();
  EXPECT_EQ(G.MQTT->Disconnects, std::vector<bool>{false});
  EXPECT_EQ(G.MQTT->ClientID, "");
  EXPECT_TRUE(events.expired());
  EXPECT_EQ(Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>(), nullptr);
  EXPECT_EQ(S->EdgeService(), nullptr);
  // Nothing reaches the freed session any more: a connection neither subscribes nor is reported.
  G.MQTT->PlayStatus(true);
  G.MQTT->PlayMessage("x", "{}");
  EXPECT_TRUE(Connected.empty());
  EXPECT_TRUE(G.MQTT->Subscribed.empty());
  EXPECT_EQ(G.MQTT->Disconnects, std::vector<bool>{false});
  S.reset();
}

}  // namespace
}  // namespace ZEL
