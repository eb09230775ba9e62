#pragma once
// The signed-in user's edges: built from the sync array, the topic tests that route broker
// messages, the organisation's event topic, subscribing all edges, and the selection the
// views share.

#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Edge.h"
#include "ZEL.Generics.Collections.h"
#include "ZEL.MQTT.Service.Delegate.h"

#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class TZELEdgeService final : public IZELEdgeService {
public:
  static constexpr std::string_view TypeName = "TZELEdgeService";

  TZELEdgeService() = default;
  ~TZELEdgeService() override;
  TZELEdgeService(const TZELEdgeService&) = delete;
  TZELEdgeService& operator=(const TZELEdgeService&) = delete;

  TZELEdgeObject* GetSelectedEdge() override { return FSelectedEdge; }
  void SetSelectedEdge(TZELEdgeObject* Value) override { FSelectedEdge = Value; }
  std::string GetSelectedProvider() override { return FSelectedProvider; }
  void SetSelectedProvider(const std::string& Value) override;
  std::string GetSelectedDevice() override { return FSelectedDevice; }
  void SetSelectedDevice(const std::string& Value) override { FSelectedDevice = Value; }
  bool InitEdge(const nlohmann::ordered_json& AJSON) override;
  // Empty (with an Error entry when the record's organisation id is unusable) when there
  // is no organisation to listen to. Never raises.
  std::string MQTTOrgEventChannel() override;
  TZELEdgeObject* GetEdgeFromOriginator(TZELOriginatorDevice* AFrom) override;
  void SubscribeEdges() override;
  void UnsubscribeEdges() override;
  std::int32_t EdgeCount() override { return FEdges.Count(); }
  // Raises the list's index error outside 0..EdgeCount()-1.
  TZELEdgeObject* GetEdge(std::int32_t index) override { return FEdges[index]; }
  bool IsKnownAndAvailableEventsChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) override;
  bool IsKnownAndAvailableEventsChannel(const std::string& ATopic) override;
  bool IsKnownAndAvailableUpdateChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) override;
  bool IsKnownAndAvailableUpdateChannel(const std::string& ATopic) override;
  bool IsKnownAndAvailableSvcResponseChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) override;
  bool IsKnownAndAvailableSvcResponseChannel(const std::string& ATopic) override;
  bool IsKnownAndAvailableOrgEventsChannel(const std::string& ATopic) override;

  // The owning list, in sync-array order.
  TDelegatedObjectList<TZELEdgeObject>& Edges() { return FEdges; }
  // Empties the list before a new sync; the selected edge goes with it, so that no view
  // keeps a pointer into a freed edge.
  void ClearEdges();

  // Keeps the MQTT service of the ZEL locator and adds the (empty) message handler first.
  void AttachMQTTService();
  std::int32_t InactiveConditionsCount();
  void MQTTMessageReceived(IZELMQTTService* ASender, const std::string& ATopic, const std::string& AData);

private:
  using TTopicOf = std::string (TZELEdgeObject::*)() const;
  bool FindByTopic(const std::string& ATopic, TTopicOf ATopicOf, TZELEdgeObject*& AEdge);

  // Weak: the edge service must not decide where the MQTT service is freed.
  std::weak_ptr<IZELMQTTService> FMQTTService;
  TZELEdgeObject* FSelectedEdge = nullptr;
  std::string FSelectedProvider;
  std::string FSelectedDevice;
  TDelegatedObjectList<TZELEdgeObject> FEdges;
};

}  // namespace ZEL
