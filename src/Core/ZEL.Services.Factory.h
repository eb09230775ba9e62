#pragma once
// The factory every session and start-up service is registered with: it logs its steps and
// turns a failing constructor into a missing service.

#include "ZEL.Exceptions.h"
#include "ZEL.IoC.Container.h"
#include "ZEL.LogsPipe.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace ZEL::Services::Factory {

// A factory for I that logs Debug "Creating <AClassName>..." and "... done." around ACreate
// (tag ATag); when ACreate raises a standard exception it logs Fatal
// "Exception at <AClassName>: <class name> Message: <message>" and gives no service.
template <class I, class F>
std::function<std::shared_ptr<I>()> Logged(std::string ATag, std::string AClassName, F ACreate) {
  return [Tag = std::move(ATag), ClassName = std::move(AClassName),
          Create = std::move(ACreate)]() -> std::shared_ptr<I> {
    ILogWriter& LLog = LogsPipe::ZELLog();
    try {
      LLog.DebugFmt(Tag, "Creating {}...", ClassName);
      std::shared_ptr<I> LService = Create();
      LLog.DebugFmt(Tag, "Creating {}... done.", ClassName);
      return LService;
    } catch (const std::exception& E) {
      LLog.FatalFmt(Tag, "Exception at {}: {} Message: {}", ClassName, Exceptions::ClassNameOf(E), E.what());
      return nullptr;
    }
  };
}

// Registers I in AContainer as a singleton made by Logged(ATag, AClassName, ACreate).
template <class I, class F>
void RegisterLogged(TIocContainer& AContainer, std::string ATag, std::string AClassName, F ACreate) {
  AContainer.RegisterType<I>(Logged<I>(std::move(ATag), std::move(AClassName), std::move(ACreate)));
}

}  // namespace ZEL::Services::Factory
