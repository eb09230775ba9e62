#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZEL.Generics.Collections.h"
#include "ZEL.LogsPipe.h"

namespace {

using ZEL::TCollectionNotification;
using ZEL::LogsPipe::TLogCapture;

constexpr const char* Tag = "TDelegatedObjectList<TTestItem>";

struct TTestItem {
  static constexpr std::string_view TypeName = "TTestItem";
  TTestItem(std::string AName, std::vector<std::string>* AFreed) : Name(std::move(AName)), Freed(AFreed) {}
  ~TTestItem() { Freed->push_back(Name); }
  std::string Name;
  std::vector<std::string>* Freed;
};

using TList = ZEL::TDelegatedObjectList<TTestItem>;

// One announcement as a subscriber saw it, with what it could observe at that moment.
struct THeard {
  std::string Who;
  const void* Sender;
  std::string Item;
  TCollectionNotification Action;
  bool ItemWasFreed;
  int CountThen;
};

struct TSubscriber {
  std::string Who;
  std::vector<THeard>* Heard;
  TList* List = nullptr;
  std::vector<std::string>* Freed = nullptr;
  void OnNotify(const void* Sender, TTestItem* const& Item, TCollectionNotification Action) {
    const bool freed = std::find(Freed->begin(), Freed->end(), Item->Name) != Freed->end();
    Heard->push_back({Who, Sender, Item->Name, Action, freed, List ? List->Count() : -1});
  }
  ZEL::TCollectionNotifyEvent<TTestItem> Handler() { return ZEL::TCollectionNotifyEvent<TTestItem>::Of(this, &TSubscriber::OnNotify); }
};

class DelegatedObjectListTest : public ::testing::Test {
protected:
  DelegatedObjectListTest() {
    List = std::make_unique<TList>();
    S1.List = S2.List = List.get();
    S1.Freed = S2.Freed = &Freed;
  }

  TTestItem* AddItem(const std::string& AName) { return List->Add(std::make_unique<TTestItem>(AName, &Freed)); }
  std::unique_ptr<TTestItem> NewItem(const std::string& AName) { return std::make_unique<TTestItem>(AName, &Freed); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (TTestItem* item : *List) names.push_back(item->Name);
    return names;
  }

  std::vector<std::string> HeardText() const {
    std::vector<std::string> out;
    for (const THeard& h : Heard)
      out.push_back(h.Who + " " + h.Item + " " + std::string(ZEL::Generics::Collections::NotificationName(h.Action)));
    return out;
  }

  static std::vector<std::string> Lines(const TLogCapture& ACapture) {
    std::vector<std::string> out;
    for (const auto& e : ACapture.WithTag(Tag))
      out.push_back(std::string(ZEL::LogTypeName(e.Type)) + " " + e.Message);
    return out;
  }

  std::vector<std::string> Freed;
  std::vector<THeard> Heard;
  TSubscriber S1{"S1", &Heard};
  TSubscriber S2{"S2", &Heard};
  std::unique_ptr<TList> List;
};

TEST_F(DelegatedObjectListTest, AddAnnouncesToEverySubscriberInOrderAndLogs) {
  List->OnNotify().AddHandler(S1.Handler());
  List->OnNotify().AddHandler(S2.Handler());
  TLogCapture capture;
  TTestItem* item = AddItem("a");

  ASSERT_EQ(Heard.size(), 2u);
  for (const THeard& h : Heard) {
    EXPECT_EQ(h.Sender, static_cast<const void*>(List.get()));
    EXPECT_EQ(h.Item, "a");
    EXPECT_EQ(h.Action, TCollectionNotification::cnAdded);
    EXPECT_EQ(h.CountThen, 1);  // already in the list
  }
  EXPECT_EQ(Heard[0].Who, "S1");
  EXPECT_EQ(Heard[1].Who, "S2");
  EXPECT_EQ(Lines(capture), std::vector<std::string>({
                                "FATAL OnListNotify FInClear = False FDoNotifyInClear = False",
                                "DEBUG OnListNotify called action = cnAdded",
                                "DEBUG FNotifyDelegate =  True",
                            }));
  EXPECT_EQ((*List)[0], item);
  EXPECT_EQ(List->IndexOf(item), 0);
}

TEST_F(DelegatedObjectListTest, InsertDeleteRemoveAndExtract) {
  AddItem("a");
  TTestItem* c = AddItem("c");
  List->OnNotify().AddHandler(S1.Handler());
  TTestItem* b = List->Insert(1, NewItem("b"));
  EXPECT_EQ(Names(), std::vector<std::string>({"a", "b", "c"}));

  List->Delete(0);
  EXPECT_EQ(List->Remove(c), 1);
  EXPECT_EQ(List->Remove(c), -1);
  std::unique_ptr<TTestItem> extracted = List->Extract(b);
  ASSERT_EQ(extracted.get(), b);
  EXPECT_EQ(List->Count(), 0);
  EXPECT_EQ(List->Extract(b), nullptr);

  EXPECT_EQ(HeardText(), std::vector<std::string>({"S1 b cnAdded", "S1 a cnRemoved", "S1 c cnRemoved", "S1 b cnExtracted"}));
  // Removed items are announced after leaving and before being freed; the extracted one lives.
  for (const THeard& h : Heard) EXPECT_FALSE(h.ItemWasFreed) << h.Item;
  EXPECT_EQ(Heard[1].CountThen, 2);
  EXPECT_EQ(Freed, std::vector<std::string>({"a", "c"}));
  EXPECT_THROW(List->Delete(0), std::out_of_range);
  EXPECT_THROW(List->Insert(1, NewItem("x")), std::out_of_range);
}

TEST_F(DelegatedObjectListTest, SetItemAnnouncesRemovalOfTheOldThenAdditionOfTheNew) {
  AddItem("old");
  List->OnNotify().AddHandler(S1.Handler());
  List->SetItem(0, NewItem("new"));
  EXPECT_EQ(HeardText(), std::vector<std::string>({"S1 old cnRemoved", "S1 new cnAdded"}));
  EXPECT_FALSE(Heard[0].ItemWasFreed);
  EXPECT_EQ(Freed, std::vector<std::string>({"old"}));
  EXPECT_EQ(Names(), std::vector<std::string>({"new"}));
}

TEST_F(DelegatedObjectListTest, SilentClearFreesEverythingAndOnlyLogs) {
  for (const char* n : {"a", "b", "c"}) AddItem(n);
  List->OnNotify().AddHandler(S1.Handler());
  TLogCapture capture;
  List->Clear(false);

  EXPECT_TRUE(Heard.empty());
  EXPECT_EQ(Freed, std::vector<std::string>({"a", "b", "c"}));
  const std::string silent = "FATAL OnListNotify FInClear = True FDoNotifyInClear = False";
  EXPECT_EQ(Lines(capture), std::vector<std::string>({"DEBUG Clear start", silent, silent, silent, "DEBUG Clear end"}));

  // Outside a clear the list announces again.
  AddItem("d");
  EXPECT_EQ(HeardText(), std::vector<std::string>({"S1 d cnAdded"}));
}

TEST_F(DelegatedObjectListTest, NotifyingClearAnnouncesEachInFormerOrderWhileAlive) {
  for (const char* n : {"a", "b", "c"}) AddItem(n);
  List->OnNotify().AddHandler(S1.Handler());
  List->Clear(true);

  EXPECT_EQ(HeardText(), std::vector<std::string>({"S1 a cnRemoved", "S1 b cnRemoved", "S1 c cnRemoved"}));
  for (const THeard& h : Heard) {
    EXPECT_FALSE(h.ItemWasFreed) << h.Item;
    EXPECT_EQ(h.CountThen, 0) << h.Item;
  }
  EXPECT_EQ(Freed, std::vector<std::string>({"a", "b", "c"}));
}

TEST_F(DelegatedObjectListTest, DeleteRangeLeavesFirstThenAnnouncesAndFreesEach) {
  for (const char* n : {"a", "b", "c", "d"}) AddItem(n);
  List->OnNotify().AddHandler(S1.Handler());
  List->DeleteRange(1, 2);
  EXPECT_EQ(HeardText(), std::vector<std::string>({"S1 b cnRemoved", "S1 c cnRemoved"}));
  EXPECT_EQ(Heard[0].CountThen, 2);
  EXPECT_FALSE(Heard[1].ItemWasFreed);
  EXPECT_EQ(Freed, std::vector<std::string>({"b", "c"}));
  EXPECT_EQ(Names(), std::vector<std::string>({"a", "d"}));
  EXPECT_THROW(List->DeleteRange(1, 2), std::out_of_range);
}

TEST_F(DelegatedObjectListTest, AThrowingHandlerLeavesNoItemBehindAndEndsTheClear) {
  struct TThrower {
    void OnNotify(const void*, TTestItem* const&, TCollectionNotification) { throw std::runtime_error("handler"); }
  } thrower;
  for (const char* n : {"a", "b"}) AddItem(n);
  List->OnNotify().AddHandler(ZEL::TCollectionNotifyEvent<TTestItem>::Of(&thrower, &TThrower::OnNotify));
  TLogCapture capture;
  EXPECT_THROW(List->Clear(true), std::runtime_error);
  EXPECT_EQ(List->Count(), 0);
  EXPECT_EQ(Freed, std::vector<std::string>({"a", "b"}));
  const auto lines = Lines(capture);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DEBUG Clear end"), 0);

  // The clear is over even though it raised: the next change is announced (and throws).
  EXPECT_THROW(AddItem("c"), std::runtime_error);
  EXPECT_EQ(List->Count(), 1);
}

TEST_F(DelegatedObjectListTest, DestructionAnnouncesEveryRemainingItem) {
  for (const char* n : {"a", "b"}) AddItem(n);
  S1.List = nullptr;  // the list is going away while it announces
  List->OnNotify().AddHandler(S1.Handler());
  List.reset();
  EXPECT_EQ(HeardText(), std::vector<std::string>({"S1 a cnRemoved", "S1 b cnRemoved"}));
  EXPECT_FALSE(Heard[1].ItemWasFreed);
  EXPECT_EQ(Freed, std::vector<std::string>({"a", "b"}));
}

TEST(CollectionNotificationTest, NamesAsLogged) {
  using ZEL::Generics::Collections::NotificationName;
  EXPECT_EQ(NotificationName(TCollectionNotification::cnAdding), "cnAdding");
  EXPECT_EQ(NotificationName(TCollectionNotification::cnAdded), "cnAdded");
  EXPECT_EQ(NotificationName(TCollectionNotification::cnExtracting), "cnExtracting");
  EXPECT_EQ(NotificationName(TCollectionNotification::cnExtracted), "cnExtracted");
  EXPECT_EQ(NotificationName(TCollectionNotification::cnDeleting), "cnDeleting");
  EXPECT_EQ(NotificationName(TCollectionNotification::cnRemoved), "cnRemoved");
}

}  // namespace
