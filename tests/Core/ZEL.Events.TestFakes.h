#pragma once
// Services the alert model calls, with answers a test sets, and the fixtures' loader.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Services.Fakes.h"

namespace ZEL::Test {

class TEventsFakeREST : public TFakeRESTService {
public:
  bool ItemsResult = true;
  nlohmann::ordered_json Items = nlohmann::ordered_json::array();
  std::string LastItemsEventID;
  bool ExtraResult = true;
  std::string LastExtraID;

  bool GetEventItems(const std::string& AEventID, nlohmann::ordered_json& AItems) override {
    LastItemsEventID = AEventID;
    if (!ItemsResult) return false;
    AItems = Items;
    return true;
  }
  bool GetExtraDataTypeAndSize(const std::string& AObjectID, std::string& AContentType, std::int64_t& ASize) override {
    LastExtraID = AObjectID;
    AContentType = ExtraResult ? "image/jpeg" : "";
    ASize = ExtraResult ? 1234 : -1;
    return ExtraResult;
  }
};

class TEventsFakeAuth : public TFakeAuthService {
public:
  std::string Token;
  std::string FirebaseToken() override { return Token; }
};

// Registers the two fakes in the global container for the life of the object.
class TEventsServices {
public:
  TEventsServices() : REST(std::make_shared<TEventsFakeREST>()), Auth(std::make_shared<TEventsFakeAuth>()) {
    auto& global = GlobalContainer();
    global.RegisterType<IZELRESTService>([r = REST] { return r; });
    global.RegisterType<IAuthService>([a = Auth] { return a; });
    global.Build();
  }
  ~TEventsServices() {
    auto& global = GlobalContainer();
    global.Unregister<IZELRESTService>();
    global.Unregister<IAuthService>();
  }
  std::shared_ptr<TEventsFakeREST> REST;
  std::shared_ptr<TEventsFakeAuth> Auth;
};

// A fixture of tests/Core/data as JSON.
inline nlohmann::ordered_json LoadFixture(const std::string& AName) {
  std::ifstream in(FixturePath(AName));
  std::stringstream text;
  text << in.rdbuf();
  return nlohmann::ordered_json::parse(text.str());
}

}  // namespace ZEL::Test
