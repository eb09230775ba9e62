#include "ZEL.GUID.h"

#include <fmt/format.h>

namespace ZEL {

std::string TGUID::ToString() const {
  return fmt::format("{{{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}}}",
                     D1, D2, D3, D4[0], D4[1], D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
}

bool TGUID::TryParse(std::string_view AText, TGUID& AValue) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (AText.size() != 38 || AText.front() != '{' || AText.back() != '}') return false;
  std::uint8_t bytes[16];
  size_t n = 0;
  for (size_t i = 1; i + 1 < AText.size();) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (AText[i] != '-') return false;
      ++i;
      continue;
    }
    auto hex = [](char C) -> int {
      if (C >= '0' && C <= '9') return C - '0';
      if (C >= 'a' && C <= 'f') return C - 'a' + 10;
      if (C >= 'A' && C <= 'F') return C - 'A' + 10;
      return -1;
    };
    const int hi = hex(AText[i]), lo = hex(AText[i + 1]);
    if (hi < 0 || lo < 0 || n >= 16) return false;
    bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
    i += 2;
  }
  if (n != 16) return false;
  TGUID g;
  g.D1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.D2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.D3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.D4[i] = bytes[8 + i];
  AValue = g;
  return true;
}

}  // namespace ZEL
