#pragma once
// What the edge tree adds to the typed JSON lookups: whole numbers that never raise (the
// tree is read by the views and fed by the broker, neither may see an exception for an
// odd number), object parsing with the invalid-cast rule, and id comparison.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ZEL.Exceptions.h"
#include "ZEL.JSON.Helpers.h"

namespace ZEL {

// A JSON value that is not of the class it is taken as (an array where an object belongs).
ZEL_DECLARE_EXCEPTION(EInvalidCast, EZELException)

}  // namespace ZEL

namespace ZEL::Edge::JSON {

// The message of EInvalidCast.
inline constexpr std::string_view InvalidCastMessage = "Invalid class typecast";

// A JSON number with no fraction that fits 64 bits; any other value counts as missing.
std::optional<std::int64_t> TryGetInteger(const TJSON& ARoot, std::string_view APath);
// The same, limited to 32 bits.
std::optional<std::int32_t> TryGetInt32(const TJSON& ARoot, std::string_view APath);

// Parses text that must hold a JSON object. A parse error gives nothing when AQuiet and
// raises nlohmann's parse_error otherwise; a value that is not an object raises EInvalidCast.
std::optional<TJSON> ParseObject(std::string_view AText, bool AQuiet);

// Ids and topics of the edge tree: equal after upper-casing both (ASCII letters).
bool SameID(std::string_view A, std::string_view B);

}  // namespace ZEL::Edge::JSON
