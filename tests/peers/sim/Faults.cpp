#include "Faults.h"

#include <set>
#include <stdexcept>

namespace ZelSim {

namespace {
const std::set<std::string> kPaths = {"*", "/authZelUser", "/verifyZelInvite", "/isValidToken", "/sync",
                                      "/eventAlerts", "/eventAlertItems", "/eventAlertItemExtra", "/extra"};
}

void TFaults::SetEndpoint(const std::string& APath, const TEndpointFault& AFault) {
  if (!kPaths.count(APath)) throw std::invalid_argument("unknown endpoint \"" + APath + "\"");
  if (AFault.Mode != "500" && AFault.Mode != "timeout" && AFault.Mode != "malformed" && AFault.Mode != "deep" &&
      AFault.Mode != "slow" && AFault.Mode != "noid")
    throw std::invalid_argument(
        "mode must be \"500\", \"timeout\", \"malformed\", \"deep\", \"slow\", \"noid\" or \"none\"");
  std::lock_guard lock(FLock);
  FEndpoints[APath] = AFault;
}

void TFaults::ClearEndpoint(const std::string& APath) {
  if (!kPaths.count(APath)) throw std::invalid_argument("unknown endpoint \"" + APath + "\"");
  std::lock_guard lock(FLock);
  FEndpoints.erase(APath);
}

void TFaults::SetPolicy(const TRequestPolicy& APolicy) {
  if (APolicy.Mode != "answer" && APolicy.Mode != "drop" && APolicy.Mode != "delay" && APolicy.Mode != "fail")
    throw std::invalid_argument("mode must be \"answer\", \"drop\", \"delay\" or \"fail\"");
  std::lock_guard lock(FLock);
  FPolicy = APolicy;
}

void TFaults::ClearAll() {
  std::lock_guard lock(FLock);
  FEndpoints.clear();
  FPolicy = TRequestPolicy{};
}

std::optional<TEndpointFault> TFaults::TakeEndpoint(const std::string& APath) {
  std::lock_guard lock(FLock);
  auto it = FEndpoints.find(APath);
  if (it == FEndpoints.end()) it = FEndpoints.find("*");
  if (it == FEndpoints.end()) return std::nullopt;
  const TEndpointFault fault = it->second;
  if (it->second.Remaining > 0 && --it->second.Remaining == 0) FEndpoints.erase(it);
  return fault;
}

TRequestPolicy TFaults::TakePolicy() {
  std::lock_guard lock(FLock);
  const TRequestPolicy policy = FPolicy;
  if (FPolicy.Remaining > 0 && --FPolicy.Remaining == 0) FPolicy = TRequestPolicy{};
  return policy;
}

nlohmann::ordered_json TFaults::Describe() const {
  std::lock_guard lock(FLock);
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  nlohmann::ordered_json endpoints = nlohmann::ordered_json::object();
  for (const auto& [path, f] : FEndpoints)
    endpoints[path] = {{"mode", f.Mode}, {"count", f.Remaining}, {"delayMs", f.DelayMs}};
  out["endpoints"] = endpoints;
  out["requests"] = {{"mode", FPolicy.Mode}, {"count", FPolicy.Remaining},
                     {"delayMs", FPolicy.DelayMs}, {"code", FPolicy.Code}};
  return out;
}

}  // namespace ZelSim
