// The Events view's list and its filter, held against what they replace: the row list must
// place, paint, hit-test and scroll as Qt's own list view does over the same rows, and the
// filter must show exactly the rows a fresh pass over the source would, through every kind
// of change.

#include "ZEL.Events.RowDelegate.h"
#include "ZEL.Events.RowFilter.h"
#include "ZEL.Events.RowList.h"
#include "ZEL.Events.RowModel.h"
#include "ZEL.Style.h"

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <vector>

namespace ZEL {
namespace {

TEventRow Row(int AN, const std::string& ACaption = {}) {
  TEventRow r;
  r.ID = fmt::format("E{}", AN);
  r.Caption = QString::fromStdString(ACaption.empty() ? fmt::format("Motion in zone {}", AN) : ACaption);
  r.Text = QStringLiteral("Person detected by the perimeter camera");
  r.Source = QString::fromStdString(fmt::format("Camera {}", AN % 7));
  r.Subject.DateTime = Time::ParseISO8601("2026-12-11T03:06:32Z") - std::chrono::minutes(AN);
  r.Subject.State = AN % 3 == 0 ? TEventAlertState::easEscalated : TEventAlertState::easInitiated;
  r.Subject.Active = AN % 2 == 0;
  r.Subject.Viewed = AN % 5 == 0;
  return r;
}

std::vector<std::string> Ids(const QAbstractItemModel& AModel) {
  std::vector<std::string> ids;
  for (int i = 0; i < AModel.rowCount(); ++i)
    ids.push_back(AModel.index(i, 0).data(TEventsRowModel::IDRole).toString().toStdString());
  return ids;
}

// The two lists side by side over one filter, set up as the Events view sets up its list,
// in the program's style sheet.
struct TTwoLists {
  TEventsRowModel Rows;
  TEventsRowFilter OnView{&Rows};
  TEventsRowDelegate Delegate;
  QWidget Parent;
  QListView* Plain;
  TEventsRowList* Ours;

  TTwoLists() {
    Parent.setStyleSheet(Style::StyleSheet());
    Plain = new QListView(&Parent);
    Plain->setUniformItemSizes(true);
    Plain->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    Ours = new TEventsRowList(&Parent);
    for (QListView* list : {Plain, static_cast<QListView*>(Ours)}) {
      list->setModel(&OnView);
      list->setItemDelegate(&Delegate);
      list->setAlternatingRowColors(true);
      list->setSpacing(1);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      list->resize(412, 420);
    }
    Ours->move(420, 0);
    Parent.resize(840, 420);
    Parent.show();
    Settle();
  }
  // Both lists laid out with their scroll bars in place (the plain list keeps the width of
  // its first layout, made before its scroll bar showed, until it lays out again).
  void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    Plain->doItemsLayout();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  void ScrollBoth(int AValue) {
    Plain->verticalScrollBar()->setValue(AValue);
    Ours->verticalScrollBar()->setValue(AValue);
    Settle();
  }
  void SelectBoth(int ARow) {
    for (QListView* list : {Plain, static_cast<QListView*>(Ours)})
      list->selectionModel()->setCurrentIndex(OnView.index(ARow, 0), QItemSelectionModel::ClearAndSelect);
    Settle();
  }
};

// What a user sees and touches of both lists, compared; ALabel names the case.
void ExpectSameAsThePlainList(TTwoLists& L, const char* ALabel) {
  SCOPED_TRACE(ALabel);
  EXPECT_EQ(L.Ours->verticalScrollBar()->maximum(), L.Plain->verticalScrollBar()->maximum());
  EXPECT_EQ(L.Ours->verticalScrollBar()->value(), L.Plain->verticalScrollBar()->value());
  for (int row = 0; row < L.OnView.rowCount(); ++row) {
    const QModelIndex index = L.OnView.index(row, 0);
    ASSERT_EQ(L.Ours->visualRect(index), L.Plain->visualRect(index)) << "row " << row;
  }
  // Hit tests over the whole height, gaps between rows and the margins included.
  for (int y = -2; y < L.Plain->viewport()->height() + 2; ++y)
    for (int x : {0, 1, 200, 408, 409, 410}) {
      ASSERT_EQ(L.Ours->indexAt({x, y}), L.Plain->indexAt({x, y})) << "at " << x << "," << y;
    }
  const QImage plain = L.Plain->grab().toImage();
  const QImage ours = L.Ours->grab().toImage();
  EXPECT_TRUE(plain == ours) << "the lists look different";
}

TEST(EventsRowList, PlacesPaintsAndHitTestsRowsAsThePlainListView) {
  TTwoLists L;
  std::vector<TEventRow> rows;
  for (int i = 0; i < 200; ++i) rows.push_back(Row(i));
  L.Rows.Reset(std::move(rows));
  L.Settle();
  ExpectSameAsThePlainList(L, "at the top");
  L.SelectBoth(3);
  ExpectSameAsThePlainList(L, "a row selected");
  L.ScrollBoth(1000);  // a row cut by the top edge
  ExpectSameAsThePlainList(L, "scrolled into the middle");
  L.ScrollBoth(L.Plain->verticalScrollBar()->maximum());
  ExpectSameAsThePlainList(L, "scrolled to the end");
  L.ScrollBoth(0);
  L.Rows.Add(Row(1000), true);  // a live alert: every row moves down, parity flips
  L.Settle();
  ExpectSameAsThePlainList(L, "a row added on top");
  L.OnView.SetSearchText(QStringLiteral("zone 1"));
  L.Settle();
  ExpectSameAsThePlainList(L, "filtered");
  L.Rows.Reset({});
  L.Settle();
  ExpectSameAsThePlainList(L, "empty");
}

TEST(EventsRowList, KeysAndScrollingToARowMoveAsThePlainListView) {
  TTwoLists L;
  std::vector<TEventRow> rows;
  for (int i = 0; i < 60; ++i) rows.push_back(Row(i));
  L.Rows.Reset(std::move(rows));
  L.SelectBoth(0);
  for (const auto hint : {QAbstractItemView::EnsureVisible, QAbstractItemView::PositionAtTop,
                          QAbstractItemView::PositionAtCenter, QAbstractItemView::PositionAtBottom}) {
    for (int row : {40, 2, 59}) {
      L.Plain->scrollTo(L.OnView.index(row, 0), hint);
      L.Ours->scrollTo(L.OnView.index(row, 0), hint);
      EXPECT_EQ(L.Ours->verticalScrollBar()->value(), L.Plain->verticalScrollBar()->value())
          << "hint " << hint << " row " << row;
    }
  }
  // Down, page down and end, from the first row.
  L.Ours->setFocus();
  L.Ours->setCurrentIndex(L.OnView.index(0, 0));
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(L.Ours, &down);
  EXPECT_EQ(L.Ours->currentIndex().row(), 1);
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
  QCoreApplication::sendEvent(L.Ours, &end);
  EXPECT_EQ(L.Ours->currentIndex().row(), 59);
  EXPECT_TRUE(L.Ours->viewport()->rect().contains(L.Ours->visualRect(L.OnView.index(59, 0))));
  EXPECT_EQ(L.Ours->selectionModel()->selectedRows(), QModelIndexList{L.OnView.index(59, 0)});
}

// After every change, the rows shown are those a fresh pass over the source gives, in order,
// and each maps to its source row and back.
void ExpectFreshPass(const TEventsRowModel& ARows, const TEventsRowFilter& AOnView,
                     const std::function<bool(const TEventRow&)>& AKeep, const char* ALabel) {
  SCOPED_TRACE(ALabel);
  std::vector<std::string> expected;
  for (int i = 0; i < ARows.rowCount(); ++i)
    if (AKeep(ARows.Row(i)) && TEventsRowFilter::MatchesSearch(ARows.Row(i), AOnView.SearchText()))
      expected.push_back(ARows.Row(i).ID);
  EXPECT_EQ(Ids(AOnView), expected);
  for (int i = 0; i < AOnView.rowCount(); ++i) {
    const QModelIndex source = AOnView.mapToSource(AOnView.index(i, 0));
    ASSERT_TRUE(source.isValid());
    EXPECT_EQ(ARows.Row(source.row()).ID, expected[static_cast<std::size_t>(i)]);
    EXPECT_EQ(AOnView.mapFromSource(source).row(), i);
  }
  for (int i = 0; i < ARows.rowCount(); ++i) {
    const bool shown = std::find(expected.begin(), expected.end(), ARows.Row(i).ID) != expected.end();
    EXPECT_EQ(AOnView.mapFromSource(ARows.index(i)).isValid(), shown) << ARows.Row(i).ID;
  }
}

TEST(EventsRowFilter, RowsShownFollowEveryChangeOfTheSource) {
  TEventsRowModel rows;
  std::vector<TEventRow> start;
  for (int i = 0; i < 12; ++i) start.push_back(Row(i, i % 3 == 0 ? "hidden" : ""));
  rows.Reset(std::move(start));
  TEventsRowFilter onView(&rows);
  const auto keep = [](const TEventRow& r) { return r.Caption != "hidden"; };
  onView.SetRawFilter(keep);
  ExpectFreshPass(rows, onView, keep, "filter set");

  // A row held by a persistent index (the list's selection) stays on its alert through
  // every change but a new search, which resets the rows shown.
  const QPersistentModelIndex selected = onView.index(1, 0);
  const std::string selectedID = selected.data(TEventsRowModel::IDRole).toString().toStdString();
  ASSERT_EQ(selectedID, "E2");

  const struct {
    const char* Label;
    std::function<void()> Change;
  } changes[] = {
      {"shown row on top", [&] { rows.Add(Row(100), true); }},
      {"hidden row on top", [&] { rows.Add(Row(101, "hidden"), true); }},
      {"shown row at the end", [&] { rows.Add(Row(102), false); }},
      {"hidden row at the end", [&] { rows.Add(Row(103, "hidden"), false); }},
      {"shown row removed from the middle", [&] { rows.Remove("E4"); }},
      {"hidden row removed from the middle", [&] { rows.Remove("E6"); }},
      {"top row removed", [&] { rows.Remove("E101"); }},
      {"shown row changed to fail", [&] { rows.Update(rows.IndexOf("E5"), Row(5, "hidden")); }},
      {"hidden row changed to pass", [&] { rows.Update(rows.IndexOf("E9"), Row(9)); }},
      {"shown row changed and still passing", [&] { rows.Update(rows.IndexOf("E7"), Row(7, "Door")); }},
      {"search on", [&] { onView.SetSearchText(QStringLiteral("camera 1")); }},
      {"row on top under the search", [&] { rows.Add(Row(113), true); }},
      {"search off", [&] { onView.SetSearchText({}); }},
      {"many rows on top", [&] {
         for (int i = 200; i < 230; ++i) rows.Add(Row(i, i % 2 ? "hidden" : ""), true);
       }},
  };
  bool held = true;
  for (const auto& change : changes) {
    change.Change();
    ExpectFreshPass(rows, onView, keep, change.Label);
    held = held && std::string(change.Label) != "search on";
    if (!held) continue;
    ASSERT_TRUE(selected.isValid()) << change.Label;
    EXPECT_EQ(selected.data(TEventsRowModel::IDRole).toString().toStdString(), selectedID);
  }
  rows.Reset({Row(1)});
  ExpectFreshPass(rows, onView, keep, "source reset");
  onView.SetRawFilter({});
  ExpectFreshPass(rows, onView, [](const TEventRow&) { return true; }, "filter off");
}

}  // namespace
}  // namespace ZEL
