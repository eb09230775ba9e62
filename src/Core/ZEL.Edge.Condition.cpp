// The state a device and a condition read from their JSON on demand. These getters feed
// the views for every row, so they log what they cannot read and never raise.

#include "ZEL.Edge.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "ZEL.LogsPipe.h"

namespace ZEL {

namespace Helpers = ZEL::JSON::Helpers;

namespace {

const TJSON& OwnOrNull(const TJSON* AOwn) {
  static const TJSON null;
  return AOwn ? *AOwn : null;
}

void LogMissing(std::string_view ATag, std::string_view APath) {
  LogsPipe::ZELLog().FatalFmt(ATag, "Required \"{}\" property is not found.", APath);
}

bool ReadFlag(const TJSON* AOwn, std::string_view APath, std::string_view ATag) {
  const auto value = Helpers::TryGetBool(OwnOrNull(AOwn), APath);
  if (!value) {
    LogMissing(ATag, APath);
    return false;
  }
  return *value;
}

// An ISO 8601 text at APath; missing, not a text or not a date: Fatal entry, MissingDate.
Time::TInstant ReadDate(const TJSON* AOwn, std::string_view APath, std::string_view ATag) {
  Time::TInstant result = Time::MissingDate;
  const auto text = Helpers::TryGetString(OwnOrNull(AOwn), APath);
  if (!text || !Time::TryParseISO8601(*text, result)) {
    LogMissing(ATag, APath);
    return Time::MissingDate;
  }
  return result;
}

}  // namespace

// --- TZELDeviceObject ---

bool TZELDeviceObject::IsEnabled() const {
  return ReadFlag(JSONObject(), "Status.Enabled", "TZELDeviceObject.IsEnabled");
}

bool TZELDeviceObject::IsOnline() const { return ReadFlag(JSONObject(), "Status.Online", "TZELDeviceObject.IsOnline"); }

Time::TInstant TZELDeviceObject::LastSeen() const {
  return ReadDate(JSONObject(), "Status.LastSeen", "TZELDeviceObject.LastSeen");
}

// --- TZELConditionObject ---

TEdgeConditionState TZELConditionObject::State() const {
  constexpr std::string_view Tag = "TZELConditionObject.State";
  constexpr std::string_view Path = "State.Data.State";
  const auto value = Edge::JSON::TryGetInteger(OwnOrNull(JSONObject()), Path);
  if (!value) {
    LogMissing(Tag, Path);
    return TEdgeConditionState::ecsDisabled;
  }
  if (*value < 0 || *value > 2) {
    LogsPipe::ZELLog().FatalFmt(Tag, "{} value ({}) must be in range[{}..{}]", Path, *value, 0, 2);
    return TEdgeConditionState::ecsDisabled;
  }
  return static_cast<TEdgeConditionState>(*value);
}

bool TZELConditionObject::IsPaused(std::int32_t& APauseInterval) const {
  APauseInterval = 0;
  switch (State()) {
    case TEdgeConditionState::ecsDisabled:
      APauseInterval = -1;
      return true;
    case TEdgeConditionState::ecsPaused: {
      APauseInterval = -1;
      constexpr std::string_view Path = "State.Data.PauseInterval";
      if (const auto interval = Edge::JSON::TryGetInt32(OwnOrNull(JSONObject()), Path))
        APauseInterval = *interval;
      else
        LogMissing("TZELConditionObject.IsPaused", Path);
      return true;
    }
    case TEdgeConditionState::ecsActive: break;
  }
  return false;
}

bool TZELConditionObject::IsPaused() const {
  std::int32_t interval = 0;
  return IsPaused(interval);
}

Time::TInstant TZELConditionObject::InactiveDateTime() const {
  constexpr std::string_view Tag = "TZELConditionObject.InactiveDateTime";
  switch (State()) {
    case TEdgeConditionState::ecsDisabled: return ReadDate(JSONObject(), "State.LastState", Tag);
    case TEdgeConditionState::ecsPaused: return ReadDate(JSONObject(), "State.Data.PausedAt", Tag);
    case TEdgeConditionState::ecsActive: break;
  }
  return Time::MissingDate;
}

Time::TInstant TZELConditionObject::UnpauseDateTime() const {
  std::int32_t interval = 0;
  if (IsPaused(interval) && interval > 1) {
    const Time::TInstant since = InactiveDateTime();
    if (Time::IsMissing(since)) return Time::MissingDate;
    return since + std::chrono::seconds(interval);
  }
  return Time::Now();
}

namespace {

// The value at APath when it is there (null counts as absent).
const TJSON* Present(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = Helpers::FindValue(ARoot, APath);
  return value && !value->is_null() ? value : nullptr;
}

void CheckObject(const TJSON& ARoot, std::string_view APath, std::vector<std::string>& AFaults) {
  if (const TJSON* v = Present(ARoot, APath); v && !v->is_object())
    AFaults.push_back(fmt::format("\"{}\" is not an object", APath));
}

void CheckFlag(const TJSON& ARoot, std::string_view APath, std::vector<std::string>& AFaults) {
  if (const TJSON* v = Present(ARoot, APath); v && !v->is_boolean())
    AFaults.push_back(fmt::format("\"{}\" value {} is not true or false", APath, v->dump()));
}

void CheckDate(const TJSON& ARoot, std::string_view APath, std::vector<std::string>& AFaults) {
  const TJSON* v = Present(ARoot, APath);
  Time::TInstant date;
  if (v && (!v->is_string() || !Time::TryParseISO8601(v->get<std::string>(), date)))
    AFaults.push_back(fmt::format("\"{}\" value {} is not an ISO 8601 date", APath, v->dump()));
}

void CheckWhole(const TJSON& ARoot, std::string_view APath, std::int64_t AMin, std::int64_t AMax,
                std::vector<std::string>& AFaults) {
  const TJSON* v = Present(ARoot, APath);
  if (!v) return;
  const auto number = Edge::JSON::TryGetInteger(ARoot, APath);
  if (!number)
    AFaults.push_back(fmt::format("\"{}\" value {} is not a whole number", APath, v->dump()));
  else if (*number < AMin || *number > AMax)
    AFaults.push_back(fmt::format("{} value ({}) must be in range[{}..{}]", APath, *number, AMin, AMax));
}

}  // namespace

std::string TZELConditionObject::StatusAndStateFault(const TJSON& AData) {
  std::vector<std::string> faults;
  CheckObject(AData, "Status", faults);
  CheckObject(AData, "State", faults);
  if (const TJSON* status = Present(AData, "Status"); status && status->is_object()) {
    CheckFlag(AData, "Status.Enabled", faults);
    CheckFlag(AData, "Status.Online", faults);
    CheckDate(AData, "Status.LastSeen", faults);
  }
  if (const TJSON* state = Present(AData, "State"); state && state->is_object()) {
    CheckObject(AData, "State.Data", faults);
    if (const TJSON* data = Present(AData, "State.Data"); data && data->is_object()) {
      CheckWhole(AData, "State.Data.State", 0, 2, faults);
      CheckWhole(AData, "State.Data.PauseInterval", 0, INT32_MAX, faults);
      CheckDate(AData, "State.Data.PausedAt", faults);
    }
    CheckDate(AData, "State.LastState", faults);
  }
  return fmt::format("{}", fmt::join(faults, "; "));
}

bool TZELConditionObject::UpdateStatusAndState(const TJSON* AData) {
  if (!AData) return false;
  TJSON* own = MutableJSONObject();
  if (!own) return false;
  // All or nothing: a half-applied answer would show a state the edge never had.
  if (const std::string fault = StatusAndStateFault(*AData); !fault.empty()) {
    LogsPipe::ZELLog().ErrorFmt("TZELConditionObject.UpdateStatusAndState",
                                "Update of condition \"{}\" refused, nothing changed: {}. JSON: {}", ID(), fault,
                                LogsPipe::Shortened(AData->dump()));
    return false;
  }
  bool changed = false;
  for (const char* key : {"Status", "State"}) {
    if (const TJSON* value = Helpers::TryGetObject(*AData, key)) {
      (*own)[key] = *value;
      changed = true;
    }
  }
  return changed;
}

}  // namespace ZEL
