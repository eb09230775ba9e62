// Bulk loads and item reloads run on a pool thread while the UI thread keeps using the list.

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <thread>

#include "TestSupport.h"
#include "ZEL.Events.h"
#include "ZEL.Events.TestFakes.h"

using namespace ZEL;

namespace {

TJSON Alerts(int ACount, const std::string& APrefix) {
  TJSON array = TJSON::array();
  for (int i = 0; i < ACount; ++i)
    array.push_back(TJSON::parse(R"({"ObjectId":")" + ZEL::Test::Oid(APrefix + std::to_string(i)) +
                                 R"(","Caption":"c","Originator":{"ID":"c1","Type":20}})"));
  return array;
}

}  // namespace

TEST(TZELEventListConcurrency, PoolThreadLoadsWhileUIThreadReadsAndTakesPayloads) {
  TZELEventList list;
  list.ReadFromJSONArray(Alerts(200, "old"), false);
  std::atomic<int> done{0};
  std::exception_ptr error;
  std::thread pool([&] {
    try {
      for (int round = 0; round < 5; ++round) list.ReadFromJSONArray(Alerts(300, "new"), round % 2 == 1);
    } catch (...) {
      error = std::current_exception();
    }
    done = 1;
  });
  int payloads = 0;
  // The UI thread reads and changes the list while it waits; swaps come in between.
  const bool finished = ZEL::Test::WaitUntil([&] {
    const int count = list.Count();
    EXPECT_TRUE(count == 200 || count == 300) << count;
    if (list.FindEventByID(ZEL::Test::Oid("new0"))) {
      ++payloads;
      list.ReadEventItemMQTT(R"({"ParentObjectId":")" + ZEL::Test::Oid("new0") + R"(","ObjectId":"i)" + std::to_string(payloads) +
                             R"(","ItemType":0,"Source":{"ID":"u"}})");
    }
    return done.load() == 1;
  });
  pool.join();
  ASSERT_TRUE(finished);
  if (error) std::rethrow_exception(error);
  EXPECT_EQ(list.Count(), 300);
  EXPECT_TRUE(list.EventExists(ZEL::Test::Oid("new299")));
}

TEST(TZELEventListConcurrency, FetchItemsOnAPoolThreadSwapsOnTheUIThread) {
  ZEL::Test::TEventsServices services;
  for (int i = 0; i < 50; ++i)
    services.REST->Items.push_back(TJSON::parse(R"({"ObjectId":"i)" + std::to_string(i) +
                                                R"(","ItemType":0,"Source":{"ID":"u"}})"));
  TZELEventList list;
  list.ReadFromJSONArray(Alerts(1, "a"), false);
  TZELEvent* event = list[0];
  std::atomic<int> done{0};
  std::thread pool([&] {
    for (int i = 0; i < 5; ++i) event->FetchItems();
    done = 1;
  });
  const bool finished = ZEL::Test::WaitUntil([&] {
    const int count = event->Items().Count();
    EXPECT_TRUE(count == 0 || count == 50) << count;
    return done.load() == 1;
  });
  pool.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(event->Items().Count(), 50);
}
