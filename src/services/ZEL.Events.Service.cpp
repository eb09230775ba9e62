#include "ZEL.Events.Service.h"
#include "ZEL.JSON.Helpers.h"

#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Services.Container.h"
#include "ZEL.UIThread.h"

#include <QThreadPool>

#include <cmath>
#include <exception>

namespace ZEL {

namespace {

// A payload that parsed to a JSON value other than an object.
ZEL_DECLARE_EXCEPTION(EJSONPayloadNotObject, EZELException)

constexpr std::string_view cPullTag = "TZELEventsService.PupulateEventsFromREST";
constexpr std::string_view cLoadTag = "TZELEventsService.LoadEventByID";
constexpr std::string_view cIntakeTag = "TZELEventsService.LoadEventFromMQTT";
constexpr std::string_view cItemsTag = "TZELEventsService.EndItemsJournal";

ILogWriter& Log() { return LogsPipe::ZELLog(); }

const char* BoolText(bool AValue) { return AValue ? "True" : "False"; }

}  // namespace

TZELEventsService::TZELEventsService() {
  Log().Debug("TZELEventsService.Create", "START");
  FEventsList = std::make_unique<TZELEventList>();
  Log().Debug("TZELEventsService.Create", "FINISH");
}

TZELEventsService::~TZELEventsService() {
  constexpr std::string_view tag = "TZELEventsService.Destroy";
  Log().Debug(tag, "START");
  FDetailedEventID.clear();
  Log().Debug(tag, "Attempt to free events list...");
  FEventsList.reset();
  Log().Debug(tag, "events list is free. Calling parent destructor..");
  Log().Debug(tag, "FINISH");
}

std::shared_ptr<IZELMQTTService> TZELEventsService::MQTTService() {
  std::shared_ptr<IZELMQTTService> mqtt = FMQTTService.lock();
  if (!mqtt) {
    mqtt = Services::Container::ZELServiceLocator()->GetService<IZELMQTTService>();
    FMQTTService = mqtt;
  }
  return mqtt;
}

TZELEvent* TZELEventsService::GetDetailedEvent() {
  if (FDetailedEventID.empty()) return nullptr;
  if (TZELEvent* event = FEventsList->FindEventByID(FDetailedEventID)) return event;
  if (!LoadEventByID(FDetailedEventID)) return nullptr;
  return FEventsList->FindEventByID(FDetailedEventID);
}

TZELEventItem* TZELEventsService::GetDetailedEventItem() {
  if (FDetailedEventItemID.empty()) return nullptr;
  TZELEvent* event = GetDetailedEvent();
  return event ? event->FindItem(FDetailedEventItemID) : nullptr;
}

bool TZELEventsService::LoadEventByID(const std::string& AID) {
  auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  Log().Debug(cLoadTag, "IZELRESTService is taken.");
  nlohmann::ordered_json events;
  if (!rest || !rest->GetEvent(AID, events)) {
    Log().Error(cLoadTag, "Unable to get event with ID \"" + AID + "\"!");
    return FRestFetched;
  }
  Log().DebugFmt(cLoadTag, "Event \"{}\" is taken from REST.", AID);
  Log().Debug(cLoadTag, std::string("FEventsList is null = ") + BoolText(!FEventsList));
  Log().Debug(cLoadTag, std::string("LEvents is null = ") + BoolText(events.is_null()));
  return FEventsList->ReadFromJSONArray(std::move(events), true);
}

bool TZELEventsService::PupulateEventsFromREST(bool AFirstTime, const std::string& ABeginPeriod,
                                               const std::string& AEndPeriod) {
  return Pull(weak_from_this(), AFirstTime, ABeginPeriod, AEndPeriod);
}

bool TZELEventsService::Pull(const std::weak_ptr<TZELEventsService>& AService, bool AFirstTime,
                             const std::string& ABeginPeriod, const std::string& AEndPeriod) {
  // From here on, what the broker brings is kept aside too: the swap below replaces the
  // list that it goes into.
  std::uint64_t mark = 0;
  bool journaled = false;
  UIThread::RunSync([&] {
    if (std::shared_ptr<TZELEventsService> service = AService.lock()) {
      mark = service->BeginPullJournal();
      journaled = true;
    }
  });
  if (!journaled) return false;
  bool swapped = false;
  const auto endJournal = [&](bool AReplay) {
    UIThread::RunSync([&] {
      if (std::shared_ptr<TZELEventsService> service = AService.lock()) service->EndPullJournal(mark, AReplay);
    });
  };
  try {
    auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
    Log().Debug(cPullTag, "IZELRESTService taken. Getting events...");
    nlohmann::ordered_json events;
    if (!rest || !rest->GetEvents(events, ABeginPeriod, AEndPeriod)) {
      Log().Error(cPullTag, "Unable to get events!");
      endJournal(false);
      return false;
    }
    rest.reset();
    Log().Debug(cPullTag, "LEvents taken from REST.");
    // Built here, off the UI thread; an alert that cannot be built leaves the list untouched.
    TZELEventBatch batch = TZELEventList::BuildEventsFromJSONArray(std::move(events));
    bool result = false;
    // One step on the UI thread: the intake and the views never see a half-loaded list, and
    // what arrived meanwhile is applied to the new list before anyone sees it. The service
    // is taken there, so it is also released there.
    UIThread::RunSync([&] {
      swapped = true;
      std::shared_ptr<TZELEventsService> service = AService.lock();
      if (!service) return;
      Log().Debug(cPullTag, std::string("FEventsList is null = ") + BoolText(!service->FEventsList));
      result = service->FEventsList->SwapInEvents(std::move(batch), false);
      service->FLastPeriod = {ABeginPeriod, AEndPeriod};
      service->EndPullJournal(mark, true);
      if (AFirstTime) service->Subscribe();
    });
    return result;
  } catch (...) {
    if (!swapped) {
      try {
        endJournal(false);
      } catch (...) {
      }
    }
    throw;
  }
}

std::uint64_t TZELEventsService::BeginPullJournal() {
  ++FPullsInFlight;
  return FJournalSeq;
}

void TZELEventsService::EndPullJournal(std::uint64_t AMark, bool AReplay) {
  if (AReplay) {
    const int replayed = ReplayJournal(AMark, true);
    if (replayed > 0)
      Log().InfoFmt(cPullTag, "{} broker payload(s) received during the pull kept in the pulled list.", replayed);
  }
  EndJournalUse();
}

void TZELEventsService::EndItemsJournal(std::uint64_t AMark, bool AReplay) {
  // The list itself was not replaced: its new alerts are there already.
  if (AReplay) {
    const int replayed = ReplayJournal(AMark, false);
    if (replayed > 0)
      Log().InfoFmt(cItemsTag, "{} broker payload(s) received during the item fetch kept in the fetched items.",
                    replayed);
  }
  EndJournalUse();
}

int TZELEventsService::ReplayJournal(std::uint64_t AMark, bool AAlerts) {
  int replayed = 0;
  // By index: applying a payload may bring the intake (and the journal) in again.
  for (std::size_t i = 0; i < FJournal.size(); ++i) {
    if (FJournal[i].Seq <= AMark || (!AAlerts && FJournal[i].Type == 1)) continue;
    // A copy: the payload applied may bring the intake in again, and the journal with it.
    const TLiveEntry entry = FJournal[i];
    try {
      ApplyPayload(entry.Type, entry.JSON, false);
      ++replayed;
    } catch (const std::exception& E) {
      Log().WarnFmt(AAlerts ? cPullTag : cItemsTag, "A payload received during the {} could not be applied again. {}: {}",
                    AAlerts ? "pull" : "item fetch", Exceptions::ClassNameOf(E), E.what());
    }
  }
  return replayed;
}

void TZELEventsService::EndJournalUse() {
  if (FPullsInFlight > 0) --FPullsInFlight;
  if (FPullsInFlight == 0) FJournal.clear();
}

void TZELEventsService::JournalPayload(std::int64_t AType, const std::string& AJSON) {
  if (FPullsInFlight > 0) FJournal.push_back({++FJournalSeq, AType, AJSON});
}

void TZELEventsService::StartCatchUp(std::function<void(int)> ADone) {
  static constexpr std::string_view tag = "TZELEventsService.CatchUp";
  std::pair<std::string, std::string> period = FPeriodSource ? FPeriodSource() : FLastPeriod;
  if (period.first.empty() || period.second.empty()) {
    Log().Info(tag, "No period pulled yet; no catch-up.");
    return;
  }
  Log().InfoFmt(tag, "Catch-up after a reconnection: pulling {} .. {}", period.first, period.second);
  const std::weak_ptr<TZELEventsService> weak = weak_from_this();
  QThreadPool::globalInstance()->start([weak, period = std::move(period), ADone = std::move(ADone)]() mutable {
    int added = -1;
    try {
      auto rest = Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
      nlohmann::ordered_json events;
      if (rest && rest->GetEvents(events, period.first, period.second)) {
        rest.reset();
        TZELEventBatch batch = TZELEventList::BuildEventsFromJSONArray(std::move(events));
        UIThread::RunSync([&] {
          std::shared_ptr<TZELEventsService> service = weak.lock();
          if (!service) return;
          const std::vector<TZELEvent*> events = service->FEventsList->MergeEvents(std::move(batch));
          // A pull running meanwhile replaces the list: these must survive it as live ones.
          for (TZELEvent* event : events) service->JournalPayload(1, event->ToJSON());
          added = static_cast<int>(events.size());
          Log().InfoFmt(tag, "Catch-up ran: {} alert(s) added.", added);
        });
      } else {
        Log().Error(tag, "Catch-up failed: unable to get events!");
      }
    } catch (const std::exception& E) {
      Log().FatalFmt(tag, "Catch-up failed. {}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      Log().Fatal(tag, "Catch-up failed. Unknown exception.");
    }
    if (!ADone) return;
    UIThread::RunAsync([weak, added, ADone = std::move(ADone)] {
      if (weak.lock()) ADone(added);
    });
  });
}

void TZELEventsService::StartPull(const std::weak_ptr<TZELEventsService>& AService, bool AFirstTime,
                                  std::string ABeginPeriod, std::string AEndPeriod, std::function<void(bool)> ADone) {
  QThreadPool::globalInstance()->start([AService, AFirstTime, ABeginPeriod = std::move(ABeginPeriod),
                                        AEndPeriod = std::move(AEndPeriod), ADone = std::move(ADone)]() mutable {
    bool result = false;
    try {
      result = Pull(AService, AFirstTime, ABeginPeriod, AEndPeriod);
    } catch (const std::exception& E) {
      Log().FatalFmt(cPullTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    } catch (...) {
      Log().Fatal(cPullTag, "Unknown exception.");
    }
    if (!ADone) return;
    UIThread::RunAsync([AService, result, ADone = std::move(ADone)] {
      if (AService.lock()) ADone(result);
    });
  });
}

void TZELEventsService::Subscribe() {
  if (FMQTTSubscribed) return;
  if (auto mqtt = MQTTService()) {
    if (!mqtt->IsConnected()) mqtt->Connect();
  }
  if (auto edges = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>()) edges->SubscribeEdges();
  FMQTTSubscribed = true;
}

void TZELEventsService::Unsubscribe() {
  if (!FMQTTSubscribed) return;
  if (auto edges = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>()) edges->UnsubscribeEdges();
  FMQTTSubscribed = false;
}

void TZELEventsService::LoadEventFromMQTT(const std::string& AJSON) {
  bool typed = false;
  std::int64_t type = 0;
  if (!ZEL::JSON::Helpers::NestingAllowed(AJSON, cIntakeTag)) return;
  {
    nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(AJSON, nullptr, false);
    bool isObject = false;
    if (!parsed.is_discarded()) {
      try {
        if (!parsed.is_object()) throw EJSONPayloadNotObject("The payload is not a JSON object.");
        isObject = true;
      } catch (const std::exception& E) {
        Log().FatalFmt(cIntakeTag, "Unable to parse MQTT payload. E.ClassName: {} E.Message: {} Payload: {}",
                       Exceptions::ClassNameOf(E), E.what(), LogsPipe::Shortened(AJSON));
      }
    }
    if (isObject) {
      auto it = parsed.find("Type");
      if (it != parsed.end() && it->is_number()) {
        typed = true;
        if (it->is_number_float()) {
          const double value = it->get<double>();
          type = value < -1e9 ? -1000000000 : value > 1e9 ? 1000000000 : static_cast<std::int64_t>(std::trunc(value));
        } else if (it->is_number_unsigned()) {
          const auto value = it->get<std::uint64_t>();
          type = value > 1000000000u ? 1000000000 : static_cast<std::int64_t>(value);
        } else {
          type = it->get<std::int64_t>();
        }
      }
    }
  }
  if (!typed) {
    Log().WarnFmt(cIntakeTag, "MQTT payload is untyped. Skipping. Payload: {}", LogsPipe::Shortened(AJSON));
    return;
  }
  if (type < 0 || type > 7) {
    Log().WarnFmt(cIntakeTag, "Type ({}) MQTT payload is out of known bounds[{}..{}]. Payload: {}", type, 0, 7, LogsPipe::Shortened(AJSON));
    return;
  }
  if (type == 2 || type == 5) JournalPayload(type, AJSON);
  // A new alert is kept for a replay once the list took it: a refused one is neither
  // replayed nor refused a second time.
  if (ApplyPayload(type, AJSON, true) && type == 1) JournalPayload(type, AJSON);
}

bool TZELEventsService::ApplyPayload(std::int64_t AType, const std::string& AJSON, bool AAnnounce) {
  switch (AType) {
    case 1: {
      TZELEvent* event = nullptr;
      if (FEventsList->ReadOneEventFromJSON(AJSON, event) && AAnnounce) {
        const TSender sender = static_cast<IZELEventsService*>(this);
        TZELMessager<TEventAddedMessage>::Send([event] { return std::make_unique<TEventAddedMessage>(event); }, sender);
      }
      return event != nullptr;
    }
    case 2:
      FEventsList->ReadEventItemMQTT(AJSON);
      break;
    case 5: {
      TZELEventItem* item = nullptr;
      TEventExtraDataItem* extra = nullptr;
      FEventsList->ReadEventItemExtraMQTT(AJSON, item, extra);
      break;
    }
    default:
      break;
  }
  return true;
}

void TZELEventsService::MQTTStatusChange(bool AConnected) {
  auto edges = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
  if (AConnected && !FMQTTSubscribed && edges) {
    edges->SubscribeEdges();
    FMQTTSubscribed = true;
  }
}

void TZELEventsService::MQTTMessageReceived(IZELMQTTService*, const std::string&, const std::string&) {}

}  // namespace ZEL
