// The Events view without a window: pulls, rows, live changes, the row filter, counters,
// the new-alert toast, the filter frame's result, and what a pull does when things go away.

#include "ZEL.View.Events.TestSupport.h"

#include "ZEL.FrameStand.h"
#include "ZEL.Frames.Filter.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.UIThread.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QTimeEdit>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <ctime>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
using Ids = std::vector<std::string>;
using ZT::WaitUntil;

class EventsView : public ZT::TEventsViewTest {
protected:
  // Runs the deferred deletions (a plain event pass does not) and tells whether the frame went.
  static bool Deleted(const QPointer<TfraEventsFilter>& AFrame) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return AFrame.isNull();
  }
  // The pull's own log lines (and the test's marker), in order.
  std::vector<std::string> PullSteps() const {
    std::vector<std::string> steps;
    for (const auto& e : Log.Entries())
      if (e.Tag == "TEventsViewForm.ReceiveEvents" || e.Tag == "test") steps.push_back(e.Message);
    return steps;
  }
  LogsPipe::TLogCapture Log;
};

TEST_F(EventsView, PullLoadsRebuildsAndAttachesAgain) {
  F.REST->Events = {ZT::AlertJSON("A3"), ZT::AlertJSON("A2"), ZT::AlertJSON("A1")};
  F.REST->DuringGetEvents = [] { LogsPipe::ZELLog().Debug("test", "GetEvents"); };
  EnterAndWait();
  EXPECT_EQ(OnView(), (Ids{"A3", "A2", "A1"}));
  const std::vector<std::string> expected = {"START",
                                             "Going to receive events...",
                                             "Filtering tag = Today",
                                             "LRangeStart = " + View->FilterOptions().DateRangeBegin,
                                             "LRangeEnd = " + View->FilterOptions().DateRangeEnd,
                                             "FINISH",
                                             "Getting events from REST...",
                                             "GetEvents",
                                             "Events received. Filling list...",
                                             "Events list filled.",
                                             "Threaded events pull task done.",
                                             "hiding progress, adding  list handler."};
  EXPECT_EQ(PullSteps(), expected);
  EXPECT_EQ(Host.Calls, (Ids{"ShowProgress(Receiving events...)", "HideProgress"}));
  EXPECT_FALSE(View->FirstTime());
  EXPECT_TRUE(F.Events->Subscribed());  // the first pull subscribed the edges
  // The handler is back: a live alert gets its row at the top.
  AddLive("A4");
  EXPECT_EQ(OnView(), (Ids{"A4", "A3", "A2", "A1"}));
  EXPECT_EQ(Counter(), "Total: 4");
}

TEST_F(EventsView, FailedOrRaisingPullKeepsRowsTellsTheUserAndAttachesAgain) {
  F.REST->Events = {ZT::AlertJSON("A1")};
  EnterAndWait();
  F.Events->Unsubscribe();
  ZT::TMessageRecorder<TShowToastMessageEvent> toasts([](const TShowToastMessageEvent& M) { return M.Value(); });
  for (bool raise : {false, true}) {
    Host.Calls.clear();
    toasts.Received.clear();
    if (raise) {
      F.REST->Events = {ZT::AlertJSON("B1"), nlohmann::ordered_json::array()};  // an element that is no alert
    } else {
      F.REST->EventsResult = false;
    }
    PullAndWait();
    EXPECT_EQ(OnView(), (Ids{"A1"})) << raise;
    EXPECT_EQ(Host.Calls, (Ids{"ShowProgress(Receiving events...)", "HideProgress"})) << raise;
    ASSERT_EQ(toasts.Received.size(), 1u) << raise;
    EXPECT_EQ(toasts.Received[0].Text.rfind(std::string(TEventsViewForm::cPullFailedMessage) + " ", 0), 0u)
        << toasts.Received[0].Text;
    EXPECT_GT(toasts.Received[0].Text.size(), TEventsViewForm::cPullFailedMessage.size() + 1) << "a reason";
    F.REST->EventsResult = true;
  }
  // A pull that works says nothing.
  toasts.Received.clear();
  F.REST->Events = {ZT::AlertJSON("A1")};
  PullAndWait();
  EXPECT_TRUE(toasts.Received.empty());
  AddLive("A2");
  EXPECT_EQ(OnView(), (Ids{"A2", "A1"}));
}

TEST_F(EventsView, FirstTimeStaysUntilAPullSucceeds) {
  F.REST->EventsResult = false;
  EnterAndWait();
  EXPECT_TRUE(View->FirstTime());
  EXPECT_FALSE(F.Events->Subscribed());
  View->Leave(TView::EventItems);
  // Back from the timeline before any pull succeeded: pulls again.
  F.REST->EventsResult = true;
  const int calls = F.REST->EventsCalls;
  EnterAndWait(TView::EventItems);
  EXPECT_EQ(F.REST->EventsCalls, calls + 1);
  EXPECT_FALSE(View->FirstTime());
  EXPECT_TRUE(F.Events->Subscribed());
}

TEST_F(EventsView, EnteringFromViewsThatKeepTheRowsDoesNotPull) {
  EnterAndWait();
  struct TCase {
    TView From;
    bool Pulls;
  } const cases[] = {{TView::Profile, false}, {TView::EdgeDevcies, false}, {TView::EventItems, false},
                     {TView::EventItemDetails, true}, {TView::Events, true}};
  for (const auto& c : cases) {
    View->Leave(TView::Profile);
    const int calls = F.REST->EventsCalls;
    EnterAndWait(c.From);
    EXPECT_EQ(F.REST->EventsCalls - calls, c.Pulls ? 1 : 0) << ToString(c.From);
  }
  // Whether it pulled or not, the handler is attached.
  AddLive("L1");
  EXPECT_EQ(OnView().front(), "L1");
}

TEST_F(EventsView, SecondPullWhileOneRunsIsSkipped) {
  bool second = false;
  F.REST->DuringGetEvents = [&] { UIThread::RunSync([&] { View->ReceiveEvents(); second = true; }); };
  EnterAndWait();
  EXPECT_TRUE(second);
  EXPECT_EQ(F.REST->EventsCalls, 1);
  EXPECT_EQ(std::count(Host.Calls.begin(), Host.Calls.end(), "ShowProgress(Receiving events...)"), 1);
  const auto skipped = Log.WithTag("TEventsViewForm.ReceiveEvents");
  EXPECT_TRUE(std::any_of(skipped.begin(), skipped.end(), [](const auto& e) {
    return e.Type == TLogType::Warning && e.Message == "FReceiving is TRUE now. Skipping...";
  }));
}

// Alerts the broker brings while a pull runs are neither lost by the swap nor shown twice.
// The broker's alerts carry object ids (the intake refuses others).
TEST_F(EventsView, AlertsArrivingDuringAPullKeepTheirRows) {
  F.REST->Events = {ZT::AlertJSON(ZT::Oid("A2")), ZT::AlertJSON(ZT::Oid("A1"))};
  F.REST->DuringGetEvents = [&] {
    UIThread::RunSync([&] {
      auto live = ZT::AlertJSON(ZT::Oid("L1"));
      live["Type"] = 1;
      F.Events->LoadEventFromMQTT(live.dump());
      auto pulledToo = ZT::AlertJSON(ZT::Oid("A1"));  // also in the pulled answer
      pulledToo["Type"] = 1;
      F.Events->LoadEventFromMQTT(pulledToo.dump());
    });
  };
  EnterAndWait();
  EXPECT_EQ(OnView(), (Ids{ZT::Oid("A2"), ZT::Oid("A1"), ZT::Oid("L1")}));
  EXPECT_EQ(List().Count(), 3);
  EXPECT_EQ(Counter(), "Total: 3");
  // And the rows follow the list again afterwards.
  AddLive(ZT::Oid("L2"));
  EXPECT_EQ(OnView().front(), ZT::Oid("L2"));
}

// Whatever view is in front, the list is followed; a bulk load meanwhile (a detail view's
// missing alert) drops the handler, and entering rebuilds the rows from the list.
TEST_F(EventsView, AlertsWhileAnotherViewIsInFrontAreThereOnReturn) {
  F.REST->Events = {ZT::AlertJSON("A1")};
  EnterAndWait();
  for (TView other : {TView::EdgeDevcies, TView::Profile, TView::EventItems}) {
    View->Leave(other);
    const std::string id = "L-" + std::string(ToString(other));
    AddLive(id);
    const int calls = F.REST->EventsCalls;
    EnterAndWait(other);
    EXPECT_EQ(F.REST->EventsCalls, calls) << ToString(other);  // no pull needed
    EXPECT_EQ(OnView().front(), id) << ToString(other);
  }
  View->Leave(TView::EventItems);
  ASSERT_TRUE(List().ReadFromJSONArray(nlohmann::ordered_json::array({ZT::AlertJSON("HIDDEN")}), true));
  AddLive("AFTER-LOAD");
  EXPECT_EQ(View->Rows()->IndexOf("AFTER-LOAD"), -1);  // nobody follows the list right now
  EnterAndWait(TView::EventItems);
  EXPECT_NE(View->Rows()->IndexOf("AFTER-LOAD"), -1);
  EXPECT_EQ(View->Rows()->IndexOf("HIDDEN"), -1);
  EXPECT_EQ(View->Rows()->rowCount(), 5);
  AddLive("NEXT");
  EXPECT_EQ(OnView().front(), "NEXT");
}

// One alert with a 5 MB text: every later change stays cheap, and its row holds a short,
// elided text.
TEST_F(EventsView, HugeAlertTextCostsNothingPerChange) {
  F.REST->Events = nlohmann::ordered_json::array();
  Parent.resize(412, 568);
  Parent.show();
  EnterAndWait();
  View->ShowView();
  AddLive("HUGE", {.Caption = std::string(200000, 'C'), .Text = std::string(5 * 1024 * 1024, 'x')});
  QCoreApplication::processEvents();
  const TEventRow& huge = View->Rows()->Row(View->Rows()->IndexOf("HUGE"));
  EXPECT_LE(huge.Text.size(), static_cast<qsizetype>(TEventsRowModel::cMaxRowText + 1));
  EXPECT_TRUE(huge.Text.endsWith(QChar(0x2026)));
  EXPECT_LE(huge.Caption.size(), static_cast<qsizetype>(TEventsRowModel::cMaxRowText + 1));
  // This thread's own processor time: what a change costs, not how long a loaded machine
  // kept the thread waiting for a core.
  const auto threadMs = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
  };
  qint64 worst = 0;
  for (int i = 0; i < 100; ++i) {
    const qint64 start = threadMs();
    AddLive("L" + std::to_string(i));
    QCoreApplication::processEvents();  // the list repaints
    worst = std::max(worst, threadMs() - start);
  }
  EXPECT_EQ(View->Rows()->rowCount(), 101);
  // A few milliseconds each; the bound leaves room for a loaded test machine.
  EXPECT_LT(worst, 50) << "ms for one change";
  // Multi-byte text is cut at a character's start.
  AddLive("UTF", {.Text = std::string(TEventsRowModel::cMaxRowText - 1, 'a') + "\xC3\xA9\xC3\xA9"});
  const QString cut = View->Rows()->Row(View->Rows()->IndexOf("UTF")).Text;
  EXPECT_EQ(cut, QString(static_cast<qsizetype>(TEventsRowModel::cMaxRowText - 1), QChar('a')) + QChar(0x2026));
}

TEST_F(EventsView, WithoutEdgesNoPullButLiveAlertsStillGetRows) {
  // A fresh ZEL container whose edge service has no edges.
  auto events = std::make_shared<TZELEventsService>();
  Services::Container::FreeZELServicesContainer();
  Services::Container::CreateZELServicesContainer();
  auto zel = Services::Container::ZELServicesContainer();
  zel->RegisterType<IZELEventsService>([events] { return events; });
  zel->RegisterType<IZELEdgeService>([] { return std::make_shared<TZELEdgeService>(); });
  zel->Build();
  View->Enter(TView::Host);
  EXPECT_FALSE(View->Receiving());
  EXPECT_TRUE(Host.Calls.empty());
  const auto lines = Log.WithTag("TEventsViewForm.ReceiveEvents");
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& e) {
    return e.Type == TLogType::Fatal && e.Message == "LEdgeSvc.EdgeCount is 0";
  }));
  // An alert of the organisation's topic needs no edge: it still gets a row.
  events->GetEventsList()->Add(std::make_unique<TZELEvent>(ZT::AlertJSON("ORG1", {.OriginatorID = "nowhere"})));
  EXPECT_EQ(OnView(), (Ids{"ORG1"}));
  View->Leave(TView::Profile);
}

TEST_F(EventsView, RowsHoldSnapshotsAndSkipInvisibleAlerts) {
  F.REST->Events = {ZT::AlertJSON("A2", {.Caption = "Fence", .Text = "East fence", .State = "easEscalated",
                                         .Active = false, .Viewed = true, .Source = "Fence line"}),
                    ZT::AlertJSON("A1")};
  EnterAndWait();
  TZELEvent* hidden = AddLive("H1");
  ASSERT_EQ(View->Rows()->rowCount(), 3);
  View->Rows()->Remove("H1");
  hidden->SetInvisible(true);
  View->FillEventsFromList();  // rebuilt in the list's order, the invisible one left out
  ASSERT_EQ(OnView(), (Ids{"A2", "A1"}));
  const QModelIndex top = View->OnView()->index(0, 0);
  EXPECT_EQ(top.data(TEventsRowModel::CaptionRole).toString(), "Fence");
  EXPECT_EQ(top.data(TEventsRowModel::TextRole).toString(), "East fence");
  EXPECT_EQ(top.data(TEventsRowModel::SourceRole).toString(), "Fence line");
  EXPECT_EQ(top.data(TEventsRowModel::StateRole).toInt(), static_cast<int>(TEventAlertState::easEscalated));
  EXPECT_FALSE(top.data(TEventsRowModel::ActiveRole).toBool());
  EXPECT_TRUE(top.data(TEventsRowModel::ViewedRole).toBool());
  EXPECT_EQ(top.data(TEventsRowModel::ReceivedAtRole).toString().toStdString(),
            Time::FormatLocalDisplay(List().FindEventByID("A2")->DateTime()));
  EXPECT_EQ(View->Rows()->Row(0).Subject.OriginatorEdgeID, "EDGE-1");
  // Live: an invisible alert gets no row either.
  TZELEvent hiddenLive(ZT::AlertJSON("H2").dump());
  hiddenLive.SetInvisible(true);
  TZELEvent* item = &hiddenLive;
  View->OnEventsListChange(&List(), item, TCollectionNotification::cnAdded);
  EXPECT_EQ(View->Rows()->rowCount(), 2);

  // The list replaced behind the view's back (a bulk load drops its handler): the rows
  // still read what they showed, never the freed alerts.
  List().ReadFromJSONArray(nlohmann::ordered_json::array({ZT::AlertJSON("N1")}), false);
  EXPECT_EQ(View->OnView()->index(0, 0).data(TEventsRowModel::CaptionRole).toString(), "Fence");
  // With the filter on, rows whose alert left the list are hidden.
  View->ApplyFilter();
  EXPECT_TRUE(OnView().empty());
  EXPECT_EQ(Counter(), "Filtered: 0 Total: 2");
}

TEST_F(EventsView, LiveAlertGoesOnTopRebuildPutsItInListOrder) {
  F.REST->Events = {ZT::AlertJSON("A2"), ZT::AlertJSON("A1")};
  EnterAndWait();
  AddLive("L1");
  EXPECT_EQ(OnView(), (Ids{"L1", "A2", "A1"}));
  View->FillEventsFromList();
  EXPECT_EQ(OnView(), (Ids{"A2", "A1", "L1"}));
  // A removal from the list takes its row away.
  List().Remove(List().FindEventByID("A2"));
  EXPECT_EQ(OnView(), (Ids{"A1", "L1"}));
  EXPECT_EQ(Counter(), "Total: 2");
}

// The list's selection stays on its alert while live alerts come on top, with a search in
// force or not; an alert the search drops gets no row and moves nothing.
TEST_F(EventsView, SelectionStaysOnItsAlertWhileLiveAlertsComeOnTop) {
  F.REST->Events = {ZT::AlertJSON("A3", {.Caption = "Gate", .Text = "Camera"}), ZT::AlertJSON("A2", {.Caption = "Door", .Text = "Camera"}),
                    ZT::AlertJSON("A1", {.Caption = "Gate", .Text = "Camera"})};
  EnterAndWait();
  QListView* list = View->List();
  const auto selectedID = [list] {
    const QModelIndexList rows = list->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows[0].data(TEventsRowModel::IDRole).toString().toStdString() : std::string();
  };
  list->setCurrentIndex(View->OnView()->index(2, 0));
  ASSERT_EQ(selectedID(), "A1");
  AddLive("L1", {.Caption = "Gate", .Text = "Camera"});
  EXPECT_EQ(OnView(), (Ids{"L1", "A3", "A2", "A1"}));
  EXPECT_EQ(selectedID(), "A1");

  View->findChild<QLineEdit*>("edtSearch")->setText("gate");
  ASSERT_EQ(OnView(), (Ids{"L1", "A3", "A1"}));
  list->setCurrentIndex(View->OnView()->index(2, 0));
  AddLive("L2", {.Caption = "Door", .Text = "Camera"});
  AddLive("L3", {.Caption = "Gate", .Text = "Camera"});
  EXPECT_EQ(OnView(), (Ids{"L3", "L1", "A3", "A1"}));
  EXPECT_EQ(selectedID(), "A1");
  EXPECT_EQ(list->currentIndex().row(), 3);
  EXPECT_EQ(Counter(), "Filtered: 4 Total: 6");
}

TEST_F(EventsView, CountersAndEmptyText) {
  EnterAndWait();
  EXPECT_EQ(Counter(), "Total: 0");
  EXPECT_TRUE(EmptyTextShown());
  AddLive("A1", {.Active = false});
  EXPECT_EQ(Counter(), "Total: 1");
  EXPECT_FALSE(EmptyTextShown());
  TFilterOptions onlyActive = View->FilterOptions();
  auto* frame = new TfraEventsFilter(&Parent);
  frame->FillData(onlyActive, false);
  frame->findChild<QCheckBox*>("swActiveStateFlt")->setChecked(true);
  frame->SetHandler([&](bool AApply) { View->FilterFrameDone(frame, AApply); });
  frame->btnApplyClick();
  ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  EXPECT_TRUE(View->RowFilterOn());
  EXPECT_EQ(Counter(), "Filtered: 0 Total: 1");
  EXPECT_TRUE(EmptyTextShown());
  // The search box filters on its own too.
  View->ResetFilter(false);
  View->findChild<QLineEdit*>("edtSearch")->setText("MOTION");
  EXPECT_EQ(Counter(), "Filtered: 1 Total: 1");
  View->findChild<QLineEdit*>("edtSearch")->setText("nothing like it");
  EXPECT_EQ(Counter(), "Filtered: 0 Total: 1");
  EXPECT_TRUE(EmptyTextShown());
  delete frame;
}

TEST_F(EventsView, ChangedRowStaysInSightUntilFilterOffOrRebuild) {
  F.REST->Events = {ZT::AlertJSON("A2"), ZT::AlertJSON("A1", {.Viewed = true})};
  EnterAndWait();
  TFilterOptions o = View->FilterOptions();
  // Only unseen alerts, applied through the frame's path.
  auto* frame = new TfraEventsFilter(&Parent);
  frame->FillData(o, false);
  frame->findChild<QCheckBox*>("swViewedStateFlt")->setChecked(true);
  frame->SetHandler([&](bool AApply) { View->FilterFrameDone(frame, AApply); });
  frame->btnApplyClick();
  ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  ASSERT_EQ(OnView(), (Ids{"A2"}));

  // A2 is seen now: it no longer passes, but stays in sight (kept).
  List().FindEventByID("A2")->SetViewed(true);
  List().FindEventByID("A2")->NotifyUIRefresh();
  EXPECT_EQ(OnView(), (Ids{"A2"}));
  EXPECT_EQ(View->FilterKeepList().count("A2"), 1u);
  EXPECT_TRUE(View->OnView()->index(0, 0).data(TEventsRowModel::ViewedRole).toBool());
  // A1, hidden, now passes: shown at once.
  List().FindEventByID("A1")->SetViewed(false);
  List().FindEventByID("A1")->NotifyUIRefresh();
  EXPECT_EQ(OnView(), (Ids{"A2", "A1"}));
  EXPECT_EQ(Counter(), "Filtered: 2 Total: 2");
  // Applying again keeps the kept row; a rebuild lets it go.
  View->ApplyFilter();
  EXPECT_EQ(OnView(), (Ids{"A2", "A1"}));
  View->FillEventsFromList();
  EXPECT_EQ(OnView(), (Ids{"A1"}));
  EXPECT_TRUE(View->FilterKeepList().empty());
  // A refresh of a row that does not exist changes nothing but the counters.
  TZELMessager<TEventRefreshMessage>::Send([] { return std::make_unique<TEventRefreshMessage>("nope"); });
  EXPECT_EQ(OnView(), (Ids{"A1"}));
  delete frame;
}

TEST_F(EventsView, NewAlertAsksForToastWhenItFailsTheFilter) {
  F.REST->Events = {ZT::AlertJSON("A1")};
  EnterAndWait();
  ZT::TMessageRecorder<TNewEventToastMessageEvent> toasts([](const auto& M) { return M.EventID(); });
  // The view is not shown: its top row counts as out of sight, so this test lays it out.
  View->resize(412, 568);
  View->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(View.get()));
  const auto announce = [&](const std::string& AID, const ZT::TAlertSpec& A) {
    TZELEvent* e = AddLive(AID, A);
    TZELMessager<TEventAddedMessage>::Send([e] { return std::make_unique<TEventAddedMessage>(e); });
    QCoreApplication::processEvents();
  };
  announce("V1", {});
  EXPECT_TRUE(toasts.Received.empty());  // in sight at the top, passes: no toast
  View->Leave(TView::Profile);
  View->Enter(TView::Profile);
  auto* frame = new TfraEventsFilter(&Parent);
  frame->FillData(View->FilterOptions(), false);
  frame->findChild<QCheckBox*>("swActiveStateFlt")->setChecked(true);
  frame->SetHandler([&](bool AApply) { View->FilterFrameDone(frame, AApply); });
  frame->btnApplyClick();
  ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  announce("X1", {.Active = false});
  ASSERT_EQ(toasts.Received.size(), 1u);
  EXPECT_EQ(toasts.Received[0].Text, "X1");
  delete frame;
}

TEST_F(EventsView, FilterFrameApplyCancelAndResetReachTheView) {
  F.REST->Events = {ZT::AlertJSON("A1", {.State = "easDismissed"}), ZT::AlertJSON("A0")};
  EnterAndWait();
  const int pulls = F.REST->EventsCalls;
  View->sbrnFilterClick();
  QPointer<TfraEventsFilter> frame = View->FrameController()->Find<TfraEventsFilter>();
  ASSERT_TRUE(frame);
  EXPECT_TRUE(frame->isVisible() || !View->isVisible());
  // Today's alerts span today: Apply with only the dismissed state does not pull again.
  frame->findChild<QCheckBox*>("swInitial")->setChecked(false);
  frame->findChild<QPushButton*>("btnApply")->click();
  EXPECT_EQ(F.REST->EventsCalls, pulls);
  EXPECT_TRUE(View->FilterOptions().Applied);
  EXPECT_EQ(View->FilterOptions().EdgeID, "");  // "All"
  EXPECT_EQ(OnView(), (Ids{"A1"}));
  // The frame closed itself from inside its own click; it goes once events run.
  EXPECT_TRUE(Deleted(frame));

  // Reset filter, then Cancel: back to what the frame was opened with, applied again.
  View->sbrnFilterClick();
  frame = View->FrameController()->Find<TfraEventsFilter>();
  frame->findChild<QPushButton*>("BtnResetFilter")->click();
  EXPECT_TRUE(frame->findChild<QCheckBox*>("swInitial")->isChecked());
  EXPECT_FALSE(frame->CurrentOptions().Applied);
  frame->findChild<QPushButton*>("btnCancel")->click();
  EXPECT_TRUE(View->FilterOptions().Applied);
  EXPECT_EQ(View->FilterOptions().EventStates.count(TEventAlertState::easInitiated), 0u);
  EXPECT_EQ(OnView(), (Ids{"A1"}));
  EXPECT_TRUE(Deleted(frame));

  // Reset filter and Apply: the defaults in force, every row back.
  View->sbrnFilterClick();
  frame = View->FrameController()->Find<TfraEventsFilter>();
  frame->findChild<QPushButton*>("BtnResetFilter")->click();
  frame->findChild<QPushButton*>("btnApply")->click();
  EXPECT_EQ(OnView(), (Ids{"A1", "A0"}));
  EXPECT_TRUE(View->RowFilterOn());
  EXPECT_TRUE(Deleted(frame));

  // Cancel of options not in force reports them not applied: the row filter goes off.
  View->ResetFilter(false);
  TFilterOptions off = View->FilterOptions();
  off.Applied = false;
  View->sbrnFilterClick();
  frame = View->FrameController()->Find<TfraEventsFilter>();
  frame->FillData(off, false);
  frame->findChild<QPushButton*>("btnCancel")->click();
  EXPECT_FALSE(View->FilterOptions().Applied);
  EXPECT_FALSE(View->RowFilterOn());
  EXPECT_EQ(Counter(), "Total: 2");

  // Another range pulls again with its bounds.
  View->sbrnFilterClick();
  frame = View->FrameController()->Find<TfraEventsFilter>();
  frame->findChild<QComboBox*>("cbDateTimeFlt")->setCurrentIndex(1);  // Yesterday
  frame->findChild<QPushButton*>("btnApply")->click();
  EXPECT_TRUE(View->Receiving());
  ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  EXPECT_EQ(F.REST->EventsCalls, pulls + 1);
  EXPECT_EQ(View->FilterOptions().DateRangeName, "Yesterday");
  // Leaving closes a frame still open.
  View->sbrnFilterClick();
  frame = View->FrameController()->Find<TfraEventsFilter>();
  View->Leave(TView::Profile);
  EXPECT_EQ(View->FrameController(), nullptr);
  EXPECT_TRUE(Deleted(frame));
}

// Back from a custom range to "Today", whichever way: every alert of today is on view. The
// list is pulled again exactly when the chosen range is not inside the one it was pulled for.
TEST_F(EventsView, TodayAfterACustomRangeHoldsEveryAlertOfToday) {
  const Time::TInstant now = Time::FromLocal(2024, 3, 10, 15, 0, 0);
  Time::SetClock([now] { return now; });
  struct TRestore {
    ~TRestore() { Time::SetClock({}); }
  } restore;
  const auto at = [](int AH, int AM) { return Time::FromLocal(2024, 3, 10, AH, AM, 0); };
  F.REST->ByPeriod = true;
  F.REST->Events = {ZT::AlertJSON("T4", {.At = at(14, 0)}), ZT::AlertJSON("T3", {.At = at(12, 0)}),
                    ZT::AlertJSON("T2", {.At = at(10, 30)}), ZT::AlertJSON("T1", {.At = at(9, 0)}),
                    ZT::AlertJSON("Y1", {.At = Time::FromLocal(2024, 3, 9, 20, 0, 0)})};
  const Ids today = {"T4", "T3", "T2", "T1"};
  using TEdit = std::function<void(TfraEventsFilter&)>;
  const auto apply = [this](const TEdit& AEdit) {
    View->sbrnFilterClick();
    TfraEventsFilter* frame = View->FrameController()->Find<TfraEventsFilter>();
    ASSERT_NE(frame, nullptr);
    AEdit(*frame);
    frame->findChild<QPushButton*>("btnApply")->click();
    ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  };
  const auto range = [](int AIndex) {
    return [AIndex](TfraEventsFilter& AFrame) { AFrame.findChild<QComboBox*>("cbDateTimeFlt")->setCurrentIndex(AIndex); };
  };
  const auto customHour = [](TfraEventsFilter& AFrame) {  // 10:00:00 .. 11:00:59 today
    AFrame.findChild<QComboBox*>("cbDateTimeFlt")->setCurrentIndex(Events::Filter::cCustomRangeIndex);
    AFrame.findChild<QDateEdit*>("dedtBegin")->setDate(QDate(2024, 3, 10));
    AFrame.findChild<QTimeEdit*>("tedtBegin")->setTime(QTime(10, 0));
    AFrame.findChild<QDateEdit*>("dedtEnd")->setDate(QDate(2024, 3, 10));
    AFrame.findChild<QTimeEdit*>("tedtEnd")->setTime(QTime(11, 0));
  };
  const TEdit reset = [](TfraEventsFilter& AFrame) { AFrame.findChild<QPushButton*>("BtnResetFilter")->click(); };
  struct TCase {
    const char* Name;
    int StartRange;  // 0 Today, 1 Yesterday
    TEdit WayBack;
    int HourPulls, BackPulls;  // the hour is inside today, not inside yesterday
    int HourRows;
  } const cases[] = {
      {"from today, Reset filter", 0, reset, 0, 0, 4},
      {"from today, Today", 0, range(0), 0, 0, 4},
      {"from yesterday, Reset filter", 1, reset, 1, 1, 1},
      {"from yesterday, Today", 1, range(0), 1, 1, 1},
  };
  EnterAndWait();
  ASSERT_EQ(OnView(), today);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    apply(range(c.StartRange));
    int pulls = F.REST->EventsCalls;
    apply(customHour);
    EXPECT_EQ(F.REST->EventsCalls, pulls + c.HourPulls);
    ASSERT_EQ(OnView(), (Ids{"T2"}));
    EXPECT_EQ(View->Rows()->rowCount(), c.HourRows);

    pulls = F.REST->EventsCalls;
    apply(c.WayBack);
    EXPECT_EQ(View->FilterOptions().DateRangeName, "Today");
    EXPECT_EQ(F.REST->EventsCalls, pulls + c.BackPulls);
    EXPECT_EQ(OnView(), today);
    EXPECT_EQ(View->Rows()->rowCount(), 4);
    EXPECT_EQ(Counter(), "Filtered: 4 Total: 4");
  }
}

TEST_F(EventsView, EnteringClearsTheDetailChoiceWithoutAskingTheBackend) {
  F.REST->Events = {ZT::AlertJSON("A1")};
  EnterAndWait();
  View->Leave(TView::EventItems);
  F.Events->SetDetailedEvent("not-in-the-list");
  F.Events->SetDetailedEventItem("item");
  F.REST->OneEventResult = true;
  F.REST->OneEvent = nlohmann::ordered_json::array({ZT::AlertJSON("not-in-the-list")});
  View->Enter(TView::EventItems);
  EXPECT_EQ(F.REST->OneEventCalls, 0);
  EXPECT_EQ(F.Events->GetDetailedEvent(), nullptr);
  EXPECT_EQ(F.Events->GetDetailedEventItem(), nullptr);
  EXPECT_EQ(F.REST->OneEventCalls, 0);
}

TEST_F(EventsView, OpeningARowChoosesItsAlert) {
  F.REST->Events = {ZT::AlertJSON("A2"), ZT::AlertJSON("A1")};
  EnterAndWait();
  Host.Calls.clear();
  View->OpenRow(1);
  EXPECT_EQ(Host.Calls, (Ids{"ChangeView(EventItems)"}));
  ASSERT_NE(F.Events->GetDetailedEvent(), nullptr);
  EXPECT_EQ(F.Events->GetDetailedEvent()->ID(), "A1");
}

TEST_F(EventsView, PullEndingAfterTheViewIsGoneDoesNothing) {
  F.REST->Events = {ZT::AlertJSON("A1")};
  F.REST->DuringGetEvents = [&] { UIThread::RunSync([&] { View.reset(); }); };
  View->Enter(TView::Host);
  EXPECT_TRUE(WaitUntil([&] { return !View; }));
  // The load itself completes in the service; nothing of the gone view is touched.
  EXPECT_TRUE(WaitUntil([&] { return List().Count() == 1; }));
  // The task's last step runs on this thread: wait for it here, never block on the pool.
  EXPECT_TRUE(WaitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
  EXPECT_EQ(Host.Calls, (Ids{"ShowProgress(Receiving events...)"}));
}

// An events service whose pull waits for the test, and records the thread it is freed on.
class TWaitingEvents : public ZT::TFakeEventsService {
public:
  explicit TWaitingEvents(std::atomic<bool>& AFreedOffUI) : FFreedOffUI(AFreedOffUI) {}
  ~TWaitingEvents() override { FFreedOffUI = !UIThread::IsUIThread(); }
  TZELEventList* GetEventsList() override { return &FList; }
  bool PupulateEventsFromREST(bool, const std::string&, const std::string&) override {
    Started = true;
    while (!Release) QThread::msleep(1);
    return true;
  }
  std::atomic<bool> Started{false}, Release{false};

private:
  std::atomic<bool>& FFreedOffUI;
  TZELEventList FList;
};

class TOneEdge : public ZT::TFakeEdgeService {
public:
  std::int32_t EdgeCount() override { return 1; }
};

TEST_F(EventsView, PullOutlivingTheSessionReleasesTheServiceOnTheUIThread) {
  std::atomic<bool> freedOffUI{true};
  std::weak_ptr<TWaitingEvents> weak;
  Services::Container::FreeZELServicesContainer();
  Services::Container::CreateZELServicesContainer();
  auto zel = Services::Container::ZELServicesContainer();
  zel->RegisterType<IZELEventsService>([&] {
    auto s = std::make_shared<TWaitingEvents>(freedOffUI);
    weak = s;
    return s;
  });
  zel->RegisterType<IZELEdgeService>([] { return std::make_shared<TOneEdge>(); });
  zel->Build();
  zel.reset();
  View->Enter(TView::Host);
  auto service = weak.lock();
  ASSERT_TRUE(service);
  ASSERT_TRUE(ZT::WaitUntil([&] { return service->Started.load(); }));
  View->Leave(TView::Profile);
  Services::Container::FreeZELServicesContainer();  // the session ends meanwhile
  service->Release = true;
  service.reset();
  ASSERT_TRUE(WaitUntil([this] { return !View->Receiving(); }));
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(freedOffUI);
  EXPECT_EQ(Host.Calls, (Ids{"ShowProgress(Receiving events...)", "HideProgress"}));
}

}  // namespace
}  // namespace ZEL
