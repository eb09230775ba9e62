#pragma once
// Small helpers shared by the benchmark programs that run against the test peers.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace ZEL::Bench {

// The value at fraction AP (0..1) of the sorted values; 0 for none.
inline double Percentile(std::vector<double> AValues, double AP) {
  if (AValues.empty()) return 0;
  std::sort(AValues.begin(), AValues.end());
  const auto i = static_cast<std::size_t>(AP * static_cast<double>(AValues.size() - 1) + 0.5);
  return AValues[std::min(i, AValues.size() - 1)];
}

inline int Shell(const std::string& ACommand) { return std::system(ACommand.c_str()); }

// The folder of the test peers' scripts.
inline std::string PeersDir() { return std::string(ZEL_SOURCE_DIR) + "/tests/peers"; }

}  // namespace ZEL::Bench
