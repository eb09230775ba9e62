#pragma once
// The Events view over the real events and edge services (with a stand-in backend), in a
// recording host; and alert JSON made to order.

#include "TestSupport.h"
#include "ZEL.Events.RowFilter.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Events.h"
#include "services/ZEL.Events.Service.Fakes.h"
#include "services/ZEL.Session.TestSupport.h"

#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ZEL::Test {

inline constexpr const char* cEdgeGuid = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";

struct TAlertSpec {
  std::string Caption = "Motion";
  std::string Text = "Gate camera";
  std::string State = "easInitiated";
  bool Active = true;
  bool Viewed = false;
  Time::TInstant At = Time::Now();
  std::string OriginatorID = "EDGE-1-COND-1";  // a condition of EDGE-1
  std::string Source = "c1";
};

inline nlohmann::ordered_json AlertJSON(const std::string& AID, const TAlertSpec& A = {}) {
  return {{"ObjectId", AID},
          {"State", A.State},
          {"Active", A.Active},
          {"Viewed", A.Viewed},
          {"DateTime", Time::FormatISO8601UTC(A.At)},
          {"Caption", A.Caption},
          {"Text", A.Text},
          {"Originator",
           {{"ID", A.OriginatorID}, {"GUID", "{00000000-0000-0000-0000-000000000001}"}, {"Name", A.Source},
            {"Description", "d"}, {"Type", 20}}}};
}

// The view, initialised in a recording host over the services of TEventsServiceFixture.
class TEventsViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    F.Edges->InitEdge(MakeEdge("EDGE-1", cEdgeGuid, "North", {1}));
    View = std::make_unique<TEventsViewForm>();
    View->InitView(TView::Events, &Host, &Parent);
  }
  void TearDown() override { View.reset(); }

  TZELEventList& List() { return *F.Events->GetEventsList(); }
  // Enters the view and waits for the pull it starts to end.
  void EnterAndWait(TView AFrom = TView::Host) {
    View->Enter(AFrom);
    ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  }
  void PullAndWait() {
    View->ReceiveEvents();
    ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  }
  // A live alert, as the broker intake adds it.
  TZELEvent* AddLive(const std::string& AID, const TAlertSpec& A = {}) {
    return List().Add(std::make_unique<TZELEvent>(AlertJSON(AID, A)));
  }
  // The ids of the rows on view, top first.
  std::vector<std::string> OnView() const {
    std::vector<std::string> ids;
    for (int i = 0; i < View->OnView()->rowCount(); ++i)
      ids.push_back(View->OnView()->index(i, 0).data(TEventsRowModel::IDRole).toString().toStdString());
    return ids;
  }
  std::string Counter() const { return View->findChild<QLabel*>("txtCount")->text().toStdString(); }
  // Not hidden (the view itself is never shown in these tests).
  bool EmptyTextShown() const { return !View->findChild<QLabel*>("txtMessage")->isHidden(); }

  TEventsServiceFixture F;
  TRecordingHost Host;
  QWidget Parent;
  std::unique_ptr<TEventsViewForm> View;
};

}  // namespace ZEL::Test
