#pragma once
// The ZEL container (the signed-in session's services) and the two locators: the routing
// one, which knows which interface lives in which container and logs every lookup, and a
// plain one over the global container.

#include "ZEL.Exceptions.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.ContainerKind.h"

#include <fmt/format.h>

#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class TZELIocServiceLocator {
public:
  static constexpr std::string_view TypeName = "TZELIocServiceLocator";

  // The service behind T from the container that T::Container names, or none. A failed
  // resolution is logged at Fatal and never raises; non-standard exceptions pass on.
  template <class T>
  std::shared_ptr<T> GetService() const;
};

}  // namespace ZEL

namespace ZEL::Services::Container {

// Creates the ZEL container; fails the assertion "CreateZELIoCContainer called twice."
// (EAssertionFailed) when one exists, which is kept.
void CreateZELServicesContainer();
bool ZELServicesContainerExists();
// The ZEL container, or null. The copy keeps it alive while the caller holds it.
std::shared_ptr<TIocContainer> ZELServicesContainer();
// The ZEL locator, made when there is none.
std::shared_ptr<TZELIocServiceLocator> ZELServiceLocator();
// The plain locator over the global container, made when there is none.
std::shared_ptr<TIocServiceLocator> GlobalServiceLocator();
// Releases the ZEL container with its services, then the ZEL locator; harmless without them.
void FreeZELServicesContainer();
void FreeGlobalServiceLocator();

}  // namespace ZEL::Services::Container

namespace ZEL {

template <class T>
std::shared_ptr<T> TZELIocServiceLocator::GetService() const {
  const auto BoolText = [](bool AValue) { return AValue ? "True" : "False"; };
  const std::string LTag = fmt::format("TZELIocServiceLocator.GetService<{}>", T::TypeName);
  ILogWriter& LLog = LogsPipe::ZELLog();
  std::shared_ptr<T> LResult;
  bool LResolved = false;

  // Resolves in one container; the step's texts start with AStep.
  const auto LResolve = [&](TIocContainer& AContainer, std::string_view AStep) {
    LLog.DebugFmt(LTag, "{}...", AStep);
    try {
      LResult = AContainer.Resolve<T>();
      LResolved = true;
      LLog.DebugFmt(LTag, "{}... resolved.", AStep);
    } catch (const EIocResolverError& E) {
      LLog.FatalFmt(LTag, "{}... FAILED. {}:{}", AStep, Exceptions::ClassNameOf(E), E.what());
    } catch (const std::exception& E) {
      LLog.FatalFmt(LTag, "{}... ERROR. {}:{}", AStep, Exceptions::ClassNameOf(E), E.what());
    }
  };

  LLog.Debug(LTag, "Start");
  if constexpr (T::Container == TServiceContainerKind::Global) {
    LResolve(GlobalContainer(), "Resolving from global");
  }
  // One snapshot for the log line and the lookup: a free racing this call cannot pull the
  // container away in between.
  const std::shared_ptr<TIocContainer> LZELContainer = Services::Container::ZELServicesContainer();
  LLog.DebugFmt(LTag, "End LResolved = {} ZELComtainer = {}", BoolText(LResolved), BoolText(LZELContainer != nullptr));
  if constexpr (T::Container == TServiceContainerKind::ZEL) {
    if (LZELContainer && !LResolved) LResolve(*LZELContainer, "Resolving from ZEL");
  }
  LLog.DebugFmt(LTag, "End LResolved = {}", BoolText(LResolved));
  return LResult;
}

}  // namespace ZEL
