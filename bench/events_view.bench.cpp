// The Events view under load, side by side with the alert list alone, in one run:
// - filling the view from a pulled list of 100,000 alerts against the list's own bulk load
//   of the same array (target: at most 1.5 times);
// - a filter and a search over 100,000 rows against a bare loop over the alerts with the
//   same predicate (target: at most 3 times);
// - one live alert added at the top of a 100,000-row list (median; target under 1 ms).
// Logging stays on, into a folder of the run's own. Runs on the offscreen platform.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QWidget>

#include <fmt/format.h>

#include "BenchSupport.h"
#include "ZEL.Edge.h"
#include "ZEL.EdgeService.h"
#include "ZEL.Events.Filter.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.RowFilter.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.Events.Service.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"
#include "ZEL.View.Events.h"

using namespace ZEL;

namespace {

using TJSON = nlohmann::ordered_json;
using ZEL::Bench::TClock;

constexpr long cAlerts = 100000;
constexpr int cRepeats = 3;
constexpr int cLiveAdds = 301;

using ZEL::Bench::Best;
using ZEL::Bench::Seconds;

std::string Stamp(Time::TInstant ABase, long ASecondsBack) {
  return Time::FormatISO8601UTC(ABase - std::chrono::seconds(ASecondsBack));
}

TJSON AlertElement(long AN, Time::TInstant ANow) {
  return {{"ObjectId", fmt::format("64b0{:020x}", AN)},
          {"State", AN % 5 == 0 ? "easEscalated" : (AN % 7 == 0 ? "easDismissed" : "easInitiated")},
          {"Active", AN % 2 == 0},
          {"Viewed", AN % 3 == 0},
          {"DateTime", Stamp(ANow, AN * 5)},
          {"Caption", fmt::format("Motion in zone {}", AN % 50)},
          {"Text", "Person detected by the perimeter camera"},
          {"Originator",
           {{"ID", fmt::format("EDGE-1-COND-{}", 1 + AN % 3)},
            {"GUID", "{00000000-0000-0000-0000-000000000001}"},
            {"Name", fmt::format("Camera zone {}", AN % 50)},
            {"Description", "Perimeter camera condition"},
            {"Type", 20}}},
          {"ItemsCount", 1 + AN % 6}};
}

TJSON EdgeJSON() {
  TJSON edge = {{"Type", 10},          {"Name", "North"}, {"Description", "d"}, {"ID", "EDGE-1"},
                {"GUID", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"}, {"Parent", ""},
                {"Services", TJSON::array()}, {"Conditions", TJSON::array()}, {"Providers", TJSON::array()}};
  for (int n = 1; n <= 3; ++n)
    edge["Conditions"].push_back({{"Type", 20},
                                  {"Name", fmt::format("c{}", n)},
                                  {"Description", "d"},
                                  {"ID", fmt::format("EDGE-1-COND-{}", n)},
                                  {"GUID", fmt::format("{{00000000-0000-0000-0000-00000000000{}}}", n)},
                                  {"Services", TJSON::array()},
                                  {"Status", {{"Enabled", true}}},
                                  {"State", {{"Data", {{"State", 1}, {"PauseInterval", 60}}}}}});
  return edge;
}

double Percentile(std::vector<double> AValues, double AP) {
  std::sort(AValues.begin(), AValues.end());
  const auto i = static_cast<std::size_t>(AP * static_cast<double>(AValues.size() - 1) + 0.5);
  return AValues[std::min(i, AValues.size() - 1)];
}

const char* Verdict(bool AOk) { return AOk ? "ok" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string folder = std::filesystem::temp_directory_path() / fmt::format("zel-bench-events-{}", getpid());
  std::filesystem::create_directories(folder);
  setenv("ZEL_LOGS_DIR", folder.c_str(), 1);
  QApplication app(argc, argv);

  auto events = std::make_shared<TZELEventsService>();
  auto edges = std::make_shared<TZELEdgeService>();
  Services::Container::CreateZELServicesContainer();
  auto zel = Services::Container::ZELServicesContainer();
  zel->RegisterType<IZELEventsService>([events] { return events; });
  zel->RegisterType<IZELEdgeService>([edges] { return edges; });
  zel->Build();
  zel.reset();
  edges->InitEdge(EdgeJSON());
  TZELEventList& list = *events->GetEventsList();

  const Time::TInstant now = Time::Now();
  TJSON array = TJSON::array();
  for (long i = 0; i < cAlerts; ++i) array.push_back(AlertElement(i, now));

  QWidget parent;
  auto view = std::make_unique<TEventsViewForm>();
  view->InitView(TView::Events, nullptr, &parent);
  view->resize(412, 568);
  view->show();
  QCoreApplication::processEvents();
  view->Enter(TView::Profile);  // resolves the services without a pull

  std::printf("Events view, %ld alerts (logging on, into %s)\n", cAlerts, folder.c_str());

  // 1. Filling the view against the list's own bulk load of the same array.
  const double load = Best([] { LogsPipe::Flush(); }, [&] { list.ReadFromJSONArray(array, false); });
  const double fill = Best([] { LogsPipe::Flush(); }, [&] { view->FillEventsFromList(); });
  std::printf("  fill the view:       %8.1f ms   bulk load of the list: %8.1f ms   ratio %.2f (target <= 1.5) %s\n",
              fill * 1e3, load * 1e3, fill / load, Verdict(fill / load <= 1.5));

  // 2. A filter and a search over every row, against a bare loop with the same predicate.
  TFilterOptions options;
  Events::Filter::ChooseRange(options, 3, Time::Now());
  options.Applied = true;
  options.EdgeID = "EDGE-1";
  options.OnlyActive = true;
  options.EventStates = {TEventAlertState::easInitiated, TEventAlertState::easEscalated};
  const QString search = QStringLiteral("ZONE 1");
  TEventsRowFilter* onView = view->OnView();
  int shown = 0;
  const double filter = Best(
      [&] {
        onView->SetRawFilter({});
        onView->SetSearchText({});
      },
      [&] {
        // What the view's ApplyFilter installs, and the search box's text.
        onView->SetRawFilter([&](const TEventRow& ARow) {
          if (view->FilterKeepList().count(ARow.ID)) return true;
          if (!list.EventExists(ARow.ID)) return false;
          return Events::Filter::Allows(options, ARow.Subject);
        });
        onView->SetSearchText(search);
        shown = onView->rowCount();
      });
  int matched = 0;
  const double bare = Best([] {}, [&] {
    matched = 0;
    for (TZELEvent* e : list) {
      TFilterSubject s;
      s.OriginatorID = e->Originator().ID();
      if (TZELEdgeObject* edge = edges->GetEdgeFromOriginator(e->OriginatorPtr())) s.OriginatorEdgeID = edge->ID();
      s.DateTime = e->DateTime();
      s.Active = e->Active();
      s.Viewed = e->Viewed();
      s.State = e->State();
      if (!Events::Filter::Allows(options, s)) continue;
      const TEventRow row{e->ID(), QString::fromStdString(e->Caption()), QString::fromStdString(e->Text()),
                          QString::fromStdString(e->Originator().Name()), s};
      if (TEventsRowFilter::MatchesSearch(row, search)) ++matched;
    }
  });
  std::printf("  filter and search:   %8.1f ms   bare loop:             %8.1f ms   ratio %.2f (target <= 3) %s"
              "   (%d rows shown, %d matched)\n",
              filter * 1e3, bare * 1e3, filter / bare, Verdict(filter / bare <= 3), shown, matched);
  onView->SetRawFilter({});
  onView->SetSearchText({});

  // 3. Live alerts at the top of the full list, through the list's change handler.
  view->Leave(TView::Profile);
  view->Enter(TView::Profile);  // the bulk loads dropped the handler; entering adds it again
  std::vector<std::unique_ptr<TZELEvent>> live;
  for (int i = 0; i < cLiveAdds; ++i) live.push_back(std::make_unique<TZELEvent>(AlertElement(cAlerts + i, now)));
  std::vector<double> adds;
  for (auto& e : live) {
    const auto start = TClock::now();
    list.Add(std::move(e));
    adds.push_back(Seconds(start) * 1e3);
  }
  const double median = Percentile(adds, 0.5);
  std::printf("  live alert on top:   median %.3f ms, p95 %.3f ms over %d additions (target < 1 ms) %s   rows %d\n",
              median, Percentile(adds, 0.95), cLiveAdds, Verdict(median < 1.0), view->OnView()->rowCount());
  view->Leave(TView::Profile);

  view.reset();
  Services::Container::FreeZELServicesContainer();
  events.reset();
  edges.reset();
  LogsPipe::Flush();
  std::filesystem::remove_all(folder);
  return 0;
}
