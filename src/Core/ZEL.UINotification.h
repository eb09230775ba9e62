#pragma once
// The one way the model and the services ask for a toast; the main window shows it.

#include <string>
#include <string_view>

namespace ZEL {

class TZELEvent;

class TZELUINotification {
public:
  static constexpr std::string_view TypeName = "TZELUINotification";

  // Sends a TShowToastMessageEvent with the text, without sender.
  static void ShowToast(std::string AMsg);

  // Sends a TNewEventToastMessageEvent "(New) <caption>" that opens the alert AEventID.
  // The alert model adds ShowNewEventToast(const TZELEvent&) on top of this, passing the
  // alert's Caption and ID.
  static void ShowNewEventToast(std::string_view ACaption, std::string AEventID);
  // The same for an alert: its Caption and ID.
  static void ShowNewEventToast(const TZELEvent& AEvent);
};

}  // namespace ZEL
