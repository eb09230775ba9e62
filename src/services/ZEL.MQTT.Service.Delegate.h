#pragma once
// The two broadcasts of the MQTT service: each received publication and each change of the
// connection. The service owns both delegates; listeners add their handlers through the
// add/remove faces it hands out, which neither keep a delegate alive nor free it.

#include <string>
#include <string_view>

#include "ZEL.Generics.Delegate.h"
#include "ZEL.MQTT.Service.Interf.h"

namespace ZEL {

// ASender is the MQTT service; AData are the payload bytes exactly as received.
using TMQTTMessageReceived = TMethod<void(IZELMQTTService* ASender, const std::string& ATopic,
                                          const std::string& AData)>;
using TMQTTStatusChange = TMethod<void(bool AConnected)>;

class IMQTTMessageDelegateHandler {
public:
  static constexpr const char* IID = "{88644E70-C765-46C8-BF89-3D4764F903F4}";
  virtual void MQTTMessageReceived(IZELMQTTService* ASender, const std::string& ATopic,
                                   const std::string& AData) = 0;

protected:
  virtual ~IMQTTMessageDelegateHandler() = default;
};

class IMQTTMessageDelegate : public virtual IEventDelegate<TMQTTMessageReceived> {
public:
  static constexpr const char* IID = "{7EE73FB1-3A6D-48E9-AD4D-AF90BCB12C6F}";

protected:
  ~IMQTTMessageDelegate() override = default;
};

class IMQTTStatusChangeHandler {
public:
  static constexpr const char* IID = "{3D042C23-99D0-459A-843C-FBC521157DF5}";
  virtual void MQTTStatusChange(bool AConnected) = 0;

protected:
  virtual ~IMQTTStatusChangeHandler() = default;
};

class IMQTTConnectedDelegate : public virtual IEventDelegate<TMQTTStatusChange> {
public:
  static constexpr const char* IID = "{094B233B-2B12-4684-921B-BC10F546B651}";

protected:
  ~IMQTTConnectedDelegate() override = default;
};

// Both broadcasts call every handler registered when they start, in the order the handlers
// were first added. An exception from a handler ends the broadcast and reaches the caller.
class TMQTTMessageDelegate final : public TEventDelegate<TMQTTMessageReceived>,
                                   public IMQTTMessageDelegateHandler,
                                   public IMQTTMessageDelegate {
public:
  static constexpr std::string_view TypeName = "TMQTTMessageDelegate";
  using TEventDelegate<TMQTTMessageReceived>::TEventDelegate;

  void MQTTMessageReceived(IZELMQTTService* ASender, const std::string& ATopic,
                           const std::string& AData) override;
};

class TMQTTConnectedDelegate final : public TEventDelegate<TMQTTStatusChange>,
                                     public IMQTTStatusChangeHandler,
                                     public IMQTTConnectedDelegate {
public:
  static constexpr std::string_view TypeName = "TMQTTConnectedDelegate";
  using TEventDelegate<TMQTTStatusChange>::TEventDelegate;

  void MQTTStatusChange(bool AConnected) override;
};

}  // namespace ZEL
