// The reconnect keeper of the MQTT service: the attempt counter, the toast and one attempt
// at a time on a one-shot task "Keeper".

#include <fmt/format.h>

#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.MQTT.Service.h"
#include "ZEL.UINotification.h"

namespace ZEL {

namespace {
constexpr std::string_view Tag = TZELMQTTService::LogTag;
constexpr std::string_view KTag = TZELMQTTService::KeeperLogTag;

ILogWriter& Log() { return LogsPipe::ZELLog(); }

std::string Prefix(const TScheduledTask& ATask) {
  return fmt::format("[ID: {}][Retries: {}/{}] ", ATask.IdTask(), ATask.NumRetries(), ATask.MaxRetries());
}
}  // namespace

void TZELMQTTService::RequestReconnect() {
  Log().DebugFmt(Tag, "RequestReconnect. RetryCount = {}", FRetryCount.load());
  const std::int32_t count = ++FRetryCount;
  Log().DebugFmt(Tag, "RequestReconnect. new RetryCount = {}", count);
  TZELUINotification::ShowToast("MQTT reconnect attempt(" + std::to_string(count) + ")...");

  if (FTasks && !FTasks->IsStarted()) {
    Log().Debug(Tag, "RequestReconnect. Killing task...");
    FReconnectTask.reset();
    FTasks.reset();
  }
  if (!FTasks) FTasks = std::make_unique<TScheduledTasks>();
  if (!FReconnectTask) {
    FReconnectTask = FTasks->AddTask(KeeperTaskName, [this](TScheduledTask& ATask) { KeeperExecute(ATask); });
    FReconnectTask->SetParameter("CurrentTry", count)
        .WaitAndRetry(MQTT::Service::MQTT_KEEPER_RETRIES, MQTT::Service::KeeperRetryWait())
        .OnRetry([this](TScheduledTask& ATask, const std::exception* AException, bool& AStop) {
          KeeperRetry(ATask, AException, AStop);
        })
        .OnExpired([this](TScheduledTask& ATask) { KeeperExpired(ATask); })
        .OnException([this](TScheduledTask& ATask, const std::exception& AException) { KeeperException(ATask, AException); })
        .OnTerminated([this](TScheduledTask& ATask) { KeeperTerminated(ATask); });
  }
  if (FReconnectTask->Done()) {
    Log().Debug(Tag, "RequestReconnect. Mark task to start...");
    FReconnectTask->RunOnce();
    if (FTasks->IsStarted()) {
      Log().Warn(Tag, "RequestReconnect. Sheduler already is running.");
    } else {
      Log().Debug(Tag, "RequestReconnect. Starting sheduler...");
      FTasks->Start();
    }
  } else {
    Log().Warn(Tag, "RequestReconnect. Sheduler is not Done.");
  }
}

// On the scheduler's worker. The service outlives the worker (the destructor stops and
// joins it first), so the task calls the service directly.
void TZELMQTTService::KeeperExecute(TScheduledTask& ATask) {
  Log().Warn(KTag, Prefix(ATask) + "Start.");
  if (ATask.GetParameter("CurrentTry") > 1 && !ATask.Wait(MQTT::Service::KeeperWait())) return;  // released
  if (!IsConnected()) Connect();
}

void TZELMQTTService::KeeperRetry(TScheduledTask& ATask, const std::exception* AException, bool& AStopRetries) {
  Log().Warn(KTag, Prefix(ATask) + "Retry.");
  if (AException) {
    Log().ErrorFmt(KTag, "{}Retry error: {}: {}", Prefix(ATask), Exceptions::ClassNameOf(*AException), AException->what());
    AStopRetries = true;
  }
}

void TZELMQTTService::KeeperExpired(TScheduledTask& ATask) { Log().Fatal(KTag, Prefix(ATask) + "Expiried."); }

void TZELMQTTService::KeeperException(TScheduledTask& ATask, const std::exception& AException) {
  Log().FatalFmt(KTag, "{}Exception: {}: {}", Prefix(ATask), Exceptions::ClassNameOf(AException), AException.what());
}

void TZELMQTTService::KeeperTerminated(TScheduledTask& ATask) {
  Log().Fatal(KTag, Prefix(ATask) + "Finished.");
  if (ATask.Owner().IsStarted()) {
    Log().Fatal(KTag, Prefix(ATask) + "Stopping sheduler...");
    ATask.Owner().Stop();
  }
}

}  // namespace ZEL
