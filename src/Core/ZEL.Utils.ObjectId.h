#pragma once
// Object ids (12 bytes in the BSON ObjectId layout, written as 24 lower-case hexadecimal
// digits) and their GUID form, which names the organisation's broker topic.

#include "ZEL.Exceptions.h"
#include "ZEL.GUID.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ZEL {

// The object-id type's error, e.g. "Invalid ObjectId Length".
ZEL_DECLARE_EXCEPTION(EObjectIdError, EZELException)

using TObjectIdBytes = std::array<std::uint8_t, 12>;

}  // namespace ZEL

namespace ZEL::Utils {

// A new object id: 4 bytes of seconds since 1970 (big-endian), 5 random bytes fixed for the
// process, a 3-byte counter (big-endian) that grows with every id. Unique across threads.
TObjectIdBytes NewObjectIdBytes();
// The same as 24 lower-case hexadecimal digits; every service request's id.
std::string ZELObjectId();

// 24 lower-case hexadecimal digits of the 12 bytes.
std::string ObjectIdToString(const TObjectIdBytes& AID);

// Reads an object id text. Raises EObjectIdError "Invalid ObjectId Length" for a text that is
// not 24 characters long; in a text of 24, reading stops at the first pair that is not two
// hexadecimal digits and the bytes from there on stay zero.
TObjectIdBytes ParseObjectId(std::string_view AText);
// True for exactly 24 hexadecimal digits (either case): a text that names an object.
bool IsObjectId(std::string_view AText);

// The GUID of the first 12 bytes: D1 = b0..b3, D2 = b4 b5, D3 = b6 b7 (big-endian),
// D4 = b8..b11 then four zero bytes. AData must hold at least 12 bytes (asserted).
TGUID RawObjectIdToGUID(std::span<const std::uint8_t> AData);

// The empty GUID when there is no id, else RawObjectIdToGUID of its bytes.
TGUID ObjectIdToGUID(const std::optional<TObjectIdBytes>& AID);
// ParseObjectId then RawObjectIdToGUID; raises EObjectIdError as ParseObjectId does.
TGUID ObjectIdToGUID(std::string_view AID);

}  // namespace ZEL::Utils
