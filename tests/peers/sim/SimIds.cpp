#include "SimIds.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace ZelSim {

std::string NewObjectId() {
  static const std::uint64_t processRandom = [] {
    std::random_device rd;
    return (static_cast<std::uint64_t>(rd()) << 32 | rd()) & 0xFFFFFFFFFFull;
  }();
  static std::atomic<std::uint32_t> counter{[] {
    std::random_device rd;
    return static_cast<std::uint32_t>(rd() & 0xFFFFFF);
  }()};
  const auto secs = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::seconds>(
          std::chrono::system_clock::now().time_since_epoch())
          .count());
  const std::uint32_t count = counter.fetch_add(1) & 0xFFFFFF;
  char buf[25];
  std::snprintf(buf, sizeof buf, "%08x%010llx%06x", secs,
                static_cast<unsigned long long>(processRandom), count);
  return buf;
}

bool IsObjectId(std::string_view AText) {
  if (AText.size() != 24) return false;
  for (char c : AText)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
      return false;
  return true;
}

std::string ObjectIdToGUIDText(std::string_view AID) {
  const std::string hex = UpperCase(AID);
  return "{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20, 4) + "00000000}";
}

std::string UpperCase(std::string_view AText) {
  std::string out(AText);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool SameUpper(std::string_view A, std::string_view B) { return UpperCase(A) == UpperCase(B); }

}  // namespace ZelSim
