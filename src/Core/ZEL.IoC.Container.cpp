#include "ZEL.IoC.Container.h"

#include "ZEL.LogsPipe.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace ZEL {

namespace {
constexpr std::string_view cBuildTag = "TIocContainer.Build";

std::string Describe(std::string_view ATypeName, const std::string& AName) {
  if (AName.empty()) return std::string(ATypeName);
  return fmt::format("{} \"{}\"", ATypeName, AName);
}
}  // namespace

// Factory and names never change after creation; Instance and Building only under FLock.
struct TIocContainer::TRegistration {
  std::type_index Type;
  std::string TypeName;
  std::string Name;
  TErasedFactory Factory;
  std::shared_ptr<void> Instance;
  bool Building = false;
};

TIocContainer::~TIocContainer() {
  // Later services may use earlier ones while they go: release in reverse order.
  while (!FRegistrations.empty()) FRegistrations.pop_back();
}

void TIocContainer::DoRegister(std::type_index AType, std::string_view ATypeName, std::string AName,
                               TErasedFactory AFactory, std::shared_ptr<void> AInstance) {
  auto LNew = std::make_shared<TRegistration>(
      TRegistration{AType, std::string(ATypeName), std::move(AName), std::move(AFactory), std::move(AInstance), false});
  std::shared_ptr<TRegistration> LOld;  // released after the lock: its instance may do anything
  {
    std::lock_guard LGuard(FLock);
    auto LIt = std::find_if(FRegistrations.begin(), FRegistrations.end(),
                            [&](const auto& R) { return R->Type == LNew->Type && R->Name == LNew->Name; });
    if (LIt != FRegistrations.end()) {
      LOld = std::exchange(*LIt, LNew);
    } else {
      FRegistrations.push_back(LNew);
    }
  }
}

bool TIocContainer::DoUnregister(std::type_index AType, const std::string& AName) {
  std::shared_ptr<TRegistration> LOld;
  {
    std::lock_guard LGuard(FLock);
    auto LIt = std::find_if(FRegistrations.begin(), FRegistrations.end(),
                            [&](const auto& R) { return R->Type == AType && R->Name == AName; });
    if (LIt == FRegistrations.end()) return false;
    LOld = std::move(*LIt);
    FRegistrations.erase(LIt);
  }
  return true;
}

void TIocContainer::Build() {
  std::vector<std::shared_ptr<TRegistration>> LPending;
  {
    std::lock_guard LGuard(FLock);
    for (const auto& R : FRegistrations) {
      if (R->Factory && !R->Instance && !R->Building) {
        R->Building = true;
        LPending.push_back(R);
      }
    }
  }
  // Factories run without the lock: they may register, resolve or build themselves.
  for (const auto& R : LPending) {
    std::shared_ptr<void> LInstance;
    try {
      LInstance = R->Factory();
      if (!LInstance) {
        LogsPipe::ZELLog().ErrorFmt(cBuildTag, "Factory of {} gave no instance.", Describe(R->TypeName, R->Name));
      }
    } catch (...) {
      const auto LCaught = Exceptions::DescribeCurrent();
      LogsPipe::ZELLog().FatalFmt(cBuildTag, "Factory of {} raised {}:{}", Describe(R->TypeName, R->Name),
                                  LCaught.ClassName, LCaught.Message);
    }
    std::lock_guard LGuard(FLock);
    R->Building = false;
    R->Instance = std::move(LInstance);
  }
}

std::shared_ptr<void> TIocContainer::DoResolve(std::type_index AType, std::string_view ATypeName,
                                               const std::string& AName) const {
  std::lock_guard LGuard(FLock);
  auto LIt = std::find_if(FRegistrations.begin(), FRegistrations.end(),
                          [&](const auto& R) { return R->Type == AType && R->Name == AName; });
  if (LIt == FRegistrations.end()) {
    throw EIocResolverError(fmt::format("{} is not registered", Describe(ATypeName, AName)));
  }
  if (!(*LIt)->Instance) {
    throw EIocResolverError(fmt::format("{} has no instance", Describe(ATypeName, AName)));
  }
  return (*LIt)->Instance;
}

namespace {
TIocContainer& MakeGlobalContainer() {
  // The writer is made first so that it outlives the container at exit.
  ILogWriter& LWriter = LogsPipe::ZELLog();
  static TIocContainer LContainer;
  LContainer.RegisterInstance<ILogWriter>("ZELLog", std::shared_ptr<ILogWriter>(&LWriter, [](ILogWriter*) {}));
  return LContainer;
}
}  // namespace

TIocContainer& GlobalContainer() {
  static TIocContainer& LContainer = MakeGlobalContainer();
  return LContainer;
}

}  // namespace ZEL
