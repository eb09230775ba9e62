#include "ZEL.Register.Decisions.h"

#include "ZEL.SignIn.Decisions.h"

#include <functional>

namespace ZEL::Register {

namespace {

QString Trimmed(const std::string& AText) { return QString::fromStdString(AText).trimmed(); }

constexpr QChar cBackspace = QChar(0x08);

bool Digit(QChar C) { return C >= QLatin1Char('0') && C <= QLatin1Char('9'); }

bool DisplayNameChar(QChar C) {
  if (Digit(C) || C == QLatin1Char(' ') || C == QLatin1Char('-') || C == QLatin1Char('.') || C == QLatin1Char('_'))
    return true;
  return (C >= QLatin1Char('A') && C <= QLatin1Char('Z')) || (C >= QLatin1Char('a') && C <= QLatin1Char('z'));
}

bool KeyAllowed(const QString& AKeyText, const std::function<bool(QChar)>& AAllowed) {
  if (AKeyText.isEmpty()) return true;
  if (AKeyText.size() == 1 && AKeyText.front() != cBackspace && AKeyText.front().category() == QChar::Other_Control)
    return true;
  for (const QChar C : AKeyText)
    if (C != cBackspace && !AAllowed(C)) return false;
  return true;
}

}  // namespace

std::optional<std::string> CheckInvCode(const std::string& ACode) {
  const QString LCode = Trimmed(ACode);
  if (LCode.isEmpty() || SignIn::CharCount(LCode) < InvCodeLength) return InvalidCodeText;
  return std::nullopt;
}

bool EmailMissing(const std::string& AEmail) { return Trimmed(AEmail).isEmpty(); }

std::optional<std::string> ValidateSignup(const std::string& AEmail, const std::string& ADisplayName,
                                          const std::string& APassword, const std::string& AConfirm) {
  if (Trimmed(AEmail).isEmpty()) return "E-mail address is required.";
  if (!SignIn::IsEMailAdress(AEmail)) return "E-mail address is incorect.";
  if (Trimmed(ADisplayName).isEmpty()) return "Display name can not contain only spaces.";
  const QString LPassword = Trimmed(APassword);
  const QString LConfirm = Trimmed(AConfirm);
  if (LPassword.isEmpty()) return "Password is required.";
  if (LConfirm.isEmpty()) return "Password (second type) is required.";
  if (SignIn::CharCount(LPassword) < 6) return "Password is weak, must contain at least 6 chars.";
  if (SignIn::CharCount(LConfirm) < 6) return "Password (second type) is weak, must contain at least 6 chars.";
  // Exactly as typed: the first field is what is sent, so the confirmation must repeat it
  // to the letter, blanks and case included.
  if (APassword != AConfirm) return "Password phases are not the same.";
  return std::nullopt;
}

bool InvCodeKeyAllowed(const QString& AKeyText) { return KeyAllowed(AKeyText, Digit); }

bool DisplayNameKeyAllowed(const QString& AKeyText) { return KeyAllowed(AKeyText, DisplayNameChar); }

bool InvCodeCharAllowed(QChar AChar) { return Digit(AChar); }

bool DisplayNameCharAllowed(QChar AChar) { return DisplayNameChar(AChar); }

}  // namespace ZEL::Register
