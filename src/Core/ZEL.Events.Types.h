#pragma once
// The states and kinds of an alert, its history entries and their attachments.
// Declaration only, so the edge model and the views can use them without the alert classes.

#include <cstdint>
#include <set>

namespace ZEL {

// JSON "State" of an alert (a text, compared without regard to case).
enum class TEventAlertState : std::uint8_t { easInitiated = 0, easDismissed = 1, easEscalated = 2 };
using TTEventAlertStates = std::set<TEventAlertState>;

// JSON "ItemType" of an alert item, 0 to 5.
enum class TEventAlertItemType : std::uint8_t {
  aitEvent = 0,
  aitView = 1,
  aitDismiss = 2,
  aitEscalate = 3,
  aitInactive = 4,
  aitNote = 5
};

// JSON "State" of an attachment, 0 to 3; it only moves forward.
enum class TExtraDataState : std::uint8_t {
  edsExpected = 0,
  edsUploading = 1,
  edsAvailable = 2,
  edsUnavailable = 3
};

}  // namespace ZEL
