#include "ZEL.Messaging.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace ZEL {

namespace {

// One subscription. Deliveries run from a snapshot of these, so the flag is what keeps a
// subscription that was removed meanwhile from being called.
struct TSubscription {
  std::int64_t ID = -1;
  TMessageListener Listener;
  bool Removed = false;  // guarded by the manager's lock
};

using TSubscriptionPtr = std::shared_ptr<TSubscription>;

}  // namespace

struct TMessageManager::TImpl {
  std::mutex Lock;
  std::int64_t NextID = 0;
  std::unordered_map<std::type_index, std::vector<TSubscriptionPtr>> ByClass;
};

TMessageManager::TMessageManager() : FImpl(std::make_unique<TImpl>()) {}

TMessageManager& TMessageManager::DefaultManager() {
  // Never destroyed: windows may still unsubscribe while static objects go away.
  static TMessageManager* Manager = new TMessageManager();
  return *Manager;
}

std::int64_t TMessageManager::SubscribeToMessage(std::type_index AClass, TMessageListener AListener) {
  auto sub = std::make_shared<TSubscription>();
  sub->Listener = std::move(AListener);
  std::lock_guard<std::mutex> guard(FImpl->Lock);
  sub->ID = FImpl->NextID++;
  FImpl->ByClass[AClass].push_back(std::move(sub));
  return FImpl->ByClass[AClass].back()->ID;
}

void TMessageManager::Unsubscribe(std::type_index AClass, std::int64_t ASubID, bool /*AInstant*/) {
  // Both ways drop the subscription from delivery at once; a delivery already walking its
  // snapshot sees the flag and skips it.
  std::lock_guard<std::mutex> guard(FImpl->Lock);
  auto it = FImpl->ByClass.find(AClass);
  if (it == FImpl->ByClass.end()) return;
  auto& subs = it->second;
  for (auto sub = subs.begin(); sub != subs.end(); ++sub) {
    if ((*sub)->ID == ASubID) {
      (*sub)->Removed = true;
      subs.erase(sub);
      break;
    }
  }
  if (subs.empty()) FImpl->ByClass.erase(it);
}

void TMessageManager::SendMessage(TSender ASender, std::unique_ptr<TMessageBase> AMessage) {
  if (!AMessage) return;
  std::vector<TSubscriptionPtr> snapshot;
  {
    std::lock_guard<std::mutex> guard(FImpl->Lock);
    auto it = FImpl->ByClass.find(std::type_index(typeid(*AMessage)));
    if (it != FImpl->ByClass.end()) snapshot = it->second;
  }
  // Handlers run without the lock: they may send, subscribe, unsubscribe or hand work to
  // the UI thread and wait for it while the UI thread sends.
  for (const TSubscriptionPtr& sub : snapshot) {
    {
      std::lock_guard<std::mutex> guard(FImpl->Lock);
      if (sub->Removed) continue;
    }
    sub->Listener(ASender, *AMessage);
  }
  // AMessage is freed here, also when a handler threw.
}

}  // namespace ZEL
