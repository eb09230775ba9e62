#include "ZEL.Utils.ObjectId.h"

#include "ZEL.Time.h"

#include <atomic>
#include <random>

namespace ZEL::Utils {

namespace {

// The five bytes that stand for machine and process, drawn once per process.
const std::array<std::uint8_t, 5>& ProcessBytes() {
  static const std::array<std::uint8_t, 5> bytes = [] {
    std::random_device rd;
    std::array<std::uint8_t, 5> b{};
    for (auto& x : b) x = static_cast<std::uint8_t>(rd());
    return b;
  }();
  return bytes;
}

std::atomic<std::uint32_t>& Counter() {
  static std::atomic<std::uint32_t> counter{std::random_device{}()};
  return counter;
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace

TObjectIdBytes NewObjectIdBytes() {
  const auto secs = static_cast<std::uint32_t>(Time::ToUnixSeconds(Time::Now()));
  const std::uint32_t count = Counter().fetch_add(1, std::memory_order_relaxed);
  const auto& proc = ProcessBytes();
  return TObjectIdBytes{static_cast<std::uint8_t>(secs >> 24), static_cast<std::uint8_t>(secs >> 16),
                        static_cast<std::uint8_t>(secs >> 8),  static_cast<std::uint8_t>(secs),
                        proc[0], proc[1], proc[2], proc[3], proc[4],
                        static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 8),
                        static_cast<std::uint8_t>(count)};
}

std::string ZELObjectId() { return ObjectIdToString(NewObjectIdBytes()); }

std::string ObjectIdToString(const TObjectIdBytes& AID) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(24);
  for (std::uint8_t b : AID) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 0x0F]);
  }
  return s;
}

TObjectIdBytes ParseObjectId(std::string_view AText) {
  if (AText.size() != 24) throw EObjectIdError("Invalid ObjectId Length");
  TObjectIdBytes bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) {
    const int hi = HexValue(AText[2 * i]), lo = HexValue(AText[2 * i + 1]);
    if (hi < 0 || lo < 0) break;
    bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return bytes;
}

bool IsObjectId(std::string_view AText) {
  if (AText.size() != 24) return false;
  for (const char c : AText)
    if (HexValue(c) < 0) return false;
  return true;
}

TGUID RawObjectIdToGUID(std::span<const std::uint8_t> AData) {
  Exceptions::Assert(AData.size() >= 12, "RawObjectIdToGUID needs 12 bytes");
  TGUID g;
  g.D1 = (std::uint32_t{AData[0]} << 24) | (std::uint32_t{AData[1]} << 16) |
         (std::uint32_t{AData[2]} << 8) | AData[3];
  g.D2 = static_cast<std::uint16_t>((AData[4] << 8) | AData[5]);
  g.D3 = static_cast<std::uint16_t>((AData[6] << 8) | AData[7]);
  for (int i = 0; i < 4; ++i) g.D4[i] = AData[8 + i];
  return g;
}

TGUID ObjectIdToGUID(const std::optional<TObjectIdBytes>& AID) {
  return AID ? RawObjectIdToGUID(*AID) : TGUID::Empty();
}

TGUID ObjectIdToGUID(std::string_view AID) { return RawObjectIdToGUID(ParseObjectId(AID)); }

}  // namespace ZEL::Utils
