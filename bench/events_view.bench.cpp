// The Events view under load, side by side with the work it cannot avoid, in one run
// (100,000 alerts, logging on into a folder of the run's own, offscreen platform):
// - fill: the view's rows built from a freshly loaded list, against that bulk load (an array
//   moved into an empty list); and a whole pull as the user waits for it (load plus fill)
//   against the load. Rows and list are emptied outside the timing on both sides; the first
//   run (fresh process) is printed beside the best of three. Target: fill at most 1.5 times
//   the load.
// - filter, then search: each change of the view's filter over its rows (the filter applied,
//   then a search typed with it on), including the relayout and paint it causes, against a
//   bare loop over the same prepared rows with the same predicate, keeping the matching
//   rows' indexes. Target: at most 2 times.
// - one live alert added on top of 100,000 rows, including the posted relayout and the
//   paint it causes, in the program's style (median; target under 1 ms).
// - resident memory per alert at 100,000 alerts: the list's and the view rows' (target at
//   most 3 KB per alert in all).
// "zel_bench_events_view live" loads once and adds ten times the live alerts, for a profile.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QListView>
#include <QWidget>

#include <fmt/format.h>

#include "BenchAlerts.h"
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
#include "ZEL.Style.h"
#include "ZEL.View.Events.h"

using namespace ZEL;

namespace {

using TJSON = nlohmann::ordered_json;
using ZEL::Bench::Percentile;
using ZEL::Bench::Seconds;
using ZEL::Bench::TClock;

constexpr long cAlerts = 100000;
constexpr int cRepeats = 3;
constexpr int cLiveAdds = 301;

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

using ZEL::Bench::EdgeJSON;

const char* Verdict(bool AOk) { return AOk ? "ok" : "MISSED"; }

// Resident bytes after handing freed heap back, so that what is counted is what is held.
long ResidentBytes() {
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Counts the paints of one widget.
class TPaintCounter : public QObject {
public:
  int Paints = 0;
  bool eventFilter(QObject*, QEvent* AEvent) override {
    if (AEvent->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

// The best and the first of the runs of one side.
struct TRuns {
  double First = 0;
  double Best = 1e100;
  void Add(double ASeconds) {
    if (First == 0) First = ASeconds;
    Best = std::min(Best, ASeconds);
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string folder = std::filesystem::temp_directory_path() / fmt::format("zel-bench-events-{}", getpid());
  std::filesystem::create_directories(folder);
  setenv("ZEL_LOGS_DIR", folder.c_str(), 1);
  QApplication app(argc, argv);
  const bool liveOnly = argc > 1 && std::string(argv[1]) == "live";
  Style::Apply(app);  // the program's look: what a paint costs depends on it

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
  QCoreApplication::processEvents();

  std::printf("Events view, %ld alerts (logging on, into %s)\n", cAlerts, folder.c_str());

  // 1. Load and fill, each into an empty list and an empty view; the first run also
  //    measures what the list and the rows hold.
  TRuns load, fill, pull;
  long memStart = 0, memLoaded = 0, memFilled = 0;
  for (int run = 0; run < (liveOnly ? 1 : cRepeats); ++run) {
    view->Rows()->Reset({});
    list.Clear(false);
    QCoreApplication::processEvents();
    LogsPipe::Flush();
    if (run == 0) memStart = ResidentBytes();
    TJSON copy = array;
    auto start = TClock::now();
    list.ReadFromJSONArray(std::move(copy), false);
    const double loaded = Seconds(start);
    copy = TJSON();
    LogsPipe::Flush();
    if (run == 0) memLoaded = ResidentBytes();
    start = TClock::now();
    view->FillEventsFromList();
    const double filled = Seconds(start);
    LogsPipe::Flush();
    QCoreApplication::processEvents();
    if (run == 0) memFilled = ResidentBytes();
    load.Add(loaded);
    fill.Add(filled);
    pull.Add(loaded + filled);
  }
  std::printf("  bulk load of the list: first %8.1f ms, best %8.1f ms\n", load.First * 1e3, load.Best * 1e3);
  std::printf("  fill the view:         first %8.1f ms, best %8.1f ms   ratio to the load: first %.2f, best %.2f"
              " (target <= 1.5) %s\n",
              fill.First * 1e3, fill.Best * 1e3, fill.First / load.First, fill.Best / load.Best,
              Verdict(fill.First / load.First <= 1.5 && fill.Best / load.Best <= 1.5));
  std::printf("  pull to view (load + fill): first %8.1f ms, best %8.1f ms   ratio to the load: first %.2f, best %.2f\n",
              pull.First * 1e3, pull.Best * 1e3, pull.First / load.First, pull.Best / load.Best);
  const double modelPer = static_cast<double>(memLoaded - memStart) / cAlerts;
  const double rowsPer = static_cast<double>(memFilled - memLoaded) / cAlerts;
  std::printf("  resident memory per alert: list %.0f bytes, view's rows %.0f bytes, in all %.0f bytes"
              " (target <= 3072) %s\n",
              modelPer, rowsPer, modelPer + rowsPer, Verdict(modelPer + rowsPer <= 3072));

  // 2. A filter and a search over every row, against a bare loop over the same rows with the
  //    same predicate. The view's side includes the relayout and paint that the change causes.
  TFilterOptions options;
  Events::Filter::ChooseRange(options, 3, Time::Now());
  options.Applied = true;
  options.EdgeID = "EDGE-1";
  options.OnlyActive = true;
  options.EventStates = {TEventAlertState::easInitiated, TEventAlertState::easEscalated};
  const QString search = QStringLiteral("ZONE 1");
  // What the view's ApplyFilter installs.
  const TEventsRowFilter::TRawFilter keep = [&](const TEventRow& ARow) {
    if (view->FilterKeepList().count(ARow.ID)) return true;
    if (!list.EventExists(ARow.ID)) return false;
    return Events::Filter::Allows(options, ARow.Subject);
  };
  TEventsRowFilter* onView = view->OnView();
  const TEventsRowModel& rows = *view->Rows();
  // The bare side: one pass over the same rows with the same predicate, keeping the indexes
  // of the rows that pass.
  const auto bareLoop = [&](const QString& ASearch) {
    std::vector<int> accepted;
    const int count = rows.rowCount();
    for (int i = 0; i < count; ++i) {
      const TEventRow& row = rows.Row(i);
      if (keep(row) && TEventsRowFilter::MatchesSearch(row, ASearch)) accepted.push_back(i);
    }
    return accepted.size();
  };
  // Each user action on its own, as the view takes it: the filter applied (no search yet),
  // then the search typed with the filter on; each one pass over every row.
  int shown = 0;
  std::size_t matched = 0;
  TRuns filter, filterBare, search_, searchBare;
  for (int run = 0; run < (liveOnly ? 0 : cRepeats); ++run) {
    onView->SetRawFilter({});
    onView->SetSearchText({});
    QCoreApplication::processEvents();
    auto start = TClock::now();
    onView->SetRawFilter(keep);
    QCoreApplication::processEvents();
    filter.Add(Seconds(start));
    start = TClock::now();
    onView->SetSearchText(search);
    shown = onView->rowCount();
    QCoreApplication::processEvents();
    search_.Add(Seconds(start));

    start = TClock::now();
    bareLoop({});
    filterBare.Add(Seconds(start));
    start = TClock::now();
    matched = bareLoop(search);
    searchBare.Add(Seconds(start));
  }
  if (!liveOnly) {
    std::printf("  apply the filter:   first %6.1f ms, best %6.1f ms   bare loop: first %6.1f ms, best %6.1f ms"
                "   ratio: first %.2f, best %.2f (target <= 2) %s\n",
                filter.First * 1e3, filter.Best * 1e3, filterBare.First * 1e3, filterBare.Best * 1e3,
                filter.First / filterBare.First, filter.Best / filterBare.Best,
                Verdict(filter.Best / filterBare.Best <= 2));
    std::printf("  then search:        first %6.1f ms, best %6.1f ms   bare loop: first %6.1f ms, best %6.1f ms"
                "   ratio: first %.2f, best %.2f (target <= 2) %s   (%d rows shown, %zu matched)\n",
                search_.First * 1e3, search_.Best * 1e3, searchBare.First * 1e3, searchBare.Best * 1e3,
                search_.First / searchBare.First, search_.Best / searchBare.Best,
                Verdict(search_.Best / searchBare.Best <= 2), shown, matched);
  }
  onView->SetRawFilter({});
  onView->SetSearchText({});
  QCoreApplication::processEvents();

  // 3. Live alerts at the top of the full list, through the list's change handler, each with
  //    the relayout and paint it causes.
  view->Leave(TView::Profile);
  view->Enter(TView::Profile);  // the bulk loads dropped the handler; entering adds it again
  QCoreApplication::processEvents();
  LogsPipe::Flush();  // no earlier section's lines left for the writer
  TPaintCounter painted;
  view->List()->viewport()->installEventFilter(&painted);
  std::vector<std::unique_ptr<TZELEvent>> live;
  const int liveAdds = liveOnly ? 10 * cLiveAdds : cLiveAdds;
  for (int i = 0; i < liveAdds; ++i) live.push_back(std::make_unique<TZELEvent>(AlertElement(cAlerts + i, now)));
  std::vector<double> adds;
  int unpainted = 0;
  for (auto& e : live) {
    const int before = painted.Paints;
    const auto start = TClock::now();
    list.Add(std::move(e));
    QCoreApplication::processEvents();
    adds.push_back(Seconds(start) * 1e3);
    if (painted.Paints == before) ++unpainted;
  }
  const double median = Percentile(adds, 0.5);
  std::printf("  live alert on top, with relayout and paint: median %.3f ms, p95 %.3f ms over %d additions"
              " (target < 1 ms) %s   rows %d, additions not painted %d\n",
              median, Percentile(adds, 0.95), liveAdds, Verdict(median < 1.0), view->OnView()->rowCount(), unpainted);
  view->List()->viewport()->removeEventFilter(&painted);
  view->Leave(TView::Profile);

  view.reset();
  Services::Container::FreeZELServicesContainer();
  events.reset();
  edges.reset();
  LogsPipe::Flush();
  std::filesystem::remove_all(folder);
  return 0;
}
