#include "ZEL.MQTT.Service.Delegate.h"

namespace ZEL {

void TMQTTMessageDelegate::MQTTMessageReceived(IZELMQTTService* ASender, const std::string& ATopic,
                                               const std::string& AData) {
  Emit([&](const TMQTTMessageReceived& AHandler) {
    AHandler(ASender, ATopic, AData);
    return true;
  });
}

void TMQTTConnectedDelegate::MQTTStatusChange(bool AConnected) {
  Emit([&](const TMQTTStatusChange& AHandler) {
    AHandler(AConnected);
    return true;
  });
}

}  // namespace ZEL
