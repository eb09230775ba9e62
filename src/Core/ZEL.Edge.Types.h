#pragma once
// The kinds of edge-tree nodes and of the services they offer, with their wire codes.

#include <cstdint>
#include <optional>
#include <string_view>

namespace ZEL {

// A node's "Type"; also who answered a service response and who asks for a service.
enum class TEdgeAgentType : std::uint8_t { atUnknown, atEdge, atCondition, atProvider, atDevice, atServer, atUser };

// A service's "Type".
enum class TEdgeServiceType : std::uint8_t { stUnknown, stView, stDismiss, stEscalate, stSwitch, stPause };

}  // namespace ZEL

namespace ZEL::Edge {

// 10, 20, 30, 40, 100, 200; nothing for any other number.
std::optional<TEdgeAgentType> AgentTypeFromWire(std::int64_t ACode);
// The wire code; -1 for atUnknown.
std::int32_t AgentTypeToWire(TEdgeAgentType AType);

// 0, 1, 2, 12, 15; nothing for any other number.
std::optional<TEdgeServiceType> ServiceTypeFromWire(std::int64_t ACode);
// "stUnknown" .. "stPause".
std::string_view ServiceTypeName(TEdgeServiceType AType);

}  // namespace ZEL::Edge
