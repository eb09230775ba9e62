#include "ZEL.Utils.JWT.h"

#include <QByteArray>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace ZEL::Utils {

namespace {

using TJson = nlohmann::ordered_json;

// Latest expiry we take: 9999-12-31T23:59:59Z; beyond it the claim is nonsense.
constexpr double MaxExpirySeconds = 253402300799.0;

std::string UpperAscii(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), [](unsigned char C) {
    return static_cast<char>(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C);
  });
  return AText;
}

// One base64url part of the token as a JSON object; nothing when it is not one.
std::optional<TJson> DecodePart(std::string_view APart) {
  if (APart.empty()) return std::nullopt;
  const auto decoded = QByteArray::fromBase64Encoding(
      QByteArray(APart.data(), static_cast<qsizetype>(APart.size())),
      QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;
  TJson j = TJson::parse(decoded.decoded.constData(),
                         decoded.decoded.constData() + decoded.decoded.size(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  return j;
}

std::string StringMember(const TJson& AObject, const char* AName) {
  const auto it = AObject.find(AName);
  return it != AObject.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool EmulatorTokensAllowed() {
  const char* host = std::getenv("FIREBASE_AUTH_EMULATOR_HOST");
  return host && *host;
}

}  // namespace

bool GetJWTTokenInfo(std::string_view AJWToken, TTokenInfo& ATokenInfo) {
  ATokenInfo = TTokenInfo{};

  // header.claims.signature; the emulator's unsigned tokens end in an empty signature.
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t dot = AJWToken.find('.', start);
    parts.push_back(AJWToken.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 3) return false;
  const auto header = DecodePart(parts[0]);
  const auto claims = DecodePart(parts[1]);
  if (!header || !claims) return false;

  const bool emulator = EmulatorTokensAllowed();
  const std::string type = UpperAscii(StringMember(*header, "typ"));
  const std::string algo = UpperAscii(StringMember(*header, "alg"));
  const std::string keyId = StringMember(*header, "kid");
  if (type != "JWT") return false;
  if (algo != "RS256" && !(emulator && algo == "NONE")) return false;
  if (keyId.empty() && !emulator) return false;

  const auto aud = claims->find("aud");
  if (aud == claims->end() || !aud->is_string() ||
      aud->get_ref<const std::string&>() != JWT_EXPECTED_AUDIENCE)
    return false;
  const auto exp = claims->find("exp");
  if (exp == claims->end() || !exp->is_number()) return false;
  const double expSeconds = exp->get<double>();
  if (!(expSeconds >= -MaxExpirySeconds && expSeconds <= MaxExpirySeconds)) return false;

  ATokenInfo.TokenType = type;
  ATokenInfo.TokenAlgo = algo;
  ATokenInfo.TokenKeyID = keyId;
  ATokenInfo.ExpireAt = Time::FromUnixSeconds(
      exp->is_number_integer() ? exp->get<std::int64_t>() : static_cast<std::int64_t>(expSeconds));
  return true;
}

}  // namespace ZEL::Utils
