// The REST client against the backend simulator (HTTPS on loopback, the test CA), with
// its fault controls.

#include "PeerStack.h"
#include "ZEL.Auth.TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.REST.Service.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

namespace ZEL {
namespace {

using namespace std::chrono_literals;

class RESTService : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    Peers = ZEL::Test::TPeerStack::Shared(error);
    ASSERT_NE(Peers, nullptr) << error;
    ASSERT_EQ(Peers->Control("POST", "/reset"), 200);
    Rest = std::make_unique<TZELRESTService>();  // after the stack set ZEL_BACKEND_URL
    // The service's token is one the simulator takes for the demo user.
    Firebase->SignInWithEmailAndPassword("demo@zel.test", "x", {}, {});
    Auth = std::make_shared<TAuthService>(Firebase);
    GlobalContainer().RegisterInstance<IAuthService>("", Auth);
  }
  void TearDown() override {
    GlobalContainer().Unregister<IAuthService>();
    Auth.reset();
  }
  void Fault(const std::string& APath, const std::string& AMode, int ADelayMs = 0) {
    ASSERT_EQ(Peers->Control("POST", "/faults",
                             R"({"path":")" + APath + R"(","mode":")" + AMode + R"(","count":1,"delayMs":)" +
                                 std::to_string(ADelayMs) + "}"),
              200);
  }
  bool Logged(TLogType AType, const std::string& AText) const {
    for (const auto& e : Capture.Entries())
      if (e.Type == AType && e.Message.find(AText) != std::string::npos) return true;
    return false;
  }

  ZEL::Test::TPeerStack* Peers = nullptr;
  std::shared_ptr<ZEL::Test::TInstantFirebase> Firebase = [] {
    auto f = std::make_shared<ZEL::Test::TInstantFirebase>();
    f->SetNextIdToken(ZEL::Test::MakeIdToken(Time::Now() + 1h));
    return f;
  }();
  std::shared_ptr<TAuthService> Auth;
  LogsPipe::TLogCapture Capture;
  std::unique_ptr<TZELRESTService> Rest;
};

TEST_F(RESTService, ListAnswers) {
  nlohmann::ordered_json out;
  EXPECT_TRUE(Rest->Sync(out));
  ASSERT_TRUE(out.is_array());
  EXPECT_FALSE(out.empty());

  EXPECT_TRUE(Rest->GetEvents(out, "", ""));
  ASSERT_TRUE(out.is_array());
  ASSERT_FALSE(out.empty());
  const std::string alertId = out[0]["ObjectId"].get<std::string>();

  EXPECT_TRUE(Rest->GetEvent(alertId, out));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(Rest->GetEventItems(alertId, out));
  EXPECT_TRUE(out.is_array());

  // 404 and 500: false and no array.
  EXPECT_FALSE(Rest->GetEvent("000000000000000000000000", out));
  EXPECT_TRUE(out.is_null());
  Fault("/eventAlerts", "500");
  EXPECT_FALSE(Rest->GetEvents(out, "", ""));
  EXPECT_TRUE(out.is_null());
}

// An alert of the backend's answer without an "ObjectId" is refused with one Error line; the
// other alerts of the answer are kept. The same for the answer about one alert.
TEST_F(RESTService, AlertWithoutAnObjectIdIsRefusedAlone) {
  nlohmann::ordered_json all;
  ASSERT_TRUE(Rest->GetEvents(all, "", ""));
  ASSERT_GE(all.size(), 2u);
  const std::string firstID = all[0]["ObjectId"];
  const auto refusals = [this] {
    int n = 0;
    for (const auto& e : Capture.Entries())
      n += e.Type == TLogType::Error && e.Message.rfind("Alert refused: it has no \"ObjectId\".", 0) == 0;
    return n;
  };

  Fault("/eventAlerts", "noid");
  nlohmann::ordered_json out;
  ASSERT_TRUE(Rest->GetEvents(out, "", ""));
  EXPECT_EQ(out.size(), all.size() - 1);
  for (const auto& alert : out) EXPECT_NE(alert.value("ObjectId", ""), firstID);
  EXPECT_EQ(refusals(), 1);

  Fault("/eventAlerts", "noid");
  ASSERT_TRUE(Rest->GetEvent(firstID, out));
  EXPECT_EQ(out, nlohmann::ordered_json::array());
  EXPECT_EQ(refusals(), 2);
}

TEST_F(RESTService, MalformedAnswers) {
  nlohmann::ordered_json out;
  Fault("/eventAlertItems", "malformed");
  EXPECT_TRUE(Rest->GetEventItems("a1e700000000000000000005", out));
  EXPECT_EQ(out, nlohmann::ordered_json::array());
  EXPECT_TRUE(Logged(TLogType::Fatal, "Unable to get items for event \"a1e700000000000000000005\". Bad response."));

  // A sync without edges is a failed sync, not an empty session.
  Fault("/sync", "malformed");
  EXPECT_FALSE(Rest->Sync(out));
  EXPECT_TRUE(Logged(TLogType::Fatal, "Unable to get sync content. Bad response."));

  // An answer that is no JSON at all counts as valid for the token check.
  Fault("/isValidToken", "malformed");
  EXPECT_TRUE(Rest->ValidateToken(Auth->FirebaseToken()));
  Fault("/isValidToken", "500");
  EXPECT_FALSE(Rest->ValidateToken(Auth->FirebaseToken()));
  EXPECT_TRUE(Rest->ValidateToken(Auth->FirebaseToken()));
}

// Valid JSON nested 70,000 levels deep (some 140 KB) is refused before anything walks it,
// with one Error line per answer, and counts as a malformed answer; the log line of each
// body shows its first few KiB only. Walking it (writing it to the log) would overflow the stack.
TEST_F(RESTService, DeeplyNestedAnswersAreRefused) {
  const std::string refused = "nests deeper than 64 levels and is refused.";
  nlohmann::ordered_json out;
  Fault("/eventAlertItems", "deep");
  EXPECT_TRUE(Rest->GetEventItems("a1e700000000000000000005", out));
  EXPECT_EQ(out, nlohmann::ordered_json::array());
  Fault("/eventAlerts", "deep");
  EXPECT_TRUE(Rest->GetEvents(out, "", ""));
  EXPECT_EQ(out, nlohmann::ordered_json::array());
  Fault("/sync", "deep");
  EXPECT_FALSE(Rest->Sync(out));
  Fault("/authZelUser", "deep");
  std::string error;
  EXPECT_EQ(Rest->AuthOnZELCRM(error), nullptr);
  Fault("/verifyZelInvite", "deep");
  EXPECT_EQ(Rest->ValidateInviteCode("ZEL-DEMO-2025", error), nullptr);

  int refusals = 0;
  for (const auto& e : Capture.Entries()) {
    if (e.Type == TLogType::Error && e.Message.find(refused) != std::string::npos) ++refusals;
    EXPECT_LT(e.Message.size(), 2 * LogsPipe::MaxLoggedBytes) << e.Tag;
    // The invitation code stays out of the log.
    EXPECT_EQ(e.Message.find("ZEL-DEMO-2025"), std::string::npos) << e.Tag << ": " << e.Message.substr(0, 200);
  }
  EXPECT_EQ(refusals, 5);
  EXPECT_TRUE(Logged(TLogType::Fatal, "Unable to get sync content. Bad response."));
}

TEST_F(RESTService, SlowOrUnreachableBackendRaises) {
  Http::Curl::TLimits limits;
  limits.ResponseTimeout = 1s;
  TZELRESTService quick({}, limits);
  nlohmann::ordered_json out;
  Fault("/sync", "timeout", 5000);
  EXPECT_THROW(quick.Sync(out), ENetHTTPClientException);

  TZELRESTService nowhere("https://127.0.0.1:1");
  EXPECT_THROW(nowhere.ValidateToken("t"), ENetHTTPClientException);
}

TEST_F(RESTService, RequestsUnderWayAreAbandonedAtOnceAndLaterOnesRun) {
  Fault("/sync", "timeout", 60000);  // held far beyond the client's own time-out
  std::atomic<bool> ended{false};
  std::string error;
  std::thread held([&] {
    nlohmann::ordered_json out;
    try {
      Rest->Sync(out);
    } catch (const ENetHTTPClientException& e) {
      error = e.what();
    }
    ended = true;
  });
  const auto faultTaken = [this] {
    return Http::Curl::Perform({"GET", Peers->ControlURL() + "/faults", {}, {}}).Body.find("/sync") == std::string::npos;
  };
  EXPECT_TRUE(ZEL::Test::WaitUntil(faultTaken, 20s)) << "the request did not reach the backend";
  const auto since = std::chrono::steady_clock::now();
  Http::Curl::AbandonInFlight();
  EXPECT_TRUE(ZEL::Test::WaitUntil([&] { return ended.load(); }, 40s));
  const auto took = std::chrono::steady_clock::now() - since;
  held.join();
  EXPECT_LT(took, 2s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
  EXPECT_NE(error.find("abandoned"), std::string::npos) << error;

  // What starts afterwards runs as usual.
  nlohmann::ordered_json out;
  EXPECT_TRUE(Rest->Sync(out));
  EXPECT_TRUE(out.is_array());
}

TEST_F(RESTService, UntrustedServerIsRefused) {
  ZEL::Test::TScopedEnv noCA("ZEL_CA_FILE", nullptr);  // the system's trust store only
  TZELRESTService rest;
  nlohmann::ordered_json out;
  EXPECT_THROW(rest.Sync(out), ENetHTTPClientException);
}

TEST_F(RESTService, UserRecords) {
  std::string error;
  const auto record = Rest->AuthOnZELCRM(error);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->email, "demo@zel.test");
  EXPECT_EQ(record->organization().ID, "65f1c0de4a1b2c3d4e5f6071");
  EXPECT_TRUE(record->Escalated);
  EXPECT_EQ(error, "");

  const auto invite = Rest->ValidateInviteCode("200002", error);
  ASSERT_NE(invite, nullptr);
  EXPECT_EQ(invite->email, "supervisor@zel.test");

  // {"result": false}: no record and an Error line, which names the code masked.
  EXPECT_EQ(Rest->ValidateInviteCode("NO-SUCH-CODE", error), nullptr);
  EXPECT_TRUE(Logged(TLogType::Error, "ACode: \u2026(12 chars) Server respond: "));
  for (const auto& e : Capture.Entries()) {
    EXPECT_EQ(e.Message.find("ZEL-SUPER-0002"), std::string::npos) << e.Message;
    EXPECT_EQ(e.Message.find("NO-SUCH-CODE"), std::string::npos) << e.Message;
  }

  // Without a token the backend refuses (401): no record.
  Firebase->SignOut();
  EXPECT_EQ(Rest->AuthOnZELCRM(error), nullptr);
}

TEST_F(RESTService, Attachments) {
  std::string type;
  std::int64_t size = 0;
  EXPECT_TRUE(Rest->GetExtraDataTypeAndSize("a77ac4000000000000000001", type, size));
  EXPECT_EQ(type, "image/png");
  EXPECT_GT(size, 0);

  std::ostringstream bytes;
  EXPECT_TRUE(Rest->GetExtraDataStream("a77ac4000000000000000001", bytes, type, size));
  EXPECT_EQ(static_cast<std::int64_t>(bytes.str().size()), size);
  EXPECT_EQ(bytes.str().substr(1, 3), "PNG");

  // Not uploaded yet (404): an empty type and -1.
  EXPECT_FALSE(Rest->GetExtraDataTypeAndSize("a77ac4000000000000000002", type, size));
  EXPECT_EQ(type, "");
  EXPECT_EQ(size, -1);

  // After a download the next list answer is read as text again.
  nlohmann::ordered_json out;
  EXPECT_TRUE(Rest->GetEvents(out, "", ""));
  EXPECT_TRUE(out.is_array());
}

}  // namespace
}  // namespace ZEL
