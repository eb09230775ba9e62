#include "ZEL.UINotification.h"

#include <fmt/format.h>

#include "ZEL.Events.Event.h"
#include "ZEL.Messaging.Messages.h"

namespace ZEL {

void TZELUINotification::ShowToast(std::string AMsg) {
  TZELMessager<TShowToastMessageEvent>::Send(
      [&] { return std::make_unique<TShowToastMessageEvent>(std::move(AMsg)); });
}

void TZELUINotification::ShowNewEventToast(std::string_view ACaption, std::string AEventID) {
  std::string text = fmt::format("(New) {}", ACaption);
  TZELMessager<TNewEventToastMessageEvent>::Send(
      [&] { return std::make_unique<TNewEventToastMessageEvent>(std::move(text), std::move(AEventID)); });
}

void TZELUINotification::ShowNewEventToast(const TZELEvent& AEvent) { ShowNewEventToast(AEvent.Caption(), AEvent.ID()); }

}  // namespace ZEL
