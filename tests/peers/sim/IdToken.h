#pragma once
// Checks the identity token a request carries: a JWT whose claims name the audience, an
// expiry in the future and an e-mail address. Signatures are not checked (the local identity
// emulator signs nothing); the token's e-mail must still be a user the backend knows.

#include "SimTime.h"

#include <string>
#include <string_view>

namespace ZelSim {

struct TTokenCheck {
  bool Valid = false;
  std::string Email;   // the "email" claim when Valid
  std::string Reason;  // why not, for the 401 body and the log
};

TTokenCheck CheckIdToken(std::string_view AToken, std::string_view AAudience, TInstant ANow);

}  // namespace ZelSim
