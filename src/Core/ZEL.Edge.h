#pragma once
// The edge tree: an edge with its conditions and providers, a provider with its devices.
// Nodes read their state from their own JSON on demand; the edge also names its broker
// topics and handles its "Update" and "Service/Response" payloads.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "IEdgeInterface.h"
#include "ZEL.Edge.ServingEntity.h"
#include "ZEL.Time.h"

namespace ZEL {

class TZELDeviceObject : public TZELEdgeServingEntity {
public:
  static constexpr std::string_view TypeName = "TZELDeviceObject";
  static std::unique_ptr<TZELDeviceObject> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELDeviceObject> CreateFromJSON(const TJSON& AValue);

  std::string_view ClassName() const override { return TypeName; }

  // "Status.Enabled", "Status.Online", "Status.LastSeen", read at each call. A missing or
  // unreadable value is logged at Fatal and gives false, false, MissingDate.
  bool IsEnabled() const;
  bool IsOnline() const;
  Time::TInstant LastSeen() const;

protected:
  TZELDeviceObject() = default;
};

class TZELConditionObject : public TZELEdgeServingEntity {
public:
  static constexpr std::string_view TypeName = "TZELConditionObject";
  static std::unique_ptr<TZELConditionObject> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELConditionObject> CreateFromJSON(const TJSON& AValue);

  std::string_view ClassName() const override { return TypeName; }

  // "State.Data.State"; missing or outside 0..2: Fatal entry, ecsDisabled.
  TEdgeConditionState State() const;
  bool IsActive() const { return State() == TEdgeConditionState::ecsActive; }
  // A disabled condition counts as paused with interval -1; a paused one gives
  // "State.Data.PauseInterval" (seconds; -1 when missing); an active one 0 and false.
  bool IsPaused(std::int32_t& APauseInterval) const;
  bool IsPaused() const;
  // Disabled: "State.LastState"; paused: "State.Data.PausedAt"; active: MissingDate.
  // Missing or unreadable: Fatal entry, MissingDate.
  Time::TInstant InactiveDateTime() const;
  // When a paused condition resumes: InactiveDateTime plus the interval when the interval
  // is above 1 second (MissingDate when that date is missing); otherwise now.
  Time::TInstant UnpauseDateTime() const;
  // Replaces the node's "Status" and "State" with the objects AData holds under those
  // names; true when either was replaced. An update with a value of the wrong type or out
  // of range (see StatusAndStateFault) is refused whole with one Error line: false.
  bool UpdateStatusAndState(const TJSON* AData);
  // What is wrong with such an update ("" when nothing): "Status", "State" and "State.Data"
  // objects; "Status.Enabled", "Status.Online" booleans; "State.Data.State" 0 to 2;
  // "State.Data.PauseInterval" seconds from 0; "Status.LastSeen", "State.Data.PausedAt" and
  // "State.LastState" ISO 8601 texts. An absent (or null) value is no fault.
  static std::string StatusAndStateFault(const TJSON& AData);

protected:
  TZELConditionObject() = default;
};

class TZELProviderObject : public TZELEdgeServingEntity {
public:
  static constexpr std::string_view TypeName = "TZELProviderObject";
  static std::unique_ptr<TZELProviderObject> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELProviderObject> CreateFromJSON(const TJSON& AValue);

  // The identity and services, then "Devices" from the own JSON object.
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }

  TDelegatedObjectList<TZELDeviceObject>& Devices() { return FDevices; }
  const TDelegatedObjectList<TZELDeviceObject>& Devices() const { return FDevices; }

  // The first device whose ID equals AID after upper-casing; -1 / nullptr and false when none.
  bool HasDevice(const std::string& AID, int& AIndex) const;
  bool FindDevice(const std::string& AID, TZELDeviceObject*& AItem) const;

protected:
  TZELProviderObject() = default;

private:
  TDelegatedObjectList<TZELDeviceObject> FDevices;
};

class TZELEdgeObject : public TZELEdgeServingEntity {
public:
  static constexpr std::string_view TypeName = "TZELEdgeObject";
  // A node of any "Type" built this way is an edge: its own edge and registry holder.
  static std::unique_ptr<TZELEdgeObject> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELEdgeObject> CreateFromJSON(const TJSON& AValue);

  // The identity from AData; services, "Conditions" and "Providers" from the JSON the
  // edge was first built from (a second load rebuilds them all; the registry stays).
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }
  // Always the edge's own registry.
  TServiceRequestRegistry* GetWorkingServicesRequestList() override;

  TDelegatedObjectList<TZELProviderObject>& Providers() { return FProviders; }
  const TDelegatedObjectList<TZELProviderObject>& Providers() const { return FProviders; }
  TDelegatedObjectList<TZELConditionObject>& Conditions() { return FConditions; }
  const TDelegatedObjectList<TZELConditionObject>& Conditions() const { return FConditions; }

  // The first match in list order, IDs compared after upper-casing; nullptr and false when none.
  bool HasCondition(const std::string& AID, TZELConditionObject*& AItem) const;
  bool HasProvider(const std::string& AID, TZELProviderObject*& AItem) const;
  // The device of the first provider (in list order) that holds one with that ID.
  bool HasDevice(const std::string& AID, TZELDeviceObject*& AItem) const;

  // GUID/ID/Event, GUID/ID/Update, GUID/ID/Service/Request.
  std::string MQTTEventChannel() const;
  std::string MQTTUpdateChannel() const;
  std::string MQTTServicesRequestChannel() const;
  // GUID/<signed-in account's e-mail>/Service/Response; empty when there is no e-mail.
  std::string MQTTServicesResponseChannel() const;
  // The event, update and response topics, in this order, through the MQTT service; an
  // empty topic is passed over.
  void SubscribeToMQTT();
  void UnsubscribeFromMQTT();

  // A payload of the "Update" topic; type 4 goes on to ProcessServiceResponse. UI thread.
  void ProcessMQTTUpdate(const std::string& AJSON);
  // A service response: finishes the registered request it names and updates the
  // condition that answered. Input that cannot be read is logged and dropped. UI thread.
  void ProcessServiceResponse(const std::string& AJSON);

protected:
  TZELEdgeObject();

private:
  void UpdateConditionFromResponse(const TJSON& APayload, const std::string& AOriginatorID, std::string_view ATag,
                                   const std::string& AJSON);

  bool FLoaded = false;
  TDelegatedObjectList<TZELProviderObject> FProviders;
  TDelegatedObjectList<TZELConditionObject> FConditions;
};

}  // namespace ZEL
