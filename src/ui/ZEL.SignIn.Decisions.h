#pragma once
// What the sign-in views and the start-up window decide, without widgets.

#include "ZEL.Auth.Service.h"
#include "ZEL.Views.Types.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace ZEL::SignIn {

// A local part, an at sign and a domain with at least one dot, of the characters an
// e-mail address allows.
bool IsEMailAdress(std::string_view AText);

// The e-mail address without its outer blanks (a copy from a terminal often brings them):
// checked and sent so.
std::string CleanEmail(const std::string& AEmail);

// The length of a text in characters (not bytes, not UTF-16 units).
qsizetype CharCount(const QString& AText);

// The Login view's checks in order; the message of the first that fails, or none. The
// password's length counts characters.
std::optional<std::string> ValidateLogin(const std::string& AEmail, const std::string& APassword);

// The overlay text while a sign-in runs.
std::string AuthStartText(TAuthServiceState AState);

// The Authorize view's card on entry.
struct TAuthorizeEntry {
  bool SignInWithToken = false;  // the first entry (from Host): sign in at once, card unchanged
  bool ChangeCard = false;
  std::string LoginNote;
  std::string LoginButton;
  int LoginTag = 0;  // 1: the button signs in with the saved token
};
TAuthorizeEntry AuthorizeOnEnter(TView AFromView, bool ATokenSaved);

// What a sign-out shows: the message (none for an empty or blank reason) and whether the
// saved refresh token is to be forgotten because the identity service refused it.
struct TSignOutMessage {
  std::optional<std::string> Text;
  bool ForgetToken = false;
};
TSignOutMessage SignOutMessage(const std::string& AReason);

}  // namespace ZEL::SignIn
