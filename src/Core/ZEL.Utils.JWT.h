#pragma once
// Reading the cloud ID token (a JWT): header and claims only; the signature is not checked
// here, the backend checks it.

#include "ZEL.Time.h"

#include <string>
#include <string_view>

namespace ZEL {

struct TTokenInfo {
  std::string TokenType;   // upper-cased header "typ"
  std::string TokenAlgo;   // upper-cased header "alg"
  std::string TokenKeyID;  // header "kid"
  Time::TInstant ExpireAt = Time::MissingDate;  // claim "exp"
};

}  // namespace ZEL

namespace ZEL::Utils {

// The audience our ID tokens must carry, compared case-sensitively.
inline constexpr std::string_view JWT_EXPECTED_AUDIENCE = "zeldevstand";

// True when AJWToken is an ID token of the expected kind: typ "JWT" and alg "RS256" (both
// compared upper-cased), a non-empty key id, the audience above (a text) and a numeric
// expiry; ATokenInfo is then filled. Otherwise false with
// ATokenInfo cleared. Never raises for a malformed token.
// With $FIREBASE_AUTH_EMULATOR_HOST set (the identity emulator, whose tokens are unsigned)
// alg "none" and an empty key id are accepted too; type, audience and expiry still count.
bool GetJWTTokenInfo(std::string_view AJWToken, TTokenInfo& ATokenInfo);

}  // namespace ZEL::Utils
