#pragma once
// A small inversion-of-control container: singletons by interface, made by their factories
// when the container is built, and named instances registered ready-made.

#include "ZEL.Exceptions.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

namespace ZEL {

// An interface that cannot be resolved: not registered, or its singleton was never made.
ZEL_DECLARE_EXCEPTION(EIocResolverError, EZELException)

namespace IoC::Detail {
template <class I>
inline std::string_view InterfaceName() {
  if constexpr (requires { I::TypeName; }) {
    return I::TypeName;
  } else {
    return typeid(I).name();
  }
}
}  // namespace IoC::Detail

class TIocContainer {
public:
  static constexpr std::string_view TypeName = "TIocContainer";

  TIocContainer() = default;
  ~TIocContainer();
  TIocContainer(const TIocContainer&) = delete;
  TIocContainer& operator=(const TIocContainer&) = delete;

  // Registers I as a singleton under the empty name; the factory runs at the next Build.
  // Registering I again replaces the earlier registration and its instance.
  template <class I>
  void RegisterType(std::function<std::shared_ptr<I>()> AFactory) {
    TErasedFactory LFactory = [F = std::move(AFactory)]() -> std::shared_ptr<void> { return F(); };
    DoRegister(typeid(I), IoC::Detail::InterfaceName<I>(), {}, std::move(LFactory), nullptr);
  }

  // Registers a ready-made instance of I under a name.
  template <class I>
  void RegisterInstance(const std::string& AName, std::shared_ptr<I> AInstance) {
    DoRegister(typeid(I), IoC::Detail::InterfaceName<I>(), AName, nullptr, std::move(AInstance));
  }

  // Drops the registration of I under the name with its instance; false when there is none.
  template <class I>
  bool Unregister(const std::string& AName = {}) {
    return DoUnregister(typeid(I), AName);
  }

  // Makes every singleton registered so far that has no instance yet, in registration order,
  // on the calling thread. A factory that raises or gives nothing is logged and leaves its
  // singleton without instance; Build itself never raises for it.
  void Build();

  // The instance of I under the name; raises EIocResolverError when there is none.
  template <class I>
  std::shared_ptr<I> Resolve(const std::string& AName = {}) const {
    return std::static_pointer_cast<I>(DoResolve(typeid(I), IoC::Detail::InterfaceName<I>(), AName));
  }

private:
  using TErasedFactory = std::function<std::shared_ptr<void>()>;
  struct TRegistration;

  void DoRegister(std::type_index AType, std::string_view ATypeName, std::string AName,
                  TErasedFactory AFactory, std::shared_ptr<void> AInstance);
  bool DoUnregister(std::type_index AType, const std::string& AName);
  std::shared_ptr<void> DoResolve(std::type_index AType, std::string_view ATypeName,
                                  const std::string& AName) const;

  mutable std::mutex FLock;
  std::vector<std::shared_ptr<TRegistration>> FRegistrations;  // in registration order
};

// The process-wide container. Made at first use, with the log writer registered in it as
// the named instance "ZELLog" of ILogWriter; never freed by the program.
TIocContainer& GlobalContainer();

// A plain locator over one container: resolution errors reach the caller, nothing is logged.
class TIocServiceLocator {
public:
  explicit TIocServiceLocator(TIocContainer& AContainer) : FContainer(AContainer) {}

  template <class T>
  std::shared_ptr<T> GetService() const {
    return FContainer.Resolve<T>();
  }

private:
  TIocContainer& FContainer;
};

}  // namespace ZEL
