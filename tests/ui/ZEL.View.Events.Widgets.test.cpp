// The Events view on the screen (offscreen platform): a double click opens the alert, the
// pull gesture pulls, and a new alert while the top row is out of sight asks for a toast.

#include "ZEL.View.Events.TestSupport.h"

#include "ZEL.Messaging.Messages.h"
#include "ZEL.Style.h"

#include <QApplication>
#include <QImage>

#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;

class EventsViewOnScreen : public ZT::TEventsViewTest {
protected:
  void SetUp() override {
    ZT::TEventsViewTest::SetUp();
    for (int i = 0; i < 30; ++i) F.REST->Events.push_back(ZT::AlertJSON("A" + std::to_string(30 - i)));
    EnterAndWait();
    View->resize(412, 568);
    View->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(View.get()));
    Host.Calls.clear();
  }
  QWidget* Viewport() const { return View->List()->viewport(); }
  void Mouse(QEvent::Type AType, QPoint AAt, Qt::MouseButtons AButtons) {
    QMouseEvent e(AType, AAt, Viewport()->mapToGlobal(AAt), Qt::LeftButton, AButtons, Qt::NoModifier);
    QCoreApplication::sendEvent(Viewport(), &e);
  }
};

TEST_F(EventsViewOnScreen, DoubleClickOpensTheAlert) {
  const QRect second = View->List()->visualRect(View->OnView()->index(1, 0));
  ASSERT_FALSE(second.isEmpty());
  // What the platform sends for a double click: press, release, double click, release.
  Mouse(QEvent::MouseButtonPress, second.center(), Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, second.center(), Qt::NoButton);
  Mouse(QEvent::MouseButtonDblClick, second.center(), Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, second.center(), Qt::NoButton);
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"ChangeView(EventItems)"}));
  ASSERT_NE(F.Events->GetDetailedEvent(), nullptr);
  EXPECT_EQ(F.Events->GetDetailedEvent()->ID(), "A29");
}

TEST_F(EventsViewOnScreen, PullingDownAtTheTopPulls) {
  const int calls = F.REST->EventsCalls;
  // Too short a drag does nothing.
  Mouse(QEvent::MouseButtonPress, {100, 20}, Qt::LeftButton);
  Mouse(QEvent::MouseMove, {100, 20 + TEventsViewForm::cPullDistance - 10}, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, {100, 20 + TEventsViewForm::cPullDistance - 10}, Qt::NoButton);
  EXPECT_FALSE(View->Receiving());
  Mouse(QEvent::MouseButtonPress, {100, 20}, Qt::LeftButton);
  Mouse(QEvent::MouseMove, {100, 20 + TEventsViewForm::cPullDistance}, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, {100, 20 + TEventsViewForm::cPullDistance}, Qt::NoButton);
  EXPECT_TRUE(View->Receiving());
  ASSERT_TRUE(ZT::WaitUntil([this] { return !View->Receiving(); }));
  EXPECT_EQ(F.REST->EventsCalls, calls + 1);
  // Scrolled down, the same drag scrolls and does not pull.
  View->List()->verticalScrollBar()->setValue(200);
  Mouse(QEvent::MouseButtonPress, {100, 20}, Qt::LeftButton);
  Mouse(QEvent::MouseMove, {100, 20 + TEventsViewForm::cPullDistance}, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, {100, 20 + TEventsViewForm::cPullDistance}, Qt::NoButton);
  EXPECT_FALSE(View->Receiving());
}

TEST_F(EventsViewOnScreen, NewAlertWhileTheTopRowIsOutOfSightAsksForAToast) {
  ZT::TMessageRecorder<TNewEventToastMessageEvent> toasts([](const auto& M) { return M.EventID(); });
  const auto announce = [&](const std::string& AID) {
    TZELEvent* e = AddLive(AID);
    TZELMessager<TEventAddedMessage>::Send([e] { return std::make_unique<TEventAddedMessage>(e); });
  };
  EXPECT_FALSE(View->IsFirstItemInvisible());
  announce("N1");
  EXPECT_TRUE(toasts.Received.empty());
  const QRect first = View->List()->visualRect(View->OnView()->index(0, 0));
  // Scrolled by less than the first row: still in sight.
  View->List()->verticalScrollBar()->setValue(first.height() / 2);
  EXPECT_FALSE(View->IsFirstItemInvisible());
  View->List()->verticalScrollBar()->setValue(first.bottom() + 2);
  EXPECT_TRUE(View->IsFirstItemInvisible());
  announce("N2");
  ASSERT_EQ(toasts.Received.size(), 1u);
  EXPECT_EQ(toasts.Received[0].Text, "N2");
}

// Live alerts come on top of the list. Scrolled away from the top, the rows in sight stay
// under the pointer (a double click opens the alert that was there); at the top, the new
// alert shows on top.
TEST_F(EventsViewOnScreen, RowsInSightKeepTheirPlaceWhenAlertsArriveAbove) {
  QListView* list = View->List();
  QScrollBar* bar = list->verticalScrollBar();
  const auto idAt = [list](QPoint AAt) {
    return list->indexAt(AAt).data(TEventsRowModel::IDRole).toString().toStdString();
  };
  const QRect first = list->visualRect(View->OnView()->index(0, 0));
  const int stride = list->visualRect(View->OnView()->index(1, 0)).top() - first.top();
  const std::vector<QPoint> points = {{100, 5}, {100, list->viewport()->height() / 2},
                                      {100, list->viewport()->height() - 5}};
  for (const int scrolled : {first.height() / 2, 200}) {
    SCOPED_TRACE(scrolled);
    F.Events->SetDetailedEvent("");
    bar->setValue(scrolled);
    ASSERT_EQ(bar->value(), scrolled);
    std::vector<std::string> before;
    for (const QPoint& p : points) before.push_back(idAt(p));
    ASSERT_FALSE(before.front().empty());
    ASSERT_FALSE(before.back().empty());
    for (const char* id : {"S1", "S2"}) AddLive(id + std::to_string(scrolled));
    QApplication::processEvents();
    EXPECT_EQ(View->OnView()->index(0, 0).data(TEventsRowModel::IDRole).toString().toStdString(),
              "S2" + std::to_string(scrolled));
    EXPECT_EQ(bar->value(), scrolled + 2 * stride);
    for (std::size_t i = 0; i < points.size(); ++i) EXPECT_EQ(idAt(points[i]), before[i]) << i;
    // The double click of the old fault: it opens the alert that was under the pointer.
    const QPoint at = points[1];
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    AddLive("S3" + std::to_string(scrolled));
    QApplication::processEvents();
    Mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    ASSERT_NE(F.Events->GetDetailedEvent(), nullptr);
    EXPECT_EQ(F.Events->GetDetailedEvent()->ID(), before[1]);
  }

  // At the top: the new alert is the top row, in sight.
  bar->setValue(0);
  AddLive("T1");
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(idAt(first.center()), "T1");
  EXPECT_FALSE(View->IsFirstItemInvisible());
}

double Luminance(QColor AColour) {
  const auto channel = [](double C) { return C <= 0.03928 ? C / 12.92 : std::pow((C + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(AColour.redF()) + 0.7152 * channel(AColour.greenF()) + 0.0722 * channel(AColour.blueF());
}

double Contrast(QColor A, QColor B) {
  const double la = Luminance(A), lb = Luminance(B);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Under the program's own style sheet the selected row's caption keeps a readable contrast
// against the selection's background (the painter takes the colours the sheet gives).
TEST_F(EventsViewOnScreen, SelectedRowIsReadableUnderTheProgramsStyle) {
  const QString before = qApp->styleSheet();
  Style::Apply(*qApp);
  View->List()->setCurrentIndex(View->OnView()->index(0, 0));
  QTest::qWait(50);
  const QRect row = View->List()->visualRect(View->OnView()->index(0, 0));
  const QImage image = View->List()->viewport()->grab(row).toImage();
  qApp->setStyleSheet(before);
  // The caption's strip: its background is the colour seen most, its text the one farthest.
  const QRect strip(50, 3, std::max(10, row.width() - 230), 17);
  std::map<QRgb, int> seen;
  for (int y = strip.top(); y <= strip.bottom(); ++y)
    for (int x = strip.left(); x <= strip.right(); ++x) ++seen[image.pixel(x, y)];
  ASSERT_FALSE(seen.empty());
  const QColor background(std::max_element(seen.begin(), seen.end(), [](auto& A, auto& B) {
                            return A.second < B.second;
                          })->first);
  double best = 1;
  for (const auto& [rgb, n] : seen) best = std::max(best, Contrast(QColor(rgb), background));
  EXPECT_GE(best, 4.5) << "background " << background.name().toStdString();
  EXPECT_NE(background, QColor(Qt::white)) << "the row is drawn selected";
}

}  // namespace
}  // namespace ZEL
