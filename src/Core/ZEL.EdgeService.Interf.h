#pragma once
// The edge service: the user's edges, the selection the views share, and topic tests.

#include "ZEL.Services.ContainerKind.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace ZEL {

class TZELEdgeObject;
class TZELOriginatorDevice;

class IZELEdgeService {
public:
  static constexpr std::string_view TypeName = "IZELEdgeService";
  static constexpr const char* IID = "{65368BA1-C971-49E0-83DB-7854FB6766FE}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::ZEL;

  virtual ~IZELEdgeService() = default;

  // Edge pointers stay owned by the service.
  virtual TZELEdgeObject* GetSelectedEdge() = 0;  // or none
  virtual void SetSelectedEdge(TZELEdgeObject* Value) = 0;
  virtual std::string GetSelectedProvider() = 0;
  virtual void SetSelectedProvider(const std::string& Value) = 0;
  virtual std::string GetSelectedDevice() = 0;
  virtual void SetSelectedDevice(const std::string& Value) = 0;
  virtual bool InitEdge(const nlohmann::ordered_json& AJSON) = 0;
  virtual std::string MQTTOrgEventChannel() = 0;
  virtual TZELEdgeObject* GetEdgeFromOriginator(TZELOriginatorDevice* AFrom) = 0;  // or none
  virtual void SubscribeEdges() = 0;
  virtual void UnsubscribeEdges() = 0;
  virtual std::int32_t EdgeCount() = 0;
  virtual TZELEdgeObject* GetEdge(std::int32_t index) = 0;
  virtual bool IsKnownAndAvailableEventsChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) = 0;
  virtual bool IsKnownAndAvailableEventsChannel(const std::string& ATopic) = 0;
  virtual bool IsKnownAndAvailableUpdateChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) = 0;
  virtual bool IsKnownAndAvailableUpdateChannel(const std::string& ATopic) = 0;
  virtual bool IsKnownAndAvailableSvcResponseChannel(const std::string& ATopic, TZELEdgeObject*& AEdge) = 0;
  virtual bool IsKnownAndAvailableSvcResponseChannel(const std::string& ATopic) = 0;
  virtual bool IsKnownAndAvailableOrgEventsChannel(const std::string& ATopic) = 0;
};

}  // namespace ZEL
