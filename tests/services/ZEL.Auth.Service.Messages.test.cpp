// Identity-service error codes turned into sentences.

#include "ZEL.Auth.Service.h"

#include <gtest/gtest.h>

namespace ZEL {
namespace {

using Auth::Service::IsFirebaseSeviceMessage;
using Auth::Service::UserFriendlifyServiceMessage;

TEST(AuthServiceMessages, TableOfCodes) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"MISSING_PASSWORD", "Password was not provided. Please type password into password field."},
      {"MISSING_EMAIL", "Typed account id is not an email address. Fix it or contact with Tarvelo Systems authority."},
      {"INVALID_EMAIL", "Provided email address is incorrect."},
      {"  weak_password : Password should be at least 6 characters",
       "Your password is weak. Type stronger password (minumum 6 digits)."},
      {"EMAIL_EXISTS",
       "Provided email address already registered. Please log-in or contact with Tarvelo Systems authority."},
      {"  email_not_found",
       "Provided account is not exists on this service.  Please enter your credentials again or contact with "
       "Tarvelo Systems authority."},
      {"INVALID_PASSWORD", "Provided passoword is incorrect."},
      {"USER_DISABLED", "Your account is suspended. Please contact with Tarvelo Systems authority."},
      {"INVALID_PROJECT_ID", "Authorization failed. Please enter your credentials again."},
      {"USER_NOT_FOUND",
       "Authorization failed. Your account not found. If that was unexpected, please contact with Tarvelo Systems "
       "authority."},
      // A dead saved token must be recognised, so that the start-up window forgets it.
      {"INVALID_REFRESH_TOKEN", "Your session is no longer valid. Please enter your credentials again."},
      {"TOKEN_EXPIRED", "Your session has expired. Please enter your credentials again."},
      {"INVALID_LOGIN_CREDENTIALS",
       "Provided email or password is incorrect. Please enter your credentials again."},
  };
  for (const auto& [reason, sentence] : table) {
    SCOPED_TRACE(reason);
    EXPECT_TRUE(IsFirebaseSeviceMessage(reason));
    EXPECT_EQ(UserFriendlifyServiceMessage(reason), sentence);
  }
}

TEST(AuthServiceMessages, UnknownOrLaterCodesPassUnchanged) {
  for (const std::string reason : {"", "   ", "QUOTA_EXCEEDED", "Failed: EMAIL_NOT_FOUND", "Firebase token invalid."}) {
    SCOPED_TRACE(reason);
    EXPECT_FALSE(IsFirebaseSeviceMessage(reason));
    EXPECT_EQ(UserFriendlifyServiceMessage(reason), reason);
  }
}

}  // namespace
}  // namespace ZEL
