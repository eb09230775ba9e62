// The alert list: bulk loads, broker payloads of types 1, 2 and 5, lookups.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "ZEL.Events.h"
#include "ZEL.Events.TestFakes.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"

using namespace ZEL;
using ZEL::LogsPipe::TLogCapture;
using ZEL::Test::Oid;

namespace {

TJSON Alert(const std::string& AID, const std::string& ACaption = "c") {
  return TJSON::parse(R"({"ObjectId":")" + AID + R"(","Active":true,"Caption":")" + ACaption +
                      R"(","Originator":{"ID":"c1","Type":20}})");
}

std::string Item(const std::string& AParent, const std::string& AID, int AType,
                 const std::string& ADate = "2024-03-02T08:01:00Z") {
  return R"({"Type":2,"ParentObjectId":")" + AParent + R"(","ObjectId":")" + AID + R"(","ItemType":)" +
         std::to_string(AType) + R"(,"DateTime":")" + ADate + R"(","Source":{"ID":"u1","Name":"Operator One"}})";
}

// Counts what the list announces.
struct TListener {
  int Added = 0;
  int Removed = 0;
  void On(const void*, TZELEvent* const&, TCollectionNotification A) {
    if (A == TCollectionNotification::cnAdded) ++Added;
    if (A == TCollectionNotification::cnRemoved) ++Removed;
  }
  void Attach(TZELEventList& AList) {
    AList.OnNotify().AddHandler(TCollectionNotifyEvent<TZELEvent>::Of(this, &TListener::On));
  }
};

struct TRefreshes {
  std::vector<std::string> IDs;
  TZELMessagerRef Ref = TZELMessager<TEventRefreshMessage>::Subscribe(
      [this](TSender, const TEventRefreshMessage& M) { IDs.push_back(M.Value()); });
  ~TRefreshes() { TZELMessager<TEventRefreshMessage>::Unsubscribe(Ref); }
};

}  // namespace

TEST(TZELEventListLoad, ReplaceModeKeepsFirstPlaceOfARepeatedIdAndDropsSubscribers) {
  TZELEventList list;
  list.ReadOneEventFromJSON(Alert(Oid("old")).dump());
  TListener listener;
  listener.Attach(list);
  TJSON array = TJSON::array({Alert(Oid("A"), "first A"), Alert(Oid("B")), Alert(Oid("A"), "second A")});
  EXPECT_TRUE(list.ReadFromJSONArray(array, false));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0]->Caption(), "second A");
  EXPECT_EQ(list[1]->ID(), Oid("B"));
  EXPECT_FALSE(list[0]->Invisible());
  EXPECT_EQ(listener.Added + listener.Removed, 0);
  EXPECT_FALSE(list.EventExists(Oid("old")));
  EXPECT_EQ(array.size(), 3u);  // the caller's array is left alone

  list.ReadOneEventFromJSON(Alert(Oid("C")).dump());  // no subscriber after the load
  EXPECT_EQ(listener.Added, 0);
}

TEST(TZELEventListLoad, AppendModeHidesNewAlertsAndKeepsVisibilityOfReplacedOnes) {
  TZELEventList list;
  list.ReadFromJSONArray(TJSON::array({Alert(Oid("A")), Alert(Oid("B"))}), false);
  list[1]->SetInvisible(true);
  list.ReadFromJSONArray(TJSON::array({Alert(Oid("A"), "fresh A"), Alert(Oid("N")), Alert(Oid("B"), "fresh B")}), true);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0]->Caption(), "fresh A");
  EXPECT_FALSE(list[0]->Invisible());
  EXPECT_EQ(list[1]->Caption(), "fresh B");
  EXPECT_TRUE(list[1]->Invisible());
  EXPECT_EQ(list[2]->ID(), Oid("N"));
  EXPECT_TRUE(list[2]->Invisible());
}

TEST(TZELEventListLoad, FailedLoadLeavesListAsItWasButDropsSubscribers) {
  TZELEventList list;
  list.ReadFromJSONArray(ZEL::Test::LoadFixture("alerts.json")["EventAlerts"], false);
  ASSERT_EQ(list.Count(), 3);
  const TZELEvent* before = list[0];
  const struct {
    std::string Name;
    TJSON Array;
  } cases[] = {
      {"bad first", TJSON::array({TJSON::parse(R"({"ObjectId":"x"})"), Alert(Oid("A"))})},
      {"bad last", TJSON::array({Alert(Oid("A")), TJSON::parse(R"({"ObjectId":"y"})")})},
      {"not an object", TJSON::array({Alert(Oid("A")), 5})},
      {"not an array", Alert(Oid("A"))},
  };
  for (const auto& c : cases) {
    for (const bool append : {false, true}) {
      TListener listener;
      listener.Attach(list);
      EXPECT_THROW(list.ReadFromJSONArray(c.Array, append), EZELException) << c.Name;
      ASSERT_EQ(list.Count(), 3) << c.Name;
      EXPECT_EQ(list[0], before) << c.Name;
      list.ReadOneEventFromJSON(Alert(Oid("probe")).dump());
      EXPECT_EQ(listener.Added, 0) << c.Name;  // subscribers are gone
      list.Delete(list.Count() - 1);
    }
  }
  EXPECT_TRUE(list.EventExists("64b000000000000000000003"));
  EXPECT_FALSE(list.EventExists(Oid("probe")));
}

// An alert without a usable id could be neither found nor acted on: it is refused where it
// comes in, with one Error line, and the list stays as it was. From the backend only that
// alert is refused; the others of the answer are kept.
TEST(TZELEventListIntake, AlertsWithoutAnObjectIdAreRefused) {
  // Complete, so that building it logs nothing of its own.
  TJSON good = Alert(Oid("held"));
  good.update({{"State", "easInitiated"}, {"Viewed", false}, {"LastViewedAt", "2024-03-02T08:00:00Z"}, {"LastViewedBy", "u"}});
  const auto withID = [&](TJSON AID) {
    TJSON a = good;
    if (AID.is_discarded()) a.erase("ObjectId"); else a["ObjectId"] = std::move(AID);
    return a;
  };
  const struct {
    std::string Name;
    TJSON Alert;
  } cases[] = {
      {"no id", withID(TJSON(TJSON::value_t::discarded))},
      {"null id", withID(nullptr)},
      {"the getter's default", withID("<ERR>")},
      {"short", withID("x")},
      {"a number", withID(17)},
      {"23 digits", withID("64b00000000000000000001")},
      {"25 digits", withID("64b0000000000000000000011")},
      {"not hexadecimal", withID("64b00000000000000000001g")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TZELEventList list;
    list.ReadOneEventFromJSON(good.dump());
    TListener listener;
    listener.Attach(list);
    TLogCapture capture;
    TZELEvent* event = list[0];
    EXPECT_FALSE(list.ReadOneEventFromJSON(c.Alert.dump(), event));
    EXPECT_EQ(event, nullptr);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(listener.Added, 0);
    const auto errors = capture.WithTag("TZELEventList.ReadOneEventFromJSON");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Type, TLogType::Error);
    EXPECT_EQ(errors[0].Message.rfind("Alert refused: ", 0), 0u) << errors[0].Message;
    int above = 0;  // nothing else worth a look, no getter's Fatal line
    for (const auto& e : capture.Entries()) above += e.Type != TLogType::Debug;
    EXPECT_EQ(above, 1) << [&] {
      std::string all;
      for (const auto& e : capture.Entries()) all += e.Tag + ": " + e.Message + "\n";
      return all;
    }();

    // The backend's answer loses that alert alone.
    TJSON answer = TJSON::array({Alert(Oid("A")), c.Alert, Alert(Oid("B"))});
    TLogCapture load;
    TZELEventList::DropUnacceptable(answer, "TZELRESTService.GetEvents");
    EXPECT_EQ(answer, TJSON::array({Alert(Oid("A")), Alert(Oid("B"))}));
    const auto dropped = load.WithTag("TZELRESTService.GetEvents");
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0].Type, TLogType::Error);
    EXPECT_EQ(dropped[0].Message.rfind("Alert refused: ", 0), 0u) << dropped[0].Message;
  }
}

TEST(TZELEventListLookups, ExactIdsFirstMatchAndIndexFollowsChanges) {
  TZELEventList list;
  TListener listener;
  listener.Attach(list);
  TZELEvent* first = nullptr;
  EXPECT_TRUE(list.ReadOneEventFromJSON(Alert(Oid("Dup")).dump(), first));
  // The same alert again from the broker (organisation topic, retained copy): one row.
  TZELEvent* again = nullptr;
  EXPECT_FALSE(list.ReadOneEventFromJSON(Alert(Oid("Dup")).dump(), again));
  EXPECT_EQ(again, first);
  EXPECT_EQ(list.Count(), 1);
  // A second holder of the id can still come from elsewhere; lookups take the first.
  list.Add(std::make_unique<TZELEvent>(Alert(Oid("Dup")).dump()));
  list.ReadOneEventFromJSON(Alert(Oid("x")).dump());
  EXPECT_EQ(listener.Added, 3);
  int index = -2;
  EXPECT_TRUE(list.EventExists(Oid("Dup"), index));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(list.FindEventByID(Oid("Dup")), first);
  std::string upper = Oid("Dup");  // a valid id too, in capitals
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(list.EventExists(upper, index));  // case-sensitive
  EXPECT_EQ(index, -1);
  EXPECT_EQ(list.FindEventByID(Oid("X")), nullptr);

  // A type 2 item goes to the first of two alerts with the same id.
  EXPECT_TRUE(list.ReadEventItemMQTT(Item(Oid("Dup"), "i1", 0)));
  EXPECT_EQ(first->Items().Count(), 1);
  EXPECT_EQ(list[1]->Items().Count(), 0);
  EXPECT_NE(list.FindItemByID(Oid("Dup"), "i1"), nullptr);
  EXPECT_EQ(list.FindItemByID(Oid("Dup"), "I1"), nullptr);
  EXPECT_EQ(list.FindItemByID(Oid("nope"), "i1"), nullptr);

  // The index follows every kind of change.
  list.Delete(0);
  EXPECT_EQ(list.FindEventByID(Oid("Dup")), list[0]);
  list.SetItem(0, std::make_unique<TZELEvent>(Alert(Oid("y"))));
  EXPECT_FALSE(list.EventExists(Oid("Dup")));
  EXPECT_EQ(list.FindEventByID(Oid("y")), list[0]);
  list.Insert(0, std::make_unique<TZELEvent>(Alert(Oid("x"))));
  EXPECT_EQ(list.FindEventByID(Oid("x")), list[0]);
  list.Clear(false);
  EXPECT_FALSE(list.EventExists(Oid("x")));
}

TEST(TZELEventListBroker, HistoryItemsMoveTheAlertState) {
  TZELEventList list;
  list.ReadOneEventFromJSON(Alert(Oid("E")).dump());
  TZELEvent* event = list[0];
  event->SetState(TEventAlertState::easEscalated);
  TRefreshes refreshes;

  EXPECT_TRUE(list.ReadEventItemMQTT(Item(Oid("E"), "d1", 2)));
  EXPECT_EQ(event->State(), TEventAlertState::easDismissed);
  EXPECT_FALSE(event->Active());
  EXPECT_TRUE(list.ReadEventItemMQTT(Item(Oid("E"), "e1", 3)));
  EXPECT_EQ(event->State(), TEventAlertState::easEscalated);
  EXPECT_FALSE(event->Active());

  EXPECT_TRUE(list.ReadEventItemMQTT(Item(Oid("E"), "v1", 1, "2024-03-02T09:00:00Z")));
  EXPECT_TRUE(event->Viewed());
  EXPECT_EQ(event->LastViewBy(), "Operator One");
  EXPECT_EQ(event->LastView(), Time::ParseISO8601("2024-03-02T09:00:00Z"));
  EXPECT_TRUE(list.ReadEventItemMQTT(Item(Oid("E"), "v2", 1, "2024-03-02T10:00:00Z")));  // viewed already
  EXPECT_EQ(event->LastView(), Time::ParseISO8601("2024-03-02T09:00:00Z"));
  EXPECT_EQ(refreshes.IDs, std::vector<std::string>(4, Oid("E")));

  EXPECT_FALSE(list.ReadEventItemMQTT(Item(Oid("E"), "v2", 1)));  // held already: nothing sent
  EXPECT_EQ(event->Items().Count(), 4);
  EXPECT_EQ(refreshes.IDs.size(), 4u);

  TLogCapture capture;
  EXPECT_FALSE(list.ReadEventItemMQTT(R"({"ObjectId":"n1","Source":{"ID":"u"}})"));
  EXPECT_FALSE(list.ReadEventItemMQTT(Item(Oid("unknown"), "n2", 0)));
  const auto debug = capture.WithTag("TZELEventList.ReadEventItemMQTT");
  ASSERT_EQ(debug.size(), 2u);
  EXPECT_EQ(debug[0].Message.rfind("Item[n1] EventID is empty! JSON ", 0), 0u);
  EXPECT_EQ(debug[1].Message.rfind("Item[n2] EventID \"" + Oid("unknown") + "\" is unknown! JSON ", 0), 0u);
  EXPECT_THROW(list.ReadEventItemMQTT(R"({"ParentObjectId":"E","ObjectId":"z"})"), EZELException);
}

TEST(TZELEventListBroker, ItemsThatCannotTakeEffectAreLoggedAndNotAppended) {
  TZELEventList list;
  list.ReadOneEventFromJSON(Alert(Oid("E")).dump());
  TRefreshes refreshes;
  TLogCapture capture;
  EXPECT_FALSE(list.ReadEventItemMQTT(Item(Oid("E"), "bad-type", 9)));
  EXPECT_FALSE(list.ReadEventItemMQTT(Item(Oid("E"), "bad-date", 1, "yesterday")));
  EXPECT_EQ(list[0]->Items().Count(), 0);
  EXPECT_FALSE(list[0]->Viewed());
  EXPECT_TRUE(refreshes.IDs.empty());
  const auto warnings = capture.WithTag("TZELEventList.ReadEventItemMQTT");
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].Type, TLogType::Warning);
  EXPECT_NE(warnings[0].Message.find("EJSONInvalidValue"), std::string::npos);
}

TEST(TZELEventListBroker, AttachmentUpdatesFindTheFirstHolderAndNeedAnItemOriginator) {
  const TJSON payloads = ZEL::Test::LoadFixture("alert-payloads.json");
  TZELEventList list;
  list.ReadOneEventFromJSON(payloads["Type1"].dump());
  list.Add(std::make_unique<TZELEvent>(payloads["Type1"].dump()));
  ASSERT_TRUE(list.ReadEventItemMQTT(payloads["Type2Event"].dump()));
  // The same item held by the second alert as well.
  list[1]->Items().Add(std::make_unique<TZELEventItem>(payloads["Type2Event"].dump()));

  TZELEventItem* item = nullptr;
  TEventExtraDataItem* extra = nullptr;
  EXPECT_TRUE(list.ReadEventItemExtraMQTT(payloads["Type5"].dump(), item, extra));
  EXPECT_EQ(item, list[0]->Items()[0]);
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->State(), TExtraDataState::edsAvailable);
  EXPECT_EQ(extra->DateTimeStr(), "2024-03-02T08:00:09.000Z");
  EXPECT_EQ(list[1]->Items()[0]->ExtraData()[0]->State(), TExtraDataState::edsExpected);

  TJSON other = payloads["Type5"];
  other["ObjectId"] = "not-held";
  EXPECT_TRUE(list.ReadEventItemExtraMQTT(other.dump(), item, extra));
  EXPECT_EQ(extra, nullptr);
  other["ParentObjectId"] = "no-such-item";
  EXPECT_FALSE(list.ReadEventItemExtraMQTT(other.dump(), item, extra));
  EXPECT_EQ(item, nullptr);

  TJSON onlyOwn = payloads["Type5"];
  onlyOwn.erase("Originator");
  onlyOwn["DataSource"] = {{"ID", "dev-3"}};
  onlyOwn["State"] = 3;
  try {
    list.ReadEventItemExtraMQTT(onlyOwn.dump(), item, extra);
    ADD_FAILURE() << "no error";
  } catch (const EZELException& E) {
    EXPECT_STREQ(E.what(), "TZELOriginatorDevice json is not valid");
  }
  EXPECT_EQ(list[0]->Items()[0]->ExtraData()[0]->State(), TExtraDataState::edsAvailable);
}

// An attachment update looks first in the alert that took the item from the broker; when
// that alert is gone or no longer holds the item, the update still finds the item's holder.
TEST(TZELEventListBroker, AttachmentUpdatesFollowTheItemWhereverItIsHeld) {
  const TJSON payloads = ZEL::Test::LoadFixture("alert-payloads.json");
  const std::string alertID = payloads["Type2Event"]["ParentObjectId"];
  const auto update = [&](TZELEventList& AList, int AState) {
    TJSON payload = payloads["Type5"];
    payload["State"] = AState;
    TZELEventItem* item = nullptr;
    TEventExtraDataItem* extra = nullptr;
    const bool found = AList.ReadEventItemExtraMQTT(payload.dump(), item, extra);
    return found && extra ? extra : nullptr;
  };
  const auto reloadedItems = [&] {
    TZELEvent::TItemBatch batch;
    batch.push_back(std::make_unique<TZELEventItem>(payloads["Type2Event"].dump()));
    return batch;
  };

  TZELEventList list;
  list.ReadOneEventFromJSON(Alert(Oid("other")).dump());
  list.ReadOneEventFromJSON(payloads["Type1"].dump());
  ASSERT_TRUE(list.ReadEventItemMQTT(payloads["Type2Event"].dump()));
  EXPECT_EQ(update(list, 1), list[1]->Items()[0]->ExtraData()[0].get());

  // The item moves to another alert; its first holder reloads its items without it.
  list[0]->ReplaceItems(reloadedItems());
  list[1]->ReplaceItems({});
  EXPECT_EQ(update(list, 2), list[0]->Items()[0]->ExtraData()[0].get());

  // A bulk reload replaces every alert; the item comes back with a reload of its alert.
  ASSERT_TRUE(list.ReadFromJSONArray(TJSON::array({Alert(Oid("x")), payloads["Type1"]}), false));
  EXPECT_EQ(update(list, 2), nullptr);
  ASSERT_EQ(list[1]->ID(), alertID);
  list[1]->ReplaceItems(reloadedItems());
  TEventExtraDataItem* extra = update(list, 3);
  EXPECT_EQ(extra, list[1]->Items()[0]->ExtraData()[0].get());
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->State(), TExtraDataState::edsUnavailable);
}

TEST(TZELEventListLoad, TwoStepLoadTakesTheArraysElements) {
  TZELEventList list;
  TJSON array = ZEL::Test::LoadFixture("alerts.json")["EventAlerts"];
  TZELEventBatch batch = TZELEventList::BuildEventsFromJSONArray(std::move(array));
  ASSERT_EQ(batch.Events.size(), 3u);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.SwapInEvents(std::move(batch), false));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.FindEventByID("64b000000000000000000002"), list[1]);
}

namespace {

// The JSON text with one more member holding ALevels nested arrays.
std::string WithNested(std::string AJSON, std::size_t ALevels) {
  AJSON.pop_back();  // the closing brace
  AJSON += R"(,"Deep":)" + std::string(ALevels, '[') + std::string(ALevels, ']') + "}";
  return AJSON;
}

}  // namespace

// A valid broker payload with a member nested 70,000 levels deep (some 140 KB) is refused
// before anything walks it, on each channel, with one Error line; the list stays as it was.
// Nesting within the bound is taken as before.
TEST(TZELEventListBroker, DeeplyNestedPayloadsAreRefusedOnEveryChannel) {
  const TJSON payloads = ZEL::Test::LoadFixture("alert-payloads.json");
  TZELEventList list;
  list.ReadOneEventFromJSON(payloads["Type1"].dump());
  ASSERT_TRUE(list.ReadEventItemMQTT(payloads["Type2Event"].dump()));
  TZELEventItem* item = nullptr;
  TEventExtraDataItem* extra = nullptr;
  const struct {
    const char* Name;
    std::function<void(const std::string&)> Feed;
    std::string Payload;
  } channels[] = {
      {"type 1", [&](const std::string& A) { list.ReadOneEventFromJSON(A); }, Alert(Oid("deep")).dump()},
      {"type 2", [&](const std::string& A) { list.ReadEventItemMQTT(A); }, Item(payloads["Type1"]["ObjectId"].get<std::string>(), "deep-item", 1)},
      {"type 5", [&](const std::string& A) { list.ReadEventItemExtraMQTT(A, item, extra); }, payloads["Type5"].dump()},
  };
  for (const auto& c : channels) {
    SCOPED_TRACE(c.Name);
    TLogCapture capture;
    EXPECT_THROW(c.Feed(WithNested(c.Payload, 70000)), EZELException);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0]->Items().Count(), 1);
    int refusals = 0;
    for (const auto& e : capture.Entries())
      refusals += e.Type == TLogType::Error && e.Message.find("nests deeper than 64 levels and is refused.") != std::string::npos;
    EXPECT_EQ(refusals, 1);
  }
  list.ReadOneEventFromJSON(WithNested(Alert(Oid("nested")).dump(), 60));
  EXPECT_EQ(list.Count(), 2);
}
