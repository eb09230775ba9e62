#pragma once
// The item details view over the real events and edge services (stand-in backend and broker),
// in a recording host, with one alert, one item and the condition that raised it.

#include "TestSupport.h"
#include "ZEL.Events.Event.h"
#include "ZEL.Events.List.h"
#include "ZEL.ItemDetails.TestSupport.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Event.Item.Details.h"
#include "services/ZEL.Events.Service.Fakes.h"
#include "services/ZEL.Session.TestSupport.h"

#include <QListWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

namespace ZEL::Test {

inline constexpr const char* cDetailsEdgeGuid = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";

// Qt WebEngine refuses its sandbox as root; set before the first page of the process.
inline void AllowWebEngineAsRoot() {
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

class TItemDetailsViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    AllowWebEngineAsRoot();
    auto edge = MakeEdge("EDGE-1", cDetailsEdgeGuid, "North");
    edge["Conditions"].push_back(ConditionJSON("EDGE-1-COND-1", 1, {ServiceJSON(12, 0, "Switch"), ServiceJSON(15, 1, "Pause")}));
    edge["Conditions"].push_back(ConditionJSON("EDGE-1-COND-2", 1, {ServiceJSON(12, 0, "Switch")}, "Other"));
    edge["Conditions"].push_back(ConditionJSON("EDGE-1-COND-3", 1, {ServiceJSON(0, 0, "Look")}, "Viewer"));
    ASSERT_TRUE(F.Edges->InitEdge(edge));
    F.Auth->Email = "demo@zel.test";
    View = std::make_unique<TEventItemDetailsForm>();
    View->InitView(TView::EventItemDetails, &Host, &Parent);
  }
  void TearDown() override {
    if (View && View->NeedLeave()) View->Leave(TView::EventItems);
    View.reset();
  }

  // Puts the item in the list (in an alert of its own) and chooses it, as the timeline does.
  TZELEventItem* Choose(const TItemSpec& AItem) {
    TZELEventList& list = *F.Events->GetEventsList();
    TZELEvent* alert = list.FindEventByID(AItem.AlertID);
    if (!alert) {
      nlohmann::ordered_json json = {{"ObjectId", AItem.AlertID}, {"State", "easInitiated"}, {"Active", true},
                                     {"Viewed", false}, {"DateTime", AItem.DateTime}, {"Caption", AItem.Caption},
                                     {"Text", AItem.Text},
                                     {"Originator", ItemJSON(AItem)["Originator"]}};
      alert = list.Add(std::make_unique<TZELEvent>(json));
    }
    TZELEventItem* item = alert->Items().Add(MakeItem(AItem));
    F.Events->SetDetailedEvent(AItem.AlertID);
    F.Events->SetDetailedEventItem(AItem.ID);
    return item;
  }
  TZELConditionObject* Condition(const std::string& AID) {
    TZELConditionObject* c = nullptr;
    F.Edges->GetEdge(0)->HasCondition(AID, c);
    return c;
  }
  // The texts of a list's rows: "[H] name" for headers, "[F]" for footers, else the row's id
  // or (services) its caption.
  static std::vector<std::string> Rows(QListWidget* AList) {
    std::vector<std::string> out;
    for (int i = 0; i < AList->count(); ++i) {
      const QListWidgetItem* row = AList->item(i);
      switch (TEventItemDetailsForm::KindOf(row)) {
        case TEventItemDetailsForm::TRowKind::Header: out.push_back("[H] " + row->text().toStdString()); break;
        case TEventItemDetailsForm::TRowKind::Footer: out.push_back("[F]"); break;
        case TEventItemDetailsForm::TRowKind::Plain: {
          const QString caption = row->data(Qt::AccessibleTextRole).toString();
          out.push_back(caption.isEmpty() ? TEventItemDetailsForm::IdOf(row) : caption.toStdString());
          break;
        }
      }
    }
    return out;
  }
  std::vector<std::string> ServiceCaptions() const { return Rows(View->ServiceList()); }
  int RowOf(QListWidget* AList, const std::string& AText) const {
    const auto rows = Rows(AList);
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i] == AText) return static_cast<int>(i);
    return -1;
  }

  TEventsServiceFixture F;
  TRecordingHost Host;
  TDialogsInPlace Dialogs;
  QWidget Parent;
  std::unique_ptr<TEventItemDetailsForm> View;
};

}  // namespace ZEL::Test
