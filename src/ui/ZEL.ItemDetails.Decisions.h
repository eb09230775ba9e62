#pragma once
// What the alert item details view shows and does, decided without a window: the info
// pairs, the attachments grouped by device, the state texts and colours, what opening an
// attachment leads to, the service rows of a condition and the pause length.

#include "ZEL.Edge.Types.h"
#include "ZEL.Events.Types.h"

#include <QRgb>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ZEL {
class TZELConditionObject;
class TZELEventItem;
}  // namespace ZEL

namespace ZEL::ItemDetails::Decisions {

inline constexpr std::string_view cNotReadyText = "The requested file is not yet ready. Please try again later.";
inline constexpr std::string_view cGoneText = "The requested file is not available anymore.";
inline constexpr std::string_view cUnknownServiceText = "Unknown service or not implemented call process.";
inline constexpr std::string_view cNoItemCaption = "ROvida ERROR! You should not see this at this time!";

struct TInfoPair {
  std::string Label;
  std::string Value;
  bool operator==(const TInfoPair&) const = default;
};

// Source, time (local, short date and long time), name, text, and the declared image and
// video counts when above 0.
std::vector<TInfoPair> InfoPairs(const TZELEventItem& AItem);
// Whether the item declares any image or video (the "Images/Clips" tab shows then).
bool HasMedia(const TZELEventItem& AItem);

// One device and the ids of its attachments, in the item's order.
struct TDeviceGroup {
  std::string ID;  // as first met
  std::string Name;
  std::vector<std::string> ExtraIDs;
};
// Devices in order of first appearance; ids are one device whatever their letter case,
// for the group and for its members alike, so every attachment is listed once.
std::vector<TDeviceGroup> GroupByDevice(const TZELEventItem& AItem);

struct TStateLook {
  std::string_view Text;
  QRgb Colour;
  bool Openable;  // the accessory shows
};
TStateLook StateLook(TExtraDataState AState);

// What a click on an attachment leads to, before the backend is asked.
enum class TOpenStep { NotReady, Gone, CheckPresence };
TOpenStep OpenStepOf(TExtraDataState AState);
// After the presence check: the window to open, or a message.
enum class TOpenResult { Gone, Image, Video, Nothing };
TOpenResult OpenResultOf(bool APresent, std::uint8_t ADataType);

struct TServiceRow {
  TEdgeServiceType Type = TEdgeServiceType::stUnknown;
  std::string Caption;
  std::string Description;
  bool TurnOn = false;  // a switch row that enables the condition
  bool operator==(const TServiceRow&) const = default;
};
// The rows the condition's services give in its current state. In the paused and disabled
// states only switch services give rows; any other service is passed over, never ends the walk.
std::vector<TServiceRow> ServiceRows(const TZELConditionObject& ACondition);

// The pause frame's spin boxes: days 0..31, hours 0..24, minutes 1..60.
inline constexpr int cDaysMax = 31;
inline constexpr int cHoursMax = 24;
inline constexpr int cMinutesMin = 1;
inline constexpr int cMinutesMax = 60;
std::int32_t PauseSeconds(int ADays, int AHours, int AMinutes);

}  // namespace ZEL::ItemDetails::Decisions
