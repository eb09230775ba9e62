#include "ZEL.Exceptions.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace ZEL::Exceptions {

namespace {
std::string Demangle(const char* AName) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(AName, nullptr, nullptr, &status),
                                             std::free);
  return status == 0 && out ? std::string(out.get()) : std::string(AName);
}
}  // namespace

std::string ClassNameOf(const std::exception& E) {
  if (auto* own = dynamic_cast<const EZELException*>(&E)) return own->className();
  return Demangle(typeid(E).name());
}

TCaught DescribeCurrent() {
  if (!std::current_exception()) return {"Unknown", ""};
  try {
    throw;
  } catch (const std::exception& e) {
    return {ClassNameOf(e), e.what()};
  } catch (...) {
    return {"Unknown", ""};
  }
}

void Assert(bool ACondition, const std::string& AMessage) {
  if (!ACondition) throw EAssertionFailed(AMessage);
}

}  // namespace ZEL::Exceptions
