// The rows, their filter and the shared state pictures, without the view.

#include "ZEL.Events.Event.h"
#include "ZEL.Events.RowDelegate.h"
#include "ZEL.Events.RowFilter.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.View.Events.TestSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <gtest/gtest.h>

#include <algorithm>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;

TEventRow Row(const std::string& AID, const char* ACaption = "Motion", const char* ASource = "Gate") {
  TEventRow r;
  r.ID = AID;
  r.Caption = ACaption;
  r.Text = "text";
  r.Source = ASource;
  return r;
}

std::vector<std::string> Ids(const QAbstractItemModel& AModel) {
  std::vector<std::string> ids;
  for (int i = 0; i < AModel.rowCount(); ++i)
    ids.push_back(AModel.index(i, 0).data(TEventsRowModel::IDRole).toString().toStdString());
  return ids;
}

TEST(EventsRows, AddAtEitherEndRemoveAndUpdate) {
  TEventsRowModel rows;
  rows.Add(Row("B"), false);
  rows.Add(Row("A"), true);
  rows.Add(Row("C"), false);
  rows.Add(Row("A"), false);  // the same id twice: removal takes the first
  EXPECT_EQ(Ids(rows), (std::vector<std::string>{"A", "B", "C", "A"}));
  EXPECT_TRUE(rows.Remove("A"));
  EXPECT_FALSE(rows.Remove("nope"));
  EXPECT_EQ(Ids(rows), (std::vector<std::string>{"B", "C", "A"}));
  EXPECT_EQ(rows.IndexOf("A"), 2);
  rows.Update(0, Row("B", "Changed"));
  EXPECT_EQ(rows.index(0).data(TEventsRowModel::CaptionRole).toString(), "Changed");
  rows.Update(7, Row("X"));  // out of range: nothing
  rows.Reset({Row("Z")});
  EXPECT_EQ(Ids(rows), (std::vector<std::string>{"Z"}));
}

// The id lookup keeps its place numbers as rows come and go at both ends, with ids seen
// twice and ids changed by an update; after every step it must agree with a walk from the top.
TEST(EventsRows, IdLookupAgreesWithAWalkAfterEveryChange) {
  TEventsRowModel rows;
  const auto walk = [&](const std::string& AID) {
    const auto ids = Ids(rows);
    const auto it = std::find(ids.begin(), ids.end(), AID);
    return it == ids.end() ? -1 : static_cast<int>(it - ids.begin());
  };
  const std::vector<std::string> pool{"A", "B", "C", "D", "E"};
  unsigned seed = 7;
  const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int step = 0; step < 400; ++step) {
    const std::string id = pool[next() % pool.size()];
    switch (next() % 5) {
      case 0: rows.Add(Row(id), true); break;
      case 1: rows.Add(Row(id), false); break;
      case 2: rows.Remove(id); break;
      case 3:
        if (rows.rowCount() > 0) rows.Update(static_cast<int>(next() % rows.rowCount()), Row(id));
        break;
      case 4:
        if (step % 50 == 0) rows.Reset({Row(id), Row("B"), Row(id)});
        break;
    }
    for (const auto& each : pool) ASSERT_EQ(rows.IndexOf(each), walk(each)) << "step " << step << " id " << each;
  }
}

TEST(EventsRows, RowIsFilledFromItsAlert) {
  const TZELEvent e(ZT::AlertJSON("E1", {.Caption = "Door", .Text = "Back door", .State = "EASDISMISSED",
                                          .Active = false, .Viewed = true, .OriginatorID = "C-9", .Source = "Door c"})
                        .dump());
  const TEventRow r = TEventsRowModel::RowOf(e, "EDGE-7");
  EXPECT_EQ(r.ID, "E1");
  EXPECT_EQ(r.Caption, "Door");
  EXPECT_EQ(r.Text, "Back door");
  EXPECT_EQ(r.Source, "Door c");
  EXPECT_EQ(r.Subject.OriginatorID, "C-9");
  EXPECT_EQ(r.Subject.OriginatorEdgeID, "EDGE-7");
  EXPECT_EQ(r.Subject.DateTime, e.DateTime());
  EXPECT_EQ(r.Subject.State, TEventAlertState::easDismissed);
  EXPECT_FALSE(r.Subject.Active);
  EXPECT_TRUE(r.Subject.Viewed);
}

TEST(EventsRows, RawFilterComesFirstThenTheSearchText) {
  TEventsRowModel rows;
  rows.Reset({Row("1", "Motion at gate", "North"), Row("2", "Door open", "Gate house"), Row("3", "Glass", "South")});
  TEventsRowFilter onView(&rows);
  EXPECT_FALSE(onView.Filtering());
  onView.SetSearchText("GATE");  // caption or source, ignoring case
  EXPECT_EQ(Ids(onView), (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(onView.Filtering());
  int asked = 0;
  onView.SetRawFilter([&](const TEventRow& r) {
    ++asked;
    return r.ID != "1";
  });
  EXPECT_EQ(Ids(onView), (std::vector<std::string>{"2"}));
  EXPECT_EQ(asked, 3);  // asked for every row, also those the text would drop
  onView.SetSearchText("");
  EXPECT_EQ(Ids(onView), (std::vector<std::string>{"2", "3"}));  // the alert test stays in force
  onView.SetRawFilter({});
  EXPECT_EQ(Ids(onView), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_FALSE(onView.Filtering());
  // A new row is tested on its way in; a changed row again on its own.
  onView.SetRawFilter([](const TEventRow& r) { return r.Caption != "hidden"; });
  rows.Add(Row("4", "hidden"), true);
  EXPECT_EQ(Ids(onView), (std::vector<std::string>{"1", "2", "3"}));
  rows.Update(0, Row("4", "shown"));
  EXPECT_EQ(Ids(onView), (std::vector<std::string>{"4", "1", "2", "3"}));
}

// A date in a long regional form is painted whole left of the accessory, not cut to a fixed width.
TEST(EventsRows, LongTimeIsPaintedWhole) {
  TEventsRowModel rows;
  TEventRow row = Row("A", "");
  row.Subject.DateTime = Time::ParseISO8601("2026-12-11T03:06:32Z");
  rows.Add(row, false);
  const QModelIndex index = rows.index(0);
  const QString time = index.data(TEventsRowModel::ReceivedAtRole).toString();
  QFont font = QApplication::font();
  font.setFamily(QStringLiteral("Tahoma"));
  font.setPointSize(11);
  const int width = QFontMetrics(font).horizontalAdvance(time);
  ASSERT_GT(width, 149) << time.toStdString();  // wider than the row's usual time column

  QImage image(444, TEventsRowDelegate::cRowHeight, QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.font = QApplication::font();
    option.palette = QApplication::palette();
    TEventsRowDelegate().paint(&painter, option, index);
  }
  // The time's line, right of the state pictures and left of the accessory: its leftmost ink.
  const int accessoryX = image.width() - 1 - 21 - 10;
  int leftmost = accessoryX;
  for (int y = 2; y < 20; ++y)
    for (int x = 44; x < accessoryX; ++x)
      if (qGray(image.pixel(x, y)) < 160) leftmost = std::min(leftmost, x);
  EXPECT_NEAR(leftmost, accessoryX - width, 4) << time.toStdString();
}

TEST(EventsRows, StatePicturesAreDrawnOncePerSize) {
  LogsPipe::TLogCapture log;
  TEventStateBitmaps pictures;
  const QPixmap& initiated = pictures.For(TEventAlertState::easInitiated, QSizeF(36, 23));
  EXPECT_EQ(initiated.size(), QSize(36, 23));
  EXPECT_EQ(pictures.Drawn(), 3);
  pictures.For(TEventAlertState::easEscalated, QSizeF(36.2, 22.8));  // rounds to the same size
  EXPECT_EQ(pictures.Drawn(), 3);
  EXPECT_TRUE(log.WithTag("TEventsViewForm").empty());
  pictures.For(TEventAlertState::easDismissed, QSizeF(40.4, 25.6));
  EXPECT_EQ(pictures.Drawn(), 6);
  const auto lines = log.WithTag("TEventsViewForm");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Type, TLogType::Warning);
  EXPECT_EQ(lines[0].Message,
            "CreateStateBitmaps. Existing image(36,23) not matching container(40(40.40),26(25.60)), will be repainted!!");
  EXPECT_EQ(pictures.For(TEventAlertState::easDismissed, QSizeF(40, 26)).size(), QSize(40, 26));
  EXPECT_EQ(pictures.Drawn(), 6);
}

// The delegate keeps the texts it measured; a row painted again (its text changed, the row
// wider, the view's font changed) is cut for what it is now, as a fresh delegate cuts it.
TEST(EventsRows, RepaintedRowIsCutForItsTextWidthAndFontNow) {
  const auto paint = [](const TEventsRowDelegate& ADelegate, const TEventRow& ARow, int AWidth, const QFont& AFont) {
    TEventsRowModel rows;
    rows.Add(ARow, false);
    QImage image(AWidth, TEventsRowDelegate::cRowHeight, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.font = AFont;
    option.palette = QApplication::palette();
    ADelegate.paint(&painter, option, rows.index(0));
    return image;
  };
  TEventRow row = Row("A", "A caption long enough to be cut at the narrower width of the row");
  row.Subject.DateTime = Time::ParseISO8601("2026-12-11T03:06:32Z");
  QFont spaced = QApplication::font();
  spaced.setLetterSpacing(QFont::PercentageSpacing, 140);
  const TEventsRowDelegate kept;
  const struct {
    const char* Label;
    const char* Caption;
    int Width;
    QFont Font;
  } cases[] = {
      {"first paint", "A caption long enough to be cut at the narrower width of the row", 412, QApplication::font()},
      {"wider row", "A caption long enough to be cut at the narrower width of the row", 640, QApplication::font()},
      {"changed caption", "Another caption, just as long, and cut at the same width of the row", 412,
       QApplication::font()},
      {"other font", "Another caption, just as long, and cut at the same width of the row", 412, spaced},
  };
  for (const auto& c : cases) {
    row.Caption = QString::fromUtf8(c.Caption);
    EXPECT_TRUE(paint(kept, row, c.Width, c.Font) == paint(TEventsRowDelegate(), row, c.Width, c.Font)) << c.Label;
  }
}

}  // namespace
}  // namespace ZEL
