#include "IdToken.h"

#include <nlohmann/json.hpp>

#include <chrono>

namespace ZelSim {

namespace {

bool Base64UrlDecode(std::string_view AIn, std::string& AOut) {
  AOut.clear();
  unsigned buffer = 0;
  int bits = 0;
  for (char c : AIn) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '-' || c == '+') v = 62;
    else if (c == '_' || c == '/') v = 63;
    else if (c == '=') break;
    else return false;
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      AOut.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return true;
}

bool DecodePart(std::string_view APart, nlohmann::json& AOut) {
  std::string text;
  if (!Base64UrlDecode(APart, text)) return false;
  AOut = nlohmann::json::parse(text, nullptr, false);
  return AOut.is_object();
}

}  // namespace

TTokenCheck CheckIdToken(std::string_view AToken, std::string_view AAudience, TInstant ANow) {
  TTokenCheck result;
  if (AToken.empty()) {
    result.Reason = "no identity token";
    return result;
  }
  const auto dot1 = AToken.find('.');
  const auto dot2 = dot1 == std::string_view::npos ? dot1 : AToken.find('.', dot1 + 1);
  if (dot2 == std::string_view::npos) {
    result.Reason = "token is not a JWT";
    return result;
  }
  nlohmann::json header, claims;
  if (!DecodePart(AToken.substr(0, dot1), header) ||
      !DecodePart(AToken.substr(dot1 + 1, dot2 - dot1 - 1), claims)) {
    result.Reason = "token header or claims cannot be read";
    return result;
  }
  const auto aud = claims.find("aud");
  bool audienceOk = false;
  if (aud != claims.end() && aud->is_string()) audienceOk = aud->get<std::string>() == AAudience;
  if (aud != claims.end() && aud->is_array())
    for (const auto& a : *aud) audienceOk = audienceOk || (a.is_string() && a.get<std::string>() == AAudience);
  if (!audienceOk) {
    result.Reason = "wrong audience";
    return result;
  }
  const auto exp = claims.find("exp");
  if (exp == claims.end() || !exp->is_number()) {
    result.Reason = "no expiry";
    return result;
  }
  const auto nowSecs =
      std::chrono::duration_cast<std::chrono::seconds>(ANow.time_since_epoch()).count();
  if (exp->get<double>() <= static_cast<double>(nowSecs)) {
    result.Reason = "token expired";
    return result;
  }
  const auto email = claims.find("email");
  if (email == claims.end() || !email->is_string() || email->get<std::string>().empty()) {
    result.Reason = "no e-mail in token";
    return result;
  }
  result.Valid = true;
  result.Email = email->get<std::string>();
  return result;
}

}  // namespace ZelSim
