#include "ZEL.Services.Container.h"

#include <mutex>
#include <utility>

namespace ZEL::Services::Container {

namespace {
// Lookups come from pool threads and the authentication scheduler while the UI thread
// frees the ZEL container: every access copies the pointers under this lock.
std::mutex gLock;
std::shared_ptr<TIocContainer> gZELServicesContainer;
std::shared_ptr<TZELIocServiceLocator> gZELServiceLocator;
std::shared_ptr<TIocServiceLocator> gServiceLocator;
}  // namespace

void CreateZELServicesContainer() {
  bool LExists = false;
  {
    std::lock_guard LGuard(gLock);
    LExists = gZELServicesContainer != nullptr;
    if (!LExists) gZELServicesContainer = std::make_shared<TIocContainer>();
  }
  Exceptions::Assert(!LExists, "CreateZELIoCContainer called twice.");
}

bool ZELServicesContainerExists() {
  std::lock_guard LGuard(gLock);
  return gZELServicesContainer != nullptr;
}

std::shared_ptr<TIocContainer> ZELServicesContainer() {
  std::lock_guard LGuard(gLock);
  return gZELServicesContainer;
}

std::shared_ptr<TZELIocServiceLocator> ZELServiceLocator() {
  std::lock_guard LGuard(gLock);
  if (!gZELServiceLocator) gZELServiceLocator = std::make_shared<TZELIocServiceLocator>();
  return gZELServiceLocator;
}

std::shared_ptr<TIocServiceLocator> GlobalServiceLocator() {
  TIocContainer& LGlobal = GlobalContainer();  // outside the lock: its first use logs
  std::lock_guard LGuard(gLock);
  if (!gServiceLocator) gServiceLocator = std::make_shared<TIocServiceLocator>(LGlobal);
  return gServiceLocator;
}

void FreeZELServicesContainer() {
  std::shared_ptr<TIocContainer> LContainer;
  std::shared_ptr<TZELIocServiceLocator> LLocator;
  {
    std::lock_guard LGuard(gLock);
    if (!gZELServicesContainer) return;
    LContainer = std::exchange(gZELServicesContainer, nullptr);
    LLocator = std::exchange(gZELServiceLocator, nullptr);
  }
  // Services go outside the lock: their destructors may look services up. A lookup that
  // copied the container before keeps it (and what it resolved) alive until it is done.
  LContainer.reset();
  LLocator.reset();
}

void FreeGlobalServiceLocator() {
  std::shared_ptr<TIocServiceLocator> LLocator;
  {
    std::lock_guard LGuard(gLock);
    LLocator = std::exchange(gServiceLocator, nullptr);
  }
}

}  // namespace ZEL::Services::Container
