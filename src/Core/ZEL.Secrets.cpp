#include "ZEL.Secrets.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstddef>

namespace ZEL::Secrets {

namespace {

// Below this length a text may be a password: nothing of it is shown.
constexpr std::size_t ShortestShownPrefix = 32;
constexpr std::size_t PrefixLength = 4;

// UTF-8 characters, not bytes.
std::size_t CharCount(std::string_view AText) {
  return static_cast<std::size_t>(
      std::count_if(AText.begin(), AText.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool IsPrintableAscii(std::string_view AText) {
  return std::all_of(AText.begin(), AText.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

}  // namespace

std::string Mask(std::string_view ASecret) {
  if (ASecret.empty()) return "<empty>";
  const std::size_t chars = CharCount(ASecret);
  std::string_view prefix;
  if (chars >= ShortestShownPrefix && IsPrintableAscii(ASecret.substr(0, PrefixLength)))
    prefix = ASecret.substr(0, PrefixLength);
  return fmt::format("{}\u2026({} chars)", prefix, chars);
}

}  // namespace ZEL::Secrets
