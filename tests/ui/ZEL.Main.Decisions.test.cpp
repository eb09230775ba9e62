// The main window's decisions without a window: menu buttons, Back, toast routing, the
// Devices text, the hosted views and the alert a tapped notification opens.

#include "ZEL.LogsPipe.h"
#include "ZEL.Main.Decisions.h"
#include "ZEL.PushNotification.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

namespace D = Main::Decisions;
using K = D::TBackStep::TKind;

TEST(MainDecisions, MenuButtonAndBackPerView) {
  struct TRow {
    TView View;
    D::TMenuButton Button;
    D::TBackStep BackWhenAble;
    D::TBackStep BackWhenUnable;
  };
  const D::TBackStep none{};
  const TRow rows[] = {
      {TView::Profile, D::TMenuButton::Profile, none, none},
      {TView::Events, D::TMenuButton::Events, none, none},
      {TView::EventItems, D::TMenuButton::Events, {K::ChangeView, TView::Events}, {K::BackAction, TView::Host}},
      {TView::EventItemDetails, D::TMenuButton::Events, {K::ChangeView, TView::EventItems},
       {K::BackAction, TView::Host}},
      {TView::EdgeDevcies, D::TMenuButton::Devices, none, none},
      {TView::Host, D::TMenuButton::None, none, none},
      {TView::Login, D::TMenuButton::None, none, none},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(std::string(ToString(row.View)));
    EXPECT_EQ(D::MenuButtonOf(row.View), row.Button);
    EXPECT_EQ(D::BackOf(row.View, true), row.BackWhenAble);
    EXPECT_EQ(D::BackOf(row.View, false), row.BackWhenUnable);
  }
  EXPECT_TRUE(D::BackBarVisible(true));
  EXPECT_FALSE(D::BackBarVisible(false));
}

TEST(MainDecisions, NewAlertToastUnlessTheListIsInFront) {
  EXPECT_FALSE(D::ToastForNewAlert(TView::Events));
  for (TView view : {TView::Host, TView::Profile, TView::EventItems, TView::EventItemDetails, TView::EdgeDevcies})
    EXPECT_TRUE(D::ToastForNewAlert(view)) << ToString(view);
}

TEST(MainDecisions, DevicesTextAndToastMargin) {
  const std::pair<std::int32_t, const char*> rows[] = {
      {-1, "Devices"}, {0, "Devices"}, {1, "Devices (!)"}, {3, "Devices (!)"}};
  for (const auto& [count, text] : rows) EXPECT_EQ(D::DevicesButtonText(count), text) << count;
  EXPECT_EQ(D::ToastBottomMargin(60), 70);
}

TEST(MainDecisions, HostedViewsInOrderOfCreation) {
  std::vector<TView> views;
  for (const auto& hosted : D::cHostedViews) {
    views.push_back(hosted.View);
    EXPECT_NE(std::find_if(D::cTabs.begin(), D::cTabs.end(),
                           [&](const char* ATab) { return std::string(ATab) == hosted.Tab; }),
              D::cTabs.end())
        << hosted.Tab;
  }
  EXPECT_EQ(views, (std::vector<TView>{TView::Profile, TView::Events, TView::EventItems, TView::EventItemDetails,
                                       TView::EdgeDevcies}));
  EXPECT_EQ(std::string(D::cTabs[0]), "tabPermissions");
  EXPECT_FALSE(D::IsHosted(TView::Host));
  EXPECT_FALSE(D::IsHosted(TView::Register));
  EXPECT_TRUE(D::IsHosted(TView::EdgeDevcies));
}

TEST(MainDecisions, TappedNotificationOpensItsAlert) {
  struct TRow {
    const char* Name;
    TPushServiceNotification Notification;
    std::string Id;
    const char* Line;
    TLogType LineType;
  };
  const TRow rows[] = {
      {"with id", {"data", {{"data", {{"objectId", "64b0"}}}}}, "64b0", "Event id to show: 64b0", TLogType::Debug},
      {"no objectId", {"data", {{"data", {{"other", 1}}}}}, "",
       "Unable to get \"objectId\" from push message. Payload = {\"other\":1}", TLogType::Error},
      {"no data object", {"data", {{"title", "x"}}}, "", "Event \"\" is invalid/already marked as processed!",
       TLogType::Debug},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    LogsPipe::TLogCapture log;
    EXPECT_EQ(D::ProcessPushNotification(&row.Notification), row.Id);
    const auto lines = log.WithTag("ProcessPushNotification");
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const auto& AEntry) {
      return AEntry.Type == row.LineType && AEntry.Message == row.Line;
    }));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const auto& AEntry) {
      return AEntry.Message == "Received FCM push: " + row.Notification.Json.dump();
    }));
  }
  LogsPipe::TLogCapture log;
  EXPECT_EQ(D::ProcessPushNotification(nullptr), "");
  const TPushServiceNotification empty;
  EXPECT_EQ(D::ProcessPushNotification(&empty), "");
  EXPECT_TRUE(log.WithTag("ProcessPushNotification").empty());
}

}  // namespace
}  // namespace ZEL
