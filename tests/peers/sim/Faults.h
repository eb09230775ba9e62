#pragma once
// What the control port asked to go wrong: REST endpoints that fail (500, time-out, malformed
// JSON) or answer late (slow: the answer made at once, sent after the delay) and how the edges treat the next service requests (answer, drop, delay, fail).

#include <nlohmann/json.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ZelSim {

struct TEndpointFault {
  std::string Mode;    // "500", "timeout", "malformed", "deep" (valid JSON nested 70,000 levels), "slow",
                       // "noid" (the right answer, its first element without "ObjectId")
  int Remaining = -1;  // requests it still applies to; -1 until cleared
  int DelayMs = 65000; // how long "timeout" holds the answer back, or "slow" its right answer
};

struct TRequestPolicy {
  std::string Mode = "answer";  // "answer", "drop", "delay", "fail"
  int Remaining = -1;
  int DelayMs = 0;
  int Code = 500;
};

class TFaults {
 public:
  // Raise std::invalid_argument with a readable text for bad settings.
  void SetEndpoint(const std::string& APath, const TEndpointFault& AFault);
  void ClearEndpoint(const std::string& APath);
  void SetPolicy(const TRequestPolicy& APolicy);
  void ClearAll();

  // The fault for a request to APath (a path's own entry before "*"), used up by one.
  std::optional<TEndpointFault> TakeEndpoint(const std::string& APath);
  // The treatment of the next service request, used up by one.
  TRequestPolicy TakePolicy();

  nlohmann::ordered_json Describe() const;

 private:
  mutable std::mutex FLock;
  std::map<std::string, TEndpointFault> FEndpoints;
  TRequestPolicy FPolicy;
};

}  // namespace ZelSim
