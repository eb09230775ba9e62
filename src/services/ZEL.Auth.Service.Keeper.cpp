#include "ZEL.App.HardConfig.h"
#include "ZEL.Auth.Service.h"
#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Secrets.h"
#include "ZEL.Time.h"
#include "ZEL.UIThread.h"
#include "ZEL.Utils.JWT.h"
#include "ZEL.Utils.h"

#include <any>

namespace ZEL {

namespace {

using LogsPipe::ZELLog;

constexpr const char* cKeeperTag = "TAuthService[AUTHTOKEN_KEEPER]";

std::string Prefix(const TScheduledTask& ATask) {
  return fmt::format("[{}][{}/{}] ", ATask.IdTask(), ATask.NumRetries(), ATask.MaxRetries());
}

bool WillRefresh(const TScheduledTask& ATask) {
  const std::any result = ATask.Result();
  const bool* value = std::any_cast<bool>(&result);
  return value && *value;
}

}  // namespace

IScheduledTask TAuthService::TokenKeeperTask() {
  if (!FShedTasks->IsStarted()) return nullptr;
  return FShedTasks->FindTask(std::string(KeeperTaskName));
}

void TAuthService::TokenKeeperTaskAdd() {
  const std::string tag = "TAuthService.TokenKeeperTaskAdd";
  if (const auto task = TokenKeeperTask()) {
    ZELLog().DebugFmt(tag, "Token keeper \"{}\" task({}) is already exist in scheduled tasks.", KeeperTaskName,
                      task->IdTask());
    return;
  }
  ZELLog().DebugFmt(tag, "Creating FBToken keeper task({}).", KeeperTaskName);
  const auto task =
      FShedTasks->AddTask(std::string(KeeperTaskName), [this](TScheduledTask& ATask) { KeeperExecute(ATask); });
  task->WaitAndRetry(FOptions.KeeperRetries, FOptions.KeeperRetryInterval)
      .OnException([this](TScheduledTask& ATask, const std::exception& E) { KeeperException(ATask, E); })
      .OnTerminated([this](TScheduledTask& ATask) { KeeperTerminated(ATask); });
  ZELLog().DebugFmt(tag, "FBToken keeper task({}) created with ID {}", KeeperTaskName, task->IdTask());
}

void TAuthService::ArmKeeper() {
  const std::string tag = "TAuthService.LoginSuccess";
  if (!FShedTasks->IsStarted()) FShedTasks->Start();
  TokenKeeperTaskAdd();
  if (const auto task = TokenKeeperTask()) {
    ZELLog().DebugFmt(tag, "[Starring token refresh task(each {} minutes from now).",
                      HardConfig::DEFAULT_FCMTOKEN_CHECK_INTERVAL);
    task->RepeatEvery(FOptions.KeeperInterval);
  } else {
    ZELLog().Error(tag, "Token keeper task not created.");
  }
}

void TAuthService::CancelKeeper() {
  if (const auto task = TokenKeeperTask()) task->Cancel();
  if (FShedTasks->IsStarted()) FShedTasks->Stop();
}

void TAuthService::KeeperExecute(TScheduledTask& ATask) {
  const std::string prefix = Prefix(ATask);
  ZELLog().Debug(cKeeperTag, prefix + "FBToken keeper task: start");
  ATask.SetResult(false);
  // The keeper asks the service that owns it, never a reference from the locator: a
  // reference held here could be the last one, and the service would then be destroyed on
  // its own keeper's thread, in the middle of this run (the destructor joins this thread).
  if (!GetAuthorized()) {
    ZELLog().Error(cKeeperTag, prefix + "FBToken keeper task: User is not authorized.");
    return;
  }
  const std::int32_t left = AuthTokenTimeLeftMinutes();
  if (left < 0) {
    ZELLog().Fatal(cKeeperTag, "FBToken keeper task: Unable to read data from token!");
    return;
  }
  ZELLog().InfoFmt(cKeeperTag, "{}FBToken keeper task: Token time left: {} minutes", prefix, left);
  if (left > HardConfig::DEFAULT_FCMTOKEN_REFRESH_TIMEOUT) {
    ZELLog().Info(cKeeperTag, prefix + "FBToken keeper task: Token still enough fresh.");
  } else {
    ZELLog().InfoFmt(cKeeperTag, "{}FBToken keeper task: Token will be refreshed(TTL {} <= {} min).", prefix, left,
                     HardConfig::DEFAULT_FCMTOKEN_REFRESH_TIMEOUT);
    ATask.SetResult(true);
  }
}

void TAuthService::KeeperException(TScheduledTask& ATask, const std::exception& AException) {
  ZELLog().ErrorFmt(cKeeperTag, "{}Creating FBToken keeper task({}) Excepption. {}: {}", Prefix(ATask), ATask.Name(),
                    Exceptions::ClassNameOf(AException), AException.what());
}

void TAuthService::KeeperTerminated(TScheduledTask& ATask) {
  const std::string prefix = Prefix(ATask);
  const bool refresh = WillRefresh(ATask);
  ZELLog().ErrorFmt(cKeeperTag, "{}FBToken keeper task terminated. Done: {} Failed: {} Will refresh: {}", prefix,
                    Utils::BoolToStrUF(ATask.Done()), Utils::BoolToStrUF(ATask.Failed()), Utils::BoolToStrUF(refresh));
  if (!ATask.Done() || !refresh) return;
  ZELLog().Debug(cKeeperTag, prefix + "FBToken keeper task well done. Refreshing token...");
  // The sign-in state and its events belong to the UI thread: hand over, never wait (the
  // UI thread may be waiting for this worker).
  UIThread::RunAsync([this, alive = std::weak_ptr<bool>(FAlive)] {
    if (const auto flag = alive.lock(); flag && *flag) RefreshUserToken();
  });
}

std::int32_t TAuthService::AuthTokenTimeLeftMinutes() {
  const std::string tag = "TAuthService.AuthTokenTimeLeftMinutes";
  // This service itself, not the locator's: see KeeperExecute.
  if (!GetAuthorized()) {
    ZELLog().Error(tag, "FBToken keeper task: User is not authorized.");
    return -1;
  }
  const std::string token = FirebaseToken();
  TTokenInfo info;
  if (!Utils::GetJWTTokenInfo(token, info)) {
    ZELLog().FatalFmt(tag, "Unable to read data from token: {}", Secrets::Mask(token));
    return -1;
  }
  // Signed: a token that expired (say while the computer slept) counts as 0, refresh now.
  const auto left = std::chrono::duration_cast<std::chrono::minutes>(info.ExpireAt - Time::Now()).count();
  const auto minutes = static_cast<std::int32_t>(std::clamp<std::int64_t>(left, 0, INT32_MAX));
  ZELLog().InfoFmt(tag, "Token time left: {} minutes", minutes);
  return minutes;
}

}  // namespace ZEL
