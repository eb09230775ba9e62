#pragma once
// What the main window decides without widgets: which bottom-menu button belongs to a
// view, where Back leads, whether a new alert gets a toast, the Devices button's text,
// the views it hosts, and the alert a tapped push notification opens.

#include "ZEL.Views.Types.h"

#include <array>
#include <cstdint>
#include <string>

namespace ZEL {
struct TPushServiceNotification;
}

namespace ZEL::Main::Decisions {

enum class TMenuButton { None, Events, Devices, Profile };

// The button pressed while AView is current; None for a view the window does not host.
TMenuButton MenuButtonOf(TView AView);

// The toolbar with Back shows exactly when the current view can go back.
inline bool BackBarVisible(bool ACanGoBack) { return ACanGoBack; }

// What Back does on the current view.
struct TBackStep {
  enum class TKind { Nothing, ChangeView, BackAction };
  TKind Kind = TKind::Nothing;
  TView Target = TView::Host;  // for ChangeView
  bool operator==(const TBackStep&) const = default;
};
TBackStep BackOf(TView ACurrent, bool ACanGoBack);

// A new alert gets a toast unless the alerts list is in front; with no view (Host) it does.
bool ToastForNewAlert(TView ACurrent);

// "Devices (!)" while any condition is inactive.
std::string DevicesButtonText(std::int32_t AInactiveConditions);

// A bottom-aligned toast sits this far above the window's bottom edge.
inline int ToastBottomMargin(int APanelBottomHeight) { return APanelBottomHeight + 10; }

// The pages of the view container, in order; the first holds no view.
inline constexpr std::array<const char*, 6> cTabs = {"tabPermissions", "tabProfile", "tabEvents",
                                                     "tabEventItems", "tabEventItemDetails", "tabEventSources"};

struct THostedView {
  TView View;
  const char* Tab;
};
// The hosted views in the order they are made.
inline constexpr std::array<THostedView, 5> cHostedViews = {{{TView::Profile, "tabProfile"},
                                                             {TView::Events, "tabEvents"},
                                                             {TView::EventItems, "tabEventItems"},
                                                             {TView::EventItemDetails, "tabEventItemDetails"},
                                                             {TView::EdgeDevcies, "tabEventSources"}}};
bool IsHosted(TView AView);

// The alert id a tapped notification opens, with its log lines; empty: nothing to open.
std::string ProcessPushNotification(const TPushServiceNotification* ANotification);

}  // namespace ZEL::Main::Decisions
