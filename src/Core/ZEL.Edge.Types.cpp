#include "ZEL.Edge.Types.h"

namespace ZEL::Edge {

std::optional<TEdgeAgentType> AgentTypeFromWire(std::int64_t ACode) {
  switch (ACode) {
    case 10: return TEdgeAgentType::atEdge;
    case 20: return TEdgeAgentType::atCondition;
    case 30: return TEdgeAgentType::atProvider;
    case 40: return TEdgeAgentType::atDevice;
    case 100: return TEdgeAgentType::atServer;
    case 200: return TEdgeAgentType::atUser;
    default: return std::nullopt;
  }
}

std::int32_t AgentTypeToWire(TEdgeAgentType AType) {
  switch (AType) {
    case TEdgeAgentType::atEdge: return 10;
    case TEdgeAgentType::atCondition: return 20;
    case TEdgeAgentType::atProvider: return 30;
    case TEdgeAgentType::atDevice: return 40;
    case TEdgeAgentType::atServer: return 100;
    case TEdgeAgentType::atUser: return 200;
    case TEdgeAgentType::atUnknown: break;
  }
  return -1;
}

std::optional<TEdgeServiceType> ServiceTypeFromWire(std::int64_t ACode) {
  switch (ACode) {
    case 0: return TEdgeServiceType::stView;
    case 1: return TEdgeServiceType::stDismiss;
    case 2: return TEdgeServiceType::stEscalate;
    case 12: return TEdgeServiceType::stSwitch;
    case 15: return TEdgeServiceType::stPause;
    default: return std::nullopt;
  }
}

std::string_view ServiceTypeName(TEdgeServiceType AType) {
  switch (AType) {
    case TEdgeServiceType::stView: return "stView";
    case TEdgeServiceType::stDismiss: return "stDismiss";
    case TEdgeServiceType::stEscalate: return "stEscalate";
    case TEdgeServiceType::stSwitch: return "stSwitch";
    case TEdgeServiceType::stPause: return "stPause";
    case TEdgeServiceType::stUnknown: break;
  }
  return "stUnknown";
}

}  // namespace ZEL::Edge
