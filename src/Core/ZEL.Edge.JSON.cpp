#include "ZEL.Edge.JSON.h"

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace ZEL::Edge::JSON {

std::optional<std::int64_t> TryGetInteger(const TJSON& ARoot, std::string_view APath) {
  const TJSON* value = ZEL::JSON::Helpers::FindValue(ARoot, APath);
  if (!value || !value->is_number()) return std::nullopt;
  if (value->is_number_unsigned()) {
    const auto v = value->get<std::uint64_t>();
    if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(v);
  }
  if (value->is_number_integer()) return value->get<std::int64_t>();
  const double v = value->get<double>();
  // 2^63 itself is not representable; stay strictly inside.
  if (!std::isfinite(v) || std::trunc(v) != v || v < -9.2e18 || v > 9.2e18) return std::nullopt;
  return static_cast<std::int64_t>(v);
}

std::optional<std::int32_t> TryGetInt32(const TJSON& ARoot, std::string_view APath) {
  const auto value = TryGetInteger(ARoot, APath);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(*value);
}

std::optional<TJSON> ParseObject(std::string_view AText, bool AQuiet) {
  if (!ZEL::JSON::Helpers::NestingAllowed(AText, "ZEL.Edge.JSON.ParseObject")) {
    if (AQuiet) return std::nullopt;
    throw EZELException(fmt::format("The JSON text nests deeper than {} levels.", ZEL::JSON::Helpers::MaxNestingDepth));
  }
  TJSON value = TJSON::parse(AText.begin(), AText.end(), nullptr, !AQuiet);
  if (value.is_discarded()) return std::nullopt;
  if (!value.is_object()) throw EInvalidCast(std::string(InvalidCastMessage));
  return value;
}

bool SameID(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

}  // namespace ZEL::Edge::JSON
