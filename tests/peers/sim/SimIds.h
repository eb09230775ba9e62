#pragma once
// Object ids (24 lower-case hexadecimal digits, BSON ObjectId layout) and the braced GUID
// text that an organisation's id turns into for its broker topic.

#include <string>
#include <string_view>

namespace ZelSim {

std::string NewObjectId();

// True for 24 hexadecimal digits.
bool IsObjectId(std::string_view AText);

// "{D1-D2-D3-D4a-D4b}" upper-case: D1 = bytes 0..3, D2 = 4..5, D3 = 6..7, then bytes 8..11
// followed by four zero bytes. AID must be an object id.
std::string ObjectIdToGUIDText(std::string_view AID);

std::string UpperCase(std::string_view AText);
bool SameUpper(std::string_view A, std::string_view B);

}  // namespace ZelSim
