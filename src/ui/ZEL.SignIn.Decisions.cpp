#include "ZEL.SignIn.Decisions.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <cctype>

namespace ZEL::SignIn {

namespace {

std::string_view Trimmed(std::string_view AText) {
  const auto LBlank = [](char C) { return std::isspace(static_cast<unsigned char>(C)) != 0; };
  while (!AText.empty() && LBlank(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && LBlank(AText.back())) AText.remove_suffix(1);
  return AText;
}

bool LocalChar(char C) {
  return std::isalnum(static_cast<unsigned char>(C)) || std::string_view("!#$%&'*+-/=?^_`{|}~.").find(C) != std::string_view::npos;
}

bool DomainChar(char C) { return std::isalnum(static_cast<unsigned char>(C)) || C == '-' || C == '.'; }

}  // namespace

bool IsEMailAdress(std::string_view AText) {
  const std::size_t LAt = AText.find('@');
  if (LAt == std::string_view::npos || LAt == 0 || AText.find('@', LAt + 1) != std::string_view::npos) return false;
  const std::string_view LLocal = AText.substr(0, LAt);
  const std::string_view LDomain = AText.substr(LAt + 1);
  if (!std::all_of(LLocal.begin(), LLocal.end(), LocalChar)) return false;
  if (LDomain.empty() || !std::all_of(LDomain.begin(), LDomain.end(), DomainChar)) return false;
  const std::size_t LDot = LDomain.find('.');
  return LDot != std::string_view::npos && LDot > 0 && LDomain.back() != '.' &&
         LDomain.find("..") == std::string_view::npos;
}

std::string CleanEmail(const std::string& AEmail) { return QString::fromStdString(AEmail).trimmed().toStdString(); }

// Characters, not UTF-16 units: a letter outside the basic plane counts once.
qsizetype CharCount(const QString& AText) { return static_cast<qsizetype>(AText.toUcs4().size()); }

std::optional<std::string> ValidateLogin(const std::string& AEmail, const std::string& APassword) {
  if (Trimmed(AEmail).empty()) return "Email address is required.";
  if (!IsEMailAdress(AEmail)) return "Email address is incorect.";
  const QString LPassword = QString::fromStdString(APassword).trimmed();
  if (LPassword.isEmpty()) return "Password is required.";
  if (CharCount(LPassword) < 6) return "Password must contain at least 6 chars.";
  return std::nullopt;
}

std::string AuthStartText(TAuthServiceState AState) {
  switch (AState) {
    case TAuthServiceState::asLogin: return "Logging into existing account..";
    case TAuthServiceState::asLoginViaToken: return "Authorizing session...";
    case TAuthServiceState::asRegister: return "Creating new profile...";
    default: return "Auth state [" + std::string(ToString(AState)) + "]...";
  }
}

TAuthorizeEntry AuthorizeOnEnter(TView AFromView, bool ATokenSaved) {
  TAuthorizeEntry LEntry;
  if (AFromView == TView::Host) {
    LEntry.SignInWithToken = true;
    return LEntry;
  }
  LEntry.ChangeCard = true;
  if (ATokenSaved) {
    LEntry.LoginNote = "You're authorized already:";
    LEntry.LoginButton = "Log-in with saved token.";
    LEntry.LoginTag = 1;
  } else {
    LEntry.LoginNote = "If you're already registered:";
    LEntry.LoginButton = "Enter credentials";
    LEntry.LoginTag = 0;
  }
  return LEntry;
}

TSignOutMessage SignOutMessage(const std::string& AReason) {
  TSignOutMessage LMessage;
  if (Auth::Service::IsFirebaseSeviceMessage(AReason)) {
    LMessage.Text = Auth::Service::UserFriendlifyServiceMessage(AReason);
    LMessage.ForgetToken = true;
  } else if (!Trimmed(AReason).empty()) {
    LMessage.Text = AReason;
  }
  return LMessage;
}

}  // namespace ZEL::SignIn
