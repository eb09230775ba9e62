#pragma once
// The authentication service: the signed-in user, tokens, sign-in, sign-out and refresh.

#include "ZEL.Services.ContainerKind.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ZEL {

class IFirebaseUser;
class TZELUserRecord;

class IAuthService {
public:
  static constexpr std::string_view TypeName = "IAuthService";
  static constexpr const char* IID = "{B5464C2C-AF76-4979-924A-4FBBAB3F967E}";
  static constexpr TServiceContainerKind Container = TServiceContainerKind::Global;

  virtual ~IAuthService() = default;

  virtual std::shared_ptr<IFirebaseUser> GetFirebaseUser() = 0;
  virtual std::string GetOrganisationID() = 0;
  virtual std::string GetDisplayName() = 0;
  virtual bool GetAuthorized() = 0;
  virtual bool GetIsSignoutByUser() = 0;
  virtual std::string GetAccountID() = 0;
  virtual std::string GetAccountDisplayName() = 0;
  virtual std::int32_t AuthTokenTimeLeftMinutes() = 0;
  virtual std::string FirebaseRefreshToken() = 0;
  virtual std::string FirebaseToken() = 0;
  virtual void RegisterUser(const std::string& ADisplayName, const std::string& AUsername,
                            const std::string& APassword) = 0;
  virtual void LoginUser(const std::string& AUsername, const std::string& APassword) = 0;
  virtual void AuthWithToken(const std::string& ARefreshToken, bool ASilent) = 0;
  virtual bool Logout(bool AIsUserIntent, const std::string& AReason) = 0;
  virtual void RefreshUserToken() = 0;
  virtual bool ValidateInviteCode(const std::string& ACode) = 0;
  // The record as it is now, shared: a later sign-in or check replaces the service's record
  // without touching the one a caller holds (on any thread). Null when there is none.
  virtual std::shared_ptr<const TZELUserRecord> CRMUserRecord() = 0;
  virtual std::string FirebaseEscalatedTopic() = 0;
  virtual std::string FirebaseNonEscalatedTopic() = 0;
};

}  // namespace ZEL
