#pragma once
// What the Register view decides, without widgets: the invitation code's check, the sign-up
// checks and the two key filters.

#include <QString>

#include <optional>
#include <string>

namespace ZEL::Register {

inline constexpr int InvCodeLength = 6;
inline constexpr int DisplayNameMaxLength = 70;

inline constexpr const char* InvalidCodeText = "Invitation code is invalid. Please check the code and try again.";
inline constexpr const char* NoRecordText = "Invalid invitation code.\r\nCorrect it or contact Tarvelo Systems.";
inline constexpr const char* NoEmailText = "Email address is not set, plase contact Tarvelo Systems to correct it.";
inline constexpr const char* VerifyingText = "Verifying invitation code...";

// The code as typed, before any backend call: the message when it cannot be a code, or none.
std::optional<std::string> CheckInvCode(const std::string& ACode);

// True when the record's e-mail address is blank: the view must not go on to the user step.
bool EmailMissing(const std::string& AEmail);

// The sign-up checks in order; the message of the first that fails, or none. Lengths count
// characters, not bytes; both passwords must be the same text exactly (case and outer
// blanks included), since the first is sent as typed.
std::optional<std::string> ValidateSignup(const std::string& AEmail, const std::string& ADisplayName,
                                          const std::string& APassword, const std::string& AConfirm);

// The key filters: whether the text a key would type may be typed. A key that types nothing
// (an empty text or a control key other than backspace) always passes.
bool InvCodeKeyAllowed(const QString& AKeyText);
bool DisplayNameKeyAllowed(const QString& AKeyText);

// The characters the two fields may hold.
bool InvCodeCharAllowed(QChar AChar);
bool DisplayNameCharAllowed(QChar AChar);

// The code edit's own length limit: room for a pasted code with separators, which the
// edit's filter drops before it holds the code to InvCodeLength.
inline constexpr int InvCodeEditRoom = 64;

}  // namespace ZEL::Register
