#pragma once
// Services the alert model calls, with answers a test sets, and the fixtures' loader.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Services.Fakes.h"

namespace ZEL::Test {

// An alert id (24 hexadecimal digits, as the list demands) that stands for a short name of
// up to 10 characters: "7e57", zeros, then the name's bytes in hexadecimal. Different names
// give different ids, so a test can keep its readable names.
inline std::string Oid(std::string_view AName) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : AName.substr(0, 10)) {
    hex += digits[c >> 4];
    hex += digits[c & 0x0F];
  }
  return "7e57" + std::string(20 - hex.size(), '0') + hex;
}

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
