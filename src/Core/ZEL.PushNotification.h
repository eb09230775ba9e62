#pragma once
// One notification of the platform's push service; the desktop never receives any.

#include <nlohmann/json.hpp>

#include <string>

namespace ZEL {

struct TPushServiceNotification {
  std::string DataKey;
  nlohmann::ordered_json Json;
};

}  // namespace ZEL
