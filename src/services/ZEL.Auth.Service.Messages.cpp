#include "ZEL.Auth.Service.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace ZEL::Auth::Service {

namespace {

// Tested in this order; the last four keep a revoked or expired refresh token (and the
// newer sign-in code) from leaving the user without a sentence and with a dead token saved.
constexpr std::array<std::pair<std::string_view, std::string_view>, 13> cCodes{{
    {"MISSING_PASSWORD", "Password was not provided. Please type password into password field."},
    {"MISSING_EMAIL", "Typed account id is not an email address. Fix it or contact with Tarvelo Systems authority."},
    {"INVALID_EMAIL", "Provided email address is incorrect."},
    {"WEAK_PASSWORD", "Your password is weak. Type stronger password (minumum 6 digits)."},
    {"EMAIL_EXISTS",
     "Provided email address already registered. Please log-in or contact with Tarvelo Systems authority."},
    {"EMAIL_NOT_FOUND",
     "Provided account is not exists on this service.  Please enter your credentials again or contact with Tarvelo "
     "Systems authority."},
    {"INVALID_PASSWORD", "Provided passoword is incorrect."},
    {"USER_DISABLED", "Your account is suspended. Please contact with Tarvelo Systems authority."},
    {"INVALID_PROJECT_ID", "Authorization failed. Please enter your credentials again."},
    {"USER_NOT_FOUND",
     "Authorization failed. Your account not found. If that was unexpected, please contact with Tarvelo Systems "
     "authority."},
    {"INVALID_REFRESH_TOKEN", "Your session is no longer valid. Please enter your credentials again."},
    {"TOKEN_EXPIRED", "Your session has expired. Please enter your credentials again."},
    {"INVALID_LOGIN_CREDENTIALS", "Provided email or password is incorrect. Please enter your credentials again."},
}};

std::string Normalised(std::string_view AText) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!AText.empty() && isSpace(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && isSpace(AText.back())) AText.remove_suffix(1);
  std::string text(AText);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

const std::pair<std::string_view, std::string_view>* Find(std::string_view AReason) {
  const std::string text = Normalised(AReason);
  for (const auto& entry : cCodes)
    if (text.rfind(entry.first, 0) == 0) return &entry;
  return nullptr;
}

}  // namespace

bool IsFirebaseSeviceMessage(std::string_view AReason) { return Find(AReason) != nullptr; }

std::string UserFriendlifyServiceMessage(std::string_view AReason) {
  const auto* entry = Find(AReason);
  return entry ? std::string(entry->second) : std::string(AReason);
}

}  // namespace ZEL::Auth::Service
