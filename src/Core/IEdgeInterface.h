#pragma once
// Declarations shared by the edge tree and its readers.

#include <cstdint>

namespace ZEL {

// A condition's "State.Data.State".
enum class TEdgeConditionState : std::uint8_t { ecsDisabled = 0, ecsActive = 1, ecsPaused = 2 };

}  // namespace ZEL
