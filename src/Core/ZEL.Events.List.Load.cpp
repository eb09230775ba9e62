// The bulk load of the alert list.

#include "ZEL.Events.List.h"

#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.UIThread.h"

namespace ZEL {

namespace {

constexpr std::string_view cTag = "TZELEventList.ReadFromJSONArray";

template <class TArray>
TZELEventBatch BuildBatch(TArray&& AEventsArray) {
  ILogWriter& log = LogsPipe::ZELLog();
  log.Debug(cTag, "Attemt to read events from array.");
  if (!AEventsArray.is_array()) throw EInvalidCast(std::string(Edge::JSON::InvalidCastMessage));
  TZELEventBatch batch;
  batch.Events.reserve(AEventsArray.size());
  std::size_t i = 0;
  for (auto&& element : AEventsArray) {
    log.DebugFmt(cTag, "Reading item #{}...", i++);
    if constexpr (std::is_const_v<std::remove_reference_t<TArray>>)
      batch.Events.push_back(std::make_unique<TZELEvent>(TJSON(element)));
    else
      batch.Events.push_back(std::make_unique<TZELEvent>(std::move(element)));
  }
  return batch;
}

}  // namespace

TZELEventBatch TZELEventList::BuildEventsFromJSONArray(const TJSON& AEventsArray) { return BuildBatch(AEventsArray); }

TZELEventBatch TZELEventList::BuildEventsFromJSONArray(TJSON&& AEventsArray) {
  return BuildBatch(std::move(AEventsArray));
}

bool TZELEventList::SwapInEvents(TZELEventBatch ABatch, bool AAppend) {
  Exceptions::Assert(UIThread::IsUIThread(), "TZELEventList.SwapInEvents called off the UI thread.");
  std::lock_guard<std::mutex> guard(Flock);
  // Subscribers are dropped in both modes; each adds its handler again when it wants more.
  OnNotify().Clear();
  if (!AAppend) Clear(false);
  LogsPipe::ZELLog().Debug(cTag, "List is locked and everything is clean.");
  FIndex.reserve(FIndex.size() + ABatch.Events.size());
  int ordinal = 0;
  for (auto& event : ABatch.Events) {
    if (AAppend) event->SetInvisible(true);
    PutIn(std::move(event), ordinal++);
  }
  return true;
}

std::vector<TZELEvent*> TZELEventList::MergeEvents(TZELEventBatch ABatch) {
  Exceptions::Assert(UIThread::IsUIThread(), "TZELEventList.MergeEvents called off the UI thread.");
  std::vector<TZELEvent*> added;
  // A backend array lists the newest first; appended oldest first, the newest ends on top.
  for (auto it = ABatch.Events.rbegin(); it != ABatch.Events.rend(); ++it) {
    std::unique_ptr<TZELEvent>& event = *it;
    if (TZELEvent* held = FindEventByID(event->LookupID())) {
      if (held->State() != event->State() || held->Active() != event->Active() || held->Viewed() != event->Viewed()) {
        held->SetState(event->State());
        held->SetActive(event->Active());
        held->SetViewed(event->Viewed());
        held->NotifyUIRefresh();
      }
      continue;
    }
    added.push_back(Add(std::move(event)));
  }
  return added;
}

void TZELEventList::PutIn(std::unique_ptr<TZELEvent> AEvent, int AOrdinal) {
  ILogWriter& log = LogsPipe::ZELLog();
  const int existing = FirstIndexOf(AEvent->LookupID());
  if (existing >= 0) {
    log.DebugFmt(cTag, "Existing item[{}] with be repalced with fetched from server.", existing);
    AEvent->SetInvisible((*this)[existing]->Invisible());
    SetItem(existing, std::move(AEvent));
  } else {
    log.DebugFmt(cTag, "Item #{} is ready to add...", AOrdinal);
    Add(std::move(AEvent));
    log.DebugFmt(cTag, "Item #{} is added.", AOrdinal);
  }
}

namespace {

template <class TArray>
bool ReadArray(TZELEventList& AList, TArray&& AEventsArray, bool AAppend) {
  TZELEventBatch batch;
  try {
    batch = TZELEventList::BuildEventsFromJSONArray(std::forward<TArray>(AEventsArray));
  } catch (...) {
    // A failed load drops the subscribers too; the list itself stays as it was.
    UIThread::RunSync([&AList] { AList.OnNotify().Clear(); });
    throw;
  }
  bool result = false;
  UIThread::RunSync([&] { result = AList.SwapInEvents(std::move(batch), AAppend); });
  return result;
}

}  // namespace

bool TZELEventList::ReadFromJSONArray(const TJSON& AEventsArray, bool AAppend) {
  return ReadArray(*this, AEventsArray, AAppend);
}

bool TZELEventList::ReadFromJSONArray(TJSON&& AEventsArray, bool AAppend) {
  return ReadArray(*this, std::move(AEventsArray), AAppend);
}

}  // namespace ZEL
