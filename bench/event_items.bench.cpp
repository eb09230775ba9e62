// The alert timeline against the whole local stack (broker over TLS, backend and edge
// simulator), in one run:
// - opening an alert with 1,000 items, from the double click (the view entered) to every
//   row built, against the bare fetch and parse of the same items from the simulator
//   (target: at most 1.5 times);
// - one live item added to that timeline (median; target under 1 ms).
// The bench tree builds no simulator: $ZEL_BACKEND_SIM names a built zel-backend-sim.
// Override: $ZEL_BENCH_TIMELINE_ITEMS (1000). Runs on the offscreen platform.

#include "BenchMqtt.h"
#include "BenchStack.h"

#include <QApplication>
#include <QListView>
#include <QWidget>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ZEL.EventItems.Rows.h"
#include "ZEL.Events.Event.h"
#include "ZEL.Events.List.h"
#include "ZEL.View.Event.Items.h"

namespace {

using namespace std::chrono_literals;
using ZEL::Bench::Percentile;
using ZEL::Bench::Seconds;
using ZEL::Bench::TClock;
using ZEL::Bench::WaitFor;
using json = nlohmann::json;

constexpr int cRepeats = 6;
constexpr int cLiveAdds = 301;

int Fail(const std::string& AText) {
  std::fprintf(stderr, "zel_bench_event_items: %s\n", AText.c_str());
  return 1;
}

const char* Verdict(bool AOk) { return AOk ? "ok" : "MISSED"; }

nlohmann::ordered_json LiveItem(const std::string& AAlert, int AN) {
  return {{"ObjectId", fmt::format("64c0{:020x}", AN)}, {"ParentObjectId", AAlert}, {"ItemType", 5},
          {"DateTime", "2024-03-01T08:05:00Z"}, {"Caption", "Note"}, {"Text", fmt::format("Live note {}", AN)},
          {"Originator", {{"ID", "bench"}, {"GUID", "{00000000-0000-0000-0000-000000000001}"}, {"Name", "Bench"},
                          {"Description", "d"}, {"Type", 200}}}};
}

int Drive() {
  const char* itemsEnv = std::getenv("ZEL_BENCH_TIMELINE_ITEMS");
  const long items = itemsEnv && std::atol(itemsEnv) > 0 ? std::atol(itemsEnv) : 1000;
  ZEL::Bench::TStack stack;
  if (const std::string error = ZEL::Bench::StartStackForSession(stack); !error.empty()) return Fail(error);

  ZEL::Bench::TSignedInSession s;
  s.SignIn();
  if (!WaitFor([&] { return s.SignedIn.load(); }, 20s)) return Fail("the sign-in did not complete");
  s.Start();
  if (!WaitFor([&] { return s.Synced && s.Connected; }, 20s)) return Fail("the session did not sync and connect");

  // One alert with its history of N items, made at the simulator.
  const json raised = json::parse(stack.Post("/alerts", R"({"edge":"EDGE-NORTH-01","attachments":0})"), nullptr, false);
  if (!raised.is_object() || !raised.contains("alert")) return Fail("the simulator raised no alert");
  const std::string id = raised["alert"].value("ObjectId", "");
  std::printf("Alert timeline, %ld items on alert %s\n", items, id.c_str());
  for (long i = 1; i < items; ++i)
    if (stack.Post("/items", json{{"alertId", id}, {"itemType", 5}, {"text", fmt::format("Note {}", i)}}.dump())
            .empty())
      return Fail("the simulator refused an item");
  // The alert in the session's list (its broker delivery).
  if (!WaitFor([&] {
        bool in = false;
        ZEL::UIThread::RunSync([&] { in = s.Session->EventsService()->GetEventsList()->EventExists(id); });
        return in;
      }, 10s))
    return Fail("the alert did not reach the list");

  // The view, entered as a double click in the alerts list does.
  std::unique_ptr<QWidget> parent;
  std::unique_ptr<ZEL::TEventItemsForm> view;
  ZEL::UIThread::RunSync([&] {
    parent = std::make_unique<QWidget>();
    parent->resize(444, 640);
    view = std::make_unique<ZEL::TEventItemsForm>();
    view->InitView(ZEL::TView::EventItems, nullptr, parent.get());
    view->ShowView();
    parent->show();
    s.Session->EventsService()->SetDetailedEvent(id);
  });

  // 1. The bare fetch and parse (on this thread, as the view's task does it) and the
  // timeline from the double click to every row built and the rows in sight painted,
  // taken in turns so that both meet the same load (the machine and the simulator); the
  // best of each.
  std::size_t fetched = 0;
  double bare = 1e9, open = 1e9;
  int rows = 0;
  const auto Bare = [&] {
    ZEL::TZELEvent::TItemBatch batch;
    const auto start = TClock::now();
    if (!ZEL::TZELEvent::FetchItemsOf(id, batch)) return false;
    bare = std::min(bare, Seconds(start));
    fetched = batch.size();
    return true;
  };
  const auto Open = [&] {
    const auto start = TClock::now();
    ZEL::UIThread::RunSync([&] { view->Enter(ZEL::TView::Events); });
    bool done = false;
    while (!done) {
      std::this_thread::sleep_for(200us);
      ZEL::UIThread::RunSync([&] {
        done = !view->Fetching() && view->FilledWithEventID() == id;
        if (done) {
          view->List()->viewport()->repaint();  // the rows in sight painted
          rows = view->Rows()->rowCount();
        }
      });
      if (Seconds(start) > 30) return false;
    }
    open = std::min(open, Seconds(start));
    ZEL::UIThread::RunSync([&] { view->Leave(ZEL::TView::Events); });
    return true;
  };
  // In turns, each first every other time: a fetch that follows another is not favoured.
  for (int r = 0; r < cRepeats; ++r) {
    const bool ok = r % 2 == 0 ? Bare() && Open() : Open() && Bare();
    if (!ok) return Fail("a fetch failed or the timeline did not fill");
  }
  std::printf("  open the timeline:   %8.1f ms (%d rows)   bare fetch and parse: %8.1f ms (%zu items)   "
              "ratio %.2f (target <= 1.5) %s\n",
              open * 1e3, rows, bare * 1e3, fetched, open / bare, Verdict(open / bare <= 1.5));

  // 3. One live item into the timeline shown, as the broker intake adds it.
  std::vector<double> adds;
  ZEL::UIThread::RunSync([&] { view->Enter(ZEL::TView::Events); });
  if (!WaitFor([&] {
        bool done = false;
        ZEL::UIThread::RunSync([&] { done = !view->Fetching() && view->FilledWithEventID() == id; });
        return done;
      }, 30s))
    return Fail("the timeline did not fill");
  for (int i = 0; i < cLiveAdds; ++i) {
    auto item = std::make_unique<ZEL::TZELEventItem>(LiveItem(id, i));
    ZEL::UIThread::RunSync([&] {
      ZEL::TZELEvent* alert = s.Session->EventsService()->GetEventsList()->FindEventByID(id);
      const auto start = TClock::now();
      alert->Items().Add(std::move(item));
      adds.push_back(Seconds(start) * 1e3);
    });
  }
  const double median = Percentile(adds, 0.5);
  std::printf("  one live item:       median %.3f ms, p99 %.3f ms (target median < 1 ms) %s\n", median,
              Percentile(adds, 0.99), Verdict(median < 1.0));

  ZEL::UIThread::RunSync([&] {
    view->Leave(ZEL::TView::Events);
    view.reset();
    parent.reset();
  });
  s.Release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The timeline's window comes and goes with the runs; the loop must outlive it.
  QApplication::setQuitOnLastWindowClosed(false);
  return ZEL::Bench::RunDriven<QApplication>(argc, argv, Drive);
}
