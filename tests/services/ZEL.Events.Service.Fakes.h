#pragma once
// The events service in a ZEL container of its own, over stand-ins of the REST, MQTT and
// authentication services; the backend's answers are set by the test.

#include "Core/ZEL.Edge.TestFakes.h"
#include "Core/ZEL.Events.TestFakes.h"
#include "ZEL.EdgeService.h"
#include "ZEL.Events.Service.h"
#include "ZEL.UIThread.h"
#include "ZEL.Time.h"

#include <atomic>
#include <functional>
#include <memory>

namespace ZEL::Test {

class TPullREST : public TEventsFakeREST {
public:
  std::atomic<bool> EventsResult{true};
  nlohmann::ordered_json Events = nlohmann::ordered_json::array();
  std::atomic<int> EventsCalls{0};
  nlohmann::ordered_json OneEvent = nlohmann::ordered_json::array();
  bool OneEventResult = false;
  std::atomic<int> OneEventCalls{0};
  // Whether any call for one alert came on the UI thread (where it would freeze the client).
  std::atomic<bool> OneEventOnUIThread{false};
  // Runs inside GetEvents, on the caller's thread (a pull's pool thread).
  std::function<void()> DuringGetEvents;
  // Run inside GetEvent and GetEventItems, on the caller's thread (a view's pool thread).
  std::function<void()> DuringGetEvent;
  std::function<void()> DuringGetEventItems;
  // As the backend: only the alerts whose "DateTime" falls in the period asked for.
  bool ByPeriod = false;

  bool GetEvents(nlohmann::ordered_json& AEventsArray, const std::string& ABegin, const std::string& AEnd) override {
    ++EventsCalls;
    if (DuringGetEvents) DuringGetEvents();
    if (!EventsResult) return false;
    AEventsArray = Events;
    if (ByPeriod) {
      const Time::TInstant begin = Time::ParseISO8601(ABegin), end = Time::ParseISO8601(AEnd);
      AEventsArray = nlohmann::ordered_json::array();
      for (const auto& e : Events) {
        const Time::TInstant at = Time::ParseISO8601(e.value("DateTime", ""));
        if (at >= begin && at <= end) AEventsArray.push_back(e);
      }
    }
    return true;
  }
  bool GetEvent(const std::string&, nlohmann::ordered_json& AEventsArray) override {
    ++OneEventCalls;
    if (UIThread::IsUIThread()) OneEventOnUIThread = true;
    if (DuringGetEvent) DuringGetEvent();
    if (!OneEventResult) return false;
    AEventsArray = OneEvent;
    return true;
  }
  bool GetEventItems(const std::string& AEventID, nlohmann::ordered_json& AItems) override {
    if (DuringGetEventItems) DuringGetEventItems();
    return TEventsFakeREST::GetEventItems(AEventID, AItems);
  }
};

class TEventsServiceFixture {
public:
  TEventsServiceFixture() {
    auto& global = GlobalContainer();
    global.RegisterType<IZELRESTService>([r = REST] { return r; });
    global.RegisterType<IAuthService>([a = Auth] { return a; });
    global.Build();
    Services::Container::FreeZELServicesContainer();
    Services::Container::CreateZELServicesContainer();
    auto zel = Services::Container::ZELServicesContainer();
    zel->RegisterType<IZELMQTTService>([m = MQTT] { return m; });
    zel->RegisterType<IZELEventsService>([e = Events] { return e; });
    zel->RegisterType<IZELEdgeService>([e = Edges] { return e; });
    zel->Build();
  }
  ~TEventsServiceFixture() {
    Services::Container::FreeZELServicesContainer();
    GlobalContainer().Unregister<IZELRESTService>();
    GlobalContainer().Unregister<IAuthService>();
  }
  TEventsServiceFixture(const TEventsServiceFixture&) = delete;
  TEventsServiceFixture& operator=(const TEventsServiceFixture&) = delete;

  std::shared_ptr<TPullREST> REST = std::make_shared<TPullREST>();
  std::shared_ptr<TAccountAuthService> Auth = std::make_shared<TAccountAuthService>();
  std::shared_ptr<TRecordingMQTTService> MQTT = std::make_shared<TRecordingMQTTService>();
  std::shared_ptr<TZELEventsService> Events = std::make_shared<TZELEventsService>();
  std::shared_ptr<TZELEdgeService> Edges = std::make_shared<TZELEdgeService>();
};

}  // namespace ZEL::Test
