#pragma once
// Services the edge tree calls, recording what it asks of them, registered in the real
// containers for the life of a TEdgeServices; and the edge fixture's loader.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "ZEL.Edge.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Services.Fakes.h"

namespace ZEL::Test {

class TRecordingMQTTService : public TFakeMQTTService {
public:
  struct TPublished {
    std::string Topic;
    std::string Payload;
  };
  bool PublishResult = true;
  std::vector<TPublished> Published;
  std::vector<std::string> Subscribed;
  std::vector<std::string> Unsubscribed;

  bool Publish(const std::string& ATopic, const std::string& AMessage) override {
    Published.push_back({ATopic, AMessage});
    return PublishResult;
  }
  void Subscribe(const std::string& ATopic) override { Subscribed.push_back(ATopic); }
  void Unsubscribe(const std::string& ATopic) override { Unsubscribed.push_back(ATopic); }
};

class TAccountAuthService : public TFakeAuthService {
public:
  std::string Email = "jane.doe@example.com";
  std::string Name = "Jane Doe";
  std::string GetAccountID() override { return Email; }
  std::string GetAccountDisplayName() override { return Name; }
};

class TListEventsService : public TFakeEventsService {
public:
  TZELEventList* List = nullptr;
  TZELEventList* GetEventsList() override { return List; }
};

// Auth in the global container; MQTT and events in a fresh ZEL container.
class TEdgeServices {
public:
  TEdgeServices()
      : MQTT(std::make_shared<TRecordingMQTTService>()),
        Auth(std::make_shared<TAccountAuthService>()),
        Events(std::make_shared<TListEventsService>()) {
    Services::Container::FreeZELServicesContainer();
    auto& global = GlobalContainer();
    global.RegisterType<IAuthService>([a = Auth] { return a; });
    global.Build();
    Services::Container::CreateZELServicesContainer();
    auto zel = Services::Container::ZELServicesContainer();
    zel->RegisterType<IZELMQTTService>([m = MQTT] { return m; });
    zel->RegisterType<IZELEventsService>([e = Events] { return e; });
    zel->Build();
  }
  ~TEdgeServices() {
    Services::Container::FreeZELServicesContainer();
    GlobalContainer().Unregister<IAuthService>();
  }
  TEdgeServices(const TEdgeServices&) = delete;
  TEdgeServices& operator=(const TEdgeServices&) = delete;

  std::shared_ptr<TRecordingMQTTService> MQTT;
  std::shared_ptr<TAccountAuthService> Auth;
  std::shared_ptr<TListEventsService> Events;
};

// Records every message of class T while alive.
template <class T>
class TMessageRecorder {
public:
  struct TReceived {
    TSender Sender;
    std::string Text;  // what the test wants to keep of the message, built by AKeep
  };
  using TKeep = std::function<std::string(const T&)>;

  explicit TMessageRecorder(TKeep AKeep = nullptr) : FKeep(std::move(AKeep)) {
    FRef = TZELMessager<T>::Subscribe([this](TSender ASender, const T& AMessage) {
      Received.push_back({ASender, FKeep ? FKeep(AMessage) : std::string()});
      if (OnMessage) OnMessage(ASender, AMessage);
    });
  }
  ~TMessageRecorder() { TZELMessager<T>::Unsubscribe(FRef); }
  TMessageRecorder(const TMessageRecorder&) = delete;
  TMessageRecorder& operator=(const TMessageRecorder&) = delete;

  std::vector<TReceived> Received;
  // Runs inside delivery, for checks that need the message's pointers while they live.
  std::function<void(TSender, const T&)> OnMessage;

private:
  TKeep FKeep;
  TZELMessagerRef FRef;
};

inline std::string EdgeFixtureText() {
  return ReadFileBytes(FixturePath("edge.json"));
}

inline nlohmann::ordered_json EdgeFixture() { return nlohmann::ordered_json::parse(EdgeFixtureText()); }

}  // namespace ZEL::Test
