#include "ZEL.Main.Decisions.h"

#include "ZEL.LogsPipe.h"
#include "ZEL.PushNotification.h"

namespace ZEL::Main::Decisions {

TMenuButton MenuButtonOf(TView AView) {
  switch (AView) {
    case TView::Profile: return TMenuButton::Profile;
    case TView::Events:
    case TView::EventItems:
    case TView::EventItemDetails: return TMenuButton::Events;
    case TView::EdgeDevcies: return TMenuButton::Devices;
    default: return TMenuButton::None;
  }
}

TBackStep BackOf(TView ACurrent, bool ACanGoBack) {
  using K = TBackStep::TKind;
  TView target = TView::Host;
  if (ACurrent == TView::EventItems)
    target = TView::Events;
  else if (ACurrent == TView::EventItemDetails)
    target = TView::EventItems;
  else
    return {};
  if (!ACanGoBack) return {K::BackAction, TView::Host};
  return {K::ChangeView, target};
}

bool ToastForNewAlert(TView ACurrent) { return ACurrent != TView::Events; }

std::string DevicesButtonText(std::int32_t AInactiveConditions) {
  return AInactiveConditions >= 1 ? "Devices (!)" : "Devices";
}

bool IsHosted(TView AView) {
  for (const THostedView& hosted : cHostedViews)
    if (hosted.View == AView) return true;
  return false;
}

std::string ProcessPushNotification(const TPushServiceNotification* ANotification) {
  constexpr std::string_view tag = "ProcessPushNotification";
  if (!ANotification || ANotification->Json.is_null()) return {};
  ILogWriter& log = LogsPipe::ZELLog();
  const nlohmann::ordered_json& json = ANotification->Json;
  std::string id;
  const nlohmann::ordered_json* data = nullptr;
  if (json.is_object() && !ANotification->DataKey.empty()) {
    auto it = json.find(ANotification->DataKey);
    if (it != json.end() && it->is_object()) data = &*it;
  }
  if (data) {
    auto it = data->find("objectId");
    if (it != data->end() && it->is_string())
      id = it->get<std::string>();
    else
      log.Error(tag, "Unable to get \"objectId\" from push message. Payload = " + data->dump());
  }
  log.Debug(tag, "Received FCM push: " + json.dump());
  if (id.empty()) {
    log.Debug(tag, "Event \"" + id + "\" is invalid/already marked as processed!");
    return {};
  }
  log.Debug(tag, "Event id to show: " + id);
  return id;
}

}  // namespace ZEL::Main::Decisions
