#pragma once
// Trivial stand-ins for the seven services, for tests of the containers and locators.
// Each counts its live instances and can tell whether it was freed.

#include "ZEL.Auth.Service.Interf.h"
#include "ZEL.Core.Integrations.Firebase.Interf.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.MQTT.Service.Interf.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.ViewHost.Interf.h"

#include <cstdint>
#include <stdexcept>

namespace ZEL::Test {

// Holds a marker that the destructor overwrites: a freed object read by another thread
// shows up as a data race under ThreadSanitizer.
class TLiveMarker {
public:
  static constexpr std::uint32_t cAlive = 0xA11CEu;
  ~TLiveMarker() { FMarker = 0; }
  bool IsAlive() const { return FMarker == cAlive; }

private:
  std::uint32_t FMarker = cAlive;
};

class TFakeFirebase : public IFirebaseCloudMessaging, public TLiveMarker {
public:
  std::string GetDevicedID() override { return {}; }
  std::string GetDeviceToken() override { return {}; }
  std::vector<TPushServiceNotification> GetStartupNotifications() override { return {}; }
  void SubscribeToTopic(const std::string&) override {}
  void UnsubscribeFromTopic(const std::string&) override {}
};

class TFakeApplicationData : public IApplicationData, public TLiveMarker {
public:
  std::shared_ptr<IZELSettingsFile> GetSettingsFile() override { return nullptr; }
  std::string GetFirebaseRefreshToken() override { return {}; }
  bool GetUserEscalatedSubscribe() override { return false; }
  void SetUserEscalatedSubscribe(bool) override {}
  bool GetUserNonEscalatedSubscribe() override { return false; }
  void SetUserNonEscalatedSubscribe(bool) override {}
  void ForgetSavedFBToken() override {}
  void SaveSettings() override {}
  void LoadSettings() override {}
};

class TFakeAuthService : public IAuthService, public TLiveMarker {
public:
  std::shared_ptr<IFirebaseUser> GetFirebaseUser() override { return nullptr; }
  std::string GetOrganisationID() override { return {}; }
  std::string GetDisplayName() override { return {}; }
  bool GetAuthorized() override { return false; }
  bool GetIsSignoutByUser() override { return false; }
  std::string GetAccountID() override { return {}; }
  std::string GetAccountDisplayName() override { return {}; }
  std::int32_t AuthTokenTimeLeftMinutes() override { return 0; }
  std::string FirebaseRefreshToken() override { return {}; }
  std::string FirebaseToken() override { return {}; }
  void RegisterUser(const std::string&, const std::string&, const std::string&) override {}
  void LoginUser(const std::string&, const std::string&) override {}
  void AuthWithToken(const std::string&, bool) override {}
  bool Logout(bool, const std::string&) override { return false; }
  void RefreshUserToken() override {}
  bool ValidateInviteCode(const std::string&) override { return false; }
  std::shared_ptr<const TZELUserRecord> CRMUserRecord() override { return nullptr; }
  std::string FirebaseEscalatedTopic() override { return {}; }
  std::string FirebaseNonEscalatedTopic() override { return {}; }
};

class TFakeRESTService : public IZELRESTService, public TLiveMarker {
public:
  bool Sync(nlohmann::ordered_json&) override { return false; }
  bool GetEvent(const std::string&, nlohmann::ordered_json&) override { return false; }
  bool GetEvents(nlohmann::ordered_json&, const std::string&, const std::string&) override { return false; }
  bool GetEventItems(const std::string&, nlohmann::ordered_json&) override { return false; }
  bool GetEventItemDetails(const std::string&, nlohmann::ordered_json&) override { return false; }
  bool GetExtraDataTypeAndSize(const std::string&, std::string&, std::int64_t&) override { return false; }
  bool GetExtraDataStream(const std::string&, std::ostream&, std::string&, std::int64_t&) override { return false; }
  bool ValidateToken(const std::string&) override { return false; }
  // The record's class is incomplete here, so these cannot even return none.
  std::unique_ptr<TZELUserRecord> ValidateInviteCode(const std::string&, std::string&) override {
    throw std::logic_error("not faked");
  }
  std::unique_ptr<TZELUserRecord> AuthOnZELCRM(std::string&) override { throw std::logic_error("not faked"); }
};

class TFakeEventsService : public IZELEventsService, public TLiveMarker {
public:
  TZELEventList* GetEventsList() override { return nullptr; }
  TZELEvent* GetDetailedEvent() override { return nullptr; }
  TZELEventItem* GetDetailedEventItem() override { return nullptr; }
  std::string GetDetailedEventID() override { return {}; }
  std::string GetDelayedEventId() override { return {}; }
  void SetDelayedEventToOpen(const std::string&) override {}
  void Subscribe() override {}
  void Unsubscribe() override {}
  void SetDetailedEvent(const std::string&) override {}
  void SetDetailedEventItem(const std::string&) override {}
  bool PupulateEventsFromREST(bool, const std::string&, const std::string&) override { return false; }
  void LoadEventFromMQTT(const std::string&) override {}
  std::uint64_t BeginItemsJournal() override { return 0; }
  void EndItemsJournal(std::uint64_t, bool) override {}
};

class TFakeEdgeService : public IZELEdgeService, public TLiveMarker {
public:
  TZELEdgeObject* GetSelectedEdge() override { return nullptr; }
  void SetSelectedEdge(TZELEdgeObject*) override {}
  std::string GetSelectedProvider() override { return {}; }
  void SetSelectedProvider(const std::string&) override {}
  std::string GetSelectedDevice() override { return {}; }
  void SetSelectedDevice(const std::string&) override {}
  bool InitEdge(const nlohmann::ordered_json&) override { return false; }
  std::string MQTTOrgEventChannel() override { return {}; }
  TZELEdgeObject* GetEdgeFromOriginator(TZELOriginatorDevice*) override { return nullptr; }
  void SubscribeEdges() override {}
  void UnsubscribeEdges() override {}
  std::int32_t EdgeCount() override { return 0; }
  TZELEdgeObject* GetEdge(std::int32_t) override { return nullptr; }
  bool IsKnownAndAvailableEventsChannel(const std::string&, TZELEdgeObject*&) override { return false; }
  bool IsKnownAndAvailableEventsChannel(const std::string&) override { return false; }
  bool IsKnownAndAvailableUpdateChannel(const std::string&, TZELEdgeObject*&) override { return false; }
  bool IsKnownAndAvailableUpdateChannel(const std::string&) override { return false; }
  bool IsKnownAndAvailableSvcResponseChannel(const std::string&, TZELEdgeObject*&) override { return false; }
  bool IsKnownAndAvailableSvcResponseChannel(const std::string&) override { return false; }
  bool IsKnownAndAvailableOrgEventsChannel(const std::string&) override { return false; }
};

class TFakeMQTTService : public IZELMQTTService, public TLiveMarker {
public:
  void SetBrokerHost(const std::string&) override {}
  std::string GetBrokerHost() override { return {}; }
  void SetBrokerPort(std::uint32_t) override {}
  std::uint32_t GetBrokerPort() override { return 0; }
  void SetUserName(const std::string&) override {}
  std::string GetUserName() override { return {}; }
  void Setpassword(const std::string&) override {}
  std::string GetPassword() override { return {}; }
  void SetClientID(const std::string&) override {}
  std::string GetClientID() override { return {}; }
  IMQTTMessageDelegate* GetOnMessageDelegate() override { return nullptr; }
  IMQTTConnectedDelegate* GetOnConnectionStateChange() override { return nullptr; }
  std::int32_t GetReconnectAttempts() override { return 0; }
  void Connect() override {}
  bool IsConnected() override { return false; }
  void Disconnect(bool) override {}
  std::string LastErrorMessage() override { return {}; }
  void Subscribe(const std::string&) override {}
  void Unsubscribe(const std::string&) override {}
  bool Publish(const std::string&, const std::string&) override { return false; }
};

}  // namespace ZEL::Test
