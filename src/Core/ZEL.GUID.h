#pragma once
// The GUID value as the wire and the topics write it: four fields, standard text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hexadecimal digits.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ZEL {

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::array<std::uint8_t, 8> D4{};

  // The all-zero GUID.
  static constexpr TGUID Empty() { return TGUID{}; }
  bool IsEmpty() const { return *this == TGUID{}; }

  // "{01234567-89AB-CDEF-0123-456789ABCDEF}".
  std::string ToString() const;

  // Reads the standard form, braces required, hexadecimal digits of either case.
  static bool TryParse(std::string_view AText, TGUID& AValue);

  friend bool operator==(const TGUID&, const TGUID&) = default;
};

}  // namespace ZEL
